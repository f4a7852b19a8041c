// SPDX-License-Identifier: GPL-3.0-or-later
// Splits an ICY stream (audio interleaved with metadata blocks every `metaint` bytes) into its
// audio bytes and its metadata texts. Stateful across arbitrary chunk boundaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace engine {

class IcyReader {
  public:
    using AudioFn = std::function<void(const std::uint8_t* data, std::size_t size)>;
    using MetaFn = std::function<void(const std::string& text)>;

    // metaint 0: no metadata, every byte is audio.
    explicit IcyReader(std::size_t metaint) : metaint_(metaint), left_(metaint) {}

    // Feeds one downloaded chunk; calls `audio` for each run of audio bytes and `meta` for each
    // complete non-empty metadata block (text up to its first zero byte).
    void Feed(const std::uint8_t* data, std::size_t size, const AudioFn& audio, const MetaFn& meta);

  private:
    enum class Phase { Audio, Length, Meta };
    std::size_t metaint_;
    Phase phase_ = Phase::Audio;
    std::size_t left_;  // audio bytes until the next length byte, or metadata bytes still to come
    std::string block_;
};

}  // namespace engine
