// SPDX-License-Identifier: GPL-3.0-or-later
#include "opening/stream_status.h"

#include <algorithm>
#include <cstring>

namespace velmora {

std::uint32_t BufferingPercent(std::uint64_t end, std::uint64_t download, std::uint64_t current) {
    // An end of 0 is no usable end position: treat the buffer as full instead of dividing by 0.
    if (end == 0) return 100;
    const auto diff = static_cast<std::int64_t>(download - current);
    const std::int64_t pct = diff * 100 / static_cast<std::int64_t>(end);
    return static_cast<std::uint32_t>(pct);
}

void WalkStationTags(const char* tags, const std::function<void(const StatusReport&)>& report) {
    if (!tags) return;
    for (const char* line = tags; *line; line += std::strlen(line) + 1) {
        if (std::strncmp(line, "icy-name:", 9) == 0) {
            report({StreamStatus::StationName, 0, std::string(line + 9)});
        } else if (std::strncmp(line, "icy-br:", 7) == 0) {
            report({StreamStatus::Bitrate, 0, "Bitrate: " + std::string(line + 7) + " kbps"});
        }
    }
}

std::optional<std::string> ParseStreamTitle(std::string_view meta) {
    const auto p = meta.find("StreamTitle=");
    if (p == std::string_view::npos) return std::nullopt;
    // The title starts after "StreamTitle=" and its opening quote.
    const std::size_t start = p + 13;
    if (start >= meta.size()) return std::string();
    // It runs to the "';" that closes it, so ";" inside a title and fields before it are harmless.
    if (const auto close = meta.find("';", start); close != std::string_view::npos) {
        return std::string(meta.substr(start, close - start));
    }
    // The last field of a block may end in its quote alone.
    if (meta.back() == '\'') return std::string(meta.substr(start, meta.size() - 1 - start));
    // Unclosed: the title ends two characters before the first ";" of the whole text.
    const auto semi = meta.find(';');
    if (semi == std::string_view::npos || semi < start + 1) return std::string();
    return std::string(meta.substr(start, semi - 1 - start));
}

std::string ReportText(const StatusReport& report, ServerTextDecoder& decoder) {
    const std::string_view bytes = std::string_view(report.text).substr(0, report.text.find('\0'));
    const bool name =
        report.code == StreamStatus::StationName || report.code == StreamStatus::Title;
    return name ? decoder.DecodeName(bytes) : decoder.Decode(bytes);
}

std::string BufferingText(std::int64_t percent) {
    // The wait also ends on nonsense such as a negative share; the label never shows one.
    const std::int64_t shown = std::clamp<std::int64_t>(static_cast<std::int32_t>(percent), 0, 100);
    return "Buffering... " + std::to_string(shown) + "%";
}

}  // namespace velmora
