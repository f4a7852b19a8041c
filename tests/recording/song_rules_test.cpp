// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of songs as files: which songs are whole, which titles are skipped, artist and title,
// durations on the command line, and where a cut falls among measured frames.
#include "recording/song_rules.h"

#include <gtest/gtest.h>

#include "recording/headless_recording.h"

namespace velmora {
namespace {

TEST(SongRulesTest, WholeIncompleteAndSkipped) {
    SongRules rules;
    rules.skip_patterns = ParseSkipPatterns(" Werbung ,\r\nNEWS\n\n*jingle*\nAd ? Break\n");
    ASSERT_EQ(rules.skip_patterns.size(), 4u);
    SongRules dropping = rules;
    dropping.keep_incomplete = false;
    const struct {
        SongFacts song;
        SongPlace place;
        SongPlace without_incomplete;
    } rows[] = {
        {{"A - B", 200, false, false}, SongPlace::Keep, SongPlace::Keep},
        {{"A - B", 30, false, false}, SongPlace::Keep, SongPlace::Keep},  // exactly the minimum
        {{"A - B", 29.9, false, false}, SongPlace::Incomplete, SongPlace::Drop},
        {{"A - B", 200, true, false}, SongPlace::Incomplete, SongPlace::Drop},  // joined midway
        {{"A - B", 200, false, true}, SongPlace::Incomplete, SongPlace::Drop},  // ended by Stop
        {{"", 200, false, false}, SongPlace::Keep, SongPlace::Keep},
        {{"Radio Werbung 3", 200, false, false}, SongPlace::Drop, SongPlace::Drop},
        {{"news at nine", 200, false, false}, SongPlace::Drop, SongPlace::Drop},
        {{"Station JINGLE", 5, true, false}, SongPlace::Drop, SongPlace::Drop},
        {{"Ad 1 Break", 200, false, false}, SongPlace::Drop, SongPlace::Drop},
        {{"Ad 12 Break", 200, false, false}, SongPlace::Keep, SongPlace::Keep},  // ? is one
        {{"Newsboys - Shine", 200, false, false}, SongPlace::Drop, SongPlace::Drop},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(PlaceSong(r.song, rules), r.place) << r.song.title << " " << r.song.seconds;
        EXPECT_EQ(PlaceSong(r.song, dropping), r.without_incomplete) << r.song.title;
    }
    // A wildcard matches the whole title, and a hostile one ends quickly.
    EXPECT_FALSE(TitleMatches("my jingle!", "jingle*"));
    std::string stars(40, '*');
    stars.append("b*");
    EXPECT_FALSE(TitleMatches(std::string(5000, 'a'), stars));
    EXPECT_FALSE(TitleMatches("anything", "   "));
}

TEST(SongRulesTest, ArtistTitleAndDurations) {
    const struct {
        const char* stream_title;
        const char* artist;
        const char* title;
    } rows[] = {
        {"Artist - Title", "Artist", "Title"},
        {"A - B - C", "A", "B - C"},  // the first " - " splits
        {"Title only", "", "Title only"},
        {"AC-DC - Thunder", "AC-DC", "Thunder"},
        {"  Pad  -  Spaces  ", "Pad", "Spaces"},
        {"", "", ""},
    };
    for (const auto& r : rows) {
        const ArtistTitle split = SplitArtistTitle(r.stream_title);
        EXPECT_EQ(split.artist, r.artist) << r.stream_title;
        EXPECT_EQ(split.title, r.title) << r.stream_title;
    }
    const struct {
        const char* text;
        double seconds;  // < 0: refused
    } durations[] = {{"90", 90}, {"150s", 150}, {"90m", 5400}, {"2h", 7200}, {"1.5H", 5400},
                     {"", -1},   {"m", -1},     {"-5m", -1},   {"5x", -1},   {"1e12h", -1}};
    for (const auto& d : durations) {
        const std::optional<double> got = ParseDurationSeconds(QString::fromUtf8(d.text));
        EXPECT_EQ(got.has_value(), d.seconds >= 0) << d.text;
        if (got && d.seconds >= 0) {
            EXPECT_DOUBLE_EQ(*got, d.seconds) << d.text;
        }
    }
}

// Frames of 0.1 s at the given levels, the change at 3 s.
std::vector<FrameSpan> Frames(const std::vector<double>& levels, int chained = -1) {
    std::vector<FrameSpan> frames;
    for (std::size_t i = 0; i < levels.size(); ++i)
        frames.push_back({0.1 * static_cast<double>(i), levels[i], static_cast<int>(i) == chained});
    return frames;
}

TEST(SongRulesTest, CutFallsInThePauseOrOnTheChange) {
    std::vector<double> loud(100, -10.0);
    std::vector<double> pause = loud;
    for (int i = 40; i < 50; ++i) pause[i] = -90;  // 4.0 .. 4.9 s
    std::vector<double> before = loud;
    for (int i = 15; i < 25; ++i) before[i] = -90;  // 1.5 .. 2.4 s
    std::vector<double> outside = loud;
    for (int i = 60; i < 70; ++i) outside[i] = -90;  // 6.0 .. 6.9 s: the window ends at 7 s
    std::vector<double> far = loud;
    for (int i = 75; i < 80; ++i) far[i] = -90;  // 7.5 s: beyond 3 + 4
    const struct {
        const char* what;
        std::vector<FrameSpan> frames;
        CutWindow window;
        std::size_t cut;
    } rows[] = {
        {"pause after the change", Frames(pause), {}, 44},
        {"pause before it", Frames(before), {}, 19},
        {"pause outside a narrow window", Frames(pause), {0.5, 0.5}, 30},
        {"pause at the window's end", Frames(outside), {}, 64},
        {"pause beyond the window", Frames(far), {}, 30},
        {"crossfade: no pause", Frames(loud), {}, 30},
        {"chained stream wins over a pause", Frames(pause, 33), {}, 33},
        {"chained stream outside the window", Frames(pause, 90), {}, 44},
    };
    for (const auto& r : rows) EXPECT_EQ(ChooseCut(r.frames, 3.0, r.window), r.cut) << r.what;
    EXPECT_EQ(ChooseCut(Frames({-10, -10}), 3.0, {}), 2u);  // nothing after the change yet
}

}  // namespace
}  // namespace velmora
