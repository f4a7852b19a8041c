// SPDX-License-Identifier: GPL-3.0-or-later
// HLS stations: FFmpeg's HLS demuxer fetches the playlist and its segments, and the feed thread
// writes the audio packets (ADTS AAC or MP3 frames) into the stream's buffer, where the decoder
// reads them as from any download. Nothing reaches the download callback but its end call: HLS
// streams are not recordable.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct StreamCore;

// Starts the feed thread of `core` (url, proxy, timeout and callbacks set). Like a download, it
// publishes the ring and `headers_done` once the first audio packet is in hand, or ends with
// `transfer_ended` and a failure code.
void StartHlsFeed(const std::shared_ptr<StreamCore>& core);

// "Artist - Title" (or the title alone) of a timed ID3v2 tag as UTF-8; nullopt without a title.
std::optional<std::string> Id3Title(std::string_view tag);

}  // namespace engine
