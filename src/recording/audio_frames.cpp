// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/audio_frames.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/time_shift_index.h"

namespace velmora {

namespace {

bool Contains(std::string_view text, std::string_view word) {
    const auto it = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    return it != text.end();
}

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

std::int64_t Le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return static_cast<std::int64_t>(v);
}

constexpr std::size_t kOggHeader = 27;

}  // namespace

StreamFormat FormatFromContentType(std::string_view type) {
    if (Contains(type, "ogg") || Contains(type, "opus") || Contains(type, "vorbis"))
        return StreamFormat::Ogg;
    if (Contains(type, "aac") || Contains(type, "mp4a")) return StreamFormat::Adts;
    if (Contains(type, "mpeg") || Contains(type, "mp3")) return StreamFormat::Mpeg;
    return StreamFormat::Unknown;
}

const char* FormatExtension(StreamFormat format) {
    switch (format) {
        case StreamFormat::Mpeg:
            return "mp3";
        case StreamFormat::Adts:
            return "aac";
        case StreamFormat::Ogg:
            return "ogg";
        case StreamFormat::Unknown:
            break;
    }
    return "";
}

// The engine's time-shift buffer reads the same headers: one parser for both.
std::size_t MpegFrameLength(const std::uint8_t* p, double* seconds) {
    const engine::FrameHeader h = engine::ParseFrameHeader(p);
    if (h.bytes == 0 || h.adts) return 0;
    *seconds = h.seconds;
    return h.bytes;
}

std::size_t AdtsFrameLength(const std::uint8_t* p, double* seconds) {
    const engine::FrameHeader h = engine::ParseFrameHeader(p);
    if (h.bytes == 0 || !h.adts) return 0;
    *seconds = h.seconds;
    return h.bytes;
}

std::size_t FrameScanner::FrameAt(const std::uint8_t* p, std::size_t avail, double* seconds,
                                  bool* bos, bool* header, bool* need_more) const {
    *bos = false;
    *header = false;
    *need_more = false;
    const std::size_t head = format_ == StreamFormat::Ogg ? kOggHeader : 7;
    if (avail < head) {
        *need_more = true;
        return 0;
    }
    if (format_ == StreamFormat::Ogg) {
        if (std::memcmp(p, "OggS", 4) != 0 || p[4] != 0) return 0;
        const std::size_t segments = p[26];
        if (avail < kOggHeader + segments) {
            *need_more = true;
            return 0;
        }
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i) body += p[kOggHeader + i];
        const std::size_t length = kOggHeader + segments + body;
        if (avail < length) {
            *need_more = true;
            return length;
        }
        *bos = (p[5] & 0x02) != 0;
        const std::int64_t granule = Le64(p + 6);
        *header = granule == 0;
        // A first page holds only headers (granule 0): the rate it names counts from the next.
        const std::int64_t previous = ogg_granule_;
        *seconds = (!*bos && ogg_rate_ > 0 && granule > 0 && previous >= 0 && granule > previous)
                       ? static_cast<double>(granule - previous) / ogg_rate_
                       : 0.0;
        return length;
    }
    const std::size_t length =
        format_ == StreamFormat::Adts ? AdtsFrameLength(p, seconds) : MpegFrameLength(p, seconds);
    if (length == 0) return 0;
    // A header alone may be chance: the next frame must follow where this one ends. At the
    // stream's end a frame that is all there counts.
    if (avail < length + 4) {
        *need_more = !last_ || avail < length;
        return length;
    }
    const std::uint8_t* next = p + length;
    const bool follows = format_ == StreamFormat::Adts
                             ? (next[0] == 0xFF && (next[1] & 0xF6) == 0xF0)
                             : (next[0] == 0xFF && (next[1] & 0xE0) == 0xE0 &&
                                ((next[1] ^ p[1]) & 0x1E) == 0 && ((next[2] ^ p[2]) & 0x0C) == 0);
    return follows ? length : 0;
}

void FrameScanner::Feed(const std::uint8_t* data, std::size_t size, std::vector<AudioFrame>* out) {
    pending_.insert(pending_.end(), data, data + size);
    Scan(false, out);
}

void FrameScanner::Finish(std::vector<AudioFrame>* out) {
    Scan(true, out);
    skipped_ += pending_.size();
    pending_start_ += pending_.size();
    pending_.clear();
}

void FrameScanner::Scan(bool last, std::vector<AudioFrame>* out) {
    last_ = last;
    std::size_t at = 0;
    while (at < pending_.size()) {
        double seconds = 0;
        bool bos = false;
        bool header = false;
        bool need_more = false;
        const std::size_t length = FrameAt(pending_.data() + at, pending_.size() - at, &seconds,
                                           &bos, &header, &need_more);
        if (need_more) break;
        if (length == 0) {
            ++at;
            ++skipped_;
            continue;
        }
        AudioFrame frame;
        frame.offset = pending_start_ + at;
        frame.bytes.assign(reinterpret_cast<const char*>(pending_.data() + at), length);
        frame.seconds = seconds;
        frame.stream_start = bos;
        frame.header_page = header;
        if (format_ == StreamFormat::Ogg) {
            if (bos) {
                ogg_rate_ = 0;
                const std::uint8_t* packet = pending_.data() + at + kOggHeader + pending_[at + 26];
                const std::size_t body = length - kOggHeader - pending_[at + 26];
                if (body >= 16 && std::memcmp(packet, "\x01vorbis", 7) == 0)
                    ogg_rate_ = Le32(packet + 12);
                else if (body >= 8 && std::memcmp(packet, "OpusHead", 8) == 0)
                    ogg_rate_ = 48000;
            }
            const std::int64_t granule = Le64(pending_.data() + at + 6);
            if (granule >= 0) ogg_granule_ = granule;
        }
        out->push_back(std::move(frame));
        at += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    pending_start_ += at;
}

}  // namespace velmora
