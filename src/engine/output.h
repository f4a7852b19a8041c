// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output: one SDL device, and the mixer that its callback runs over the playing streams.
#pragma once

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"

namespace engine {

struct StreamCore;

class Output {
  public:
    // Opens the device (-1 = default) at `freq` Hz, stereo float, to check that it can be opened,
    // and starts the device thread. On failure sets `*error`. The device itself stays closed
    // while nothing plays: an open device's thread wakes every period even when paused.
    bool Open(int device, int freq, ErrorCode* error);
    void Close();
    int rate() const { return rate_; }
    // Frames the device takes per callback.
    int period() const { return period_.load(); }
    static constexpr int kPeriodFrames = 8192;

    // The first stream added opens the device, the last one removed closes it. Neither waits:
    // the device thread does both.
    void Add(const std::shared_ptr<StreamCore>& core);
    void Remove(const StreamCore* core);
    // How long the device stays open after the last stream was removed.
    void SetLinger(std::chrono::milliseconds linger);

  private:
    static void Callback(void* ud, Uint8* stream, int len);
    void Mix(float* out, int frames);
    // The device thread: opens and closes the device as `want_open_` asks, outside every lock
    // but its own (closing waits for a running callback, which takes m_). `dev`: the device
    // Open() left open, or 0.
    void DeviceLoop(SDL_AudioDeviceID dev);
    SDL_AudioDeviceID OpenDevice();
    // Sets the wish from the list of playing streams and wakes the device thread. Takes dev_m_,
    // then m_.
    void UpdateDevice();

    // --- set by Open() before the device thread starts
    std::string device_name_;  // empty: the default device
    bool named_device_ = false;
    int rate_ = 44100;
    std::atomic<int> period_{kPeriodFrames};
    std::thread device_thread_;
    // --- protected by dev_m_, waited for on dev_cv_
    std::mutex dev_m_;
    std::condition_variable dev_cv_;
    bool want_open_ = false;
    bool quit_ = false;
    std::chrono::milliseconds linger_{2000};
    // --- protected by m_; the callback holds it while mixing (well under a millisecond)
    std::mutex m_;
    std::vector<std::shared_ptr<StreamCore>> playing_;
    // Access from the output thread only.
    std::vector<float> scratch_;
};

}  // namespace engine
