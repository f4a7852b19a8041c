// SPDX-License-Identifier: GPL-3.0-or-later
// The stream-opening status protocol and the text rules applied to what the server sends. Plain
// functions: no window, no engine state.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "text/server_text.h"

namespace velmora {

enum class StreamStatus : int {
    Connecting = 0,   // worker started; Label4 "Connecting...", Label3 and Label5 emptied
    CannotPlay = 1,   // creation failed; Label4 "Can't play the stream"
    Buffering = 2,    // number: percentage; Label4 "Buffering... N%"
    StationName = 3,  // text: icy-name value; Label4
    Bitrate = 4,      // text: "Bitrate: N kbps"; Label5
    Title = 7,        // text: stream title; Label3
    ServerLine = 8,   // text: a response header line; Label5
    // number 1: the connection was lost and the engine reconnects, Label5 "Reconnecting...";
    // number 0: the stream flows again, 2: the engine gave up; Label5 shows what it showed before.
    Reconnect = 9,
};

// One report: a number (Buffering) or a text (the others). Texts are the server's bytes as
// received. `opening` names the opening it belongs to (StreamOpener::Start()'s result), so that
// a receiver can drop the reports of an opening it has abandoned; 0 belongs to none.
struct StatusReport {
    StreamStatus code;
    std::int64_t number = 0;
    std::string text;
    std::uint64_t opening = 0;
};

// Percentage of the buffering wait: (download - current) * 100 / end in signed 64-bit arithmetic,
// truncated toward zero, low 32 bits kept. An end of 0 yields 100 (no usable end position).
std::uint32_t BufferingPercent(std::uint64_t end, std::uint64_t download, std::uint64_t current);
// The wait ends above 75 as an unsigned 32-bit number (so also on any negative result).
inline bool BufferingDone(std::uint32_t percent) {
    return percent > 75;
}
// The fewest buffered bytes BufferingPercent counts as `percent` of `end`.
inline std::uint64_t BufferingBytesFor(std::uint32_t percent, std::uint64_t end) {
    return (std::uint64_t{percent} * end + 99) / 100;
}

// Walks zero-terminated tag lines up to the empty line; calls `report` for every "icy-name:"
// (StationName, rest of the line unchanged) and "icy-br:" line (Bitrate, "Bitrate: <rest> kbps").
void WalkStationTags(const char* tags, const std::function<void(const StatusReport&)>& report);

// The title of a metadata text: after "StreamTitle=" and its quote, up to the "';" that closes
// it, or up to a quote that ends the text. A title closed by neither ends two characters before
// the first ";" of the whole text. nullopt when there is no "StreamTitle=".
std::optional<std::string> ParseStreamTitle(std::string_view meta);

// A report's text as UTF-8, decoded in the stream's character set that `decoder` keeps: the text
// ends at its first zero byte, and a station name or title has its HTML character references
// resolved (server texts are never markup).
std::string ReportText(const StatusReport& report, ServerTextDecoder& decoder);

// Label text of a Buffering report: "Buffering... 42%", the number held within 0..100.
std::string BufferingText(std::int64_t percent);

}  // namespace velmora
