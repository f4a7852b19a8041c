// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/directory.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace velmora {
namespace {

bool EndsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Four exact header rows with nothing behind them; every other row a complete station.
TEST(Directory, HeadersAndStationColumns) {
    const auto& rows = DirectoryRows();
    EXPECT_EQ(rows[0].text, "-----------------Russian--------------------------");
    EXPECT_EQ(rows[12].text, "-----------------German--------------------------");
    EXPECT_EQ(rows[18].text, "-----------------English---------------------------");
    EXPECT_EQ(rows[23].text, "-----------------Other languages------------");
    const std::set<int> no_programs = {3, 7, 21, 22, 24, 25};
    int stations = 0;
    for (int i = 0; i < kDirectoryRowCount; ++i) {
        const DirectoryRow& r = rows[i];
        if (IsDirectoryHeaderRow(i)) {
            EXPECT_TRUE(r.playlist.empty() && r.homepage.empty() && r.programs.empty()) << i;
            EXPECT_EQ(DirectoryUrl(i), "") << i;
            continue;
        }
        ++stations;
        EXPECT_FALSE(r.text.empty()) << i;
        EXPECT_TRUE(r.text.find("---") == std::string_view::npos) << i;
        EXPECT_TRUE(r.playlist.starts_with("http://")) << i;
        EXPECT_TRUE(r.homepage.starts_with("http")) << i;
        EXPECT_EQ(r.programs.empty(), no_programs.count(i) == 1) << i;
        EXPECT_EQ(DirectoryRowLacksPrograms(i), no_programs.count(i) == 1) << i;
        EXPECT_EQ(DirectoryUrl(i), r.playlist) << i;
    }
    EXPECT_EQ(stations, 33);
    EXPECT_EQ(DirectoryUrl(-1), "");
    EXPECT_EQ(DirectoryUrl(37), "");
    EXPECT_FALSE(IsDirectoryStationRow(-1));
    EXPECT_FALSE(IsDirectoryStationRow(37));
}

// Playlist kinds by row: ".asx" exactly where fixed now-playing texts exist, bare host:port at
// 28 to 30, ".pls" or ".m3u" elsewhere.
TEST(Directory, PlaylistKindsAndFixedTexts) {
    const auto& rows = DirectoryRows();
    const std::set<int> asx = {2, 8, 9, 13, 19, 20, 26, 27, 31, 32, 33, 34, 35, 36};
    const std::regex bare(R"(http://[A-Za-z0-9.-]+:[0-9]+/?)");
    for (int i = 0; i < kDirectoryRowCount; ++i) {
        if (IsDirectoryHeaderRow(i)) continue;
        const DirectoryRow& r = rows[i];
        const std::string url(r.playlist);
        if (asx.count(i)) {
            EXPECT_TRUE(EndsWith(url, ".asx")) << i;
            EXPECT_FALSE(r.fixed_name.empty()) << i;
            EXPECT_EQ(r.fixed_bitrate,
                      (i == 9 || i == 27) ? "Bitrate: 96 kbps" : "Bitrate: 20 kbps")
                << i;
        } else {
            EXPECT_TRUE(r.fixed_name.empty() && r.fixed_bitrate.empty()) << i;
            if (i >= 28 && i <= 30) {
                EXPECT_TRUE(std::regex_match(url, bare)) << i << " " << url;
            } else {
                EXPECT_TRUE(EndsWith(url, ".pls") || EndsWith(url, ".m3u")) << i << " " << url;
            }
        }
    }
    EXPECT_EQ(rows[8].fixed_name, rows[9].fixed_name);
    EXPECT_EQ(rows[26].fixed_name, rows[27].fixed_name);
    EXPECT_EQ(rows[31].fixed_name, rows[32].fixed_name);
    EXPECT_EQ(rows[31].playlist, rows[32].playlist);
}

// One broadcaster's rates: the " - rate" suffixes, one homepage, their own playlists.
TEST(Directory, RateRowsOfOneBroadcaster) {
    const auto& rows = DirectoryRows();
    const std::vector<std::vector<std::pair<int, std::string_view>>> groups = {
        {{5, " - Music 56"}, {6, " - Music 64"}}, {{8, " - 20"}, {9, " - 96"}},
        {{10, " - 24"}, {11, " - 128"}},          {{16, " - 40"}, {17, " - 96"}},
        {{26, " - 20"}, {27, " - 96"}},           {{28, " - 32"}, {29, " - 64"}, {30, " - 128"}},
    };
    std::set<int> suffixed;
    for (const auto& group : groups) {
        for (const auto& [row, suffix] : group) {
            suffixed.insert(row);
            EXPECT_TRUE(EndsWith(rows[row].text, suffix)) << row;
            EXPECT_EQ(rows[row].homepage, rows[group[0].first].homepage) << row;
            if (row != group[0].first) {
                EXPECT_NE(rows[row].playlist, rows[group[0].first].playlist) << row;
            }
        }
    }
    const std::regex rate_suffix(R"(.* - (Music )?[0-9]+)");
    for (int i = 0; i < kDirectoryRowCount; ++i) {
        if (suffixed.count(i)) continue;
        EXPECT_FALSE(std::regex_match(std::string(rows[i].text), rate_suffix)) << i;
    }
}

}  // namespace
}  // namespace velmora
