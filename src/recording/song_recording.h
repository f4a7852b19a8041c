// SPDX-License-Identifier: GPL-3.0-or-later
// A per-song recording of the playing stream: a data sink for the player's stream (its bytes and
// its titles, which come in place between them) that feeds the splitter and the song files. The
// sink runs on the download thread; Stop() hands the last song to a thread of its own, so the
// user-interface thread never waits for a write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "recording/song_files.h"
#include "recording/song_splitter.h"

namespace velmora {

// The format of a stream from its first bytes: Ogg pages, or two MPEG audio or ADTS frames in a
// row; Unknown until that is seen.
StreamFormat FormatFromBytes(const std::uint8_t* data, std::size_t size);

class SongRecording {
  public:
    using Sink = std::function<void(const void* data, std::uint32_t length)>;

    // `plan.format` is found from the stream's bytes; `title` is the one playing at the start.
    // `failed` runs on the writing thread.
    SongRecording(SongFilesPlan plan, SongSplitOptions options, const std::string& title,
                  SongFiles::Failed failed);
    ~SongRecording();
    SongRecording(const SongRecording&) = delete;
    SongRecording& operator=(const SongRecording&) = delete;

    // For the stream this recording belongs to; null data (its end of download) ends the last
    // song, which is then incomplete.
    Sink StreamSink() const;
    // Ends the recording: the last song is cut short and filed as incomplete. Returns at once.
    void Stop();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace velmora
