// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a stream's bytes and its title changes into songs: whole frames only, each song cut at the
// quietest point around its title change (or where a chained Ogg stream starts a new logical
// stream), never re-encoded. It runs on the thread that feeds it and hands every song to a sink.
// No Qt.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "recording/audio_frames.h"
#include "recording/song_rules.h"

namespace velmora {

class FrameLevelMeter;

// Where the songs go: one Begin, its Writes, one End, song after song.
class SongSink {
  public:
    virtual ~SongSink() = default;
    virtual void BeginSong() = 0;
    virtual void WriteSong(const std::string& bytes) = 0;
    virtual void EndSong(const SongFacts& song) = 0;
};

struct SongSplitOptions {
    bool per_song = true;  // false: one file for the whole recording, never cut
    CutWindow window;
    double padding = 0;  // seconds copied into both songs on either side of a cut
};

class SongSplitter {
  public:
    SongSplitter(StreamFormat format, SongSplitOptions options, SongSink& sink);
    ~SongSplitter();

    void Feed(const void* data, std::size_t size);
    // The station's title changed after the bytes fed so far.
    void TitleChanged(const std::string& title);
    // The recording ends: what is held is written and the last song ends. `by_stop`: the user or
    // the duration ended it (the song is cut short); false when the station itself ended it.
    void Finish(bool by_stop);

    // Seconds of sound fed so far.
    double seconds() const { return now_; }

  private:
    struct Held {
        AudioFrame frame;
        FrameSpan span;
    };
    void TakeFrame(AudioFrame frame);
    void WriteFrame(const AudioFrame& frame);
    // Writes what lies far enough behind to be out of any cut's reach.
    void WriteOld();
    void Cut();
    // The decoded level of the frames that may hold the pause around the pending change; the
    // others stay loud.
    void MeasureLevels(std::vector<FrameSpan>& spans);
    // Decodes held frame `i`, first priming the decoder when it did not just decode `i - 1`.
    double Measure(std::size_t i);
    void StartSong();

    SongSplitOptions options_;
    SongSink& sink_;
    FrameScanner scanner_;
    StreamFormat format_;

    double now_ = 0;         // seconds of the frames scanned so far
    std::deque<Held> held_;  // frames not yet written to the current song
    bool song_open_ = false;
    bool first_song_ = true;  // the current song began before the recording (or may have)
    std::string title_;       // of the current song
    double song_seconds_ = 0;
    // A title change waiting for the frames after it.
    bool change_pending_ = false;
    double change_at_ = 0;
    std::string next_title_;
    // Ogg: the header pages of the current logical stream, for a song cut inside it.
    std::vector<std::string> ogg_headers_;
    bool ogg_collecting_ = false;
    std::vector<AudioFrame> scanned_;
    // Decodes the frames around each cut; made at the first cut and kept for the next.
    std::unique_ptr<FrameLevelMeter> meter_;
    std::size_t decoded_next_ = 0;   // the held frame the decoder expects next
    std::size_t primed_bytes_ = 0;   // heard since it started over
    std::size_t primed_frames_ = 0;  // frames heard since it started over
};

}  // namespace velmora
