// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/track_bar.h"

#include <gtest/gtest.h>

#include "support/window_harness.h"

namespace velmora {
namespace {

// The rule on fixed rectangles: thumb 10 wide at x 40..50, track 0..100 along x, shortened by 5
// at each end to 5..95 (90 wide) for a maximum of 100.
TEST(TrackBarClick, RectangleRule) {
    const EdgeRect thumb{40, 2, 50, 18};
    const EdgeRect channel{0, 8, 100, 12};
    EXPECT_EQ(TrackBarClick(thumb, channel, 40, 2, false, 100).action, TrackClick::Drag);
    EXPECT_EQ(TrackBarClick(thumb, channel, 49, 17, false, 100).action, TrackClick::Drag);
    // Beside the thumb's band, above or below: nothing at all.
    EXPECT_EQ(TrackBarClick(thumb, channel, 20, 1, false, 100).action, TrackClick::Ignore);
    EXPECT_EQ(TrackBarClick(thumb, channel, 20, 18, false, 100).action, TrackClick::Ignore);
    // Right edge of the track is outside; a negative x counts as a huge unsigned one.
    EXPECT_EQ(TrackBarClick(thumb, channel, 100, 10, false, 100).action, TrackClick::Ignore);
    EXPECT_EQ(TrackBarClick(thumb, channel, -3, 10, false, 100).action, TrackClick::Ignore);

    struct Case {
        int x, position;
    };
    // (x - 5) * 100 / 90, halves to even: x = 14 gives 10, x = 59 gives 60, 0.5 cases below.
    const Case cases[] = {{5, 0}, {0, -6}, {2, -3}, {14, 10}, {59, 60}, {95, 100}, {99, 104}};
    for (const Case& c : cases) {
        const TrackClickResult r = TrackBarClick(thumb, channel, c.x, 10, false, 100);
        EXPECT_EQ(r.action, TrackClick::Jump) << c.x;
        EXPECT_EQ(r.position, c.position) << c.x;
    }
    // 0.5 exactly: a track of 4 after shortening (10..14) with maximum 1 at x = 12 gives 0.5.
    const EdgeRect small_thumb{0, 0, 2, 4};
    const TrackClickResult half = TrackBarClick(small_thumb, {9, 0, 15, 4}, 12, 1, false, 1);
    EXPECT_EQ(half.action, TrackClick::Jump);
    EXPECT_EQ(half.position, 0);  // 0.5 rounds to the even 0
    EXPECT_EQ(TrackBarClick(small_thumb, {9, 0, 15, 4}, 12, 1, false, 3).position, 2);  // 1.5

    // Vertical: the click's y runs along the track, the thumb's left..right is the band.
    const EdgeRect vthumb{2, 40, 18, 50};
    EXPECT_EQ(TrackBarClick(vthumb, channel, 10, 59, true, 100).position, 60);
    EXPECT_EQ(TrackBarClick(vthumb, channel, 1, 59, true, 100).action, TrackClick::Ignore);
}

// On the real widget: a click on the track jumps (clamped to 0..100 at the ends), a click on
// the thumb starts a drag without moving, a click beside both changes nothing.
TEST(VolumeTrackBar, ClicksOnTheWidget) {
    test::EnsureApp();
    VolumeTrackBar bar;
    bar.setRange(0, 100);
    bar.setValue(90);
    bar.resize(81, 40);
    bar.show();
    int changes = 0;
    QObject::connect(&bar, &QSlider::valueChanged, [&] { ++changes; });

    const EdgeRect thumb = bar.ThumbRect();
    const EdgeRect track = bar.ChannelRect();
    ASSERT_GT(thumb.right - thumb.left, 0);
    ASSERT_LT(thumb.bottom - thumb.top, 40);

    test::ClickAt(&bar, {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2});
    EXPECT_EQ(bar.value(), 90);
    EXPECT_EQ(changes, 0);

    const int y = (thumb.top + thumb.bottom) / 2;
    test::ClickAt(&bar, {track.left, y});
    EXPECT_EQ(bar.value(), 0);
    test::ClickAt(&bar, {(track.left + track.right) / 2, y});
    EXPECT_NEAR(bar.value(), 50, 2);
    test::ClickAt(&bar, {track.right - 1, y});
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(changes, 3);

    const int before = bar.value();
    test::ClickAt(&bar, {(track.left + track.right) / 2, thumb.top - 1 >= 0 ? thumb.top - 1 : 39});
    test::ClickAt(&bar, {(track.left + track.right) / 2, thumb.bottom});
    EXPECT_EQ(bar.value(), before);
    EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace velmora
