// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in station directory: 37 fixed rows grouped by language, four of them section headers.
// The row index is a row's identity everywhere (drop-down, settings, the rules below).
#pragma once

#include <array>
#include <string_view>

namespace velmora {

struct DirectoryRow {
    std::string_view text;      // row text of the drop-down (translated before display)
    std::string_view playlist;  // stream or playlist URL; empty at header rows
    std::string_view homepage;  // empty at header rows
    std::string_view programs;  // schedule page; empty where the station publishes none
    // Now-playing texts for stations whose stream carries no name or bit rate (".asx" rows).
    std::string_view fixed_name;
    std::string_view fixed_bitrate;
};

inline constexpr int kDirectoryRowCount = 37;

// All rows, index 0 to 36.
const std::array<DirectoryRow, kDirectoryRowCount>& DirectoryRows();

// True for rows 0, 12, 18 and 23.
bool IsDirectoryHeaderRow(int row);
// True for a row index 0..36 that is not a header.
bool IsDirectoryStationRow(int row);
// The playlist URL Play opens for `row`; empty for header rows and any index outside 0..36.
std::string_view DirectoryUrl(int row);
// True for the station rows that have no programme page (3, 7, 21, 22, 24, 25).
bool DirectoryRowLacksPrograms(int row);

}  // namespace velmora
