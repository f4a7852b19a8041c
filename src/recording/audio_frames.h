// SPDX-License-Identifier: GPL-3.0-or-later
// The units a stream can be cut at without re-encoding: MPEG audio frames, ADTS AAC frames and Ogg
// pages, found in the bytes as they arrive. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class StreamFormat { Unknown, Mpeg, Adts, Ogg };

// From the server's Content-Type ("audio/mpeg", "audio/aac", "application/ogg", ...).
StreamFormat FormatFromContentType(std::string_view content_type);
// "mp3", "aac", "ogg"; empty for Unknown.
const char* FormatExtension(StreamFormat format);

struct AudioFrame {
    std::uint64_t offset = 0;  // of its first byte in the stream
    std::string bytes;
    double seconds = 0;         // of sound it holds (0 for Ogg header pages)
    bool stream_start = false;  // Ogg: the first page of a logical stream (a new song's headers)
    bool header_page = false;   // Ogg: a page of the codec's headers (granule position 0)
};

// Splits bytes fed in any pieces into whole frames. Bytes that are no frame (a listener joins
// mid-frame, a damaged stretch) are skipped until two frames in a row agree again.
class FrameScanner {
  public:
    explicit FrameScanner(StreamFormat format) : format_(format) {}

    // Appends the frames completed by `data` to `out`. A frame is handed out once the next one's
    // header confirms it, or by Finish().
    void Feed(const std::uint8_t* data, std::size_t size, std::vector<AudioFrame>* out);
    // The stream has ended: its last frame, when it arrived whole, is appended to `out`.
    void Finish(std::vector<AudioFrame>* out);
    std::uint64_t skipped_bytes() const { return skipped_; }

  private:
    // The length of a frame starting at `p` (with `avail` bytes there), 0 when there is none,
    // and its sound in seconds.
    std::size_t FrameAt(const std::uint8_t* p, std::size_t avail, double* seconds, bool* bos,
                        bool* header, bool* need_more) const;
    void Scan(bool last, std::vector<AudioFrame>* out);

    StreamFormat format_;
    std::vector<std::uint8_t> pending_;  // bytes from pending_start_ on
    std::uint64_t pending_start_ = 0;
    std::uint64_t skipped_ = 0;
    bool last_ = false;  // Finish() is scanning: no frame follows
    // Ogg: samples a second of the current logical stream and its last granule position.
    std::uint32_t ogg_rate_ = 0;
    std::int64_t ogg_granule_ = -1;
};

// The length of an MPEG audio or ADTS frame whose header starts at `p` (4 or 7 bytes needed), 0
// when the bytes are no header; `seconds` gets the sound it holds.
std::size_t MpegFrameLength(const std::uint8_t* p, double* seconds);
std::size_t AdtsFrameLength(const std::uint8_t* p, double* seconds);

}  // namespace velmora
