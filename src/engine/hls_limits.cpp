// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/hls_limits.h"

#include <algorithm>

namespace engine {
namespace {

constexpr std::string_view kPlaylistMark = "#EXTM3U";
// Each makes the demuxer add a playlist.
constexpr std::string_view kVariantTags[] = {"#EXT-X-STREAM-INF", "#EXT-X-MEDIA:"};
constexpr std::size_t kLongestTag = 17;

}  // namespace

bool HlsBodyCheck::Feed(std::string_view bytes) {
    if (kind_ == Kind::Unknown) {
        const std::size_t n = std::min(bytes.size(), kPlaylistMark.size() - head_.size());
        head_.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
        if (kPlaylistMark.substr(0, head_.size()) != head_) {
            kind_ = Kind::Other;
        } else if (head_.size() == kPlaylistMark.size()) {
            kind_ = Kind::Playlist;
            line_ = head_;
        }
    }
    if (kind_ != Kind::Playlist) return true;
    bytes_ += bytes.size();
    if (bytes_ > kMaxHlsPlaylistBytes) return false;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            line_.clear();
        } else if (line_.size() < kLongestTag) {
            line_ += c;
            if (!Line(line_)) return false;
        }
    }
    return true;
}

bool HlsBodyCheck::Line(std::string_view start) {
    for (std::string_view tag : kVariantTags) {
        if (start != tag) continue;
        if (!may_list_) return false;
        return --*variants_left_ >= 0;
    }
    return true;
}

void HlsByteBudget::AddAudio(double seconds) {
    left_ = std::min(cap_, left_ + seconds * per_second_);
}

bool HlsByteBudget::Spend(std::uint64_t bytes) {
    left_ -= static_cast<double>(bytes);
    return left_ >= 0;
}

}  // namespace engine
