// SPDX-License-Identifier: GPL-3.0-or-later
// What an HLS station may make the player fetch. FFmpeg's HLS demuxer takes every variant any
// playlist lists (some 10 KB and a fetch each, also when a playlist lists itself) and reads a
// segment to its end however much of it is padding; these rules bound both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Variants and renditions of a station; real ones list a handful.
inline constexpr int kMaxHlsVariants = 16;
// A playlist body beyond this is not one worth parsing.
inline constexpr std::uint64_t kMaxHlsPlaylistBytes = 1 << 20;
// Fetches (playlists, segments, keys) in a row without any audio coming of them: the start of a
// station with every variant probed, or some minutes of a live playlist that stopped moving.
inline constexpr int kMaxHlsFetchesWithoutAudio = 64;
// Bytes fetched ahead of the audio they carry, and per second of audio: 1 Mbit/s is three times
// the richest audio rate with its container.
inline constexpr std::uint64_t kHlsByteHeadStart = 2 << 20;
inline constexpr std::uint64_t kHlsBytesPerAudioSecond = 128 * 1024;

// Watches one fetched body as it arrives. A playlist (it begins with #EXTM3U) may list variants
// only when it is the station's own address, never one reached from it (a list that lists
// itself, or nests), and all of them together at most kMaxHlsVariants. Any other body (a
// segment, a key) passes.
class HlsBodyCheck {
  public:
    // `variants_left` is shared by every body of the station.
    HlsBodyCheck(bool may_list_variants, int* variants_left)
        : may_list_(may_list_variants), variants_left_(variants_left) {}
    // False once the body breaks a rule: these bytes must not reach the demuxer.
    bool Feed(std::string_view bytes);

  private:
    bool Line(std::string_view start);

    enum class Kind { Unknown, Playlist, Other };
    Kind kind_ = Kind::Unknown;
    bool may_list_;
    int* variants_left_;
    std::string head_;  // the first bytes, until the kind is known
    std::string line_;  // the start of the current line, as far as a rule needs it
    std::uint64_t bytes_ = 0;
};

// A token bucket of bytes: it starts with the head start, fills with the audio the fetches
// carried (never beyond the head start) and empties with the bytes fetched.
class HlsByteBudget {
  public:
    explicit HlsByteBudget(std::uint64_t head_start = kHlsByteHeadStart,
                           std::uint64_t per_audio_second = kHlsBytesPerAudioSecond)
        : cap_(static_cast<double>(head_start)),
          left_(cap_),
          per_second_(static_cast<double>(per_audio_second)) {}
    void AddAudio(double seconds);
    // False when the fetches went beyond the budget.
    bool Spend(std::uint64_t bytes);

  private:
    double cap_;
    double left_;
    double per_second_;
};

}  // namespace engine
