// SPDX-License-Identifier: GPL-3.0-or-later
// How loud a frame may sound, read from its bits without decoding: cheap enough to look at every
// frame around a title change, so that only the few that look quiet need the decoder. No Qt.
#pragma once

#include <string_view>

#include "recording/audio_frames.h"

namespace velmora {

struct FrameBits {
    bool known = false;  // false: other layers, more channels than two, or damaged side data
    // Every channel of the frame carries an empty spectrum (no bits spent on sound).
    bool silent = false;
    // A rough level in dB for ranking frames against each other (lower is quieter): MPEG audio
    // Layer III the largest value its granules can hold (global gain and the Huffman tables in
    // use), ADTS AAC its length. Silent frames get kSilenceBits.
    double level = 0;
};

inline constexpr double kSilenceBits = -1000.0;

// `frame` is one whole frame as FrameScanner hands it out.
FrameBits ReadFrameBits(StreamFormat format, std::string_view frame);

}  // namespace velmora
