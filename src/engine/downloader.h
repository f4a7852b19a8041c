// SPDX-License-Identifier: GPL-3.0-or-later
// The download thread of a stream: fetches the address (curl for http and https, FFmpeg's own
// protocols for mms and mmsh), removes ICY metadata, watches Ogg chains, and fills the ring.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace engine {

struct StreamCore;

// The highest stream rate taken at its word, in kbps: lossless CD audio needs 1411.
inline constexpr long kMaxStreamKbps = 1536;

// Download buffer size: 5 seconds at the bit rate (kbps; 0 = unknown, taken as 128), at least 32
// KiB; rates above kMaxStreamKbps count as kMaxStreamKbps.
std::size_t DownloadBufferSize(long kbps);

// How many bytes the network socket gathers before it wakes the download thread, for a stream
// arriving at `bytes_per_second` (0: not yet measured) with `buffered_seconds` of it waiting to be
// heard: a station sends many small pieces a second, and each would wake this thread. A batch
// takes at most a quarter of a second and at most a sixteenth of what is buffered, never more than
// 8 KiB; 1 (every byte wakes) under a second of buffer or when batches would be small. Powers of
// two, so that the socket is told again only when the rate or the buffer changes much.
std::size_t ReceiveBatchBytes(std::uint64_t bytes_per_second, double buffered_seconds);

// The stream rate an "icy-br:" value states, in kbps; 0 when unknown. Servers that give bit/s
// ("128000") are understood; values no real stream has, or that do not parse, are unknown.
long StreamRateKbps(std::string_view value);

// How an address is fetched: curl for http and https, FFmpeg's protocols for mms, mmsh and mmst.
// Every other scheme (file, ftp, gopher, dict...) is never fetched.
enum class Transport { Curl, Ffmpeg, Refused };
Transport TransportFor(std::string_view url);

// The wait before reconnection attempt `attempt` (0 = the first after a drop): 1, 2, 4, 8 and 16
// times `first`, then 30 times `first` for every later one.
std::chrono::milliseconds ReconnectDelay(int attempt, std::chrono::milliseconds first);

// Seconds of audio a reconnected connection must carry before its drop starts the waits afresh:
// a server that answers every attempt with a moment of audio must not hold them at the shortest.
inline constexpr int kReconnectRecoveredSeconds = 10;
// Whether a connection that carried `audio_bytes` of a stream of `bytes_per_second` (0: unknown,
// taken as 128 kbps) played long enough to count as recovered.
bool ReconnectRecovered(std::uint64_t audio_bytes, std::uint64_t bytes_per_second);

// The first audio bytes of a reconnection's answer that are checked before any of them counts as
// the stream's.
inline constexpr std::size_t kReconnectProbeBytes = 512;
// Whether a reconnection's answer is the stream again, by its content type and the first bytes of
// its body (empty: only the type is known yet): a playlist, an HLS list, a web page or plain text
// in the stream's place is a failed attempt.
bool ReconnectAnswerIsAudio(std::string_view content_type, std::string_view head);

// Starts the detached download thread; it holds `core` until it ends.
void StartDownload(const std::shared_ptr<StreamCore>& core);

}  // namespace engine
