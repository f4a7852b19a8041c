#include "playback/stream_status.h"

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
    const auto semi = meta.find(';');
    // 1-based positions as the rule is stated: title starts at p + 13 and is q - p - 14 long.
    const std::int64_t p1 = static_cast<std::int64_t>(p) + 1;
    const std::int64_t q1 =
        semi == std::string_view::npos ? 0 : static_cast<std::int64_t>(semi) + 1;
    const std::int64_t start = p1 + 13 - 1;
    const std::int64_t len = q1 - p1 - 14;
    if (len <= 0 || start >= static_cast<std::int64_t>(meta.size())) return std::string();
    return std::string(meta.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(len)));
}

std::string BufferingText(std::int64_t percent) {
    return "Buffering... " + std::to_string(static_cast<std::int32_t>(percent)) + "%";
}

}  // namespace velmora
