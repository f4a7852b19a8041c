// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_splitter.h"

#include <algorithm>

#include "recording/frame_level.h"

namespace velmora {

namespace {
// Sound decoded before a cut's window only to prime the decoder (MP3's bit reservoir reaches back
// a few frames).
constexpr double kPrimeSeconds = 0.25;
}  // namespace

SongSplitter::SongSplitter(StreamFormat format, SongSplitOptions options, SongSink& sink)
    : options_(options), sink_(sink), scanner_(format), format_(format) {}

SongSplitter::~SongSplitter() = default;

void SongSplitter::Feed(const void* data, std::size_t size) {
    scanned_.clear();
    scanner_.Feed(static_cast<const std::uint8_t*>(data), size, &scanned_);
    for (AudioFrame& frame : scanned_) TakeFrame(std::move(frame));
    if (change_pending_ && now_ >= change_at_ + options_.window.after + options_.padding) Cut();
    WriteOld();
}

void SongSplitter::TakeFrame(AudioFrame frame) {
    if (frame.stream_start) {
        ogg_headers_.clear();
        ogg_collecting_ = true;
    }
    if (ogg_collecting_) {
        if (frame.header_page)
            ogg_headers_.push_back(frame.bytes);
        else
            ogg_collecting_ = false;
    }
    Held held;
    held.span.start = now_;
    held.span.stream_start = frame.stream_start;
    now_ += frame.seconds;
    held.frame = std::move(frame);
    held_.push_back(std::move(held));
}

void SongSplitter::TitleChanged(const std::string& title) {
    if (change_pending_) {
        if (title == next_title_) return;
        Cut();
    }
    if (title == title_) return;
    // The first title names the song that was already playing: nothing to cut yet.
    if (!options_.per_song || (title_.empty() && first_song_)) {
        if (title_.empty()) title_ = title;
        return;
    }
    change_pending_ = true;
    change_at_ = now_;
    next_title_ = title;
}

void SongSplitter::StartSong() {
    sink_.BeginSong();
    song_open_ = true;
    song_seconds_ = 0;
}

void SongSplitter::WriteFrame(const AudioFrame& frame) {
    if (!song_open_) StartSong();
    sink_.WriteSong(frame.bytes);
    song_seconds_ += frame.seconds;
}

void SongSplitter::WriteOld() {
    // While a change waits, everything from its window's start on stays for the cut.
    const double keep_from = (change_pending_ ? change_at_ : now_) - options_.window.before -
                             options_.padding - kPrimeSeconds;
    while (!held_.empty() && (!options_.per_song || held_.front().span.start < keep_from)) {
        WriteFrame(held_.front().frame);
        held_.pop_front();
    }
}

void SongSplitter::Cut() {
    change_pending_ = false;
    // Only the frames around a change are decoded, by a decoder of their own: a recording costs
    // almost nothing between changes. The held frames begin a little before the window, as the
    // first frames a decoder meets lack their predecessors' data and sound silent; they only
    // prime it and count as loud.
    if (!meter_) meter_ = std::make_unique<FrameLevelMeter>(format_);
    FrameLevelMeter& meter = *meter_;
    meter.Restart();
    std::vector<FrameSpan> spans;
    spans.reserve(held_.size());
    const double measured_from = held_.empty() ? 0 : held_.front().span.start + kPrimeSeconds;
    for (Held& h : held_) {
        if (meter.Works()) {
            const double level = meter.Level(h.frame);
            h.span.level_db = h.span.start < measured_from ? 0.0 : level;
        }
        spans.push_back(h.span);
    }
    const std::size_t cut = ChooseCut(spans, change_at_, options_.window);
    const double cut_at = cut < held_.size() ? held_[cut].span.start : now_;
    // A first change whose window reaches back before the recording's start, with no pause or new
    // stream found in it: the next song may have begun before the recording did.
    const bool found_start =
        cut < spans.size() && (spans[cut].stream_start || spans[cut].level_db <= kPauseDb);
    const bool next_joined_midway =
        first_song_ && !found_start && change_at_ < options_.window.before;
    // The old song: up to the cut, and the padding after it.
    std::size_t i = 0;
    for (; i < held_.size(); ++i) {
        if (i >= cut && held_[i].span.start >= cut_at + options_.padding) break;
        WriteFrame(held_[i].frame);
    }
    // A song that got no frame at all was never begun: the next one is still the first.
    if (song_open_) {
        SongFacts facts;
        facts.title = title_;
        facts.seconds = song_seconds_;
        facts.joined_midway = first_song_;
        sink_.EndSong(facts);
        song_open_ = false;
        first_song_ = next_joined_midway;
    }
    title_ = next_title_;
    // The new song: from the padding before the cut on; a cut inside an Ogg logical stream
    // repeats its header pages so the file decodes on its own.
    std::size_t from = cut;
    while (from > 0 && held_[from - 1].span.start > cut_at - options_.padding) --from;
    StartSong();
    if (format_ == StreamFormat::Ogg && from < held_.size() && !held_[from].frame.stream_start)
        for (const std::string& page : ogg_headers_) sink_.WriteSong(page);
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(from));
}

void SongSplitter::Finish(bool by_stop) {
    scanned_.clear();
    scanner_.Finish(&scanned_);
    for (AudioFrame& frame : scanned_) TakeFrame(std::move(frame));
    if (change_pending_) Cut();
    for (const Held& h : held_) WriteFrame(h.frame);
    held_.clear();
    if (!song_open_) return;
    SongFacts facts;
    facts.title = title_;
    facts.seconds = song_seconds_;
    facts.joined_midway = first_song_;
    facts.ended_by_stop = by_stop;
    sink_.EndSong(facts);
    song_open_ = false;
}

}  // namespace velmora
