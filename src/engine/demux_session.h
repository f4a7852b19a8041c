// SPDX-License-Identifier: GPL-3.0-or-later
// One FFmpeg demuxer and decoder reading a stream's ring buffer, from a start position up to the
// next Ogg chain boundary, with its resampler to the output format.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace engine {

struct StreamCore;

struct DemuxSession {
    ~DemuxSession();

    StreamCore* core = nullptr;
    // Absolute position where this session began reading; it ends at the next chain boundary.
    std::uint64_t start = 0;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    AVIOContext* avio = nullptr;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    int stream_index = -1;
    // Identifying at creation: what the demuxer reads stays counted as unplayed until the
    // decoder reads on from there.
    bool hold = false;
    // Read before the buffer's bytes: the header pages of the Ogg logical stream a seek put the
    // session down in. Positions in the stream count from `start` after them.
    std::string prefix;
    std::size_t prefix_read = 0;
};

// Opens a session at the ring's read position: probes the format and opens the decoder. On
// failure returns null and sets `*error`. `allow_asf` is false until the WMA plug-in is loaded.
// `analyze` reads ahead to complete the codec parameters when the headers leave them open.
// `prefix` is read first (see DemuxSession::prefix).
std::unique_ptr<DemuxSession> OpenDemuxSession(StreamCore& core,
                                               std::chrono::steady_clock::time_point deadline,
                                               bool allow_asf, bool analyze, ErrorCode* error,
                                               std::string prefix = {});

// The stream's rate in kbps as the demuxer found it in the audio (frame headers, the parser's
// average, the codec header); 0 when the format does not tell.
long MeasuredKbps(const DemuxSession& session);

// Starts the detached decoder thread of a created stream (at its first play).
void StartDecoder(const std::shared_ptr<StreamCore>& core, int out_rate, bool allow_asf);

}  // namespace engine
