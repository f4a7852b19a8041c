// SPDX-License-Identifier: GPL-3.0-or-later
// The engine owns its callbacks' user data until no callback can run, cancels wake whoever
// waits, and the sound device is closed while nothing plays.
#include <dirent.h>

#include <fstream>

#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

int Cycles(int normal) {
    return kUnderTsan ? normal / 4 : normal;
}

// What each callback target saw by the time it was destroyed.
struct Log {
    std::mutex m;
    std::vector<int> end_calls_at_death;  // of each download target
    // Download targets whose destructor has finished its record.
    int Deaths() {
        std::lock_guard lock(m);
        return static_cast<int>(end_calls_at_death.size());
    }
    int syncs_dead_before_the_end = 0;  // sync targets destroyed before the end call
};

// Counts its end calls into `end_calls`, which it shares: a weak_ptr reports the target gone before
// its destructor has finished reading the count, so the count must not live on the test's stack.
struct DownloadTarget {
    std::shared_ptr<Log> log;
    std::shared_ptr<std::atomic<int>> end_calls;
    ~DownloadTarget() {
        std::lock_guard lock(log->m);
        log->end_calls_at_death.push_back(end_calls->load());
    }
    static void Proc(const void* buffer, std::uint32_t, void* user) {
        if (!buffer) ++*static_cast<DownloadTarget*>(user)->end_calls;
    }
};

// Syncs may run up to the download's end call.
struct SyncTarget {
    std::shared_ptr<Log> log;
    std::shared_ptr<const std::atomic<int>> end_calls;
    ~SyncTarget() {
        std::lock_guard lock(log->m);
        if (end_calls->load() == 0) ++log->syncs_dead_before_the_end;
    }
    static void Proc(engine::SyncHandle, engine::Handle, std::uint32_t, void*) {}
};

TEST(CancelTokenTest, WakesRegisteredWaitersOnceAndNeverAfterTheyLeft) {
    auto token = std::make_shared<engine::CancelToken>();
    int kept = 0, left = 0;
    engine::CancelToken::Registration stays(token, [&] { ++kept; });
    {
        engine::CancelToken::Registration leaves(token, [&] { ++left; });
        engine::CancelToken::Registration moved = std::move(leaves);
    }
    EXPECT_FALSE(token->cancelled());
    token->Cancel();
    token->Cancel();
    EXPECT_TRUE(token->cancelled());
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(left, 0);
    // Registered after the cancel: runs at once, as the waiter would otherwise sleep through it.
    int late = 0;
    engine::CancelToken::Registration after(token, [&] { ++late; });
    EXPECT_EQ(late, 1);
}

TEST_F(EngineTest, CallbackDataLivesUntilTheEndCallAndNoLonger) {
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.metaint = 4000;
    route.titles = {{1, "One"}};
    route.burst_bytes = 48000;
    route.bytes_per_second = 16000;
    server_.AddStream("/paced", route);
    const auto log = std::make_shared<Log>();
    const int cycles = Cycles(120);
    for (int i = 0; i < cycles; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        const auto end_calls = std::make_shared<std::atomic<int>>(0);
        std::weak_ptr<DownloadTarget> download;
        std::weak_ptr<SyncTarget> sync;
        engine::Handle h;
        {
            auto target = std::make_shared<DownloadTarget>();
            target->log = log;
            target->end_calls = end_calls;
            download = target;
            h = engine::StreamCreateURL(server_.Url("/paced").c_str(), 0, 0, &DownloadTarget::Proc,
                                        std::move(target));
            ASSERT_NE(h, 0u) << engine::ErrorGetCode();
            auto s = std::make_shared<SyncTarget>();
            s->log = log;
            s->end_calls = end_calls;
            sync = s;
            ASSERT_NE(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &SyncTarget::Proc, s),
                      0u);
        }
        // The caller kept nothing: the engine holds both while the stream lives.
        EXPECT_FALSE(download.expired());
        EXPECT_FALSE(sync.expired());
        if (i % 3 >= 1) {
            ASSERT_TRUE(engine::ChannelPlay(h, false));
        }
        if (i % 3 == 2) std::this_thread::sleep_for(std::chrono::milliseconds(5 + i % 20));
        ASSERT_TRUE(engine::StreamFree(h));
        ASSERT_TRUE(WaitUntil(
            [&] { return download.expired() && sync.expired() && log->Deaths() == i + 1; },
            Scaled(3000ms)));
    }
    std::lock_guard lock(log->m);
    ASSERT_EQ(log->end_calls_at_death.size(), static_cast<std::size_t>(cycles));
    for (int calls : log->end_calls_at_death) EXPECT_EQ(calls, 1);
    EXPECT_EQ(log->syncs_dead_before_the_end, 0);
}

