// SPDX-License-Identifier: GPL-3.0-or-later
// A created stream whose connection drops or hangs reconnects by itself into the same handle and
// the same download callback, with nothing doubled or lost; Stop ends the attempts at once, and a
// server that stays away ends the stream once.
#include <cstdio>
#include <optional>

#include "engine/downloader.h"
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

// The Reconnect sync's data values in the order they came.
class ReconnectRecorder {
  public:
    static void Proc(engine::SyncHandle, engine::Handle, std::uint32_t data, void* user) {
        auto* self = static_cast<ReconnectRecorder*>(user);
        {
            std::lock_guard lock(self->mutex_);
            self->events_.push_back(data);
        }
        self->changed_.notify_all();
    }
    std::vector<std::uint32_t> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool WaitForCount(std::size_t n, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= n; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint32_t> events_;
};

class ReconnectTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine::SetConfig(engine::Config::NetReconnect, 60000);
        engine::SetConfig(engine::Config::NetReconnectDelay, 50);
        engine::SetConfig(engine::Config::NetStall, 400);
    }
    void TearDown() override {
        EngineTest::TearDown();
        engine::SetConfig(engine::Config::NetReconnect, 0);
        engine::SetConfig(engine::Config::NetReconnectDelay, 1000);
        engine::SetConfig(engine::Config::NetStall, 10000);
    }

    std::string AllSent(const std::string& path) const {
        std::string all;
        for (const auto& c : server_.ConnectionsTo(path)) all += c.sent_audio;
        return all;
    }
};

TEST(ReconnectDelay, GrowsThenStaysAtThirtyTimesTheFirst) {
    const int expected[] = {1, 2, 4, 8, 16, 30, 30, 30};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(engine::ReconnectDelay(i, std::chrono::milliseconds(1000)).count(),
                  expected[i] * 1000)
            << "attempt " << i;
}

struct LossCase {
    const char* name;
    bool stall;  // the server keeps the socket open and sends nothing, instead of closing it
    // Each connection starts the stream afresh: Ogg and FLAC begin with their headers again.
    AudioCodec codec;
    std::size_t loss_at;  // audio bytes per lost connection; past what identification reads
};

class ReconnectLossTest : public ReconnectTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(ReconnectLossTest, ResumesEachTimeAndRecordsEveryByteOnce) {
    SineSpec spec;
    spec.seconds = 3;
    spec.codec = GetParam().codec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.content_type = CodecContentType(spec.codec);
    route.loop = true;
    route.metaint = 8000;  // a metadata block cut off by the loss must not leak into the audio
    route.titles = {{0, "Before"}};
    route.bytes_per_second = 32000;
    route.burst_bytes = 8000;
    if (GetParam().stall)
        route.stall_after = GetParam().loss_at;
    else
        route.drop_after = GetParam().loss_at;
    route.drops = 3;
    server_.AddStream("/live", route);

