// SPDX-License-Identifier: GPL-3.0-or-later
// Play, Stop and the automatic replay of a station that failed to open, and the player's reports
// turned into the NowPlaying state. The window decides which station is chosen; this class opens
// it, and knows no labels.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

#include "app/now_playing.h"
#include "playback/now_playing_rules.h"

class QTimer;
class QWidget;

namespace velmora {

class Player;
class ProxyPanel;
class RecordingControl;

class PlaybackControl final : public QObject {
    Q_OBJECT
  public:
    struct Parts {
        Player* player = nullptr;
        NowPlaying* now = nullptr;
        RecordingControl* recording = nullptr;
        ProxyPanel* proxy = nullptr;  // its address is handed to each opening
    };
    // `current_choice` gives the station Play opens: the one the window shows as chosen.
    PlaybackControl(const Parts& parts, std::function<StationChoice()> current_choice,
                    QObject* parent);

    // The user's Play: a station that failed earlier is not replayed any more; the paused station
    // resumes.
    void OnPlayClicked();
    // Opens the current choice; also run by the automatic replay.
    void Play();
    // While recording, the first press only ends the recording; the music plays on.
    void OnStopClicked();
    // Stop from outside the window (media keys, tray, sleep timer): a paused radio is silent, so
    // the recording and the sound end together.
    void StopWithRecording();
    // The user's Stop, Play or new choice ends the automatic replay.
    void EndReplay();
    // Cancels an opening still under way; the lines then say that nothing plays.
    void AbandonOpening();
    // A new choice replaces whatever plays: the recording, the replay and the opening end, and
    // with `stop` the playing stream too.
    void LeaveCurrent(bool stop);
    // The replay count and its timer, for a list change that ends what plays.
    void StopReplayTimer();
    int RetryCount() const { return replay_.RetryCount(); }

  signals:
    // Once per opening, when its stream starts to sound; the window applies its start fixes.
    void started();

  private:
    void WirePlayer();
    void OnReplayTimer();
    void OnPlaying();

    const Parts parts_;
    const std::function<StationChoice()> current_choice_;
    AutoReplay replay_;
    QTimer* replay_timer_ = nullptr;
};

}  // namespace velmora
