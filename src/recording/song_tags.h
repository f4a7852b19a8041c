// SPDX-License-Identifier: GPL-3.0-or-later
// Tags of a recorded song, written through TagLib: ID3v2.4 in MP3 files, Vorbis comments in Ogg
// (Vorbis or Opus) files, an ID3v2.4 header in front of ADTS AAC. No Qt.
#pragma once

#include <string>

#include "recording/audio_frames.h"

namespace velmora {

struct SongTags {
    std::string title;    // the stream title after the first " - ", or all of it
    std::string artist;   // before the first " - "; empty when there is none
    std::string album;    // the station's name
    std::string date;     // "yyyy-mm-dd"
    std::string comment;  // the station's address
};

// The tags of a song with this stream title on this station and day.
SongTags TagsForSong(const std::string& stream_title, const std::string& station,
                     const std::string& address, const std::string& date);

// What a song's file begins with before its audio: for MP3 an empty ID3v2.4 tag with room for
// the tags, so that tagging the finished file rewrites its first bytes instead of moving all of
// its audio. Empty for the other formats.
std::string TagRoom(StreamFormat format);

// Writes the tags into the closed file at `path` (UTF-8); false when TagLib could not.
bool WriteSongTags(const std::string& path, StreamFormat format, const SongTags& tags);

}  // namespace velmora
