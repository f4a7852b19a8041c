#include "playback/transport.h"

#include "channels/directory.h"

namespace velmora {

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

int RowBeforeKeyDown(int row, int virtual_key) {
    if (virtual_key != kVirtualKeyUp) return row;
    if (row == 13 || row == 19 || row == 24) return row - 1;
    return row;
}

}  // namespace velmora
