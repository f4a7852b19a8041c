// SPDX-License-Identifier: GPL-3.0-or-later
// How loud each frame of an MPEG or ADTS stream sounds: the recorder's own small decoder (FFmpeg),
// fed the frames it keeps for a cut, so that a decoded level maps to the frame's bytes exactly.
// Nothing it decodes is written anywhere. No Qt.
#pragma once

#include <memory>

#include "recording/audio_frames.h"

namespace velmora {

// The level of digital silence: the lowest a frame measures.
inline constexpr double kSilenceDb = -100.0;

class FrameLevelMeter {
  public:
    explicit FrameLevelMeter(StreamFormat format);
    ~FrameLevelMeter();
    FrameLevelMeter(const FrameLevelMeter&) = delete;
    FrameLevelMeter& operator=(const FrameLevelMeter&) = delete;

    // False for Ogg and Unknown, or when FFmpeg has no decoder: cuts then fall on the change.
    bool Works() const;
    // The frame's RMS level in dBFS (kSilenceDb at least); frames must come in stream order. The
    // first frames after a join may not decode: they count as loud, not as a pause.
    double Level(const AudioFrame& frame);
    // Forgets the frames decoded so far, for frames that do not follow them: the decoder is kept
    // (opening one costs more than a cut's frames), only its state goes.
    void Restart();

  private:
    struct Codec;
    std::unique_ptr<Codec> codec_;
};

}  // namespace velmora
