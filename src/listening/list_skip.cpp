// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/list_skip.h"

namespace velmora {

int AdjacentListRow(const std::vector<bool>& playable, int row, int step) {
    const int count = static_cast<int>(playable.size());
    if (count == 0) return -1;
    int next = row >= 0 && row < count ? row : (step > 0 ? count - 1 : 0);
    for (int i = 0; i < count; ++i) {
        next = ((next + step) % count + count) % count;
        if (playable[static_cast<std::size_t>(next)]) return next;
    }
    return -1;
}

}  // namespace velmora
