// SPDX-License-Identifier: GPL-3.0-or-later
// The start of a stream: what identification reads stays counted as unplayed audio, so a server's
// burst ends the buffering wait at once instead of a refill at real time.
#include <cstdio>
#include <future>
#include <thread>

#include "engine/byte_ring.h"
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

TEST(ByteRingHold, HeldBytesStayUnplayedAndGiveWayWhenTheReaderWantsMoreThanTheRing) {
    engine::ByteRing ring(100);
    const std::vector<std::uint8_t> in(100, 7);
    std::vector<std::uint8_t> out(100);
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + Scaled(5000ms);
    ASSERT_TRUE(ring.Write(in.data(), 100));
    ASSERT_EQ(ring.Read(out.data(), 100, 0, deadline, &got, nullptr, true),
              engine::ByteRing::ReadResult::Data);
    EXPECT_EQ(ring.read(), 100u);
    EXPECT_EQ(ring.played(), 0u);

    // The ring is full of unplayed bytes, so the writer waits for room; the holding reader
    // waiting for more must let go, or each waits for the other until the deadline.
    std::thread writer([&] { ring.Write(in.data(), 10); });
    EXPECT_EQ(ring.Read(out.data(), 100, 0, deadline, &got, nullptr, true),
              engine::ByteRing::ReadResult::Data);
    EXPECT_EQ(got, 10u);
    ring.Abort();  // frees a writer still blocked when the reader timed out
    writer.join();
    EXPECT_EQ(ring.played(), 100u);
    EXPECT_EQ(ring.read(), 110u);
}

TEST(ByteRingResize, KeepsTheUnplayedBytesInOrderAcrossTheWrap) {
    for (const std::size_t size : {40, 200}) {  // fewer than the unplayed bytes, and more
        engine::ByteRing ring(100);
        std::vector<std::uint8_t> in(150), out;
        for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i);
        std::uint8_t chunk[100];
        std::size_t got = 0;
        const auto deadline = std::chrono::steady_clock::now() + Scaled(5000ms);
        ASSERT_TRUE(ring.Write(in.data(), 100));
        ASSERT_EQ(ring.Read(chunk, 60, 0, deadline, &got, nullptr),
                  engine::ByteRing::ReadResult::Data);
        ASSERT_TRUE(ring.Write(in.data() + 100, 50));  // wraps
        ring.Resize(size);
        EXPECT_EQ(ring.capacity(), std::max<std::size_t>(size, 90));
        ring.Finish();
        while (ring.Read(chunk, sizeof chunk, 0, deadline, &got, nullptr) ==
               engine::ByteRing::ReadResult::Data)
            out.insert(out.end(), chunk, chunk + got);
        EXPECT_EQ(out, std::vector<std::uint8_t>(in.begin() + 60, in.end())) << size;
    }
}

TEST_F(EngineTest, IcecastBurstCountsAsUnplayedAfterCreation) {
    struct Case {
        AudioCodec codec;
        int kbps;
        bool burst_fills_three_quarters;
    };
    for (const Case c : {Case{AudioCodec::Mp3, 128, true}, Case{AudioCodec::Aac, 64, true},
                         Case{AudioCodec::Mp3, 320, false}}) {
        SCOPED_TRACE(std::string(CodecName(c.codec)) + " " + std::to_string(c.kbps));
        SineSpec spec;
        spec.codec = c.codec;
        spec.bit_rate = c.kbps * 1000;
        spec.seconds = 6;
        StreamRoute route = IcecastRoute(EncodeSine(spec), c.kbps * 125u, 1001);
        route.content_type = CodecContentType(c.codec);
        route.headers = {"icy-br:" + std::to_string(c.kbps)};
        const std::string path = "/" + std::to_string(c.kbps) + CodecName(c.codec);
        server_.AddStream(path, route);

        const engine::Handle h = Create(server_.Url(path));
        ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
        const std::uint64_t end = engine::StreamGetFilePosition(h, engine::FilePos::End);
        const std::uint64_t burst = std::min<std::uint64_t>(route.burst_bytes, end);
        ASSERT_TRUE(WaitUntil(
            [&] { return engine::StreamGetFilePosition(h, engine::FilePos::Download) >= burst; },
            Scaled(5000ms)));
        const std::uint64_t current = engine::StreamGetFilePosition(h, engine::FilePos::Current);
        const std::uint64_t download = engine::StreamGetFilePosition(h, engine::FilePos::Download);
        EXPECT_EQ(current, 0u) << "identification counted as played";
        EXPECT_LE(download - current, end);
        EXPECT_EQ((download - current) * 100 / end > 75, c.burst_fills_three_quarters)
            << download << " of " << end;

        // Playing decodes what identification read, then reads on.
        ASSERT_TRUE(engine::ChannelPlay(h, false));
        ExpectPlaysBin(h, 24);
        EXPECT_TRUE(WaitUntil(
            [&] { return engine::StreamGetFilePosition(h, engine::FilePos::Current) >= burst; },
            Scaled(5000ms)));
        engine::StreamFree(h);
    }
}

