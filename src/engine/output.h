// The sound output: one SDL device, and the mixer that its callback runs over the playing streams.
#pragma once

#include <SDL.h>

#include <memory>
#include <mutex>
#include <vector>

#include "engine/engine.h"

namespace vle {

struct StreamCore;

class Output {
  public:
    // Opens the device (-1 = default) at `freq` Hz, stereo float. On failure sets `*error`.
    bool Open(int device, int freq, ErrorCode* error);
    void Close();
    bool is_open() const { return dev_ != 0; }
    int rate() const { return rate_; }
    // Frames the device takes per callback.
    int period() const { return period_; }
    static constexpr int kPeriodFrames = 4096;

    void Add(const std::shared_ptr<StreamCore>& core);
    void Remove(const StreamCore* core);

  private:
    static void Callback(void* ud, Uint8* stream, int len);
    void Mix(float* out, int frames);

    SDL_AudioDeviceID dev_ = 0;
    int rate_ = 44100;
    int period_ = kPeriodFrames;
    // --- protected by m_; the callback holds it while mixing (well under a millisecond)
    std::mutex m_;
    std::vector<std::shared_ptr<StreamCore>> playing_;
    // Access from the output thread only.
    std::vector<float> scratch_;
};

}  // namespace vle
