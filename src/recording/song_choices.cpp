// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_choices.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// NaN, from a damaged value, reads as the lower limit.
double Within(double value, double low, double high) {
    if (!std::isfinite(value)) return value > 0 ? high : low;
    return std::clamp(value, low, high);
}

}  // namespace

SongChoices ClampedSongChoices(SongChoices c) {
    c.window.before = Within(c.window.before, 0, kLongestCutReach);
    c.window.after = Within(c.window.after, 0, kLongestCutReach);
    c.padding = Within(c.padding, 0, kLongestPadding);
    c.rules.min_seconds = Within(c.rules.min_seconds, 0, kLongestMinimum);
    std::vector<std::string> patterns;
    for (const std::string& p : c.rules.skip_patterns)
        for (std::string& one : ParseSkipPatterns(p)) patterns.push_back(std::move(one));
    c.rules.skip_patterns = std::move(patterns);
    return c;
}

SongSplitOptions SplitOptionsOf(const SongChoices& choices) {
    SongSplitOptions options;
    options.per_song = true;
    options.window = choices.window;
    options.padding = choices.padding;
    return options;
}

}  // namespace velmora
