// SPDX-License-Identifier: GPL-3.0-or-later
// Freeing and cancelling from another thread while a stream connects, buffers or plays never
// blocks, crashes or leaves the stream's connection open.
#include <cstdio>
#include <random>

#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

int Cycles(int normal) {
    return kUnderTsan ? normal / 2 : normal;
}

StreamRoute PacedStream() {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.burst_bytes = 48000;
    route.bytes_per_second = 16000;
    return route;
}

TEST_F(EngineTest, CancelWhileConnecting) {
    StreamRoute mute;
    mute.audio = "x";
    mute.stall_before_header = true;
    server_.AddStream("/mute", mute);
    StreamRoute head_only = PacedStream();
    head_only.stall_after = 0;
    server_.AddStream("/head", head_only);

    // Cancelled before it starts: no connection at all.
    auto early = std::make_shared<engine::CancelToken>();
    early->Cancel();
    EXPECT_EQ(Create(server_.Url("/mute"), nullptr, early), 0u);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::Aborted));

    const int cycles = Cycles(200);
    for (int i = 0; i < cycles; ++i) {
        auto cancel = std::make_shared<engine::CancelToken>();
        std::atomic<int> code{-2};
        std::atomic<engine::Handle> handle{1};
        const auto start = std::chrono::steady_clock::now();
        std::thread opener([&, url = server_.Url(i % 2 ? "/mute" : "/head")] {
            handle = engine::StreamCreateURL(url.c_str(), 0, engine::kStreamStatus, nullptr,
                                             nullptr, cancel);
            code = engine::ErrorGetCode();
        });
        // Vary the moment: before, during and after the connection is made.
        std::this_thread::sleep_for(std::chrono::microseconds((i % 7) * 700));
        cancel->Cancel();
        opener.join();
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(handle, 0u) << "cycle " << i;
        ASSERT_EQ(code, static_cast<int>(engine::ErrorCode::Aborted)) << "cycle " << i;
        ASSERT_LT(took, Scaled(1000ms)) << "cycle " << i;
    }
    // Every abandoned connection has been closed by the engine.
    const std::size_t made = server_.Connections().size();
    EXPECT_TRUE(server_.WaitForFinished(made, Scaled(5000ms)));
}

TEST_F(EngineTest, FreeFromAnotherThreadWhileBufferingAndPlaying) {
    server_.AddStream("/paced", PacedStream());
    const int cycles = Cycles(300);
    std::vector<std::shared_ptr<DownloadRecorder>> recorders;
    for (int i = 0; i < cycles; ++i) {
        const auto recorder = std::make_shared<DownloadRecorder>();
        recorders.push_back(recorder);
        std::atomic<engine::Handle> handle{0};
        std::thread opener([&, url = server_.Url("/paced")] {
            handle = engine::StreamCreateURL(url.c_str(), 0, engine::kStreamStatus,
                                             &DownloadRecorder::Proc, recorder);
        });
        opener.join();
        ASSERT_NE(handle, 0u) << "cycle " << i << " error " << engine::ErrorGetCode();
        // Thirds: free at once (buffering), after play started, after some playing.
        if (i % 3 >= 1) {
            ASSERT_TRUE(engine::ChannelPlay(handle, false));
        }
        if (i % 3 == 2) std::this_thread::sleep_for(std::chrono::milliseconds(5 + i % 20));
        std::thread freer([&] { EXPECT_TRUE(engine::StreamFree(handle)); });
        freer.join();
        EXPECT_EQ(engine::ChannelIsActive(handle), 0);
    }
    // Every freed stream lets go of its connection.
    EXPECT_TRUE(server_.WaitForFinished(cycles, Scaled(5000ms)));
    for (const auto& r : recorders) {
        ASSERT_TRUE(WaitUntilReleased(r, Scaled(3000ms)));
        ASSERT_LE(r->EndCalls(), 1);
    }

    // The engine still plays after all that.
    engine::Handle h = Create(server_.Url("/paced"));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(3000ms)));
}