TEST_F(EngineTest, ALyingRateHeaderNeitherHoldsTheStartBackNorSizesTheBuffer) {
    // A 128 kbps station with an Icecast burst, whatever it claims: the buffer holds five seconds
    // of what it sends, so the burst fills three quarters of it and the player starts at once.
    SineSpec spec;
    spec.seconds = 6;
    const std::string mp3 = EncodeSine(spec);
    for (const char* claim : {"1000000", "1536", "8"}) {
        SCOPED_TRACE(claim);
        StreamRoute route = IcecastRoute(mp3, 16000, 1001);
        route.headers = {std::string("icy-br:") + claim};
        const std::string path = std::string("/claims") + claim;
        server_.AddStream(path, route);

        const auto start = std::chrono::steady_clock::now();
        const engine::Handle h = Create(server_.Url(path));
        ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
        EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::End), 80000u);
        // The player's buffering wait: more than three quarters of the end position.
        EXPECT_TRUE(WaitUntil(
            [&] {
                const std::uint64_t end = engine::StreamGetFilePosition(h, engine::FilePos::End);
                return (engine::StreamGetFilePosition(h, engine::FilePos::Download) -
                        engine::StreamGetFilePosition(h, engine::FilePos::Current)) *
                           100 / end >
                       75;
            },
            Scaled(2000ms)));
        ASSERT_TRUE(engine::ChannelPlay(h, false));
        EXPECT_TRUE(WaitUntil([&] { return PeakBin(h) == 24; }, Scaled(2000ms)));
        const auto sounded = std::chrono::steady_clock::now() - start;
        EXPECT_LT(sounded, Scaled(1000ms));
        std::printf("icy-br:%s sounded after %lld ms\n", claim,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(sounded).count()));
        engine::StreamFree(h);
    }
}

// The player's buffering wait sleeps until the bytes it asks for are in, and a cancel or a free
// wakes it at once, whatever it still waits for.
TEST_F(EngineTest, BufferWaitWakesForDataCancelAndFree) {
    SineSpec spec;
    spec.seconds = 6;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.burst_bytes = 16000;
    route.bytes_per_second = 16000;
    route.stall_after = 40000;  // the rest never comes
    server_.AddStream("/wait", route);
    const auto in_time = [](auto wait) {
        auto result = std::async(std::launch::async, [&] {
            const bool filled = wait();
            return std::make_pair(filled, engine::ErrorGetCode());
        });
        EXPECT_EQ(result.wait_for(Scaled(5000ms)), std::future_status::ready);
        return result.get();
    };

    const engine::Handle h = Create(server_.Url("/wait"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    const auto filled = in_time([&] { return engine::StreamWaitBuffer(h, 30000, nullptr); });
    EXPECT_TRUE(filled.first);
    EXPECT_GE(engine::StreamGetFilePosition(h, engine::FilePos::Download), 30000u);

    const auto cancel = std::make_shared<engine::CancelToken>();
    std::thread canceller([&] { cancel->Cancel(); });
    const auto cancelled = in_time([&] { return engine::StreamWaitBuffer(h, 70000, cancel); });
    canceller.join();
    EXPECT_EQ(cancelled, std::make_pair(false, static_cast<int>(engine::ErrorCode::Aborted)));

    std::thread freer([&] { engine::StreamFree(h); });
    const auto freed = in_time([&] { return engine::StreamWaitBuffer(h, 70000, nullptr); });
    freer.join();
    EXPECT_EQ(freed, std::make_pair(false, static_cast<int>(engine::ErrorCode::Handle)));
}

}  // namespace
}  // namespace velmora::test
