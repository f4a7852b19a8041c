// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/byte_ring.h"

#include "engine/time_shift_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace engine {

namespace {
// Whatever changes `keep_waiting` must call Wake() (or abort), so the waits need no timed slices.
void WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               std::chrono::steady_clock::time_point deadline) {
    if (deadline == std::chrono::steady_clock::time_point::max())
        cv.wait(lock);
    else
        cv.wait_until(lock, deadline);
}

// Where the bound sends a reader it passed: this far after the oldest byte kept.
constexpr double kDropMarginSeconds = 10;
constexpr double kDropMarginShare = 0.05;
}  // namespace

ByteRing::ByteRing(std::size_t capacity) : buf_(capacity) {}

ByteRing::~ByteRing() = default;

bool ByteRing::Write(const std::uint8_t* data, std::size_t size) {
    std::unique_lock lock(m_);
    if (file_) {
        if (aborted_) return false;
        if (WriteShiftedLocked(data, size)) return true;
        // The file could not take the bytes: they go on through memory, as without time-shift.
    }
    while (size > 0) {
        // Room is counted from the unplayed bytes, not the unread ones: bytes a holding reader
        // took are still in the buffer as far as the listener is concerned.
        if (discard_when_full_ && UnplayedLocked() >= buf_.size()) read_ = played_ = written_;
        cv_.wait(lock, [&] { return aborted_ || UnplayedLocked() < buf_.size(); });
        if (aborted_) return false;
        const std::size_t cap = buf_.size();
        const std::size_t at = static_cast<std::size_t>(written_ % cap);
        const std::size_t n = std::min({size, cap - UnplayedLocked(), cap - at});
        std::memcpy(buf_.data() + at, data, n);
        written_ += n;
        data += n;
        size -= n;
        cv_.notify_all();
    }
    return true;
}

void ByteRing::DiscardWhenFull() {
    std::lock_guard lock(m_);
    discard_when_full_ = true;
    cv_.notify_all();
}

ByteRing::ReadResult ByteRing::Read(std::uint8_t* dst, std::size_t size, std::uint64_t from,
                                    std::chrono::steady_clock::time_point deadline,
                                    std::size_t* got, const std::function<bool()>& keep_waiting,
                                    bool hold) {
    *got = 0;
    std::unique_lock lock(m_);
    std::uint64_t limit;
    for (;;) {
        if (aborted_) return ReadResult::Aborted;
        if (seek_pending_) return ReadResult::Seek;
        // Asked afresh after every wait: a boundary may arrive with the bytes waited for.
        limit = NextBoundaryLocked(from);
        if (read_ >= limit) return ReadResult::End;
        const std::size_t fill = FillLocked();
        if (fill == 0 && finished_) return ReadResult::End;
        // Catching up with the download is normal; only a dry output makes it a stall.
        if (fill == 0 && underrun_ && refill_ > 0) starved_ = true;
        const bool refilled = !starved_ || fill >= std::min(refill_, buf_.size()) || finished_;
        if (fill > 0 && refilled) break;
        // A reader that holds a whole buffer and wants more would wait for a writer that waits
        // for room: what it holds then counts as played.
        if (played_ < read_ && UnplayedLocked() >= buf_.size()) {
            played_ = read_;
            cv_.notify_all();
        }
        if (std::chrono::steady_clock::now() >= deadline) return ReadResult::Timeout;
        if (keep_waiting && !keep_waiting()) return ReadResult::Aborted;
        WaitUntil(cv_, lock, deadline);
    }
    const bool flows_again = (starved_ || underrun_) && flow_hook_;
    starved_ = false;
    underrun_ = false;
    const std::size_t cap = buf_.size();
    const std::size_t at = static_cast<std::size_t>(read_ % cap);
    std::size_t n = std::min({size, FillLocked(), file_ ? size : cap - at});
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, limit - read_));
    if (!CopyOutLocked(read_, dst, n)) return ReadResult::Aborted;
    read_ += n;
    if (!hold) played_ = read_;
    *got = n;
    cv_.notify_all();
    if (flows_again) {
        // Outside m_: the hook wakes the download thread, which may be about to ask starved().
        const std::function<void()> hook = flow_hook_;
        lock.unlock();
        hook();
    }
    return ReadResult::Data;
}

