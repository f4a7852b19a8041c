// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_recording.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "base/thread_start.h"
#include "engine/engine.h"
#include "opening/stream_status.h"
#include "text/server_text.h"

namespace velmora {

namespace {
// A stream that shows no known frames within this many bytes is not recorded song by song.
constexpr std::size_t kSniffLimit = 65536;
}  // namespace

StreamFormat FormatFromBytes(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        const std::uint8_t* p = data + i;
        if (std::memcmp(p, "OggS", 4) == 0) return StreamFormat::Ogg;
        if (i + 9 > size) continue;
        double seconds = 0;
        for (const StreamFormat format : {StreamFormat::Adts, StreamFormat::Mpeg}) {
            const auto length = format == StreamFormat::Adts ? AdtsFrameLength(p, &seconds)
                                                             : MpegFrameLength(p, &seconds);
            if (length == 0 || i + length + 9 > size) continue;
            const auto next = format == StreamFormat::Adts ? AdtsFrameLength(p + length, &seconds)
                                                           : MpegFrameLength(p + length, &seconds);
            if (next > 0) return format;
        }
    }
    return StreamFormat::Unknown;
}

struct SongRecording::State {
    std::mutex m;  // guards everything below; held while writing, never by the window's thread
    SongFilesPlan plan;
    SongSplitOptions options;
    SongFiles::Failed failed;
    std::string head;  // bytes before the format is known
    std::string title;
    ServerTextDecoder decoder;
    std::unique_ptr<SongFiles> files;
    std::unique_ptr<SongSplitter> splitter;
    bool ended = false;

    void Take(const void* data, std::uint32_t length) {
        if (ended) return;
        if (!data) {
            // The stream ended under the song (Stop, another station, the station gone).
            End();
            return;
        }
        if (length == 0) {
            const std::string_view line(static_cast<const char*>(data));
            const std::string_view prefix(engine::kMetaLinePrefix);
            if (line.substr(0, prefix.size()) != prefix) return;
            const std::optional<std::string> text = ParseStreamTitle(line.substr(prefix.size()));
            if (!text) return;
            title = decoder.DecodeName(*text);
            if (splitter) splitter->TitleChanged(title);
            return;
        }
        if (!splitter) {
            head.append(static_cast<const char*>(data), length);
            const StreamFormat format =
                FormatFromBytes(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());
            if (format == StreamFormat::Unknown) {
                if (head.size() > kSniffLimit) ended = true;
                return;
            }
            plan.format = format;
            files = std::make_unique<SongFiles>(plan, nullptr, failed);
            splitter = std::make_unique<SongSplitter>(format, options, *files);
            if (!title.empty()) splitter->TitleChanged(title);
            splitter->Feed(head.data(), head.size());
            head.clear();
            return;
        }
        splitter->Feed(data, length);
    }

    void End() {
        if (ended) return;
        ended = true;
        if (splitter) splitter->Finish(true);
    }
};

SongRecording::SongRecording(SongFilesPlan plan, SongSplitOptions options, const std::string& title,
                             SongFiles::Failed failed)
    : state_(std::make_shared<State>()) {
    state_->title = title;
    state_->plan = std::move(plan);
    state_->options = options;
    state_->failed = std::move(failed);
}

SongRecording::~SongRecording() {
    Stop();
}

SongRecording::Sink SongRecording::StreamSink() const {
    return [state = state_](const void* data, std::uint32_t length) {
        std::lock_guard lock(state->m);
        state->Take(data, length);
    };
}

void SongRecording::Stop() {
    // The download thread may be writing under the lock: the last song is closed after it.
    StartThread(
        [state = state_] {
            std::lock_guard lock(state->m);
            state->End();
        },
        AbortOnThrow)
        .detach();
}

}  // namespace velmora
