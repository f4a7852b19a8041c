// SPDX-License-Identifier: GPL-3.0-or-later
// Decoded audio between the decoder thread and the output: interleaved stereo float frames.
// The frames played last stay readable for the analyser: the producer never writes over them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace engine {

class PcmFifo {
  public:
    // Holds `frames` frames; a full FIFO lets its producer sleep until no more than `resume_at`
    // are left. The last `kept` frames taken stay readable through CopyMono().
    PcmFifo(std::size_t frames, std::size_t resume_at, std::size_t kept)
        : buf_(MapSamples((frames + kept) * 2)),
          frames_(frames + kept),
          resume_at_(resume_at),
          kept_(kept) {}

    // For writing in place (the one producer only): blocks while full, until it has drained to
    // the resume level, then gives the free frames at the tail as one run; 0 once aborted.
    std::size_t Reserve(float** where);
    // Blocks while more than the resume level is stored; false once aborted.
    bool WaitUntilLow();
    // Makes `count` frames written at the reserved place readable.
    void Commit(std::size_t count);

    // What one Pop() took: frames [first, first + frames) of the stream, at `at`.
    struct Taken {
        std::uint64_t first = 0;
        std::size_t frames = 0;
        std::chrono::steady_clock::time_point at{};
    };
    // Takes up to `count` frames without waiting; returns how many, and remembers them as the
    // last taken at `at`.
    std::size_t Pop(float* out, std::size_t count, std::chrono::steady_clock::time_point at);
    Taken LastTaken() const;
    // Frames [first, first + count) of the stream mixed to mono into `mono`; frames not taken
    // before `limit`, not yet taken or no longer kept read as silence.
    void CopyMono(std::int64_t first, std::size_t count, std::uint64_t limit, float* mono) const;

    std::size_t size() const;
    void Abort();
    // Wakes the producer for a seek: Reserve() gives 0 and WaitUntilLow() false until Clear().
    void Interrupt();
    // Drops the frames not yet taken (the producer, seeking) and ends an interrupt.
    void Clear();
    // Ends an interrupt whose seek the producer has already taken.
    void EndInterrupt();
    // Frames taken since the start, and those committed (taken plus stored).
    std::uint64_t taken() const;
    std::uint64_t committed() const;

  private:
    // Unmaps the sample memory.
    struct Unmap {
        std::size_t bytes = 0;
        void operator()(float* p) const;
    };
    using Samples = std::unique_ptr<float[], Unmap>;
    // `count` floats in a mapping of their own; throws std::bad_alloc when there is no memory.
    static Samples MapSamples(std::size_t count);

    std::size_t Usable() const { return frames_ - kept_; }
    // Sleeps until the consumer has drained the FIFO to the resume level, or it is aborted.
    void WaitForResumeLocked(std::unique_lock<std::mutex>& lock);

    // --- protected by m_
    mutable std::mutex m_;
    std::condition_variable cv_;
    // A mapping of its own rather than the heap: at 1.5 MB it is the largest block of a stream,
    // and once glibc has raised its mmap threshold (after the first such block is freed) a heap
    // block of this size is carved from the arena of whichever thread opened the stream, whose
    // pages then stay resident after the stream is gone; resident memory climbed by about
    // 1.9 MiB for every arena the reopenings of a long session went through. Untouched pages
    // of the mapping cost no memory, and unmapping returns the rest at once.
    Samples buf_;
    const std::size_t frames_;
    const std::size_t resume_at_;
    const std::size_t kept_;
    std::size_t head_ = 0;     // next frame to read
    std::size_t fill_ = 0;     // frames stored
    std::uint64_t taken_ = 0;  // frames taken since the start
    Taken last_;
    bool aborted_ = false;
    bool waiting_ = false;  // the producer sleeps until the FIFO has drained
    bool interrupted_ = false;
};

}  // namespace engine
