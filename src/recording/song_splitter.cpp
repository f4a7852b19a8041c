// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_splitter.h"

#include <algorithm>

#include "recording/frame_bits.h"
#include "recording/frame_level.h"

namespace velmora {

namespace {
// Sound held before a cut's window so that the decoder can be primed for its first frames (MP3's
// bit reservoir reaches back a few frames).
constexpr double kPrimeSeconds = 0.25;
// What a decoder needs before a frame decodes as it sounds: the bytes an MP3 frame's main data
// may reach back (its bit reservoir), and whole frames for the overlap of the transform.
constexpr std::size_t kReservoirBytes = 511;
constexpr std::size_t kPrimeFrames = 2;
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

double SongSplitter::Measure(std::size_t i) {
    FrameLevelMeter& meter = *meter_;
    if (decoded_next_ != i) {
        // A new stretch: the decoder starts over from frames before it, which are only heard to
        // prime it.
        meter.Restart();
        const std::size_t need = format_ == StreamFormat::Mpeg ? kReservoirBytes : 0;
        std::size_t from = i;
        primed_bytes_ = 0;
        while (from > 0 && (primed_bytes_ < need || i - from < kPrimeFrames))
            primed_bytes_ += held_[--from].frame.bytes.size();
        primed_frames_ = i - from;
        for (std::size_t k = from; k < i; ++k) meter.Level(held_[k].frame);
    }
    const double level = meter.Level(held_[i].frame);
    decoded_next_ = i + 1;
    // Until a frame's predecessors were heard it may decode as silence: it counts as loud.
    const bool primed = primed_frames_ >= kPrimeFrames &&
                        primed_bytes_ >= (format_ == StreamFormat::Mpeg ? kReservoirBytes : 0);
    primed_bytes_ += held_[i].frame.bytes.size();
    ++primed_frames_;
    return primed ? level : 0.0;
}

void SongSplitter::MeasureLevels(std::vector<FrameSpan>& spans) {
    // Only the frames around a change are looked at, and only those that may be the pause are
    // decoded, by a decoder of their own: a recording costs almost nothing between changes.
    if (!meter_) meter_ = std::make_unique<FrameLevelMeter>(format_);
    if (!meter_->Works()) return;
    const double from = change_at_ - options_.window.before;
    const double to = change_at_ + options_.window.after;
    std::size_t first = 0;
    while (first < held_.size() && held_[first].span.start < from) ++first;
    std::size_t last = first;
    while (last < held_.size() && held_[last].span.start <= to) ++last;
    if (first >= last) return;
    // The frame before the window tells whether its first frame follows one without bits.
    const std::size_t base = first > 0 ? first - 1 : first;
    std::vector<FrameBits> bits;
    bits.reserve(last - base);
    for (std::size_t i = base; i < last; ++i)
        bits.push_back(ReadFrameBits(format_, held_[i].frame.bytes));
    const DecodePlan plan = PlanDecoding(bits, base < first, format_ == StreamFormat::Mpeg);
    decoded_next_ = held_.size();
    for (std::size_t i = first; i < last; ++i) {
        const FrameDecoding what = plan[i - first];
        if (what == FrameDecoding::Silent) spans[i].level_db = kSilenceDb;
        if (what == FrameDecoding::Decode) spans[i].level_db = Measure(i);
    }
}

void SongSplitter::Cut() {
    change_pending_ = false;
    std::vector<FrameSpan> spans;
    spans.reserve(held_.size());
    for (const Held& h : held_) spans.push_back(h.span);
    MeasureLevels(spans);
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
