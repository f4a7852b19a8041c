// SPDX-License-Identifier: GPL-3.0-or-later
// The files of a per-song recording: each song is written to a hidden part file in the station's
// folder and, once it has ended, tagged and renamed to "Artist - Title.<ext>" in that folder, in
// its incomplete/ folder, or removed, by the song rules. A finished file is never one that is
// still being written, and no existing file is replaced.
#pragma once

#include <functional>
#include <string>

#include "recording/audio_frames.h"
#include "recording/song_rules.h"
#include "recording/song_splitter.h"

namespace velmora {

struct SongFilesPlan {
    std::string station_folder;  // created (one level) when missing
    std::string station;         // the station's name: the album, and the name of untitled songs
    std::string address;         // the station's address: the comment
    StreamFormat format = StreamFormat::Unknown;
    SongRules rules;
    bool per_song = true;  // false: one file named after the start time and the station
};

class SongFiles : public SongSink {
  public:
    enum class Failure {
        Create,  // a folder or file could not be created
        Write,   // a file could not be written (or renamed into place)
        Tags,    // the tags could not be written; the song is kept untagged
    };
    // `finished` gets each saved file's path; `failed` each failure with the path and the
    // system's reason. Both run on the thread that feeds the songs.
    using Finished = std::function<void(const std::string& path, SongPlace place)>;
    using Failed =
        std::function<void(Failure failure, const std::string& path, const std::string& reason)>;

    SongFiles(SongFilesPlan plan, Finished finished, Failed failed);
    ~SongFiles() override;

    void BeginSong() override;
    void WriteSong(const std::string& bytes) override;
    void EndSong(const SongFacts& song) override;

    int failures() const { return failures_; }

  private:
    void Fail(Failure failure, const std::string& path, const std::string& reason = {});
    std::string FreeName(const std::string& folder, const std::string& base) const;

    SongFilesPlan plan_;
    Finished finished_;
    Failed failed_;
    int fd_ = -1;
    std::string part_path_;
    bool write_failed_ = false;
    int failures_ = 0;
    unsigned part_counter_ = 0;
    std::string started_;  // the local time the song began, "yy.mm.dd_hh.nn.ss"
};

}  // namespace velmora