TEST_F(EngineTest, CancelledCreationsLetGoOfTheirDataWithoutAnEndCall) {
    StreamRoute mute;
    mute.audio = "x";
    mute.stall_before_header = true;
    server_.AddStream("/mute", mute);
    const auto log = std::make_shared<Log>();
    const int cycles = Cycles(40);
    for (int i = 0; i < cycles; ++i) {
        auto cancel = std::make_shared<engine::CancelToken>();
        const auto end_calls = std::make_shared<std::atomic<int>>(0);
        auto target = std::make_shared<DownloadTarget>();
        target->log = log;
        target->end_calls = end_calls;
        std::weak_ptr<DownloadTarget> weak = target;
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::microseconds((i % 5) * 1000));
            cancel->Cancel();
        });
        EXPECT_EQ(engine::StreamCreateURL(server_.Url("/mute").c_str(), 0, 0, &DownloadTarget::Proc,
                                          std::move(target), cancel),
                  0u);
        canceller.join();
        ASSERT_TRUE(
            WaitUntil([&] { return weak.expired() && log->Deaths() == i + 1; }, Scaled(3000ms)))
            << "cycle " << i;
    }
    std::lock_guard lock(log->m);
    for (int calls : log->end_calls_at_death) EXPECT_EQ(calls, 0);
}

// Threads of this process whose name begins with `prefix`.
// The ids of this process's threads whose name starts with `prefix`.
std::vector<std::string> ThreadsNamed(const std::string& prefix) {
    std::vector<std::string> ids;
    DIR* d = opendir("/proc/self/task");
    if (!d) return ids;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind(prefix, 0) == 0) ids.push_back(e->d_name);
    }
    closedir(d);
    return ids;
}

TEST_F(EngineTest, TheSoundDeviceRunsOnlyWhileAStreamPlaysAndLingersForTheNextOne) {
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.burst_bytes = 48000;
    route.bytes_per_second = 16000;
    server_.AddStream("/tone", route);
    const auto device = [] { return ThreadsNamed("SDLAudio"); };
    const auto closed = [&] { return device().empty(); };
    const auto linger = Scaled(1000ms);
    ASSERT_TRUE(engine::SetConfig(engine::Config::DeviceLinger,
                                  static_cast<std::uint32_t>(linger.count())));
    // Streams of earlier tests have been freed: the device is closed, its thread gone.
    EXPECT_TRUE(WaitUntil(closed, linger + Scaled(2000ms)));
    for (int round = 0; round < 2; ++round) {
        const engine::Handle h = Create(server_.Url("/tone"));
        ASSERT_NE(h, 0u);
        // Created but not playing: still closed.
        EXPECT_TRUE(closed());
        ASSERT_TRUE(engine::ChannelPlay(h, false));
        ExpectPlaysBin(h, 24);
        const std::vector<std::string> opened = device();
        EXPECT_EQ(opened.size(), 1u);
        ASSERT_TRUE(engine::StreamFree(h));
        tracked_.clear();
        if (round == 0) {
            // A station change: the next stream plays on the device that is still open.
            const engine::Handle next = Create(server_.Url("/tone"));
            ASSERT_NE(next, 0u);
            ASSERT_TRUE(engine::ChannelPlay(next, false));
            ExpectPlaysBin(next, 24);
            EXPECT_EQ(device(), opened);
            ASSERT_TRUE(engine::ChannelStop(next));
            ASSERT_TRUE(engine::StreamFree(next));
            tracked_.clear();
        }
        EXPECT_TRUE(WaitUntil(closed, linger + Scaled(2000ms)));
    }
    engine::SetConfig(engine::Config::DeviceLinger, 0);
}

}  // namespace
}  // namespace velmora::test
