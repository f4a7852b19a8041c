// SPDX-License-Identifier: GPL-3.0-or-later
// The download buffer between the download thread (writer) and the decoder (reader): a fixed-size
// ring with running totals, chain boundaries, and waits that end on abort.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/time_shift_index.h"

namespace engine {

class TimeShiftFile;

class ByteRing {
  public:
    explicit ByteRing(std::size_t capacity);
    ~ByteRing();

    // Seek: a seek is pending (RequestSeek()); the reader takes it with TakeSeek().
    enum class ReadResult { Data, End, Aborted, Timeout, Seek };

    // Blocks while the ring holds `capacity` unplayed bytes; false once aborted.
    bool Write(const std::uint8_t* data, std::size_t size);
    // Reads up to `size` bytes, never past the first chain boundary after `from` (the position
    // where the reader's part of the stream began), which gives End. Waits for data until
    // `deadline` (none when `deadline` is max()) or abort; `keep_waiting` is asked again whenever
    // the wait wakes, so whatever changes its answer must call Wake().
    // With `hold`, the bytes read still count as unplayed (identification reads ahead of the
    // decoder); the next read without it counts everything read so far as played.
    ReadResult Read(std::uint8_t* dst, std::size_t size, std::uint64_t from,
                    std::chrono::steady_clock::time_point deadline, std::size_t* got,
                    const std::function<bool()>& keep_waiting, bool hold = false);
    // Copies up to `size` unread bytes without consuming them.
    std::size_t Peek(std::uint8_t* dst, std::size_t size);
    // Waits until at least `bytes` are unplayed, the writer finished, abort, the deadline or
    // `keep_waiting` returns false (asked as by Read()). True when the bytes are there.
    bool WaitForFill(std::size_t bytes, std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& keep_waiting);

    void MarkBoundary(std::uint64_t position);
    // The first boundary above `position`, or max() when none.
    std::uint64_t NextBoundary(std::uint64_t position);
    void DropBoundariesUpTo(std::uint64_t position);

    // After the output ran dry the reader waits for this fill (bytes) before reading again.
    void SetRefillLevel(std::size_t bytes);
    // The output ran out of decoded audio: the stream stalls until the ring is refilled.
    void MarkUnderrun();
    bool starved() const;

    // Called on the reader's thread, outside the lock, when a read ends a stall or an underrun:
    // the stream flows again. Set by the writer.
    void SetFlowHook(std::function<void()> hook);

    // A stream that is recorded and never played: a full ring drops its unread bytes instead of
    // holding the download back, so the download (and with it the recording) goes on.
    void DiscardWhenFull();

    void Finish();  // the writer is done: readers get End after the last byte
    void Abort();   // everyone stops waiting
    void Wake();    // waiters ask their `keep_waiting` again

    // Makes the ring hold `capacity` bytes, or all the unplayed ones if they are more; keeps them.
    void Resize(std::size_t capacity);

    // --- time-shift
    // From now on the bytes are kept in `file`, the unplayed ones already held included, up to
    // `bound_seconds` of sound or the file's capacity, whichever is less: the writer never waits
    // for the reader, and what falls out of the bound is dropped, the oldest first. When that
    // passes the read position, the reader is sent on to the oldest frame kept.
    // `title` is the one heard at the start. A null `file` (it could not be made) or one that
    // cannot take the bytes leaves the ring as it was, with shift().failed set.
    void EnableTimeShift(std::unique_ptr<TimeShiftFile> file, double bound_seconds,
                         const std::string& title);
    // Removes the time-shift file's name (the stream is stopped); its bytes stay readable.
    void UnlinkTimeShift();
    std::string time_shift_path() const;
    // A title that starts at the next byte written; false without time-shift. Before it, the
    // titles of the unplayed bytes are kept too: the stream may be far ahead of what is heard
    // when it starts to play.
    bool AddTitle(const std::string& text);
    // Asks the reader to go on at `position`, kept within what is stored; its next Read() gives
    // Seek, also while it waits.
    void RequestSeek(std::uint64_t position);
    bool seek_pending() const;
    // Where the pending seek goes; `otherwise` when none is pending.
    std::uint64_t seek_target(std::uint64_t otherwise) const;
    // Where a reader starts to be at the live edge: the last frame point, or the newest byte.
    std::uint64_t live_position() const;
    // The reader's side: read and played move to the pending seek's position, which is returned.
    std::uint64_t TakeSeek();

    struct Shift {
        bool on = false;      // time-shift is enabled
        bool frames = false;  // the format has frames, so times and seeking are known
        std::uint64_t oldest = 0;
        std::uint64_t written = 0;
        double oldest_seconds = 0;
        double live_seconds = 0;
        // How often the bound pushed the read position forward (a pause longer than the bound).
        std::uint32_t drops = 0;
        // Writing the file failed (a full disk): time-shift went off, the stream plays on.
        bool failed = false;
    };
    Shift shift() const;
    double SecondsAt(std::uint64_t position) const;
    std::uint64_t PositionAt(double seconds) const;
    std::string TitleAt(std::uint64_t position) const;
    // The header pages a demuxer put down at `position` must read first: those of the Ogg logical
    // stream it lies in, unless it is that stream's start; empty for other formats.
    std::string HeadersFor(std::uint64_t position) const;

    std::size_t capacity() const;
    std::uint64_t written() const;
    std::uint64_t read() const;
    // Where the unplayed bytes begin: read() less what a holding reader has taken.
    std::uint64_t played() const;
    bool finished() const;
    // Everything downloaded so far has been read, and more is to come.
    bool caught_up() const;

  private:
    std::size_t FillLocked() const { return static_cast<std::size_t>(written_ - read_); }
    std::size_t UnplayedLocked() const { return static_cast<std::size_t>(written_ - played_); }
    std::uint64_t NextBoundaryLocked(std::uint64_t position) const;
    // False when the file failed and time-shift went off: the bytes are still to be written.
    bool WriteShiftedLocked(const std::uint8_t* data, std::size_t size);
    void DropTimeShiftLocked();
    bool CopyOutLocked(std::uint64_t from, std::uint8_t* dst, std::size_t size) const;

    // --- protected by m_
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::uint8_t> buf_;
    std::uint64_t written_ = 0;
    std::uint64_t read_ = 0;
    std::uint64_t played_ = 0;  // <= read_; written_ - played_ <= capacity
    bool finished_ = false;
    bool aborted_ = false;
    bool discard_when_full_ = false;
    bool starved_ = false;
    bool underrun_ = false;
    std::size_t refill_ = 0;
    std::deque<std::uint64_t> boundaries_;
    std::function<void()> flow_hook_;
    // Time-shift: the stored bytes are [oldest_, written_) in file_.
    std::unique_ptr<TimeShiftFile> file_;
    double bound_seconds_ = 0;
    FrameFinder finder_;
    TimeShiftIndex index_;
    std::uint64_t oldest_ = 0;
    bool seek_pending_ = false;
    std::uint64_t seek_to_ = 0;
    std::uint32_t drops_ = 0;
    bool shift_failed_ = false;
    std::deque<std::pair<std::uint64_t, std::string>> early_titles_;  // before time-shift
    std::deque<FrameFinder::Chain> chains_;  // Ogg logical streams, from the one holding oldest_
    void FindFramesLocked(const std::uint8_t* data, std::size_t size, std::uint64_t at);
};

}  // namespace engine
