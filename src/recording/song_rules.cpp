// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_rules.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace velmora {

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Iterative wildcard match with one back-tracking point: linear in practice, never exponential
// on a hostile title.
bool Wildcard(std::string_view text, std::string_view pattern) {
    std::size_t t = 0, p = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

std::size_t ChooseCut(const std::vector<FrameSpan>& frames, double change_at, CutWindow window) {
    const double from = change_at - window.before;
    const double to = change_at + window.after;
    std::size_t first = frames.size();
    std::size_t last = 0;  // one past the window
    std::size_t at_change = frames.size();
    std::size_t chained = frames.size();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FrameSpan& f = frames[i];
        if (at_change == frames.size() && f.start >= change_at) at_change = i;
        if (f.start < from || f.start > to) continue;
        first = std::min(first, i);
        last = i + 1;
        if (f.stream_start &&
            (chained == frames.size() ||
             std::abs(f.start - change_at) < std::abs(frames[chained].start - change_at)))
            chained = i;
    }
    if (chained != frames.size()) return chained;
    if (first >= last) return at_change;
    std::size_t quietest = first;
    for (std::size_t i = first; i < last; ++i)
        if (frames[i].level_db < frames[quietest].level_db) quietest = i;
    if (frames[quietest].level_db > kPauseDb) return at_change;
    // The pause around the quietest frame: every neighbour within a few dB of it.
    const double limit = std::min(kPauseDb, frames[quietest].level_db + 6.0);
    std::size_t begin = quietest;
    std::size_t end = quietest + 1;
    while (begin > first && frames[begin - 1].level_db <= limit) --begin;
    while (end < last && frames[end].level_db <= limit) ++end;
    const double middle = (frames[begin].start + frames[end - 1].start) / 2;
    std::size_t cut = begin;
    while (cut + 1 < end && frames[cut + 1].start <= middle) ++cut;
    return cut;
}

SongPlace PlaceSong(const SongFacts& song, const SongRules& rules) {
    for (const std::string& pattern : rules.skip_patterns)
        if (!pattern.empty() && TitleMatches(song.title, pattern)) return SongPlace::Drop;
    const bool whole =
        !song.joined_midway && !song.ended_by_stop && song.seconds >= rules.min_seconds;
    if (whole) return SongPlace::Keep;
    return rules.keep_incomplete ? SongPlace::Incomplete : SongPlace::Drop;
}

bool TitleMatches(std::string_view title, std::string_view pattern) {
    pattern = Trim(pattern);
    if (pattern.empty()) return false;
    if (pattern.find_first_of("*?") != std::string_view::npos) return Wildcard(title, pattern);
    const auto it = std::search(title.begin(), title.end(), pattern.begin(), pattern.end(),
                                [](char a, char b) { return Lower(a) == Lower(b); });
    return it != title.end();
}

std::vector<std::string> ParseSkipPatterns(std::string_view text) {
    std::vector<std::string> patterns;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(",\r\n");
        const std::string_view one = Trim(text.substr(0, end));
        if (!one.empty()) patterns.emplace_back(one);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return patterns;
}

ArtistTitle SplitArtistTitle(std::string_view stream_title) {
    const std::string_view whole = Trim(stream_title);
    const std::size_t dash = whole.find(" - ");
    if (dash == std::string_view::npos) return {{}, std::string(whole)};
    return {std::string(Trim(whole.substr(0, dash))), std::string(Trim(whole.substr(dash + 3)))};
}

}  // namespace velmora
