// SPDX-License-Identifier: GPL-3.0-or-later
// How loud a frame may sound, read from its bits without decoding: cheap enough to look at every
// frame around a title change, so that only the few that look quiet need the decoder. No Qt.
#pragma once

#include <string_view>
#include <vector>

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

enum class FrameDecoding : char {
    Skip,    // looks no quieter than the rest: counts as loud
    Decode,  // may be the pause: its level is decoded
    Silent,  // digital silence by its bits: nothing to decode
};
using DecodePlan = std::vector<FrameDecoding>;

// Which frames of a cut's window to decode. `bits` are the window's frames, preceded by the frame
// before it when `with_previous`. The stretches that look quietest are decoded with a few frames
// on either side, two of them, as a frame that looks quiet may not sound so (a pure tone needs few
// bits); one of digital silence ends the search. `exact_silence`: frames without bits after such a
// frame decode to digital silence (MP3; AAC may still carry sound in its SBR data). When a frame's
// bits cannot be read, every frame is decoded.
DecodePlan PlanDecoding(const std::vector<FrameBits>& bits, bool with_previous, bool exact_silence);

}  // namespace velmora
