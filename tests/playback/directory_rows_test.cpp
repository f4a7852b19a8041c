// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/directory_rows.h"

#include <gtest/gtest.h>

#include "channels/directory.h"
#include "playback/volume.h"

namespace velmora {
namespace {

// Header rows land on the station after them; the programmes rule looks at the row as clicked
// (header 23 lands on 24, which has none, and still shows the button). Rows from the table.
TEST(Transport, DirectoryChoiceFollowsTheTable) {
    int headers = 0;
    for (int row = 0; row < kDirectoryRowCount; ++row) {
        const DirectoryChoice c = ChooseDirectoryRow(row);
        EXPECT_EQ(c.show_programs, !DirectoryRowLacksPrograms(row)) << row;
        if (IsDirectoryHeaderRow(row)) {
            ++headers;
            EXPECT_EQ(c.row, row + 1) << row;
            EXPECT_FALSE(IsDirectoryHeaderRow(c.row)) << row;
        } else {
            EXPECT_EQ(c.row, row) << row;
        }
    }
    EXPECT_EQ(headers, 4);
    EXPECT_TRUE(ChooseDirectoryRow(23).show_programs);
    EXPECT_TRUE(DirectoryRowLacksPrograms(24));
}

// Only Up on the first station of a section steps onto the header above first; the first section
// has no section before it.
TEST(Transport, UpOnlySkipsHeadersAbove) {
    for (int row = -1; row <= kDirectoryRowCount; ++row) {
        const bool first_of_later_section = row > 1 && IsDirectoryHeaderRow(row - 1);
        EXPECT_EQ(RowBeforeUp(row), first_of_later_section ? row - 1 : row) << row;
    }
    EXPECT_EQ(RowBeforeUp(1), 1);
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
