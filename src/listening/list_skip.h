// SPDX-License-Identifier: GPL-3.0-or-later
// Next and Previous within the user's own list.
#pragma once

#include <vector>

namespace velmora {

// The playable row `step` rows (+1 or -1) on from `row`, passing over rows that cannot be played
// (separators) and wrapping round at either end; a row outside the list counts as just outside
// the end the step comes from. -1 when no row can be played.
int AdjacentListRow(const std::vector<bool>& playable, int row, int step);

}  // namespace velmora
