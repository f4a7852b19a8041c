// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of pausing live radio that need no window: what Space does, how the delay behind live
// is written, and when the window counts as behind live.
#pragma once

#include <string>

namespace velmora {

// What Space does: play when nothing plays, pause and resume a station that can pause, and stop
// what cannot (an opening under way, a station without a time-shift buffer).
enum class SpaceAction { Play, Pause, Resume, Stop };
SpaceAction SpaceActionFor(bool busy, bool can_pause, bool paused);

// Less than this behind the live edge is live: the display stays as it always was.
inline constexpr double kBehindLiveSeconds = 1.0;
bool IsBehindLive(double behind_seconds);

// "-1:23", "-12:05", "-1:02:03": how far behind live, in whole seconds.
std::string BehindLiveText(double behind_seconds);

// The time-shift setting, in minutes: 0 (off) to a day; the default is an hour.
inline constexpr int kDefaultTimeShiftMinutes = 60;
int ClampTimeShiftMinutes(int minutes);

}  // namespace velmora
