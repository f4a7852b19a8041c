// Decoded audio between the decoder thread and the output: interleaved stereo float frames.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace vle {

class PcmFifo {
  public:
    explicit PcmFifo(std::size_t frames) : buf_(frames * 2) {}

    // Blocks while full, until half of it has been taken; false once aborted.
    bool Push(const float* frames, std::size_t count);
    // For writing in place (the one producer only): blocks while full, until half of it has been
    // taken, then gives the free frames at the tail as one run; 0 once aborted.
    std::size_t Reserve(float** where);
    // Makes `count` frames written at the reserved place readable.
    void Commit(std::size_t count);
    // Takes up to `count` frames without waiting; returns how many.
    std::size_t Pop(float* out, std::size_t count);
    std::size_t size() const;
    void Abort();

  private:
    std::size_t Frames() const { return buf_.size() / 2; }

    // --- protected by m_
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<float> buf_;
    std::size_t head_ = 0;  // next frame to read
    std::size_t fill_ = 0;  // frames stored
    bool aborted_ = false;
    bool waiting_ = false;  // Push() sleeps until the FIFO is half empty
};

}  // namespace vle
