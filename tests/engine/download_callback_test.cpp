// SPDX-License-Identifier: GPL-3.0-or-later
// The download callback sees the response head line by line, then exactly the audio bytes the
// server sent, then one end call; the head is kept as tags.
#include <cmath>

#include "engine/downloader.h"
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

struct StyleCase {
    StatusStyle style;
    const char* status_line;
    std::size_t metaint;
};

const char* StyleName(StatusStyle style) {
    switch (style) {
        case StatusStyle::Icy:
            return "Icy";
        case StatusStyle::Http10:
            return "Http10";
        case StatusStyle::Http11Chunked:
            return "Http11Chunked";
    }
    return "";
}

class DownloadCallbackTest : public EngineTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(DownloadCallbackTest, DeliversHeadAudioAndOneEnd) {
    SineSpec spec;
    spec.seconds = 3;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.style = GetParam().style;
    route.metaint = GetParam().metaint;
    route.titles = {{1, "First"}, {3, "Second"}};
    route.headers = {"icy-name:Loopback FM", "icy-genre:Test", "icy-br:128"};
    server_.AddStream("/live", route);

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/live?session=1"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();

    // The head has been passed on by the time creation returns.
    std::vector<std::string> head = recorder->HeaderLines();
    ASSERT_FALSE(head.empty());
    EXPECT_EQ(head[0], GetParam().status_line);
    std::vector<std::string> wanted = route.headers;
    std::size_t next = 0;
    for (const std::string& line : head)
        if (next < wanted.size() && line == wanted[next]) ++next;
    EXPECT_EQ(next, wanted.size()) << "header lines missing or out of order";

    // The request asks for metadata and names the player, not a browser.
    const auto conns = server_.ConnectionsTo("/live");
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].Header("Icy-MetaData"), "1");
    EXPECT_EQ(conns[0].Header("User-Agent").rfind("Velmora/2.4", 0), 0u)
        << conns[0].Header("User-Agent");

    // The whole stream fits the download buffer, so it arrives without playing.
    ASSERT_TRUE(recorder->WaitForEnd(Scaled(5000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
    EXPECT_FALSE(recorder->HeaderAfterAudio());
    const std::string sent = server_.ConnectionsTo("/live")[0].sent_audio;
    ASSERT_EQ(sent.size(), route.audio.size());
    EXPECT_TRUE(recorder->Audio() == sent)
        << "received " << recorder->Audio().size() << " bytes, sent " << sent.size();
    EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::Download), sent.size());

    // ICY answers keep their head as ICY tags, HTTP answers as HTTP tags.
    const engine::TagKind kind =
        GetParam().style == StatusStyle::Icy ? engine::TagKind::Icy : engine::TagKind::Http;
    std::vector<std::string> tags = TagLines(engine::ChannelGetTags(h, kind));
    for (const std::string& line : route.headers)
        EXPECT_NE(std::find(tags.begin(), tags.end(), line), tags.end()) << line;

    // Freeing after the end must not call back again.
    ASSERT_TRUE(engine::StreamFree(h));
    ASSERT_TRUE(WaitUntilReleased(recorder, Scaled(2000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
}

INSTANTIATE_TEST_SUITE_P(Styles, DownloadCallbackTest,
                         ::testing::Values(StyleCase{StatusStyle::Icy, "ICY 200 OK", 8192},
                                           StyleCase{StatusStyle::Http10, "HTTP/1.0 200 OK", 0},
                                           StyleCase{StatusStyle::Http10, "HTTP/1.0 200 OK", 1000},
                                           StyleCase{StatusStyle::Http11Chunked, "HTTP/1.1 200 OK",
                                                     16000}),
                         [](const auto& info) {
                             return std::string(StyleName(info.param.style)) + "_metaint" +
                                    std::to_string(info.param.metaint);
                         });

TEST_F(EngineTest, DroppedConnectionEndsOnceAndDrains) {
    // A server that goes away mid-stream ends the download with one end call; what was
    // buffered still plays, then the stream reports stopped rather than stalled.
    SineSpec spec;
    spec.seconds = 5;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.metaint = 4096;
    route.drop_after = 40000;  // about 2.5 s
    server_.AddStream("/drop", route);

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/drop"), recorder);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(recorder->WaitForEnd(Scaled(3000ms)));
    EXPECT_EQ(engine::ChannelIsActive(h), 1);
    EXPECT_EQ(recorder->Audio().size(), 40000u);
    EXPECT_TRUE(recorder->Audio() == server_.ConnectionsTo("/drop")[0].sent_audio);

    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 0; }, Scaled(6000ms)))
        << "is-active " << engine::ChannelIsActive(h);
    EXPECT_EQ(recorder->EndCalls(), 1);
}

TEST_F(EngineTest, SmallPiecesArriveInBatchesAndNothingIsHeldWhenTheServerPauses) {
    struct Row {
        std::uint64_t bytes_per_second;
        double buffered_seconds;
        std::size_t batch;
    };
    for (const Row& r :
         {Row{0, 4, 1}, Row{16000, 0.9, 1}, Row{16000, NAN, 1}, Row{16000, 4, 2048},
          Row{16000, 2, 1024}, Row{40000, 4, 8192}, Row{1000000, 60, 8192}, Row{2000, 4, 1}}) {
        EXPECT_EQ(engine::ReceiveBatchBytes(r.bytes_per_second, r.buffered_seconds), r.batch)
            << r.bytes_per_second << " B/s, " << r.buffered_seconds << " s";
    }

    // 128 kbps in 50 pieces a second, as a live server sends; it pauses after about 8 s.
    SineSpec spec;
    spec.seconds = 4;
    StreamRoute route = IcecastRoute(EncodeSine(spec), 16000, 0);
    route.stall_after = route.burst_bytes + 16000 * 8;
    server_.AddStream("/pieces", route);
    const auto recorder = std::make_shared<DownloadRecorder>();
    const engine::Handle h = Create(server_.Url("/pieces"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));

    // Whatever the server sent before its pause arrives within a second, short of a batch or not.
    ASSERT_TRUE(server_.WaitForAudioSent("/pieces", route.stall_after, Scaled(12000ms)));
    EXPECT_TRUE(
        WaitUntil([&] { return recorder->Audio().size() == route.stall_after; }, Scaled(1500ms)))
        << recorder->Audio().size() << " of " << route.stall_after;
    EXPECT_EQ(engine::ChannelIsActive(h), 1);

    // The rate is known four seconds into the paced part; the two seconds of pieces after that
    // (100 of them) are counted by where they lie in the stream, not by the clock.
    const std::size_t from = route.burst_bytes + 16000 * 9 / 2;
    const std::size_t to = from + 16000 * 2;
    std::size_t at = 0;
    int calls = 0;
    for (const std::size_t length : recorder->AudioCallSizes()) {
        if (at >= from && at < to) ++calls;
        at += length;
    }
    EXPECT_LE(calls, 30) << "one wake-up per piece";
    EXPECT_TRUE(recorder->Audio() == server_.ConnectionsTo("/pieces")[0].sent_audio);
    engine::StreamFree(h);
}

}  // namespace
}  // namespace velmora::test
