// SPDX-License-Identifier: GPL-3.0-or-later
// ICY metadata is cut out of the audio and reported once per title change.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

StreamRoute PacedMp3(std::size_t metaint, double seconds = 2) {
    SineSpec spec;
    spec.frequency = BinFrequency(24);
    spec.seconds = seconds;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.metaint = metaint;
    // A small burst, then twice real time: titles arrive after the sync is registered, and
    // the test stays short.
    route.burst_bytes = 12000;
    route.bytes_per_second = 32000;
    return route;
}

TEST_F(EngineTest, TitlesReachTheSyncInOrderOncePerChange) {
    StreamRoute route = PacedMp3(8000);
    // Block 2 repeats block 1, as servers that resend the current title do; a title may hold
    // a semicolon and non-ASCII bytes.
    route.titles = {{1, "Alpha"}, {2, "Alpha"}, {4, "Beta"}, {5, "Gam;ma \xc3\xa9"}};
    server_.AddStream("/icy", route);

    engine::Handle h = Create(server_.Url("/icy"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    const auto meta = std::make_shared<MetaRecorder>();
    ASSERT_NE(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &MetaRecorder::Proc, meta), 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));

    ASSERT_TRUE(meta->WaitForCount(3, Scaled(6000ms)));
    // Room for a wrong extra call for the repeated title or the empty blocks: the download has
    // read past them (the sync runs on its thread before the bytes that follow are counted).
    ASSERT_TRUE(WaitUntil(
        [&] { return engine::StreamGetFilePosition(h, engine::FilePos::Download) >= 8 * 8000; },
        Scaled(6000ms)));
    EXPECT_EQ(meta->Texts(),
              (std::vector<std::string>{"StreamTitle='Alpha';", "StreamTitle='Beta';",
                                        "StreamTitle='Gam;ma \xc3\xa9';"}));
    const char* tag = engine::ChannelGetTags(h, engine::TagKind::Meta);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag, "StreamTitle='Gam;ma \xc3\xa9';");
    EXPECT_EQ(engine::ChannelIsActive(h), 1);
}

TEST_F(EngineTest, NoMetaTagBeforeTheFirstTitle) {
    StreamRoute route = PacedMp3(8000);
    route.bytes_per_second = 16000;
    route.burst_bytes = 4000;
    route.titles = {{6, "Late"}};
    server_.AddStream("/icy", route);

    engine::Handle h = Create(server_.Url("/icy"));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine::ChannelGetTags(h, engine::TagKind::Meta), nullptr);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::NotAvailable));
}

TEST_F(EngineTest, MalformedMetadataKeepsTheAudioIntact) {
    // 255-length blocks of binary garbage and empty blocks must neither leak into the audio nor
    // stop playback, and a proper title after them still counts.
    StreamRoute route = PacedMp3(4000, 4);
    route.malformed_metadata = true;
    route.loop = false;
    route.bytes_per_second = 0;
    // The title goes into the last block, so no garbage follows it.
    const std::size_t blocks = route.audio.size() / route.metaint;
    route.titles = {{blocks - 1, "After garbage"}};
    server_.AddStream("/bad", route);

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/bad"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(recorder->WaitForEnd(Scaled(5000ms)));
    const auto sent = server_.ConnectionsTo("/bad");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].metadata_blocks, blocks);
    EXPECT_TRUE(recorder->Audio() == sent[0].sent_audio)
        << "received " << recorder->Audio().size() << " bytes, sent " << sent[0].sent_audio.size();
    const char* tag = engine::ChannelGetTags(h, engine::TagKind::Meta);
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag, "StreamTitle='After garbage';");
    ExpectPlaysBin(h, 24);
}

}  // namespace
}  // namespace velmora::test