TEST_F(EngineTest, FreeEndsTheDownloadWithOneEndCall) {
    // A recording relies on the end call to close its file, also when the stream is freed.
    server_.AddStream("/paced", PacedStream());
    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/paced"), recorder);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(recorder->WaitForAudio(50000, Scaled(3000ms)));
    ASSERT_TRUE(engine::StreamFree(h));
    EXPECT_TRUE(WaitUntilReleased(recorder, Scaled(2000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
}

TEST_F(EngineTest, FreeDoesNotWaitForABlockedCallback) {
    // The player's callbacks wait for the user-interface thread, which may be the one freeing.
    server_.AddStream("/paced", PacedStream());
    const auto recorder = std::make_shared<DownloadRecorder>();
    recorder->BlockAudioCalls();
    engine::Handle h = engine::StreamCreateURL(
        server_.Url("/paced").c_str(), 0, engine::kStreamStatus, &DownloadRecorder::Proc, recorder);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(recorder->WaitUntilBlocked(Scaled(3000ms)));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine::StreamFree(h));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(engine::ChannelIsActive(h), 0);
    recorder->Release();
    // Out of the callback, the engine's thread lets go of the connection.
    EXPECT_TRUE(server_.WaitForFinished(1, Scaled(3000ms)));
    EXPECT_TRUE(WaitUntilReleased(recorder, Scaled(3000ms)));
    EXPECT_LE(recorder->EndCalls(), 1);
}

// Seconds of the creation stress; VELMORA_STRESS_SECONDS runs it longer.
int StressSeconds() {
    const char* env = std::getenv("VELMORA_STRESS_SECONDS");
    const int s = env ? std::atoi(env) : 0;
    return s > 0 ? s : 10;
}

TEST_F(EngineTest, CreationsThatFailDeliverNothingUnderCancelsAndFrees) {
    // Two threads create, two cancel creations and free what was created, at random moments:
    // a creation that returned 0 never passes audio or an end call, at whatever stage it failed.
    const std::string mp3 = EncodeSine({});
    server_.AddBody("/short", 200, "audio/mpeg", mp3.substr(0, 40000));
    StreamRoute chunked = PacedStream();
    chunked.style = StatusStyle::Http11Chunked;
    chunked.drop_after = 30000;  // mid-chunk: a broken chunked body
    server_.AddStream("/chunked", chunked);
    server_.AddStream("/live", PacedStream());
    StreamRoute drop = PacedStream();
    drop.drop_after = 56000;  // during the pre-buffer wait
    server_.AddStream("/drop", drop);
    const std::vector<std::string> urls = {server_.Url("/short"), server_.Url("/chunked"),
                                           server_.Url("/live"), server_.Url("/drop")};
    // The pre-buffer wait keeps creations of paced streams open for a second, with audio flowing.
    engine::SetConfig(engine::Config::NetPrebuf, 1);

    struct Creation {
        std::shared_ptr<DownloadRecorder> recorder = std::make_shared<DownloadRecorder>();
        engine::CancelHandle cancel = std::make_shared<engine::CancelToken>();
        engine::Handle handle = 0;
    };
    std::mutex m;
    std::vector<std::shared_ptr<Creation>> open, failed, all;
    std::vector<engine::Handle> created;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = t; !stop; i += 2) {
                auto c = std::make_shared<Creation>();
                {
                    std::lock_guard lock(m);
                    open.push_back(c);
                    all.push_back(c);
                }
                c->handle =
                    engine::StreamCreateURL(urls[i % urls.size()].c_str(), 0, engine::kStreamStatus,
                                            &DownloadRecorder::Proc, c->recorder, c->cancel);
                std::lock_guard lock(m);
                open.erase(std::find(open.begin(), open.end(), c));
                if (c->handle)
                    created.push_back(c->handle);
                else
                    failed.push_back(c);
            }
        });
        threads.emplace_back([&, t] {
            std::minstd_rand random(t + 1);
            while (!stop) {
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
                engine::CancelHandle cancel;
                engine::Handle h = 0;
                {
                    std::lock_guard lock(m);
                    if (!open.empty()) cancel = open[random() % open.size()]->cancel;
                    if (!created.empty()) {
                        h = created.back();
                        created.pop_back();
                    }
                }
                if (cancel) cancel->Cancel();
                if (h) engine::StreamFree(h);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(StressSeconds()));
    stop = true;
    for (auto& th : threads) th.join();
    for (engine::Handle h : created) engine::StreamFree(h);
    engine::SetConfig(engine::Config::NetPrebuf, 0);

    // Every connection's thread lets go of the callback's data as its very last act.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::all_of(all.begin(), all.end(),
                               [](const auto& c) { return c->recorder.use_count() == 1; });
        },
        Scaled(10000ms)));
    std::size_t with_audio = 0, with_end = 0, ends_twice = 0;
    for (const auto& c : failed) {
        with_audio += !c->recorder->Audio().empty();
        with_end += c->recorder->EndCalls() > 0;
    }
    for (const auto& c : all) ends_twice += c->recorder->EndCalls() > 1;
    std::printf("%zu creations, %zu failed: %zu of them with audio, %zu with an end call\n",
                all.size(), failed.size(), with_audio, with_end);
    EXPECT_GT(failed.size(), 20u) << "the cancels met too few creations";
    EXPECT_GT(all.size(), failed.size()) << "no creation got through";
    EXPECT_EQ(with_audio, 0u) << "of " << failed.size() << " failed creations of " << all.size();
    EXPECT_EQ(with_end, 0u) << "of " << failed.size() << " failed creations of " << all.size();
    EXPECT_EQ(ends_twice, 0u);
}

struct BlockingSync {
    std::mutex mutex;
    std::condition_variable cv;
    bool inside = false;
    bool release = false;
    static void Proc(engine::SyncHandle, engine::Handle stream, std::uint32_t, void* user) {
        auto* self = static_cast<BlockingSync*>(user);
        // Reads the title like the player does, then waits for the "window".
        engine::ChannelGetTags(stream, engine::TagKind::Meta);
        std::unique_lock lock(self->mutex);
        self->inside = true;
        self->cv.notify_all();
        self->cv.wait(lock, [self] { return self->release; });
    }
};

TEST_F(EngineTest, FreeDoesNotWaitForABlockedSync) {
    StreamRoute route = PacedStream();
    route.metaint = 4000;
    // Past the burst, so the sync is registered before the first title comes.
    route.titles = {{14, "One"}, {15, "Two"}};
    server_.AddStream("/titled", route);
    const auto sync = std::make_shared<BlockingSync>();
    engine::Handle h =
        engine::StreamCreateURL(server_.Url("/titled").c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(h, 0u);
    ASSERT_NE(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &BlockingSync::Proc, sync), 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    {
        std::unique_lock lock(sync->mutex);
        ASSERT_TRUE(sync->cv.wait_for(lock, Scaled(4000ms), [&] { return sync->inside; }));
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine::StreamFree(h));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    {
        std::lock_guard lock(sync->mutex);
        sync->release = true;
    }
    sync->cv.notify_all();
    // The engine's thread must come out of the callback and let go of the connection.
    EXPECT_TRUE(server_.WaitForFinished(1, Scaled(3000ms)));
}

}  // namespace
}  // namespace velmora::test
