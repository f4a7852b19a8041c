// SPDX-License-Identifier: GPL-3.0-or-later
// What goes wrong under a time-shifting station never ends it silently: a full disk turns
// time-shift off and the station plays on over its one connection; a place the decoder cannot
// open (a FLAC stream whose header the bound dropped) ends with a reason.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

struct FaultCase {
    const char* name;
    AudioCodec codec;
    std::uint32_t bound_seconds;
    std::size_t bytes_per_second;
    bool pause;      // paused when the fault comes, resumed after it
    bool full_disk;  // the time-shift file cannot grow beyond what it holds plus 32 KB
    // Expected: the station plays on without time-shift (or it ends with this reason).
    engine::ErrorCode end_error;
};

class TimeShiftFaultTest : public EngineTest, public ::testing::WithParamInterface<FaultCase> {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/velmora-shift-fault-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        base_ = tmpl;
        EngineTest::SetUp();
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit_), 0);
        // A write beyond the limit then fails with EFBIG instead of killing the process.
        old_xfsz_ = ::signal(SIGXFSZ, SIG_IGN);
    }
    void TearDown() override {
        ::setrlimit(RLIMIT_FSIZE, &limit_);
        ::signal(SIGXFSZ, old_xfsz_);
        EngineTest::TearDown();
        engine::SetConfig(engine::Config::TimeShift, 0);
        engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, nullptr);
        std::system(("rm -rf '" + base_ + "'").c_str());
    }
    int ShiftError(engine::Handle h) {
        engine::TimeShiftInfo info;
        return engine::ChannelGetTimeShift(h, &info) ? 0 : engine::ErrorGetCode();
    }

    std::string base_;
    rlimit limit_{};
    sighandler_t old_xfsz_ = SIG_DFL;
};

TEST_P(TimeShiftFaultTest, TheStationPlaysOnOrEndsWithAReason) {
    const FaultCase& c = GetParam();
    SineSpec spec;
    spec.codec = c.codec;
    spec.seconds = 2;
    spec.frequency = BinFrequency(24);
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.content_type = CodecContentType(c.codec);
    route.loop = true;
    route.burst_bytes = 16000;
    route.bytes_per_second = c.bytes_per_second;
    server_.AddStream("/s", route);
    engine::SetConfig(engine::Config::TimeShift, c.bound_seconds);
    ASSERT_TRUE(engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, base_.c_str()));
    const engine::Handle h = Create(server_.Url("/s"));
    ASSERT_NE(h, 0u) << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    if (c.pause) {
        ASSERT_TRUE(engine::ChannelPause(h));
    }
    if (c.full_disk) {
        struct stat st {};
        ASSERT_EQ(::stat(engine::ChannelTimeShiftPath(h).c_str(), &st), 0);
        rlimit small = limit_;
        small.rlim_cur = static_cast<rlim_t>(st.st_size) + 32768;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        // Said, so that the window can show it.
        ASSERT_TRUE(WaitUntil([&] { return ShiftError(h) != 0; }, Scaled(3000ms)));
        EXPECT_EQ(ShiftError(h), static_cast<int>(engine::ErrorCode::Write));
        EXPECT_FALSE(engine::ChannelPause(h) && !c.pause) << "no pausing without the buffer";
    } else {
        // The bound passes the paused sound, dropping the stream's header with the oldest part.
        engine::TimeShiftInfo info;
        ASSERT_TRUE(WaitUntil([&] { return engine::ChannelGetTimeShift(h, &info) && info.drops; },
                              Scaled(3000ms)));
    }
    if (c.pause) {
        ASSERT_TRUE(engine::ChannelPlay(h, false));
    }

    if (c.end_error == engine::ErrorCode::Ok) {
        // Over the same connection: the download never failed.
        const std::size_t sent = server_.ConnectionsTo("/s").front().sent_audio.size();
        ASSERT_TRUE(server_.WaitForAudioSent("/s", sent + 64000, Scaled(3000ms)));
        ExpectPlaysBin(h, 24);
        EXPECT_EQ(server_.ConnectionsTo("/s").size(), 1u);
        EXPECT_EQ(engine::ChannelGetEndError(h), 0);
    } else {
        ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 0; }, Scaled(3000ms)))
            << "is-active " << engine::ChannelIsActive(h);
        EXPECT_EQ(engine::ChannelGetEndError(h), static_cast<int>(c.end_error));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, TimeShiftFaultTest,
                         ::testing::Values(FaultCase{"FullDiskWhilePlaying", AudioCodec::Mp3, 3600,
                                                     96000, false, true, engine::ErrorCode::Ok},
                                           FaultCase{"FullDiskWhilePaused", AudioCodec::Mp3, 3600,
                                                     96000, true, true, engine::ErrorCode::Ok},
                                           FaultCase{"FlacHeaderDropped", AudioCodec::Flac, 1,
                                                     4000000, true, false, engine::ErrorCode::Ok}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace velmora::test
