// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/transport.h"

#include <gtest/gtest.h>

#include "channels/directory.h"
#include "playback/volume.h"

namespace velmora {
namespace {

// Header rows land on the row after them; the programmes rule looks at the row as clicked.
TEST(Transport, DirectoryChoiceTable) {
    struct Row {
        int clicked, lands_on;
        bool programs;
    };
    const Row rows[] = {
        {0, 1, true},    {12, 13, true}, {18, 19, true}, {23, 24, true},  {24, 24, false},
        {3, 3, false},   {7, 7, false},  {8, 8, true},   {21, 21, false}, {22, 22, false},
        {25, 25, false}, {36, 36, true}, {11, 11, true},
    };
    for (const Row& r : rows) {
        const DirectoryChoice c = ChooseDirectoryRow(r.clicked);
        EXPECT_EQ(c.row, r.lands_on) << r.clicked;
        EXPECT_EQ(c.show_programs, r.programs) << r.clicked;
    }
}

// Only Up on the first station of a section steps onto the header above first.
TEST(Transport, UpKeyOnlySkipsHeadersAbove) {
    constexpr int kDown = 40;
    EXPECT_EQ(RowBeforeKeyDown(13, kVirtualKeyUp), 12);
    EXPECT_EQ(RowBeforeKeyDown(19, kVirtualKeyUp), 18);
    EXPECT_EQ(RowBeforeKeyDown(24, kVirtualKeyUp), 23);
    for (int row : {-1, 0, 1, 2, 12, 14, 18, 20, 23, 25, 36}) {
        EXPECT_EQ(RowBeforeKeyDown(row, kVirtualKeyUp), row) << row;
    }
    for (int row : {11, 13, 17, 19, 22, 24}) EXPECT_EQ(RowBeforeKeyDown(row, kDown), row) << row;
}

// Play opens the user channel in user mode, else the directory row; headers and rows outside the
// table give an empty address.
TEST(Transport, PlayUrlSource) {
    EXPECT_EQ(PlayUrl(true, "http://127.0.0.1:8000/a", 5), "http://127.0.0.1:8000/a");
    EXPECT_EQ(PlayUrl(false, "http://127.0.0.1:8000/a", 5), std::string(DirectoryUrl(5)));
    EXPECT_FALSE(PlayUrl(false, "", 5).empty());
    for (int row : {-1, 0, 12, 18, 23, 37}) EXPECT_EQ(PlayUrl(false, "x", row), "") << row;
}

// Unmute returns to the remembered volume, and to 50 only when nothing else is left.
TEST(Volume, UnmuteTarget) {
    EXPECT_EQ(UnmutePosition(0, 70), 70);
    EXPECT_EQ(UnmutePosition(0, 0), 50);
    EXPECT_EQ(UnmutePosition(0, 100), 100);
    EXPECT_FALSE(MuteButtonVisible(0));
    EXPECT_TRUE(MuteButtonVisible(1));
    EXPECT_FLOAT_EQ(EngineVolume(70), 0.7f);
}

}  // namespace
}  // namespace velmora
