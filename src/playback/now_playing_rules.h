// SPDX-License-Identifier: GPL-3.0-or-later
// Rules of the now-playing box: the automatic replay after a failed opening, the fixes applied
// once playback has started, and the title label's hint. Plain inputs and outputs; the window
// owns the timers and labels and applies what these return.
#pragma once

#include <QString>
#include <optional>

namespace velmora {

inline constexpr int kReplayIntervalMs = 2000;
inline constexpr int kMaxReplays = 4;
// Titles up to this many characters get the hint "Copy"; longer ones show themselves as hint.
inline constexpr int kTitleHintCopyMaxLength = 50;

enum class ReplayTick {
    Wait,       // nothing to do; the timer keeps running
    Replay,     // run Play
    StopTimer,  // the replays are used up: stop the timer
};

// RetryCount and the replay timer's tick. Play does not reset the count, so replays left over
// from an earlier failure count against the next one.
class AutoReplay {
  public:
    // One tick. Replays while the last opening has failed (and nothing was opened since); the
    // tick after the fourth replay stops the timer and starts the count afresh.
    ReplayTick Tick(bool opening_failed);
    // Playback has started (or the count is to start afresh).
    void Reset() { retry_count_ = 0; }
    int RetryCount() const { return retry_count_; }

  private:
    int retry_count_ = 0;
};

// What the window knows when the fixes timer first sees the stream playing.
struct StartFixInput {
    int slider_position = 0;
    bool user_channel_mode = false;
    int directory_row = -1;     // selected row of the directory drop-down
    int user_row = -1;          // selected row of the user channel list, -1 for none
    QString user_channel_name;  // that row's name as the list shows it
    QString user_channel_url;   // that row's playlist URL
    QString address_url;        // a station played by its address alone, in no row
};

// What to change; empty optionals leave the control as it is.
struct StartFixes {
    bool volume_on_visible = true;        // VolumeOn shown and VolumeOff hidden, or the reverse
    std::optional<QString> station_text;  // Label4
    std::optional<QString> bitrate_text;  // Label5
    std::optional<bool> record_offered;   // Record button shown, "Can not record" hidden
};

// The once-per-start fixes: mute pictures in line with the slider, fixed texts for directory
// stations that announce nothing, the list name for user channels that cannot be recorded, and
// whether recording is offered. After applying them the window stops both timers and resets the
// replay count.
StartFixes PlaybackStartFixes(const StartFixInput& in);

// True for playlist addresses whose streams cannot be recorded: ".asx" or "mms://" anywhere,
// case counting, and HLS playlists by the engine's rule for addresses (engine::IsHlsAddress).
bool UserChannelCannotRecord(const QString& url);

struct TitleHint {
    bool hand_cursor = false;
    QString hint;  // empty: no hint
};

// Hint and cursor of the title label for its text.
TitleHint TitleLabelHint(const QString& title);

}  // namespace velmora
