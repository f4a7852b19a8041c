// SPDX-License-Identifier: GPL-3.0-or-later
// Frame loudness read from the bits of real encoded audio, without decoding, and the choice of the
// frames around a cut that are decoded.
#include "recording/frame_bits.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_audio.h"

namespace velmora {
namespace {

using test::AudioCodec;

std::vector<AudioFrame> Frames(AudioCodec codec, StreamFormat format, double amplitude) {
    test::SineSpec spec;
    spec.codec = codec;
    spec.seconds = 1.0;
    spec.amplitude = amplitude;
    const std::string audio = test::EncodeSine(spec);
    FrameScanner scanner(format);
    std::vector<AudioFrame> frames;
    scanner.Feed(reinterpret_cast<const std::uint8_t*>(audio.data()), audio.size(), &frames);
    scanner.Finish(&frames);
    // The encoder's first and last frames ramp in and out.
    return {frames.begin() + 4, frames.end() - 4};
}

double MedianLevel(const std::vector<AudioFrame>& frames, StreamFormat format) {
    std::vector<double> levels;
    for (const AudioFrame& f : frames) {
        const FrameBits bits = ReadFrameBits(format, f.bytes);
        EXPECT_TRUE(bits.known);
        levels.push_back(bits.level);
    }
    std::sort(levels.begin(), levels.end());
    return levels[levels.size() / 2];
}

TEST(FrameBitsTest, QuietFramesLookQuietAndSilenceSpendsNoBits) {
    const struct {
        AudioCodec codec;
        StreamFormat format;
        double quieter_db;  // at least, for a tone 40 dB lower
    } rows[] = {{AudioCodec::Mp3, StreamFormat::Mpeg, 30},
                {AudioCodec::Aac, StreamFormat::Adts, 6}};
    for (const auto& r : rows) {
        SCOPED_TRACE(test::CodecName(r.codec));
        const double loud = MedianLevel(Frames(r.codec, r.format, 0.5), r.format);
        const double quiet = MedianLevel(Frames(r.codec, r.format, 0.005), r.format);
        EXPECT_LT(quiet, loud - r.quieter_db);
        for (const AudioFrame& f : Frames(r.codec, r.format, 0.5))
            EXPECT_FALSE(ReadFrameBits(r.format, f.bytes).silent);
        for (const AudioFrame& f : Frames(r.codec, r.format, 0.0)) {
            const FrameBits bits = ReadFrameBits(r.format, f.bytes);
            EXPECT_TRUE(bits.silent);
            EXPECT_EQ(bits.level, kSilenceBits);
        }
    }
    // What cannot be read is not guessed at.
    const std::string mp3 = Frames(AudioCodec::Mp3, StreamFormat::Mpeg, 0.5)[0].bytes;
    std::string layer2 = mp3;
    layer2[1] = static_cast<char>((layer2[1] & ~0x06) | 0x04);
    const struct {
        const char* name;
        StreamFormat format;
        std::string bytes;
    } unread[] = {{"cut short", StreamFormat::Mpeg, mp3.substr(0, 8)},
                  {"layer II", StreamFormat::Mpeg, layer2},
                  {"Ogg", StreamFormat::Ogg, mp3}};
    for (const auto& u : unread) EXPECT_FALSE(ReadFrameBits(u.format, u.bytes).known) << u.name;
}

// Frames as letters: L loud, q quiet, Q quieter, s without bits, ? unreadable; the plan as
// . skipped, D decoded, S silent without decoding.
TEST(FrameBitsTest, PlanDecodesTheQuietestLookingStretches) {
    const struct {
        const char* name;
        const char* bits;
        bool with_previous;
        bool exact_silence;
        const char* plan;
    } rows[] = {
        {"no frame looks quiet: two short stretches", "LLLLLLLLLLLLLLLLLLLL", false, true,
         "DDDDDD.............."},
        {"a quiet-looking frame may be loud: the next stretch too", "LLqLLLLLLLLLLLLQQQLL", false,
         true, "DDDDD........DDDDDDD"},
        {"digital silence ends the search", "LLLLqqqLLLLssssssLLL", false, true,
         ".........DDDSSSSSDD."},
        {"silence that may still sound is decoded", "LLLLqqqLLLLssssssLLL", false, false,
         "..DDDDDDDDDDDDDDDDD."},
        {"the frame before the window was silent", "sssssLLL", true, true, "SSSSDD."},
        {"unreadable bits: everything is decoded", "LL?LL", false, true, "DDDDD"},
    };
    for (const auto& r : rows) {
        std::vector<FrameBits> bits;
        for (const char* c = r.bits; *c; ++c) {
            FrameBits b;
            b.known = *c != '?';
            b.silent = *c == 's';
            b.level = *c == 's' ? kSilenceBits : (*c == 'q' ? -30 : (*c == 'Q' ? -40 : 0));
            bits.push_back(b);
        }
        std::string plan;
        for (const FrameDecoding d : PlanDecoding(bits, r.with_previous, r.exact_silence))
            plan += d == FrameDecoding::Skip ? '.' : (d == FrameDecoding::Decode ? 'D' : 'S');
        EXPECT_EQ(plan, r.plan) << r.name;
    }
}

}  // namespace
}  // namespace velmora
