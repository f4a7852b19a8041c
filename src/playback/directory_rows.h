// SPDX-License-Identifier: GPL-3.0-or-later
// Rules of the transport controls: what Play opens, where a directory choice lands, and the Up-key
// skip over section headers. Plain functions over plain inputs; the window only applies them.
#pragma once

#include <string>

namespace velmora {

// The directory row chosen before the user chooses one: the first station.
int FirstStationRow();

// The URL Play opens: the user channel's in user-channel mode, else the directory row's (an empty
// URL for a header row or no row, which then fails like any unreachable address).
std::string PlayUrl(bool user_channel_mode, const std::string& user_channel_url, int directory_row);

struct DirectoryChoice {
    int row;             // the row to select and play: a header row moves on to the row after it
    bool show_programs;  // whether the programmes button stays visible
};

// A choice of directory row `clicked`. The programmes rule looks at the row as clicked, so header
// 23, which lands on row 24, leaves the button shown.
DirectoryChoice ChooseDirectoryRow(int clicked);

// Up on the directory: the row to select before the drop-down's own handling moves one row up, or
// `row` unchanged. Up on the first station of a section selects the header above it, so the
// drop-down then lands on the last station of the section before.
int RowBeforeUp(int row);

}  // namespace velmora
