// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_shift_index.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace engine {

namespace {

// kbps by [version is MPEG-1][layer 1..3][index 1..14].
constexpr int kMpeg1Kbps[3][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};
constexpr int kMpeg2Kbps[2][14] = {
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kMpegRates[3] = {44100, 48000, 32000};
constexpr int kAdtsRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                22050, 16000, 12000, 11025, 8000,  7350};

FrameHeader ParseMpeg(const std::uint8_t* p) {
    const int version = (p[1] >> 3) & 3;      // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((p[1] >> 1) & 3);  // 1..3; 4 is reserved
    const int bitrate_index = p[2] >> 4;
    const int rate_index = (p[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3)
        return {};
    const bool mpeg1 = version == 3;
    const int kbps = mpeg1 ? kMpeg1Kbps[layer - 1][bitrate_index - 1]
                           : kMpeg2Kbps[layer == 1 ? 0 : 1][bitrate_index - 1];
    const int rate = kMpegRates[rate_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int padding = (p[2] >> 1) & 1;
    FrameHeader h;
    h.rate = rate;
    int samples;
    if (layer == 1) {
        samples = 384;
        h.bytes = static_cast<std::size_t>((12 * kbps * 1000 / rate + padding) * 4);
    } else {
        samples = (layer == 3 && !mpeg1) ? 576 : 1152;
        h.bytes = static_cast<std::size_t>(samples / 8 * kbps * 1000 / rate + padding);
    }
    h.seconds = static_cast<double>(samples) / rate;
    return h;
}

FrameHeader ParseAdts(const std::uint8_t* p) {
    const int rate_index = (p[2] >> 2) & 0xF;
    const std::size_t length = (static_cast<std::size_t>(p[3] & 3) << 11) |
                               (static_cast<std::size_t>(p[4]) << 3) | (p[5] >> 5);
    const std::size_t header = (p[1] & 1) ? 7 : 9;
    if (rate_index >= 13 || length <= header) return {};
    FrameHeader h;
    h.adts = true;
    h.rate = kAdtsRates[rate_index];
    h.bytes = length;
    h.seconds = 1024.0 * ((p[6] & 3) + 1) / h.rate;
    return h;
}

}  // namespace

FrameHeader ParseFrameHeader(const std::uint8_t* p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return {};
    // Layer bits 00 are reserved in MPEG audio and mark ADTS.
    if ((p[1] & 0x06) == 0) return (p[1] & 0xF0) == 0xF0 ? ParseAdts(p) : FrameHeader{};
    return ParseMpeg(p);
}

void FrameFinder::Append(const std::uint8_t* data, std::size_t size, std::uint64_t at) {
    if (!started_) {
        started_ = true;
        pending_at_ = at;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
    // The rest of a frame found last: nothing to look at in it.
    const std::size_t k = std::min(skip_, size);
    skip_ -= k;
    pending_.insert(pending_.end(), data + k, data + size);
}

void FrameFinder::Consume(std::size_t n) {
    const std::size_t left = pending_.size() - head_;
    pending_at_ += n;
    if (n <= left) {
        head_ += n;
    } else {
        skip_ = n - left;
        head_ = pending_.size();
    }
}

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsOggCapture(const std::uint8_t* p) {
    return std::memcmp(p, "OggS", 4) == 0;
}

}  // namespace

int FrameFinder::NextOggPage(std::uint64_t* pos, double* seconds) {
    const std::size_t left = pending_.size() - head_;
    const std::uint8_t* p = pending_.data() + head_;
    if (left < 27) return -1;
    const std::size_t segments = p[26];
    if (left < 27 + segments) return -1;
    std::size_t length = 27 + segments;
    for (std::size_t i = 0; i < segments; ++i) length += p[27 + i];
    if (p[4] != 0) {
        Consume(1);
        return 0;
    }
    // A capture pattern inside the data: the next page must follow this one.
    if (left < length + (ogg_ ? 0 : 4)) return -1;
    if (!ogg_ && !IsOggCapture(p + length)) {
        Consume(1);
        return 0;
    }
    ogg_ = true;
    std::int64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = (granule << 8) | p[6 + i];
    const std::uint8_t* body = p + 27 + segments;
    const std::size_t body_size = length - 27 - segments;
    const std::uint64_t at = pending_at_;
    int found = 0;
    if (p[5] & 0x02) {
        // A logical stream begins: its rate is in its first packet.
        in_headers_ = true;
        chain_ = Chain{at, {}};
        chain_seconds_ = seconds_;
        ogg_granule_ = 0;
        ogg_rate_ = 0;
        if (body_size >= 16 && std::memcmp(body, "vorbis", 7) == 0) ogg_rate_ = Le32(body + 12);
        if (body_size >= 8 && std::memcmp(body, "OpusHead", 8) == 0) ogg_rate_ = 48000;
    }
    if (in_headers_ && granule == 0) {
        chain_.headers.append(reinterpret_cast<const char*>(p), length);
    } else if (granule > 0 && ogg_rate_ > 0) {
        if (in_headers_) {
            in_headers_ = false;
            chains_.push_back(std::move(chain_));
        }
        if (granule > ogg_granule_) {
            *pos = at;
            *seconds = chain_seconds_ + static_cast<double>(ogg_granule_) / ogg_rate_;
            ogg_granule_ = granule;
            seconds_ = chain_seconds_ + static_cast<double>(granule) / ogg_rate_;
            found = 1;
        }
    }
    frames_end_ = at + length;
    Consume(length);
    return found;
}

bool FrameFinder::Next(std::uint64_t* pos, double* seconds) {
    constexpr std::size_t kHeader = 7;
    for (;;) {
        const std::size_t left = pending_.size() - head_;
        if (left < 4) return false;
        const std::uint8_t* p = pending_.data() + head_;
        if (IsOggCapture(p)) {
            const int r = NextOggPage(pos, seconds);
            if (r < 0) return false;
            if (r > 0) return true;
            continue;
        }
        // Locked on Ogg: anything else is damage.
        if (ogg_) {
            Consume(1);
            continue;
        }
        if (left < kHeader) return false;
        const FrameHeader h = ParseFrameHeader(p);
        bool ok = h.bytes > 0;
        if (ok && locked_) ok = h.adts == last_.adts && h.rate == last_.rate;
        if (ok && !locked_) {
            // A lone header may be chance bytes inside a frame: the next one must follow it.
            if (left < h.bytes + kHeader) return false;
            const FrameHeader n = ParseFrameHeader(p + h.bytes);
            ok = n.bytes > 0 && n.adts == h.adts && n.rate == h.rate;
        }
        if (!ok) {
            locked_ = false;
            Consume(1);
            continue;
        }
        *pos = pending_at_;
        *seconds = seconds_;
        seconds_ += h.seconds;
        frames_end_ = pending_at_ + h.bytes;
        last_ = h;
        locked_ = true;
        Consume(h.bytes);
        return true;
    }
}

void TimeShiftIndex::AddFrame(std::uint64_t pos, double seconds) {
    if (pos < oldest_) return;
    if (points_.empty() || seconds - points_.back().s >= spacing_)
        points_.push_back({pos, seconds});
}

void TimeShiftIndex::SetLive(std::uint64_t pos, double seconds) {
    live_pos_ = pos;
    live_seconds_ = seconds;
}

void TimeShiftIndex::AddTitle(std::uint64_t pos, std::string text) {
    // A title repeated by the server starts nothing new.
    if (!titles_.empty() && titles_.back().text == text) return;
    titles_.push_back({std::max(pos, oldest_), std::move(text)});
}

std::uint64_t TimeShiftIndex::Trim(std::uint64_t written, std::uint64_t max_bytes,
                                   double bound_seconds) {
    const std::uint64_t floor_pos = written > max_bytes ? written - max_bytes : 0;
    const double floor_s = live_seconds_ - bound_seconds;
    bool dropped = false;
    while (!points_.empty() && (points_.front().pos < floor_pos || points_.front().s < floor_s)) {
        points_.pop_front();
        dropped = true;
    }
    if (floor_pos > oldest_) {
        oldest_ = floor_pos;
        dropped = true;
    }
    // What is dropped ends at a frame boundary; nothing dropped leaves the start where it was,
    // also when the first frame found lies a little after it (joined mid-frame).
    if (dropped && !points_.empty()) oldest_ = std::max(oldest_, points_.front().pos);
    std::optional<std::string> heard;
    while (!titles_.empty() && titles_.front().pos < oldest_) {
        heard = std::move(titles_.front().text);
        titles_.pop_front();
    }
    if (heard && (titles_.empty() || titles_.front().pos > oldest_))
        titles_.push_front({oldest_, std::move(*heard)});
    return oldest_;
}

double TimeShiftIndex::SecondsAt(std::uint64_t pos) const {
    if (points_.empty()) return live_seconds_;
    if (pos <= points_.front().pos) return points_.front().s;
    const auto after = std::upper_bound(points_.begin(), points_.end(), pos,
                                        [](std::uint64_t p, const Point& q) { return p < q.pos; });
    const Point& a = *(after - 1);
    Point b = after != points_.end() ? *after : Point{live_pos_, live_seconds_};
    if (b.pos <= a.pos) return a.s;
    if (pos >= b.pos) return b.s;
    const double part = static_cast<double>(pos - a.pos) / static_cast<double>(b.pos - a.pos);
    return a.s + part * (b.s - a.s);
}

std::uint64_t TimeShiftIndex::PositionAt(double seconds) const {
    if (points_.empty()) return oldest_;
    const auto after = std::upper_bound(points_.begin(), points_.end(), seconds,
                                        [](double s, const Point& q) { return s < q.s; });
    return after == points_.begin() ? points_.front().pos : (after - 1)->pos;
}

std::string TimeShiftIndex::TitleAt(std::uint64_t pos) const {
    for (auto it = titles_.rbegin(); it != titles_.rend(); ++it)
        if (it->pos <= pos) return it->text;
    return {};
}

}  // namespace engine
