// SPDX-License-Identifier: GPL-3.0-or-later
// Per-song cutting of real encoded audio: a song, a second of silence and the next song, with the
// title change early or late, lands in the silence on a frame boundary; chained Ogg is cut where
// its new logical stream begins; every song decodes on its own without an error.
#include "recording/song_splitter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "support/test_audio.h"

namespace velmora {
namespace {

using test::AudioCodec;

struct Song {
    std::string bytes;
    SongFacts facts;
};

class Songs : public SongSink {
  public:
    void BeginSong() override { songs.emplace_back(); }
    void WriteSong(const std::string& bytes) override { songs.back().bytes += bytes; }
    void EndSong(const SongFacts& facts) override { songs.back().facts = facts; }
    std::vector<Song> songs;
};

std::string Tone(AudioCodec codec, double frequency, double seconds, double amplitude = 0.5,
                 int serial = 0) {
    test::SineSpec spec;
    spec.codec = codec;
    spec.frequency = frequency;
    spec.seconds = seconds;
    spec.amplitude = amplitude;
    spec.serial_offset = serial;
    return test::EncodeSine(spec);
}

// Feeds `audio` in pieces of odd sizes and sends `title` once `change_at` seconds are in.
std::vector<Song> Split(StreamFormat format, const std::string& audio, double change_at,
                        SongSplitOptions options = {}) {
    Songs sink;
    SongSplitter splitter(format, options, sink);
    splitter.TitleChanged("First - Song");
    bool changed = false;
    for (std::size_t at = 0; at < audio.size(); at += 1001) {
        splitter.Feed(audio.data() + at, std::min<std::size_t>(1001, audio.size() - at));
        if (!changed && splitter.seconds() >= change_at) {
            splitter.TitleChanged("Second - Song");
            changed = true;
        }
    }
    splitter.Finish(true);
    return sink.songs;
}

test::DecodedFile Decode(const std::string& bytes, const char* extension) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/song." + extension;
    std::ofstream(path, std::ios::binary) << bytes;
    return test::DecodeFile(path);
}

TEST(SongCutTest, CutFallsInTheSilenceOnAFrameBoundary) {
    const struct {
        AudioCodec codec;
        StreamFormat format;
        const char* extension;
    } codecs[] = {{AudioCodec::Mp3, StreamFormat::Mpeg, "mp3"},
                  {AudioCodec::Aac, StreamFormat::Adts, "aac"}};
    // The silence runs from 4 to 5 s; the change comes 1.5 s before its middle, or 2 s after.
    for (const auto& c : codecs) {
        const std::string audio =
            Tone(c.codec, 440, 4) + Tone(c.codec, 440, 1, 0.0) + Tone(c.codec, 880, 4);
        for (const double change_at : {3.0, 6.5}) {
            SCOPED_TRACE(std::string(c.extension) + " change at " + std::to_string(change_at));
            const std::vector<Song> songs = Split(c.format, audio, change_at);
            ASSERT_EQ(songs.size(), 2u);
            EXPECT_EQ(songs[0].facts.title, "First - Song");
            EXPECT_TRUE(songs[0].facts.joined_midway);
            EXPECT_EQ(songs[1].facts.title, "Second - Song");
            EXPECT_TRUE(songs[1].facts.ended_by_stop);
            // Inside the silence (encoders add a few dozen milliseconds in front).
            EXPECT_GT(songs[0].facts.seconds, 4.05);
            EXPECT_LT(songs[0].facts.seconds, 5.0);
            // Nothing lost, nothing doubled, and each song starts on a frame.
            EXPECT_TRUE(songs[0].bytes + songs[1].bytes == audio);
            for (const Song& song : songs) {
                const test::DecodedFile decoded = Decode(song.bytes, c.extension);
                EXPECT_TRUE(decoded.opened);
                EXPECT_EQ(decoded.errors, 0);
                EXPECT_NEAR(decoded.seconds, song.facts.seconds, 0.1);
            }
        }
    }
}

// A pause that is no digital silence (a tone 45 dB down) is found from the bits and decoded, so
// the cut still falls inside it.
TEST(SongCutTest, CutFallsInAPauseThatStillSounds) {
    const struct {
        AudioCodec codec;
        StreamFormat format;
    } codecs[] = {{AudioCodec::Mp3, StreamFormat::Mpeg}, {AudioCodec::Aac, StreamFormat::Adts}};
    for (const auto& c : codecs) {
        const std::string audio =
            Tone(c.codec, 440, 4) + Tone(c.codec, 440, 1, 0.003) + Tone(c.codec, 880, 4);
        for (const double change_at : {3.0, 6.5}) {
            SCOPED_TRACE(std::string(test::CodecName(c.codec)) + " change at " +
                         std::to_string(change_at));
            const std::vector<Song> songs = Split(c.format, audio, change_at);
            ASSERT_EQ(songs.size(), 2u);
            // From the loud tone's last frame to the quiet one's.
            EXPECT_GT(songs[0].facts.seconds, 4.04);
            EXPECT_LT(songs[0].facts.seconds, 5.05);
        }
    }
}

TEST(SongCutTest, OggCutsAtTheNewLogicalStreamOrRepeatsItsHeaders) {
    const std::string first = Tone(AudioCodec::Vorbis, 440, 3);
    const std::string second = Tone(AudioCodec::Vorbis, 880, 3, 0.5, 1);
    // Chained: the new stream begins at 3 s, the title comes 1 s late.
    std::vector<Song> songs = Split(StreamFormat::Ogg, first + second, 4.0);
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_TRUE(songs[0].bytes == first);
    EXPECT_TRUE(songs[1].bytes == second);
    // One stream cut inside: the second song gets the headers again and decodes on its own.
    const std::string one = Tone(AudioCodec::Vorbis, 440, 6);
    songs = Split(StreamFormat::Ogg, one, 3.0);
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_EQ(songs[1].bytes.compare(0, 4, "OggS"), 0);
    for (const Song& song : songs) {
        const test::DecodedFile decoded = Decode(song.bytes, "ogg");
        EXPECT_TRUE(decoded.opened);
        EXPECT_EQ(decoded.errors, 0);
        EXPECT_GT(decoded.seconds, 2.0);
    }
}

// Padding copies the same frames into both songs; a plain recording is never cut.
TEST(SongCutTest, PaddingAndOneFile) {
    const std::string audio = Tone(AudioCodec::Mp3, 440, 4) + Tone(AudioCodec::Mp3, 440, 1, 0.0) +
                              Tone(AudioCodec::Mp3, 880, 4);
    SongSplitOptions padded;
    padded.padding = 1.0;
    const std::vector<Song> songs = Split(StreamFormat::Mpeg, audio, 3.0, padded);
    ASSERT_EQ(songs.size(), 2u);
    const double overlap = songs[0].facts.seconds + songs[1].facts.seconds - 9.0;
    EXPECT_NEAR(overlap, 2.0, 0.2);
    SongSplitOptions whole;
    whole.per_song = false;
    const std::vector<Song> one = Split(StreamFormat::Mpeg, audio, 3.0, whole);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(one[0].bytes == audio);
}

// The song after the first change is whole only when its start is known: a pause found in the
// window, or a window that does not reach back before the recording began.
TEST(SongCutTest, SongAfterAJoinIsWholeOnlyWithAKnownStart) {
    const std::string loud = Tone(AudioCodec::Mp3, 440, 3) + Tone(AudioCodec::Mp3, 660, 6);
    const std::string paused = Tone(AudioCodec::Mp3, 440, 0.6) +
                               Tone(AudioCodec::Mp3, 440, 0.8, 0.0) + Tone(AudioCodec::Mp3, 660, 7);
    const struct {
        const char* name;
        const std::string& audio;
        double change_at;
        bool second_joined_midway;
    } rows[] = {
        {"no pause, the window reaches the join", loud, 1.0, true},
        {"no pause, the window after the join", loud, 3.0, false},
        {"a pause in the window", paused, 1.0, false},
    };
    for (const auto& r : rows) {
        const std::vector<Song> songs = Split(StreamFormat::Mpeg, r.audio, r.change_at);
        ASSERT_EQ(songs.size(), 2u) << r.name;
        EXPECT_TRUE(songs[0].facts.joined_midway) << r.name;
        EXPECT_EQ(songs[1].facts.joined_midway, r.second_joined_midway) << r.name;
        EXPECT_TRUE(songs[1].facts.ended_by_stop) << r.name;
    }
}

}  // namespace
}  // namespace velmora
