// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of recording per song, as plain functions: where the cut falls around a title change,
// which songs are whole, which titles are skipped, and how a title splits into artist and title.
// No Qt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Where a cut may fall, in seconds before and after the title change.
struct CutWindow {
    double before = 2.0;
    double after = 4.0;

    bool operator==(const CutWindow&) const = default;
};

// One frame as the cut sees it.
struct FrameSpan {
    double start = 0;           // seconds into the stream
    double level_db = 0;        // its decoded level; 0 (loud) when unknown
    bool stream_start = false;  // a new logical stream begins here (chained Ogg)
};

// Below this a frame counts as a pause; a window without one holds a crossfade or talk over the
// music, where a silence search finds nothing and the cut falls on the change.
inline constexpr double kPauseDb = -40.0;

// The index of the frame the new song begins with: a new logical stream inside the window (the
// one nearest the change), else the middle of the quietest stretch inside the window, else the
// first frame at or after the change. frames.size() when no frame begins at or after the change.
std::size_t ChooseCut(const std::vector<FrameSpan>& frames, double change_at, CutWindow window);

// What becomes of a finished song.
enum class SongPlace {
    Keep,        // in the station's folder
    Incomplete,  // in its incomplete/ folder
    Drop,        // not saved
};

struct SongFacts {
    std::string title;
    double seconds = 0;
    bool joined_midway = false;  // the first song of a recording
    bool ended_by_stop = false;  // the last song of a recording
};

struct SongRules {
    double min_seconds = 30;
    bool keep_incomplete = true;  // false: incomplete songs are not saved at all
    std::vector<std::string> skip_patterns;

    bool operator==(const SongRules&) const = default;
};

SongPlace PlaceSong(const SongFacts& song, const SongRules& rules);

// A pattern with * or ? matches the whole title as a wildcard; a plain word or phrase matches
// anywhere in it. Both ignore case (ASCII letters).
bool TitleMatches(std::string_view title, std::string_view pattern);
// The user's skip list: one pattern a line (or separated by commas), blanks trimmed.
std::vector<std::string> ParseSkipPatterns(std::string_view text);

// "Artist - Title" split at the first " - "; a title without one has no artist.
struct ArtistTitle {
    std::string artist;
    std::string title;
};
ArtistTitle SplitArtistTitle(std::string_view stream_title);

}  // namespace velmora
