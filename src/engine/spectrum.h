// SPDX-License-Identifier: GPL-3.0-or-later
// Magnitudes of the last samples played, for the analyser.
#pragma once

#include <array>

namespace engine {

// 512 magnitudes of a Hann-windowed 1024-point FFT of `samples` (oldest first), scaled so that
// a full-scale sine at a bin centre gives about 1.0 in that bin.
void FftMagnitudes(const std::array<float, 1024>& samples, float* out512);

}  // namespace engine
