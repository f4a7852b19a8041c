// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/directory_rows.h"

#include "channels/directory.h"

namespace velmora {

int FirstStationRow() {
    int row = 0;
    while (row < kDirectoryRowCount && !IsDirectoryStationRow(row)) ++row;
    return row;
}

std::string PlayUrl(bool user_channel_mode, const std::string& user_channel_url,
                    int directory_row) {
    if (user_channel_mode) return user_channel_url;
    return std::string(DirectoryUrl(directory_row));
}

DirectoryChoice ChooseDirectoryRow(int clicked) {
    DirectoryChoice choice{clicked, !DirectoryRowLacksPrograms(clicked)};
    if (IsDirectoryHeaderRow(clicked)) choice.row = clicked + 1;
    return choice;
}

int RowBeforeUp(int row) {
    // The first section has no section before it to land in.
    const int header = row - 1;
    if (header > 0 && IsDirectoryHeaderRow(header)) return header;
    return row;
}

}  // namespace velmora
