// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's recording controls: the record button (Image19) with its blink timer
// (Timer5), the open-recordings button (Image21), and the recorder that the player's stream feeds.
// Starting, ending and the failures the user is told about live here; MainWindow only wires them.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "recording/song_choices.h"

class QAction;
class QTimer;
class QWidget;

namespace velmora {

class NowPlaying;
class Player;
class SongRecording;
class StreamRecorder;
struct RecordingWriteError;

class RecordingControl final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* owner = nullptr;  // owner of the message boxes
        QWidget* record_button = nullptr;
        QTimer* blink_timer = nullptr;
        QAction* per_song = nullptr;  // checked: a recording makes one file per song
    };

    // `player` plays the stream that is recorded, and `now` names its folder (the station line,
    // else the channel's own name) and file (the title); both outlive this control.
    RecordingControl(const Controls& controls, Player* player, const NowPlaying* now,
                     QObject* parent);
    ~RecordingControl() override;

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
    // The rules of a per-song recording, stored with the settings; a change applies from the
    // next recording on.
    SongChoices* Songs() { return &song_choices_; }

  private:
    void OnWriteFailed(const RecordingWriteError& error);
    // Song by song: the files appear in the station's folder as each song ends.
    void StartSongRecording();

    const Controls controls_;
    Player* const player_;
    const NowPlaying* const now_;
    std::shared_ptr<StreamRecorder> recorder_;
    std::unique_ptr<SongRecording> songs_;  // while a per-song recording runs
    SongChoices song_choices_;
    // Hands a write failure from the writing thread to this control on the window's thread.
    std::function<void(const RecordingWriteError&)> report_failure_;
};

}  // namespace velmora
