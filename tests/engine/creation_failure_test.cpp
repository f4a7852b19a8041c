// SPDX-License-Identifier: GPL-3.0-or-later
// Creation fails with a code that says why: the player shows "can't play" and may retry.
#include "engine/engine_fixture.h"

namespace velmora::test {
namespace {

int CreateError(const std::string& url, std::shared_ptr<DownloadRecorder> recorder = nullptr) {
    engine::DownloadProc* const proc = recorder ? &DownloadRecorder::Proc : nullptr;
    const engine::Handle h =
        engine::StreamCreateURL(url.c_str(), 0, engine::kStreamStatus, proc, std::move(recorder));
    const int code = engine::ErrorGetCode();
    if (h) {
        engine::StreamFree(h);
        return 0;
    }
    return code;
}

constexpr int Code(engine::ErrorCode code) {
    return static_cast<int>(code);
}

TEST_F(EngineTest, NonAudioAnswersFailWithTheirCodes) {
    server_.AddHtml("/page",
                    "<!DOCTYPE html><html><head><title>Radio</title></head><body>"
                    "<p>Listen in your browser</p></body></html>");
    server_.AddError("/missing", 404, "<html><body>no such mount</body></html>");
    server_.AddError("/busy", 503, "server full");
    server_.AddRaw("/garbage", std::string("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") +
                                   std::string(20000, '\x01'));

    EXPECT_EQ(CreateError(server_.Url("/page")), Code(engine::ErrorCode::FileForm));
    const auto recorder = std::make_shared<DownloadRecorder>();
    EXPECT_EQ(CreateError(server_.Url("/missing"), recorder), Code(engine::ErrorCode::HttpStatus));
    // The player shows the server's status line even when creation fails.
    ASSERT_FALSE(recorder->HeaderLines().empty());
    EXPECT_EQ(recorder->HeaderLines()[0], "HTTP/1.0 404 Not Found");
    EXPECT_EQ(CreateError(server_.Url("/busy")), Code(engine::ErrorCode::HttpStatus));
    const int garbage = CreateError(server_.Url("/garbage"));
    EXPECT_TRUE(garbage == Code(engine::ErrorCode::FileForm) ||
                garbage == Code(engine::ErrorCode::Format))
        << garbage;
}

TEST_F(EngineTest, UnreachableAndBadAddressesFail) {
    EXPECT_EQ(CreateError("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/"),
              Code(engine::ErrorCode::FileOpen));
    EXPECT_EQ(CreateError(""), Code(engine::ErrorCode::FileOpen));
    EXPECT_EQ(CreateError("not a url"), Code(engine::ErrorCode::FileOpen));
}

TEST_F(EngineTest, SilentServersTimeOut) {
    // One server never answers; the other sends its head and then nothing.
    StreamRoute mute;
    mute.audio = "x";
    mute.stall_before_header = true;
    server_.AddStream("/mute", mute);
    SineSpec spec;
    StreamRoute stall;
    stall.audio = EncodeSine(spec);
    stall.stall_after = 0;
    server_.AddStream("/stall", stall);
    ASSERT_TRUE(engine::SetConfig(engine::Config::NetTimeout, 1500));

    for (const char* path : {"/mute", "/stall"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CreateError(server_.Url(path)), Code(engine::ErrorCode::Timeout)) << path;
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 1200ms) << path;
        EXPECT_LT(took, Scaled(4000ms)) << path;
    }
}

}  // namespace
}  // namespace velmora::test
