// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/pcm_fifo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

using engine::PcmFifo;
using Clock = std::chrono::steady_clock;

// Writes frames numbered from `next` on (left = right = the number) until `count` are in.
void Produce(PcmFifo& fifo, float& next, std::size_t count) {
    while (count > 0) {
        float* at = nullptr;
        const std::size_t room = std::min(fifo.Reserve(&at), count);
        ASSERT_GT(room, 0u);
        for (std::size_t i = 0; i < room; ++i) at[2 * i] = at[2 * i + 1] = next++;
        fifo.Commit(room);
        count -= room;
    }
}

// The frames the analyser reads back are the ones played, however the ring has wrapped, and the
// producer filling the queue to the brim never writes over them. Frames not yet played, beyond
// the limit or older than what is kept read as silence.
TEST(PcmFifo, PlayedFramesStayReadableWhileTheProducerFillsUp) {
    PcmFifo fifo(100, 20, 30);
    float next = 1;
    std::vector<float> out(2 * 64);
    std::vector<float> mono(40);
    for (int round = 0; round < 5; ++round) {  // 5 x 64 frames: the 130-frame ring wraps
        Produce(fifo, next, 100 - fifo.size());
        EXPECT_EQ(fifo.size(), 100u);
        const auto at = Clock::now();
        ASSERT_EQ(fifo.Pop(out.data(), 64, at), 64u);
        const PcmFifo::Taken taken = fifo.LastTaken();
        EXPECT_EQ(taken.first, 64u * round);
        EXPECT_EQ(taken.frames, 64u);
        EXPECT_EQ(taken.at, at);
        EXPECT_EQ(out[0], static_cast<float>(taken.first + 1));
        // Refill first: the kept frames must survive it.
        Produce(fifo, next, 100 - fifo.size());

        const auto end = static_cast<std::int64_t>(taken.first + taken.frames);
        fifo.CopyMono(end - 40, 40, taken.first + taken.frames, mono.data());
        for (int i = 0; i < 40; ++i) {
            const std::int64_t frame = end - 40 + i;
            const bool kept = frame >= end - 30 && frame >= 0;
            EXPECT_EQ(mono[i], kept ? static_cast<float>(frame + 1) : 0.0f)
                << "round " << round << ", frame " << frame;
        }
        // Nothing beyond the limit, even though those frames are queued.
        fifo.CopyMono(end - 5, 10, end - 2, mono.data());
        EXPECT_EQ(mono[2], static_cast<float>(end - 2));
        EXPECT_EQ(mono[3], 0.0f);
        EXPECT_EQ(mono[9], 0.0f);
    }
    // Early on, a window reaching back before the first frame reads silence there.
    PcmFifo young(10, 5, 8);
    float first = 1;
    Produce(young, first, 4);
    young.Pop(out.data(), 4, Clock::now());
    young.CopyMono(-4, 8, 4, mono.data());
    EXPECT_EQ(std::vector<float>(mono.begin(), mono.begin() + 8),
              (std::vector<float>{0, 0, 0, 0, 1, 2, 3, 4}));

    // A pop of an empty queue is remembered as taking nothing.
    PcmFifo empty(10, 5, 4);
    EXPECT_EQ(empty.Pop(out.data(), 8, Clock::now()), 0u);
    EXPECT_EQ(empty.LastTaken().frames, 0u);
    empty.CopyMono(-4, 8, 0, mono.data());
    EXPECT_TRUE(std::all_of(mono.begin(), mono.begin() + 8, [](float v) { return v == 0.0f; }));
}

// A full queue, or a decoder that has caught up with the download, sleeps until the output has
// played it down to the resume level, and an abort releases both waits.
TEST(PcmFifo, ProducerSleepsUntilTheResumeLevel) {
    using namespace std::chrono_literals;
    PcmFifo fifo(100, 20, 8);
    float next = 0;
    Produce(fifo, next, 100);
    auto producer = std::async(std::launch::async, [&] {
        float* at = nullptr;
        return fifo.Reserve(&at);
    });
    EXPECT_EQ(producer.wait_for(50ms), std::future_status::timeout);
    std::vector<float> out(2 * 100);
    fifo.Pop(out.data(), 79, Clock::now());  // 21 left: still above the level
    EXPECT_EQ(producer.wait_for(50ms), std::future_status::timeout);
    fifo.Pop(out.data(), 1, Clock::now());
    EXPECT_GT(producer.get(), 0u);

    Produce(fifo, next, 30);  // 50 stored
    auto waiter = std::async(std::launch::async, [&] { return fifo.WaitUntilLow(); });
    EXPECT_EQ(waiter.wait_for(20ms), std::future_status::timeout);
    fifo.Abort();
    EXPECT_FALSE(waiter.get());
    float* at = nullptr;
    EXPECT_EQ(fifo.Reserve(&at), 0u);
}

}  // namespace
