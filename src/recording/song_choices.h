// SPDX-License-Identifier: GPL-3.0-or-later
// The user's choices for recording song by song, in one record that the player's recording, the
// schedule and the command line all take: which songs are kept, where the cut may fall and how
// much both songs share. No Qt.
#pragma once

#include "recording/song_rules.h"
#include "recording/song_splitter.h"

namespace velmora {

struct SongChoices {
    SongRules rules;   // minimum length, the incomplete songs' fate, the skip patterns
    CutWindow window;  // from 2 s before to 4 s after the title change
    double padding = 0;

    bool operator==(const SongChoices&) const = default;
};

// The limits every value is held within, so that a hand-edited settings file cannot ask for a
// cut a minute away from the change or a song of negative length. The window's controls use them
// as their ranges.
inline constexpr int kLongestCutReach = 30;   // seconds either side of a change
inline constexpr int kLongestPadding = 10;    // seconds
inline constexpr int kLongestMinimum = 3600;  // seconds a song must last to be whole

// `choices` with every number inside its limits and the skip patterns without blanks.
SongChoices ClampedSongChoices(SongChoices choices);

// The splitter's options for a per-song recording by these choices.
SongSplitOptions SplitOptionsOf(const SongChoices& choices);

}  // namespace velmora
