// Decoded audio between the decoder thread and the output: interleaved stereo float frames.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

namespace vle {

class PcmFifo {
  public:
    // A full FIFO lets its producer sleep until no more than `resume_at` frames are left.
    PcmFifo(std::size_t frames, std::size_t resume_at)
        : buf_(new float[frames * 2]), frames_(frames), resume_at_(resume_at) {}

    // For writing in place (the one producer only): blocks while full, until it has drained to
    // the resume level, then gives the free frames at the tail as one run; 0 once aborted.
    std::size_t Reserve(float** where);
    // Blocks while more than the resume level is stored; false once aborted.
    bool WaitUntilLow();
    // Makes `count` frames written at the reserved place readable.
    void Commit(std::size_t count);
    // Takes up to `count` frames without waiting; returns how many.
    std::size_t Pop(float* out, std::size_t count);
    std::size_t size() const;
    void Abort();

  private:
    std::size_t Frames() const { return frames_; }

    // --- protected by m_
    mutable std::mutex m_;
    std::condition_variable cv_;
    // Left uninitialised: only what the decoder writes is ever read, and untouched pages cost
    // no memory.
    std::unique_ptr<float[]> buf_;
    const std::size_t frames_;
    const std::size_t resume_at_;
    std::size_t head_ = 0;  // next frame to read
    std::size_t fill_ = 0;  // frames stored
    bool aborted_ = false;
    bool waiting_ = false;  // the producer sleeps until the FIFO has drained
};

}  // namespace vle
