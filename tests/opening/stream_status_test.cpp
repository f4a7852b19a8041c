// SPDX-License-Identifier: GPL-3.0-or-later
// The opening worker's text rules: the buffering percentage and when its wait ends, the station
// tag walk, and the title taken from the metadata text.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "opening/stream_status.h"

namespace velmora {
namespace {

TEST(StreamStatusTest, BufferingPercentAndTheEndOfTheWait) {
    constexpr std::uint64_t kGiB4 = std::uint64_t{1} << 32;
    const struct {
        std::uint64_t end, download, current;
        std::uint32_t percent;
        bool done;
    } rows[] = {
        {80000, 40000, 0, 50, false},
        {80000, 60799, 0, 75, false},  // 75.99 truncates to 75: keep waiting
        {80000, 60800, 0, 76, true},
        {80000, 100000, 20000, 100, true},
        {3, 1, 0, 33, false},
        // The decoder ahead of the download gives a negative result, which ends the wait.
        {100, 10, 20, static_cast<std::uint32_t>(-10), true},
        {3, 0, 1, static_cast<std::uint32_t>(-33), true},  // truncated toward zero, not -34
        // Only the low 32 bits are kept.
        {1, kGiB4 + 5, 0, 500, true},
        // No usable end position: no division by zero, the wait ends.
        {0, 0, 0, 100, true},
        {0, 5000, 100, 100, true},
    };
    for (const auto& r : rows) {
        const std::uint32_t p = BufferingPercent(r.end, r.download, r.current);
        EXPECT_EQ(p, r.percent) << r.end << " " << r.download << " " << r.current;
        EXPECT_EQ(BufferingDone(p), r.done) << p;
    }
    // The wait for the next percent asks for the fewest bytes that reach it.
    for (const std::uint64_t end : {3, 80000, 80001, 176399}) {
        for (const std::uint32_t pct : {1u, 33u, 76u, 100u}) {
            const std::uint64_t bytes = BufferingBytesFor(pct, end);
            EXPECT_GE(BufferingPercent(end, bytes, 0), pct) << end << " " << pct;
            EXPECT_LT(BufferingPercent(end, bytes - 1, 0), pct) << end << " " << pct;
        }
    }
    EXPECT_EQ(BufferingText(42), "Buffering... 42%");
    // The label holds the percentage within 0..100 whatever the worker computes.
    EXPECT_EQ(BufferingText(BufferingPercent(100, 10, 20)), "Buffering... 0%");
    EXPECT_EQ(BufferingText(BufferingPercent(1, std::uint64_t{1} << 32 | 5, 0)),
              "Buffering... 100%");
    EXPECT_EQ(BufferingText(BufferingPercent(80000, 80000, 0)), "Buffering... 100%");
}

// Tag lines as the engine hands them over: each zero-terminated, then an empty one.
std::string TagBlock(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + '\0';
    return s + '\0';
}

std::vector<std::pair<StreamStatus, std::string>> Walk(const std::string& tags) {
    std::vector<std::pair<StreamStatus, std::string>> out;
    WalkStationTags(tags.c_str(), [&](const StatusReport& r) { out.emplace_back(r.code, r.text); });
    return out;
}

TEST(StreamStatusTest, StationTagWalk) {
    using S = StreamStatus;
    // Nothing after the empty line counts.
    const std::string icy =
        TagBlock({"ICY 200 OK", "icy-name: Radio One", "icy-br:128", "Icy-Name:Wrong Case",
                  "icy-genre:Pop", "icy-name:", "icy-br:64, 32"}) +
        TagBlock({"icy-name:After The End"});
    EXPECT_EQ(Walk(icy), (std::vector<std::pair<S, std::string>>{
                             {S::StationName, " Radio One"},  // the blank after the colon stays
                             {S::Bitrate, "Bitrate: 128 kbps"},
                             {S::StationName, ""},  // a later line overrides on the label
                             {S::Bitrate, "Bitrate: 64, 32 kbps"},
                         }));
    EXPECT_TRUE(Walk(TagBlock({"HTTP/1.0 200 OK", "icy-name", "icy-brx", " icy-br:1"})).empty());
    int calls = 0;
    WalkStationTags(nullptr, [&](const StatusReport&) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(StreamStatusTest, StreamTitleFromMetadata) {
    const struct {
        std::string meta;
        std::optional<std::string> title;
    } rows[] = {
        {"StreamTitle='Artist - Song';StreamUrl='http://x/';", "Artist - Song"},
        {"StreamTitle='Artist - Song';", "Artist - Song"},
        {"StreamTitle='';", ""},
        {"junkStreamTitle='T';", "T"},
        // The "';" that closes the title ends it: a ";" inside stays, fields before it are skipped.
        {"StreamTitle='Simon & Garfunkel; Live - The Boxer';",
         "Simon & Garfunkel; Live - The Boxer"},
        {"StreamUrl='http://x/a;b';StreamTitle='Nina Simone - Feeling Good';",
         "Nina Simone - Feeling Good"},
        {"StreamTitle='A;B';", "A;B"},
        {"StreamTitle='It's';StreamUrl='';", "It's"},
        // A quote that ends the block closes the title too.
        {"StreamTitle='No semicolon'", "No semicolon"},
        {"StreamTitle=''", ""},
        {"StreamTitle='", ""},
        {"StreamTitle=", ""},
        // Not closed at all: two characters before the first ";" of the whole text.
        {"StreamTitle='A;B", ""},
        {"StreamTitle='AB;C", "A"},
        {"StreamUrl='u';StreamTitle='Late", ""},
        {"StreamTitle='x", ""},
        {"StreamUrl='http://x/';", std::nullopt},
        {"streamtitle='lower';", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(ParseStreamTitle(r.meta), r.title) << r.meta;
}

}  // namespace
}  // namespace velmora
