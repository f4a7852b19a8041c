// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's recording controls: the record button (Image19) with its blink timer
// (Timer5), the open-recordings button (Image21), and the recorder that the player's stream feeds.
// Starting, ending and the failures the user is told about live here; MainWindow only wires them.
#pragma once

#include <QObject>
#include <memory>

class QTimer;
class QWidget;

namespace velmora {

class NowPlaying;
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
    };

    // `player` plays the stream that is recorded, and `now` names its folder (the station line,
    // else the channel's own name) and file (the title); both outlive this control.
    RecordingControl(const Controls& controls, Player* player, const NowPlaying* now,
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
    const NowPlaying* const now_;
    std::shared_ptr<StreamRecorder> recorder_;
};

}  // namespace velmora
