// The download thread of a stream: fetches the address (curl for http and https, FFmpeg's own
// protocols for mms and mmsh), removes ICY metadata, watches Ogg chains, and fills the ring.
#pragma once

#include <cstddef>
#include <memory>

namespace vle {

struct StreamCore;

// Download buffer size: 5 seconds at the bit rate (kbps; 0 = unknown, taken as 128), at least 32
// KiB.
std::size_t DownloadBufferSize(long kbps);

// Starts the detached download thread; it holds `core` until it ends.
void StartDownload(const std::shared_ptr<StreamCore>& core);

}  // namespace vle