std::size_t ByteRing::Peek(std::uint8_t* dst, std::size_t size) {
    std::lock_guard lock(m_);
    const std::size_t n = std::min(size, FillLocked());
    return CopyOutLocked(read_, dst, n) ? n : 0;
}

bool ByteRing::WaitForFill(std::size_t bytes, std::chrono::steady_clock::time_point deadline,
                           const std::function<bool()>& keep_waiting) {
    std::unique_lock lock(m_);
    bytes = std::min(bytes, buf_.size());
    for (;;) {
        if (UnplayedLocked() >= bytes) return true;
        if (aborted_ || finished_) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (keep_waiting && !keep_waiting()) return false;
        WaitUntil(cv_, lock, deadline);
    }
}

void ByteRing::MarkBoundary(std::uint64_t position) {
    std::lock_guard lock(m_);
    boundaries_.push_back(position);
}

std::uint64_t ByteRing::NextBoundary(std::uint64_t position) {
    std::lock_guard lock(m_);
    return NextBoundaryLocked(position);
}

std::uint64_t ByteRing::NextBoundaryLocked(std::uint64_t position) const {
    for (auto b : boundaries_)
        if (b > position) return b;
    return std::numeric_limits<std::uint64_t>::max();
}

void ByteRing::DropBoundariesUpTo(std::uint64_t position) {
    std::lock_guard lock(m_);
    // With time-shift the reader may go back across them: kept while their bytes are.
    if (file_) position = std::min(position, oldest_ > 0 ? oldest_ - 1 : 0);
    while (!boundaries_.empty() && boundaries_.front() <= position) boundaries_.pop_front();
}

void ByteRing::SetRefillLevel(std::size_t bytes) {
    std::lock_guard lock(m_);
    refill_ = bytes;
}

void ByteRing::MarkUnderrun() {
    std::lock_guard lock(m_);
    if (FillLocked() == 0 && !finished_) underrun_ = true;
    cv_.notify_all();
}

bool ByteRing::starved() const {
    std::lock_guard lock(m_);
    return (starved_ || underrun_) && !finished_ && !aborted_;
}

void ByteRing::Finish() {
    std::lock_guard lock(m_);
    finished_ = true;
    cv_.notify_all();
}

void ByteRing::SetFlowHook(std::function<void()> hook) {
    std::lock_guard lock(m_);
    flow_hook_ = std::move(hook);
}

void ByteRing::Wake() {
    std::lock_guard lock(m_);
    cv_.notify_all();
}

void ByteRing::Abort() {
    std::lock_guard lock(m_);
    aborted_ = true;
    cv_.notify_all();
}

void ByteRing::Resize(std::size_t capacity) {
    std::lock_guard lock(m_);
    if (file_) return;  // the file holds the bytes; the capacity stays the playing buffer's size
    capacity = std::max(capacity, UnplayedLocked());
    if (capacity == 0 || capacity == buf_.size()) return;
    std::vector<std::uint8_t> next(capacity);
    for (std::uint64_t p = played_; p < written_; ++p) next[p % capacity] = buf_[p % buf_.size()];
    buf_.swap(next);
    cv_.notify_all();
}

std::size_t ByteRing::capacity() const {
    std::lock_guard lock(m_);
    return buf_.size();
}

std::uint64_t ByteRing::written() const {
    std::lock_guard lock(m_);
    return written_;
}

std::uint64_t ByteRing::read() const {
    std::lock_guard lock(m_);
    return read_;
}

