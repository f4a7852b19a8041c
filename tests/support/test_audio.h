// SPDX-License-Identifier: GPL-3.0-or-later
// Known sine tones encoded in memory with the codecs internet radio uses, so that a test can
// check what the engine decoded by the peak of its spectrum.
#pragma once

#include <string>

namespace velmora::test {

enum class AudioCodec {
    Mp3,     // MPEG layer III, a bare frame stream (no ID3, no Xing frame)
    Aac,     // AAC-LC in ADTS
    Vorbis,  // Ogg Vorbis
    Opus,    // Ogg Opus (always 48 kHz inside)
    Flac,    // native FLAC
    Wma,     // WMA version 2 in ASF
};

const char* CodecName(AudioCodec codec);
// The Content-Type a streaming server would send for the codec.
const char* CodecContentType(AudioCodec codec);

// Centre frequency of bin k of a 1024-point FFT at 44100 Hz: a tone there peaks in one bin.
constexpr double BinFrequency(int bin) {
    return bin * 44100.0 / 1024.0;
}

struct SineSpec {
    AudioCodec codec = AudioCodec::Mp3;
    double frequency = BinFrequency(24);
    double seconds = 2.0;
    int sample_rate = 44100;
    int channels = 2;
    int bit_rate = 128000;  // ignored by FLAC
    double amplitude = 0.5;
    // Ogg only: comment tags, and an offset added to the stream serial number, so that two
    // encodings with different offsets concatenate into a valid chained stream.
    std::string artist;
    std::string title;
    int serial_offset = 0;
};

// The encoded bytes; the same spec returns the cached result within a process. Throws
// std::runtime_error when the codec or muxer is missing or fails.
std::string EncodeSine(const SineSpec& spec);
// A tone of the codec with the other fields as they default.
inline std::string EncodedTone(AudioCodec codec, double seconds, int sample_rate = 44100,
                               double frequency = BinFrequency(24)) {
    SineSpec spec;
    spec.codec = codec;
    spec.seconds = seconds;
    spec.sample_rate = sample_rate;
    spec.frequency = frequency;
    return EncodeSine(spec);
}

// A file decoded from start to end as a player would: the seconds of sound and the packets the
// demuxer or decoder refused (0 for a file cut cleanly).
struct DecodedFile {
    bool opened = false;
    double seconds = 0;
    int errors = 0;
};
DecodedFile DecodeFile(const std::string& path);

}  // namespace velmora::test
