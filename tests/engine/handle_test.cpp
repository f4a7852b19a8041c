// SPDX-License-Identifier: GPL-3.0-or-later
// Dead handles fail every call without effect; live ones report sane file positions.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

constexpr int kHandleError = static_cast<int>(engine::ErrorCode::Handle);

void ExpectDead(engine::Handle h) {
    SCOPED_TRACE("handle " + std::to_string(h));
    float fft[512];
    const auto meta = std::make_shared<MetaRecorder>();
    EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::End), engine::kPosFailed);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::Download), engine::kPosFailed);
    EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::Current), engine::kPosFailed);
    EXPECT_EQ(engine::ChannelGetTags(h, engine::TagKind::Icy), nullptr);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_EQ(engine::ChannelGetTags(h, engine::TagKind::Meta), nullptr);
    EXPECT_EQ(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &MetaRecorder::Proc, meta), 0u);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_FALSE(engine::ChannelSetAttribute(h, engine::Attribute::Volume, 0.5f));
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_FALSE(engine::ChannelPlay(h, false));
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_FALSE(engine::ChannelStop(h));
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_EQ(engine::ChannelIsActive(h), 0);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_EQ(engine::ChannelGetData(h, fft, engine::kDataFft1024), -1);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_FALSE(engine::StreamFree(h));
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
}

TEST_F(EngineTest, DeadHandlesFailEveryCall) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    server_.AddStream("/mount", route);

    ExpectDead(0);
    engine::Handle h =
        engine::StreamCreateURL(server_.Url("/mount").c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(engine::StreamFree(h));
    EXPECT_EQ(engine::ErrorGetCode(), 0);
    ExpectDead(h);
    ExpectDead(h + 1);

    // Freed handles are not handed out again soon, so a stale one stays dead.
    std::vector<engine::Handle> seen{h};
    for (int i = 0; i < 20; ++i) {
        engine::Handle next =
            engine::StreamCreateURL(server_.Url("/mount").c_str(), 0, 0, nullptr, nullptr);
        ASSERT_NE(next, 0u);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), next), seen.end()) << next;
        seen.push_back(next);
        ExpectDead(h);
        ASSERT_TRUE(engine::StreamFree(next));
    }

    // A success resets the last error; the last error belongs to the calling thread.
    engine::Handle live = Create(server_.Url("/mount"));
    ASSERT_NE(live, 0u);
    EXPECT_FALSE(engine::ChannelPlay(h, false));
    int other_thread_code = -2;
    std::thread([&] {
        engine::ChannelIsActive(live);
        other_thread_code = engine::ErrorGetCode();
    }).join();
    EXPECT_EQ(other_thread_code, 0);
    EXPECT_EQ(engine::ErrorGetCode(), kHandleError);
    EXPECT_TRUE(engine::ChannelPlay(live, false));
    EXPECT_EQ(engine::ErrorGetCode(), 0);
}

struct EndCase {
    const char* bitrate_header;  // nullptr: none
    int kbps;                    // the audio's own rate
    std::uint64_t end;
};

class FilePositionTest : public EngineTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(FilePositionTest, EndIsFiveSecondsAndDownloadLeadsCurrent) {
    SineSpec spec;
    spec.seconds = 3;
    spec.bit_rate = GetParam().kbps * 1000;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.burst_bytes = 20000;
    route.bytes_per_second = GetParam().kbps * 1000 / 8;
    if (GetParam().bitrate_header) route.headers = {GetParam().bitrate_header};
    server_.AddStream("/mount", route);

    engine::Handle h = Create(server_.Url("/mount"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(engine::StreamGetFilePosition(h, engine::FilePos::End), GetParam().end);
    ASSERT_TRUE(engine::ChannelPlay(h, false));

    std::uint64_t last_current = 0;
    const auto until = std::chrono::steady_clock::now() + 1500ms;
    while (std::chrono::steady_clock::now() < until) {
        const std::uint64_t current = engine::StreamGetFilePosition(h, engine::FilePos::Current);
        const std::uint64_t download = engine::StreamGetFilePosition(h, engine::FilePos::Download);
        ASSERT_NE(current, engine::kPosFailed);
        ASSERT_NE(download, engine::kPosFailed);
        // Read current first: the download position can only have grown since.
        EXPECT_GE(download, current);
        EXPECT_LE(download - current, GetParam().end);
        EXPECT_GE(current, last_current);
        last_current = current;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GT(last_current, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Bitrates, FilePositionTest,
    // The audio's rate counts, not the header's.
    ::testing::Values(EndCase{nullptr, 128, 80000}, EndCase{"icy-br:128", 128, 80000},
                      EndCase{"icy-br:320", 320, 200000}, EndCase{"icy-br:64", 64, 40000},
                      EndCase{"icy-br:24", 32, 32768}, EndCase{"icy-br:320", 64, 40000}),
    [](const auto& info) {
        return (info.param.bitrate_header ? std::string("br") + (info.param.bitrate_header + 7)
                                          : std::string("no_bitrate")) +
               "_" + std::to_string(info.param.kbps);
    });

}  // namespace
}  // namespace velmora::test
