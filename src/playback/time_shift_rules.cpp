// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/time_shift_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

SpaceAction SpaceActionFor(bool busy, bool can_pause, bool paused) {
    if (paused) return SpaceAction::Resume;
    if (!busy) return SpaceAction::Play;
    return can_pause ? SpaceAction::Pause : SpaceAction::Stop;
}

bool IsBehindLive(double behind_seconds) {
    return behind_seconds >= kBehindLiveSeconds;
}

std::string BehindLiveText(double behind_seconds) {
    if (!(behind_seconds > 0)) behind_seconds = 0;
    // Whole seconds passed, as a clock shows them: "-0:01" from one second on, as the display.
    const long total = static_cast<long>(std::min(behind_seconds, 99.0 * 3600));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "-%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "-%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

int ClampTimeShiftMinutes(int minutes) {
    return std::clamp(minutes, 0, 24 * 60);
}

}  // namespace velmora