    const auto recorder = std::make_shared<DownloadRecorder>();
    const auto syncs = std::make_shared<ReconnectRecorder>();
    const engine::Handle h = Create(server_.Url("/live"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_NE(
        engine::ChannelSetSync(h, engine::SyncType::Reconnect, 0, &ReconnectRecorder::Proc, syncs),
        0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));

    // Three losses, each followed by the stream flowing again.
    ASSERT_TRUE(syncs->WaitForCount(6, Scaled(15000ms)))
        << syncs->Events().size() << " syncs, " << server_.ConnectionsTo("/live").size()
        << " connections, is-active " << engine::ChannelIsActive(h);
    const auto events = syncs->Events();
    EXPECT_EQ(std::vector<std::uint32_t>(events.begin(), events.begin() + 6),
              (std::vector<std::uint32_t>{1, 0, 1, 0, 1, 0}));
    if (!GetParam().stall) {
        // The last connection does not drop; only the three lost ones were ended.
        ASSERT_TRUE(server_.WaitForConnections(4, Scaled(2000ms)));
        EXPECT_EQ(server_.ConnectionsTo("/live").size(), 4u);
    }
    // The decoder reads the reconnected audio and the same handle plays it.
    const std::uint64_t lost_part = 3 * GetParam().loss_at;
    ASSERT_TRUE(WaitUntil(
        [&] {
            return engine::StreamGetFilePosition(h, engine::FilePos::Current) > lost_part + 4000;
        },
        Scaled(8000ms)))
        << "played " << engine::StreamGetFilePosition(h, engine::FilePos::Current);
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(3000ms)))
        << "is-active " << engine::ChannelIsActive(h);
    EXPECT_EQ(PeakBin(h), 24);

    // Every audio byte the server sent, in order, nothing twice, and no end yet.
    ASSERT_TRUE(engine::StreamFree(h));
    ASSERT_TRUE(recorder->WaitForEnd(Scaled(2000ms)));
    // What was still on its way from the last connection when the stream was freed is missing.
    const std::string sent = AllSent("/live");
    const std::string got = recorder->Audio();
    EXPECT_GT(got.size(), lost_part + 4000);
    EXPECT_TRUE(got == sent.substr(0, got.size()))
        << "recorded " << got.size() << " bytes, sent " << sent.size();
    ASSERT_TRUE(WaitUntilReleased(recorder, Scaled(2000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
    // Each new connection's head came through as header lines.
    const auto heads = recorder->HeaderLines();
    EXPECT_GE(std::count(heads.begin(), heads.end(), std::string("ICY 200 OK")), 4);
}

INSTANTIATE_TEST_SUITE_P(Loss, ReconnectLossTest,
                         ::testing::Values(LossCase{"Mp3Drop", false, AudioCodec::Mp3, 13000},
                                           LossCase{"Mp3Stall", true, AudioCodec::Mp3, 13000},
                                           LossCase{"VorbisDrop", false, AudioCodec::Vorbis, 13000},
                                           LossCase{"FlacDrop", false, AudioCodec::Flac, 40000}),
                         [](const auto& info) { return std::string(info.param.name); });

// A server that goes away for good: Stop during the wait ends it at once; left alone, the
// attempts end after their time with one end call, and the stream stops.
TEST_F(ReconnectTest, StopEndsTheWaitAndAGoneServerEndsTheStreamOnce) {
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stop during the wait" : "attempts run out");
        std::optional<StreamServer> server(std::in_place);
        SineSpec spec;
        StreamRoute route;
        route.audio = EncodeSine(spec);
        route.loop = true;
        route.drop_after = 20000;
        route.bytes_per_second = 32000;  // the loss comes after creation returned
        server->AddStream("/live", route);
        engine::SetConfig(engine::Config::NetReconnectDelay, stop ? 5000 : 100);
        engine::SetConfig(engine::Config::NetReconnect, 1000);

        const auto recorder = std::make_shared<DownloadRecorder>();
        const auto syncs = std::make_shared<ReconnectRecorder>();
        const engine::Handle h = Create(server->Url("/live"), recorder);
        ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
        engine::ChannelSetSync(h, engine::SyncType::Reconnect, 0, &ReconnectRecorder::Proc, syncs);
        ASSERT_TRUE(engine::ChannelPlay(h, false));
        ASSERT_TRUE(syncs->WaitForCount(1, Scaled(3000ms)));
        server.reset();  // nothing listens any more

        if (stop) {
            const auto at = std::chrono::steady_clock::now();
            ASSERT_TRUE(engine::StreamFree(h));
            ASSERT_TRUE(recorder->WaitForEnd(Scaled(1000ms)));
            EXPECT_LT(std::chrono::steady_clock::now() - at, Scaled(500ms));
        } else {
            ASSERT_TRUE(recorder->WaitForEnd(Scaled(4000ms)));
            EXPECT_EQ(syncs->Events(), (std::vector<std::uint32_t>{1, 2}));
            EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 0; }, Scaled(8000ms)))
                << "is-active " << engine::ChannelIsActive(h);
            ASSERT_TRUE(engine::StreamFree(h));
        }
        ASSERT_TRUE(WaitUntilReleased(recorder, Scaled(2000ms)));
        EXPECT_EQ(recorder->EndCalls(), 1);
        EXPECT_EQ(recorder->Audio().size(), 20000u);
    }
}

// A server that answers each attempt with a moment of audio: the waits go on growing.
TEST_F(ReconnectTest, WaitsGrowWhileEachAnswerCarriesAMomentOfAudio) {
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.bytes_per_second = 32000;  // the first loss comes after creation returned
    route.drop_after = 20000;
    route.later_drop_after = 1024;
    server_.AddStream("/live", route);
    const engine::Handle h = Create(server_.Url("/live"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(server_.WaitForConnections(6, Scaled(8000ms)));
    const auto c = server_.ConnectionsTo("/live");
    // 50, 100, 200, 400, 800 ms after each drop: four times as long two attempts on.
    std::vector<std::chrono::steady_clock::duration> gap(1);
    for (std::size_t i = 1; i < 6; ++i) {
        gap.push_back(c[i].accepted - c[i - 1].accepted);
        std::printf("attempt %zu after %lld ms\n", i,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(gap[i]).count()));
    }
    for (std::size_t i = 2; i < 4; ++i) EXPECT_GT(gap[i + 2], gap[i] * 2) << "attempt " << i;
}

// What answers a reconnection in place of the stream is never taken for its audio.
TEST_F(ReconnectTest, AnAnswerThatIsNoAudioNeverReachesTheRecording) {
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.bytes_per_second = 32000;
    route.drop_after = 20000;
    route.drops = 1;
    server_.AddStream("/live", route);
    const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\nseg1.aac\n";
    const std::string answers[] = {
        "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n" + server_.Url("/x") + "\r\n",
        "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + hls,
        "ICY 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n[playlist]\nFile1=" + server_.Url("/x"),
        "HTTP/1.0 200 OK\r\n\r\nThis stream has moved, please update your player.\n",
        "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n"
        "Content-Length: " +
            std::to_string(hls.size()) + "\r\n\r\n" + hls,
    };
    for (std::size_t i = 0; i < std::size(answers); ++i)
        server_.AddRawAt("/live", i + 1, answers[i]);

    const auto recorder = std::make_shared<DownloadRecorder>();
    const engine::Handle h = Create(server_.Url("/live"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(recorder->WaitForAudio(30000, Scaled(8000ms)))
        << server_.ConnectionsTo("/live").size() << " connections";
    EXPECT_EQ(server_.ConnectionsTo("/live").size(), std::size(answers) + 2);
    // The server notes a piece just after sending it: what both have is compared.
    const std::string got = recorder->Audio(), sent = AllSent("/live");
    const std::size_t both = std::min(got.size(), sent.size());
    EXPECT_GT(both, 25000u);
    EXPECT_TRUE(got.compare(0, both, sent, 0, both) == 0) << "recorded: " << got.substr(20000, 60);
}

}  // namespace
}  // namespace velmora::test
