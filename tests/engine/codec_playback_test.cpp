// SPDX-License-Identifier: GPL-3.0-or-later
// Every codec a station may send decodes to the tone that was encoded.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

struct CodecCase {
    AudioCodec codec;
    int bin;
};

class CodecPlaybackTest : public EngineTest, public ::testing::WithParamInterface<CodecCase> {};

TEST_P(CodecPlaybackTest, PlaysTheEncodedTone) {
    // Guards the whole path: download, demux, decode, resample to the output rate, analyser.
    SineSpec spec;
    spec.codec = GetParam().codec;
    spec.frequency = BinFrequency(GetParam().bin);
    // Raw MP3 and ADTS streams can loop; container formats cannot, so those run longer.
    const bool loops = spec.codec == AudioCodec::Mp3 || spec.codec == AudioCodec::Aac;
    spec.seconds = loops ? 3 : 6;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.content_type = CodecContentType(spec.codec);
    route.style = StatusStyle::Http10;
    route.loop = loops;
    server_.AddStream("/stream", route);

    engine::Handle h = Create(server_.Url("/stream"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(engine::ErrorGetCode(), 0);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, GetParam().bin);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecPlaybackTest,
    ::testing::Values(CodecCase{AudioCodec::Mp3, 24}, CodecCase{AudioCodec::Mp3, 48},
                      CodecCase{AudioCodec::Aac, 48}, CodecCase{AudioCodec::Vorbis, 24},
                      CodecCase{AudioCodec::Opus, 48}, CodecCase{AudioCodec::Flac, 24}),
    [](const auto& info) {
        return std::string(CodecName(info.param.codec)) + "_bin" + std::to_string(info.param.bin);
    });

TEST_F(EngineTest, WmaNeedsThePlugin) {
    // ASF/WMA streams are refused until the plug-in is loaded, then play like the others.
    SineSpec spec;
    spec.codec = AudioCodec::Wma;
    spec.frequency = BinFrequency(40);
    spec.seconds = 6;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.content_type = CodecContentType(spec.codec);
    route.style = StatusStyle::Http10;
    server_.AddStream("/wma", route);

    EXPECT_EQ(engine::StreamCreateURL(server_.Url("/wma").c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::Format));

    ASSERT_TRUE(engine::PluginLoad(engine::kWmaPlugin, 0));
    engine::Handle h = Create(server_.Url("/wma"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 40);
}

TEST_F(EngineTest, VolumeLeavesTheAnalyserAlone) {
    // The analyser shows the sound before volume, so a muted stream still has its spectrum.
    SineSpec spec;
    spec.frequency = BinFrequency(32);
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    server_.AddStream("/mp3", route);

    engine::Handle h = Create(server_.Url("/mp3"));
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(engine::ChannelSetAttribute(h, engine::Attribute::Volume, 0.0f));
    EXPECT_EQ(engine::ErrorGetCode(), 0);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 32);
    EXPECT_TRUE(engine::ChannelSetAttribute(h, engine::Attribute::Volume, 1.0f));
    EXPECT_TRUE(engine::ChannelSetAttribute(h, engine::Attribute::Volume, 0.35f));
    ExpectPlaysBin(h, 32);
}

}  // namespace
}  // namespace velmora::test
