// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/volume.h"

namespace velmora {

int UnmutePosition(int slider_position, int saved_volume) {
    if (slider_position == 0 && saved_volume == 0) return kUnmuteFallbackVolume;
    return saved_volume;
}

}  // namespace velmora
