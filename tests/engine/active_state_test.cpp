// SPDX-License-Identifier: GPL-3.0-or-later
// is-active follows the stream: playing, stalled while the server is silent, playing again
// once data returns, stopped after Stop.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

TEST_F(EngineTest, StallsWhenTheServerPausesAndResumesByItself) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.metaint = 8192;
    route.stall_after = 24000;  // 1.5 s of sound, then silence on an open socket
    server_.AddStream("/live", route);

    engine::Handle h = Create(server_.Url("/live"));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine::ChannelIsActive(h), 0);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(2000ms)));
    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 2; }, Scaled(6000ms)))
        << "is-active " << engine::ChannelIsActive(h);

    server_.ResumeStalled();
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(4000ms)))
        << "is-active " << engine::ChannelIsActive(h);
    ExpectPlaysBin(h, 24);

    EXPECT_TRUE(engine::ChannelStop(h));
    EXPECT_EQ(engine::ChannelIsActive(h), 0);
    EXPECT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(2000ms)));
}

}  // namespace
}  // namespace velmora::test
