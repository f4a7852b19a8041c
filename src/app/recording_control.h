// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's recording controls: the record button (Image19) with its blink timer
// (Timer5), the open-recordings button (Image21), and the recorder that the player's stream feeds.
// Starting, ending and the failures the user is told about live here; MainWindow only wires them.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QLabel;
class QTimer;
class QWidget;

namespace velmora {

class Player;
class StreamRecorder;
struct RecordingWriteError;

class RecordingControl final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* owner = nullptr;  // owner of the message boxes
        QWidget* record_button = nullptr;
        QTimer* blink_timer = nullptr;
        QLabel* station = nullptr;  // names the station folder
        QLabel* title = nullptr;    // names the file
    };
    // The channel's own name, for a station label that names no usable folder.
    using NameSource = std::function<QString()>;

    // `player` plays the stream that is recorded; it outlives this control.
    RecordingControl(const Controls& controls, Player* player, NameSource channel_name,
                     QObject* parent);

    // Starts or ends a recording; ignored unless the current stream is playing.
    void OnRecordClicked();
    // Each tick inverts the record button's visibility.
    void OnBlinkTimer();
    // Opens the recordings folder, or says there is none.
    void OnOpenRecordingsClicked();
    // Ends a running recording: closes the file, stops the blinking and shows the record button.
    void StopRecording();

    // RecordingActive.
    bool Active() const;
    // The file of the current or last recording.
    QString FilePath() const;

  private:
    void OnWriteFailed(const RecordingWriteError& error);

    const Controls controls_;
    Player* const player_;
    const NameSource channel_name_;
    std::shared_ptr<StreamRecorder> recorder_;
};

}  // namespace velmora
