// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/pcm_fifo.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace engine {

PcmFifo::Samples PcmFifo::MapSamples(std::size_t count) {
    const std::size_t bytes = count * sizeof(float);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return Samples(static_cast<float*>(p), Unmap{bytes});
}

void PcmFifo::Unmap::operator()(float* p) const {
    if (p) munmap(p, bytes);
}

void PcmFifo::WaitForResumeLocked(std::unique_lock<std::mutex>& lock) {
    waiting_ = true;
    cv_.wait(lock, [&] { return aborted_ || interrupted_ || fill_ <= resume_at_; });
    waiting_ = false;
}

std::size_t PcmFifo::Reserve(float** where) {
    std::unique_lock lock(m_);
    if (fill_ >= Usable()) WaitForResumeLocked(lock);
    if (aborted_ || interrupted_) return 0;
    // The consumer never reads beyond fill_, and the kept frames lie behind head_, so the run can
    // be written without the lock.
    const std::size_t tail = (head_ + fill_) % frames_;
    *where = buf_.get() + tail * 2;
    return std::min(Usable() - fill_, frames_ - tail);
}

bool PcmFifo::WaitUntilLow() {
    std::unique_lock lock(m_);
    WaitForResumeLocked(lock);
    return !aborted_ && !interrupted_;
}

void PcmFifo::Commit(std::size_t count) {
    std::lock_guard lock(m_);
    fill_ += count;
}

std::size_t PcmFifo::Pop(float* out, std::size_t count, std::chrono::steady_clock::time_point at) {
    std::lock_guard lock(m_);
    std::size_t done = 0;
    while (done < count && fill_ > 0) {
        const std::size_t n = std::min({count - done, fill_, frames_ - head_});
        std::memcpy(out + done * 2, buf_.get() + head_ * 2, n * 2 * sizeof(float));
        head_ = (head_ + n) % frames_;
        fill_ -= n;
        done += n;
    }
    last_ = {taken_, done, at};
    taken_ += done;
    if (done && waiting_ && fill_ <= resume_at_) cv_.notify_all();
    return done;
}

PcmFifo::Taken PcmFifo::LastTaken() const {
    std::lock_guard lock(m_);
    return last_;
}

void PcmFifo::CopyMono(std::int64_t first, std::size_t count, std::uint64_t limit,
                       float* mono) const {
    std::fill(mono, mono + count, 0.0f);
    std::lock_guard lock(m_);
    const auto taken = static_cast<std::int64_t>(taken_);
    const std::int64_t from =
        std::max({first, taken - static_cast<std::int64_t>(kept_), std::int64_t{0}});
    const std::int64_t to = std::min(first + static_cast<std::int64_t>(count),
                                     static_cast<std::int64_t>(std::min(limit, taken_)));
    if (from >= to) return;
    // Frame taken_ - 1 sits just behind head_.
    std::size_t at = (head_ + frames_ - static_cast<std::size_t>(taken - from)) % frames_;
    for (std::int64_t f = from; f < to; ++f) {
        mono[f - first] = 0.5f * (buf_[2 * at] + buf_[2 * at + 1]);
        if (++at == frames_) at = 0;
    }
}

std::size_t PcmFifo::size() const {
    std::lock_guard lock(m_);
    return fill_;
}

void PcmFifo::Interrupt() {
    std::lock_guard lock(m_);
    interrupted_ = true;
    cv_.notify_all();
}

void PcmFifo::Clear() {
    std::lock_guard lock(m_);
    fill_ = 0;
    interrupted_ = false;
}

void PcmFifo::EndInterrupt() {
    std::lock_guard lock(m_);
    interrupted_ = false;
}

std::uint64_t PcmFifo::taken() const {
    std::lock_guard lock(m_);
    return taken_;
}

std::uint64_t PcmFifo::committed() const {
    std::lock_guard lock(m_);
    return taken_ + fill_;
}

void PcmFifo::Abort() {
    std::lock_guard lock(m_);
    aborted_ = true;
    cv_.notify_all();
}

}  // namespace engine
