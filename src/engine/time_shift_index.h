// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the time-shift buffer, without any file or thread: where the frames of the stored
// bytes begin and at what time of the stream, which title starts where, and what is dropped when
// the bound is reached. Positions are byte offsets in the stream as downloaded (a reconnection's
// bytes follow the last ones of the connection before), times are seconds of sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace engine {

// One MPEG audio or ADTS frame header: its length in bytes and the seconds of sound it holds.
struct FrameHeader {
    std::size_t bytes = 0;
    double seconds = 0;
    int rate = 0;
    bool adts = false;
};
// Reads the header at `p` (7 bytes there); bytes == 0 when it is none.
FrameHeader ParseFrameHeader(const std::uint8_t* p);

// Finds the frames in bytes fed in pieces of any size. It locks on when two headers follow each
// other at the distance the first one states, and searches again after damage or a reconnection
// that cut a frame. Ogg pages of Vorbis and Opus count as frames, timed by their granule
// positions; each logical stream's header pages are kept, as a demuxer put down inside it reads
// them first. Other formats (FLAC, ASF) give no frames.
class FrameFinder {
  public:
    // `at` is the position of data[0]; the bytes continue those fed before. `on_frame` gets each
    // frame's position and the stream's time at its start.
    template <typename OnFrame>
    void Feed(const std::uint8_t* data, std::size_t size, std::uint64_t at, OnFrame&& on_frame) {
        Append(data, size, at);
        std::uint64_t pos = 0;
        double seconds = 0;
        while (Next(&pos, &seconds)) on_frame(pos, seconds);
    }
    // An Ogg logical stream: where it starts and its header pages.
    struct Chain {
        std::uint64_t start = 0;
        std::string headers;
    };
    // The logical streams whose headers are complete since the last call.
    std::vector<Chain> TakeChains() { return std::move(chains_); }

    // Seconds of sound in the frames found so far, and the position just after the last one.
    double seconds() const { return seconds_; }
    std::uint64_t frames_end() const { return frames_end_; }

  private:
    void Append(const std::uint8_t* data, std::size_t size, std::uint64_t at);
    bool Next(std::uint64_t* pos, double* seconds);
    // An Ogg page at the head: 1 a frame to hand out, 0 none (a header page, or not a page, which
    // was skipped), -1 more bytes are needed.
    int NextOggPage(std::uint64_t* pos, double* seconds);
    void Consume(std::size_t n);

    std::vector<std::uint8_t> pending_;  // unscanned bytes from head_ on, which lies at pending_at_
    std::size_t head_ = 0;
    std::uint64_t pending_at_ = 0;
    bool started_ = false;
    std::uint64_t frames_end_ = 0;
    std::size_t skip_ = 0;  // bytes of the frame found last that have not arrived yet
    bool locked_ = false;
    FrameHeader last_;
    double seconds_ = 0;
    // Ogg: the logical stream being read.
    bool ogg_ = false;
    int ogg_rate_ = 0;
    std::int64_t ogg_granule_ = 0;
    double chain_seconds_ = 0;  // the stream's time where the logical stream began
    bool in_headers_ = false;
    Chain chain_;
    std::vector<Chain> chains_;
};

// The times and titles of the stored part of the stream, [oldest(), written).
class TimeShiftIndex {
  public:
    // Frames closer than this in time share one point: an hour is 7200 points, not 140,000.
    explicit TimeShiftIndex(double spacing_seconds = 0.5) : spacing_(spacing_seconds) {}

    // A frame starts at `pos`, `seconds` into the stream; `live` is the time at the end of the
    // frames found so far.
    void AddFrame(std::uint64_t pos, double seconds);
    void SetLive(std::uint64_t pos, double seconds);
    // A title that starts at `pos`.
    void AddTitle(std::uint64_t pos, std::string text);

    // Drops what lies before the first point that keeps both at most `max_bytes` below `written`
    // and at most `bound_seconds` below the live time; returns the new oldest position. Without
    // points (a format without frames) only the bytes count. The title heard at the new start
    // stays, moved there.
    std::uint64_t Trim(std::uint64_t written, std::uint64_t max_bytes, double bound_seconds);

    // The time at `pos`, between the points around it; the first point's before it.
    double SecondsAt(std::uint64_t pos) const;
    // The frame boundary that starts at `seconds` or last before it, never before the oldest point;
    // `seconds` beyond the live time gives the last point.
    std::uint64_t PositionAt(double seconds) const;
    // The title heard at `pos`; empty before the first title.
    std::string TitleAt(std::uint64_t pos) const;

    bool has_frames() const { return !points_.empty(); }
    std::uint64_t oldest() const { return oldest_; }
    double oldest_seconds() const { return points_.empty() ? live_seconds_ : points_.front().s; }
    double live_seconds() const { return live_seconds_; }
    std::size_t point_count() const { return points_.size(); }
    std::size_t title_count() const { return titles_.size(); }

  private:
    struct Point {
        std::uint64_t pos;
        double s;
    };
    struct Title {
        std::uint64_t pos;
        std::string text;
    };
    double spacing_;
    std::deque<Point> points_;
    std::deque<Title> titles_;
    std::uint64_t oldest_ = 0;
    std::uint64_t live_pos_ = 0;
    double live_seconds_ = 0;
};

}  // namespace engine
