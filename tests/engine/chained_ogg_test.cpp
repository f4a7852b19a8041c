// SPDX-License-Identifier: GPL-3.0-or-later
// A chained Ogg stream (a new logical stream per song) plays on across the boundary, and each
// song's ARTIST - TITLE becomes the metadata title.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

class ChainedOggTest : public EngineTest, public ::testing::WithParamInterface<AudioCodec> {};

TEST_P(ChainedOggTest, PlaysAcrossTheBoundaryAndReportsTitles) {
    SineSpec first;
    first.codec = GetParam();
    first.frequency = BinFrequency(24);
    first.seconds = 2;
    first.artist = "Artist A";
    first.title = "First";
    first.serial_offset = 1000;
    SineSpec second = first;
    second.frequency = BinFrequency(48);
    second.seconds = 4;
    second.artist = "Artist B";
    second.title = "Second";
    second.serial_offset = 2000;
    StreamRoute route;
    route.audio = EncodeSine(first) + EncodeSine(second);
    route.content_type = CodecContentType(GetParam());
    route.style = StatusStyle::Http10;
    route.headers = {"icy-name:Chained"};
    // Faster than real time, but not all at once, like a server with a short burst.
    route.burst_bytes = 8000;
    route.bytes_per_second = 40000;
    server_.AddStream("/chain.ogg", route);

    engine::Handle h = Create(server_.Url("/chain.ogg"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    const auto meta = std::make_shared<MetaRecorder>();
    ASSERT_NE(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &MetaRecorder::Proc, meta), 0u);
    // The first song's title is known once the stream is identified.
    const char* tag = engine::ChannelGetTags(h, engine::TagKind::Meta);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag, "StreamTitle='Artist A - First';");
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 24);

    // Across the boundary the stream never stops or stalls, and the new title arrives once.
    std::string states;  // every is-active value other than 1, for the failure message
    const bool heard_second = WaitUntil(
        [&] {
            if (const int state = engine::ChannelIsActive(h); state != 1)
                states += std::to_string(state);
            return PeakBin(h) == 48;
        },
        Scaled(5000ms));
    EXPECT_EQ(states, "");
    EXPECT_TRUE(heard_second);
    ASSERT_TRUE(meta->WaitForCount(1, Scaled(2000ms)));
    // A repeated title would come while the rest of the stream is read.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return engine::StreamGetFilePosition(h, engine::FilePos::Download) >=
                   route.audio.size();
        },
        Scaled(5000ms)));
    EXPECT_EQ(meta->Texts(), std::vector<std::string>{"StreamTitle='Artist B - Second';"});
    EXPECT_STREQ(engine::ChannelGetTags(h, engine::TagKind::Meta),
                 "StreamTitle='Artist B - Second';");
    ExpectPlaysBin(h, 48);
}

INSTANTIATE_TEST_SUITE_P(Codecs, ChainedOggTest,
                         ::testing::Values(AudioCodec::Vorbis, AudioCodec::Opus),
                         [](const auto& info) { return std::string(CodecName(info.param)); });

}  // namespace
}  // namespace velmora::test
