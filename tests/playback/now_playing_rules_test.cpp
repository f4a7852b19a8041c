// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/now_playing_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "channels/directory.h"
#include "i18n/message.h"

namespace velmora {
namespace {

constexpr bool kFailed = true;
constexpr bool kNotFailed = false;

// Four replays while the failure stands, then the next tick, failed or not, stops the timer and
// starts afresh. Ticks that find no failure neither replay nor count.
TEST(AutoReplay, FourReplaysThenStop) {
    AutoReplay replay;
    EXPECT_EQ(replay.Tick(kNotFailed), ReplayTick::Wait);
    for (int i = 1; i <= kMaxReplays; ++i) {
        EXPECT_EQ(replay.Tick(kFailed), ReplayTick::Replay) << i;
        EXPECT_EQ(replay.RetryCount(), i);
        if (i < kMaxReplays) {
            EXPECT_EQ(replay.Tick(kNotFailed), ReplayTick::Wait);
        }
    }
    EXPECT_EQ(replay.Tick(kNotFailed), ReplayTick::StopTimer);
    EXPECT_EQ(replay.RetryCount(), 0);
    // The next Play starts the timer again with a full set of replays.
    EXPECT_EQ(replay.Tick(kFailed), ReplayTick::Replay);
    EXPECT_EQ(replay.RetryCount(), 1);
}

// Two failures, then playback starts and resets the count; a Play alone does not, so a later
// failure continues where the last one left off.
TEST(AutoReplay, SuccessResetsPlayDoesNot) {
    AutoReplay replay;
    replay.Tick(kFailed);
    replay.Tick(kFailed);
    EXPECT_EQ(replay.RetryCount(), 2);
    replay.Reset();  // the stream started playing
    EXPECT_EQ(replay.RetryCount(), 0);
    for (int i = 0; i < kMaxReplays; ++i) EXPECT_EQ(replay.Tick(kFailed), ReplayTick::Replay);

    AutoReplay carried;
    carried.Tick(kFailed);
    carried.Tick(kFailed);
    carried.Tick(kFailed);
    EXPECT_EQ(carried.Tick(kNotFailed), ReplayTick::Wait);  // playing, but no reset yet
    EXPECT_EQ(carried.Tick(kFailed), ReplayTick::Replay);
    EXPECT_EQ(carried.Tick(kFailed), ReplayTick::StopTimer);
}

// Directory stations: the fixed-text rows refuse recording and bring their own texts, all others
// keep the tag texts and offer recording. Rows 8/9, 26/27 and 31/32 share a station name.
TEST(PlaybackStartFixes, DirectoryRows) {
    const std::set<int> fixed_rows = {2, 8, 9, 13, 19, 20, 26, 27, 31, 32, 33, 34, 35, 36};
    for (int row = 0; row < kDirectoryRowCount; ++row) {
        StartFixInput in;
        in.slider_position = 90;
        in.directory_row = row;
        const StartFixes f = PlaybackStartFixes(in);
        ASSERT_TRUE(f.record_offered.has_value()) << row;
        if (fixed_rows.count(row)) {
            EXPECT_FALSE(*f.record_offered) << row;
            ASSERT_TRUE(f.station_text && f.bitrate_text) << row;
            EXPECT_FALSE(f.station_text->isEmpty()) << row;
            const bool ninety_six = row == 9 || row == 27;
            EXPECT_EQ(*f.bitrate_text, ninety_six ? "Bitrate: 96 kbps" : "Bitrate: 20 kbps") << row;
        } else {
            EXPECT_TRUE(*f.record_offered) << row;
            EXPECT_FALSE(f.station_text || f.bitrate_text) << row;
        }
    }
    const auto name = [](int row) {
        StartFixInput in;
        in.directory_row = row;
        return PlaybackStartFixes(in).station_text.value_or("?");
    };
    EXPECT_EQ(name(8), name(9));
    EXPECT_EQ(name(26), name(27));
    EXPECT_EQ(name(31), name(32));
    EXPECT_NE(name(2), name(8));
    // No row selected: recording offered, nothing written.
    EXPECT_TRUE(*PlaybackStartFixes(StartFixInput{}).record_offered);
}

// User channels: ".asx" or "mms://" anywhere (case counting), or an HLS ".m3u8", shows the list
// name, empties the bit rate and refuses recording; the mute pictures follow the slider either way.
TEST(PlaybackStartFixes, UserChannelsAndMutePictures) {
    struct Row {
        const char* url;
        bool recordable;
    };
    const Row rows[] = {
        {"mms://media.example.org/live", false},
        {"http://x.example.org/list.asx?id=1", false},
        {"http://x.example.org/redirect?to=mms://y", false},
        {"http://x.example.org/LIST.ASX", true},
        {"MMS://x.example.org/live", true},
        {"http://x.example.org/live.pls", true},
        {"https://x.example.org/hls/Live.M3U8?token=1", false},  // HLS, any case
        {"http://x.example.org/live.m3u", true},
    };
    for (const Row& r : rows) {
        StartFixInput in;
        in.slider_position = 0;
        in.user_channel_mode = true;
        in.directory_row = 9;  // a fixed-text row must not matter in user mode
        in.user_row = 3;
        in.user_channel_name = "My Channel";
        in.user_channel_url = r.url;
        const StartFixes f = PlaybackStartFixes(in);
        EXPECT_FALSE(f.volume_on_visible);
        ASSERT_TRUE(f.record_offered.has_value()) << r.url;
        EXPECT_EQ(*f.record_offered, r.recordable) << r.url;
        if (r.recordable) {
            EXPECT_FALSE(f.station_text || f.bitrate_text) << r.url;
        } else {
            EXPECT_EQ(f.station_text.value_or("?"), "My Channel");
            ASSERT_TRUE(f.bitrate_text.has_value());
            EXPECT_TRUE(f.bitrate_text->isEmpty());
        }
    }
    // User mode with no list row selected leaves the record pictures alone.
    StartFixInput none;
    none.user_channel_mode = true;
    none.slider_position = 1;
    const StartFixes f = PlaybackStartFixes(none);
    EXPECT_TRUE(f.volume_on_visible);
    EXPECT_FALSE(f.record_offered.has_value());
    // A station played by its address alone is recorded by the same rule, its texts untouched.
    for (const Row& r : rows) {
        StartFixInput address = none;
        address.address_url = r.url;
        const StartFixes a = PlaybackStartFixes(address);
        EXPECT_EQ(a.record_offered.value_or(!r.recordable), r.recordable) << r.url;
        EXPECT_FALSE(a.station_text || a.bitrate_text) << r.url;
    }
}

// "Copy" up to 50 characters, the title itself from 51; an empty label has neither hint nor hand.
TEST(TitleLabelHint, FiftyCharacterRule) {
    EXPECT_FALSE(TitleLabelHint("").hand_cursor);
    EXPECT_TRUE(TitleLabelHint("").hint.isEmpty());
    const QString fifty(50, 'a');
    EXPECT_EQ(TitleLabelHint(fifty).hint, Msg("Copy"));
    EXPECT_TRUE(TitleLabelHint(fifty).hand_cursor);
    EXPECT_EQ(TitleLabelHint(fifty + "b").hint, fifty + "b");
    // Characters, not UTF-16 units.
    const QString notes = QString::fromUtf8("\xF0\x9F\x8E\xB5").repeated(50);
    EXPECT_EQ(TitleLabelHint(notes).hint, Msg("Copy"));
    EXPECT_EQ(TitleLabelHint(notes + "!").hint, notes + "!");
}

}  // namespace
}  // namespace velmora
