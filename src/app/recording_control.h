// The main window's recording controls: the record button Image19 with its blink timer Timer5,
// the open-recordings button Image21, and the recorder that the stream's download callback feeds.
// Starting, ending and the failures the user is told about live here; TForm1 only wires them.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "engine/engine.h"
#include "playback/stream_opener.h"

class QLabel;
class QTimer;
class QWidget;

namespace velmora {

class StreamRecorder;
struct RecordingWriteError;

class RecordingControl final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* owner = nullptr;    // owner of the message boxes
        QWidget* Image19 = nullptr;  // record button
        QTimer* Timer5 = nullptr;    // blink timer
        QLabel* station = nullptr;   // Label4, names the station folder
        QLabel* title = nullptr;     // Label3, names the file
    };
    // The stream being played, read when the record button is pressed.
    using StreamSource = std::function<vle::Handle()>;
    // Hands the playing stream's bytes to a new recording's file; false when no stream plays.
    using StreamAttacher = std::function<bool(StreamOpener::DataSink)>;
    // The channel's own name, for a station label that names no usable folder.
    using NameSource = std::function<QString()>;

    RecordingControl(const Controls& controls, StreamSource current_stream, StreamAttacher attach,
                     NameSource channel_name, QObject* parent);

    // Starts or ends a recording; ignored unless the current stream is playing.
    void Image19Click();
    // Each tick inverts the record button's visibility.
    void Timer5Timer();
    // Opens the recordings folder, or says there is none.
    void Image21Click();
    // Ends a running recording: closes the file, stops the blinking and shows the record button.
    void StopRecording();

    // RecordingActive.
    bool Active() const;
    // The file of the current or last recording.
    QString FilePath() const;

  private:
    void OnWriteFailed(const RecordingWriteError& error);

    const Controls controls_;
    const StreamSource current_stream_;
    const StreamAttacher attach_;
    const NameSource channel_name_;
    std::shared_ptr<StreamRecorder> recorder_;
};

}  // namespace velmora