std::uint64_t ByteRing::played() const {
    std::lock_guard lock(m_);
    return played_;
}

bool ByteRing::finished() const {
    std::lock_guard lock(m_);
    return finished_;
}

bool ByteRing::caught_up() const {
    std::lock_guard lock(m_);
    return FillLocked() == 0 && !finished_;
}

bool ByteRing::CopyOutLocked(std::uint64_t from, std::uint8_t* dst, std::size_t size) const {
    if (file_) return file_->Read(from, dst, size);
    const std::size_t cap = buf_.size();
    for (std::size_t done = 0; done < size;) {
        const std::size_t at = static_cast<std::size_t>((from + done) % cap);
        const std::size_t n = std::min(size - done, cap - at);
        std::memcpy(dst + done, buf_.data() + at, n);
        done += n;
    }
    return true;
}

void ByteRing::EnableTimeShift(std::unique_ptr<TimeShiftFile> file, double bound_seconds,
                               const std::string& title) {
    std::lock_guard lock(m_);
    if (file_ || discard_when_full_) return;
    // The unplayed bytes move to the file; the finder starts on them.
    std::vector<std::uint8_t> held(UnplayedLocked());
    if (!file || !CopyOutLocked(played_, held.data(), held.size()) ||
        !file->Write(played_, held.data(), held.size())) {
        shift_failed_ = true;  // said, not silently without
        return;
    }
    file_ = std::move(file);
    bound_seconds_ = bound_seconds;
    oldest_ = played_;
    if (early_titles_.empty() && !title.empty()) index_.AddTitle(played_, title);
    for (auto& [pos, text] : early_titles_)
        index_.AddTitle(std::max(pos, played_), std::move(text));
    early_titles_.clear();
    FindFramesLocked(held.data(), held.size(), played_);
    index_.Trim(played_, file_->capacity(), bound_seconds_);
    cv_.notify_all();
}

void ByteRing::FindFramesLocked(const std::uint8_t* data, std::size_t size, std::uint64_t at) {
    finder_.Feed(data, size, at, [&](std::uint64_t pos, double s) { index_.AddFrame(pos, s); });
    index_.SetLive(finder_.frames_end(), finder_.seconds());
    for (FrameFinder::Chain& c : finder_.TakeChains()) chains_.push_back(std::move(c));
}

std::string ByteRing::HeadersFor(std::uint64_t position) const {
    std::lock_guard lock(m_);
    for (auto it = chains_.rbegin(); it != chains_.rend(); ++it) {
        if (it->start == position) return {};
        if (it->start < position) return it->headers;
    }
    return {};
}

void ByteRing::DropTimeShiftLocked() {
    // The newest unplayed bytes that fit in memory move there; a reader behind them is sent on to
    // the first frame kept.
    const std::size_t cap = buf_.size();
    std::uint64_t keep = played_;
    if (UnplayedLocked() > cap) keep = std::max(index_.Trim(written_, cap, 1e12), written_ - cap);
    std::vector<std::uint8_t> held(static_cast<std::size_t>(written_ - keep));
    if (!file_->Read(keep, held.data(), held.size())) {
        keep = written_;
        held.clear();
    }
    for (std::size_t i = 0; i < held.size(); ++i) buf_[(keep + i) % cap] = held[i];
    if (keep > played_) {
        seek_to_ = seek_pending_ ? std::max(seek_to_, keep) : keep;
        seek_pending_ = true;
        read_ = played_ = keep;
    } else if (seek_pending_) {
        seek_to_ = std::max(seek_to_, keep);
    }
    if (read_ < played_) read_ = played_;
    oldest_ = keep;
    file_.reset();
    shift_failed_ = true;
    cv_.notify_all();
}

