// SPDX-License-Identifier: GPL-3.0-or-later
// The window's rules of pausing live radio: what Space does, the delay's text and when it shows,
// and the setting's range.
#include <gtest/gtest.h>

#include "playback/time_shift_rules.h"

namespace velmora {
namespace {

TEST(TimeShiftRules, SpaceDelayTextAndSetting) {
    struct SpaceRow {
        bool busy, can_pause, paused;
        SpaceAction action;
    } spaces[] = {
        {false, false, false, SpaceAction::Play},
        {false, true, false, SpaceAction::Play},
        {true, true, false, SpaceAction::Pause},
        {true, true, true, SpaceAction::Resume},
        // An opening under way, or a station without a buffer: Space stops, as it always did.
        {true, false, false, SpaceAction::Stop},
    };
    for (const auto& r : spaces)
        EXPECT_EQ(SpaceActionFor(r.busy, r.can_pause, r.paused), r.action)
            << r.busy << r.can_pause << r.paused;

    struct TextRow {
        double seconds;
        const char* text;
        bool behind;
    } texts[] = {
        {0, "-0:00", false},      {0.99, "-0:00", false}, {1.0, "-0:01", true},
        {83.9, "-1:23", true},    {599.5, "-9:59", true}, {3599.4, "-59:59", true},
        {3723, "-1:02:03", true}, {-5, "-0:00", false},   {1e12, "-99:00:00", true},
    };
    for (const auto& r : texts) {
        EXPECT_EQ(BehindLiveText(r.seconds), r.text) << r.seconds;
        EXPECT_EQ(IsBehindLive(r.seconds), r.behind) << r.seconds;
    }
    EXPECT_EQ(BehindLiveText(std::nan("")), "-0:00");

    for (const auto& [in, out] : {std::pair{-1, 0}, {0, 0}, {60, 60}, {1440, 1440}, {5000, 1440}})
        EXPECT_EQ(ClampTimeShiftMinutes(in), out) << in;
}

}  // namespace
}  // namespace velmora
