#include "engine/pcm_fifo.h"

#include <algorithm>
#include <cstring>

namespace vle {

std::size_t PcmFifo::Reserve(float** where) {
    std::unique_lock lock(m_);
    const std::size_t cap = Frames();
    if (fill_ == cap) {
        waiting_ = true;
        cv_.wait(lock, [&] { return aborted_ || fill_ <= resume_at_; });
        waiting_ = false;
    }
    if (aborted_) return 0;
    // The consumer never reads beyond fill_, so the run can be written without the lock.
    const std::size_t tail = (head_ + fill_) % cap;
    *where = buf_.get() + tail * 2;
    return std::min(cap - fill_, cap - tail);
}

bool PcmFifo::WaitUntilLow() {
    std::unique_lock lock(m_);
    waiting_ = true;
    cv_.wait(lock, [&] { return aborted_ || fill_ <= resume_at_; });
    waiting_ = false;
    return !aborted_;
}

void PcmFifo::Commit(std::size_t count) {
    std::lock_guard lock(m_);
    fill_ += count;
}

std::size_t PcmFifo::Pop(float* out, std::size_t count) {
    std::lock_guard lock(m_);
    const std::size_t cap = Frames();
    std::size_t done = 0;
    while (done < count && fill_ > 0) {
        const std::size_t n = std::min({count - done, fill_, cap - head_});
        std::memcpy(out + done * 2, buf_.get() + head_ * 2, n * 2 * sizeof(float));
        head_ = (head_ + n) % cap;
        fill_ -= n;
        done += n;
    }
    if (done && waiting_ && fill_ <= resume_at_) cv_.notify_all();
    return done;
}

std::size_t PcmFifo::size() const {
    std::lock_guard lock(m_);
    return fill_;
}

void PcmFifo::Abort() {
    std::lock_guard lock(m_);
    aborted_ = true;
    cv_.notify_all();
}

}  // namespace vle