bool ByteRing::WriteShiftedLocked(const std::uint8_t* data, std::size_t size) {
    // A file that cannot be written (a full disk) must not end the stream: time-shift goes off.
    if (!file_->Write(written_, data, size)) {
        DropTimeShiftLocked();
        return false;
    }
    FindFramesLocked(data, size, written_);
    written_ += size;
    oldest_ = index_.Trim(written_, file_->capacity(), bound_seconds_);
    while (chains_.size() > 1 && chains_[1].start <= oldest_) chains_.pop_front();
    const std::uint64_t reader = seek_pending_ ? seek_to_ : played_;
    if (reader < oldest_) {
        if (!seek_pending_) ++drops_;
        seek_pending_ = true;
        // Without frames (Ogg) a demuxer can start only where a logical stream begins with its
        // headers: the first chain kept. With none kept, the oldest byte is all there is.
        // A frame lands a margin after the oldest, so that the next burst of bytes (a
        // reconnection's, several HLS segments) does not pass the reader again at once.
        const double margin = std::max(kDropMarginSeconds, bound_seconds_ * kDropMarginShare);
        const std::uint64_t chain =
            index_.has_frames()
                ? std::max(oldest_, index_.PositionAt(index_.oldest_seconds() + margin))
                : NextBoundaryLocked(oldest_ - 1);
        seek_to_ = chain <= written_ ? chain : oldest_;
    }
    cv_.notify_all();
    return true;
}

void ByteRing::UnlinkTimeShift() {
    std::lock_guard lock(m_);
    if (file_) file_->Unlink();
}

std::string ByteRing::time_shift_path() const {
    std::lock_guard lock(m_);
    return file_ ? file_->path() : std::string();
}

bool ByteRing::AddTitle(const std::string& text) {
    std::lock_guard lock(m_);
    if (!file_) {
        // The title heard at the played position, and those after it.
        while (early_titles_.size() > 1 && early_titles_[1].first <= played_)
            early_titles_.pop_front();
        early_titles_.emplace_back(written_, text);
        return false;
    }
    index_.AddTitle(written_, text);
    return true;
}

void ByteRing::RequestSeek(std::uint64_t position) {
    std::lock_guard lock(m_);
    if (!file_) return;
    seek_pending_ = true;
    seek_to_ = std::clamp(position, oldest_, written_);
    cv_.notify_all();
}

bool ByteRing::seek_pending() const {
    std::lock_guard lock(m_);
    return seek_pending_;
}

std::uint64_t ByteRing::seek_target(std::uint64_t otherwise) const {
    std::lock_guard lock(m_);
    return seek_pending_ ? std::max(seek_to_, oldest_) : otherwise;
}

std::uint64_t ByteRing::live_position() const {
    std::lock_guard lock(m_);
    if (!index_.has_frames()) return written_;
    return std::clamp(index_.PositionAt(index_.live_seconds()), oldest_, written_);
}

std::uint64_t ByteRing::TakeSeek() {
    std::lock_guard lock(m_);
    if (seek_pending_) {
        read_ = played_ = std::max(seek_to_, oldest_);
        seek_pending_ = false;
        starved_ = underrun_ = false;
        cv_.notify_all();
    }
    return read_;
}

ByteRing::Shift ByteRing::shift() const {
    std::lock_guard lock(m_);
    Shift s;
    s.on = file_ != nullptr;
    s.failed = shift_failed_;
    s.frames = index_.has_frames();
    s.oldest = oldest_;
    s.written = written_;
    s.oldest_seconds = index_.oldest_seconds();
    s.live_seconds = index_.live_seconds();
    s.drops = drops_;
    return s;
}

double ByteRing::SecondsAt(std::uint64_t position) const {
    std::lock_guard lock(m_);
    return index_.SecondsAt(position);
}

std::uint64_t ByteRing::PositionAt(double seconds) const {
    std::lock_guard lock(m_);
    return std::max(index_.PositionAt(seconds), oldest_);
}

std::string ByteRing::TitleAt(std::uint64_t position) const {
    std::lock_guard lock(m_);
    return index_.TitleAt(position);
}

}  // namespace engine
