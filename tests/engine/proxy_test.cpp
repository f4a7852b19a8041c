// SPDX-License-Identifier: GPL-3.0-or-later
// Streams go through the configured proxy, whose text the engine copies when it is set.
#include "engine/engine_fixture.h"
#include "support/http_proxy.h"

namespace velmora::test {
namespace {

TEST_F(EngineTest, ProxyTextIsCopiedWhenSet) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.metaint = 8192;
    route.headers = {"icy-name:Proxied"};
    server_.AddStream("/mount", route);
    HttpProxy proxy("listener", "s3cret");

    // The player keeps one buffer, edits it in place and hands it over again.
    static char buffer[101] = {};
    const auto set = [](const std::string& text) {
        std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
        ASSERT_TRUE(engine::SetConfigPtr(engine::ConfigPtr::NetProxy, buffer));
    };
    set(proxy.Address());
    // An edit not handed over does not count: a creation on another thread never reads the
    // caller's buffer while it changes.
    std::snprintf(buffer, sizeof buffer, "127.0.0.1:%u", unsigned{RefusedPort()});

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/mount"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_EQ(proxy.Requests().size(), 1u);
    const ProxiedRequest request = proxy.Requests()[0];
    EXPECT_TRUE(request.authorised) << request.Header("Proxy-Authorization");
    EXPECT_EQ(request.request_line.rfind("GET " + server_.Url("/mount"), 0), 0u)
        << request.request_line;
    EXPECT_EQ(request.Header("Icy-MetaData"), "1");
    // The ICY status line passes through the proxy untouched.
    ASSERT_FALSE(recorder->HeaderLines().empty());
    EXPECT_EQ(recorder->HeaderLines()[0], "ICY 200 OK");
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(3000ms)));
    ASSERT_TRUE(engine::StreamFree(h));

    // Wrong credentials: the proxy refuses, and so does creation.
    set("listener:wrong@127.0.0.1:" + std::to_string(proxy.port()));
    EXPECT_EQ(Create(server_.Url("/mount")), 0u);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::HttpStatus));
    ASSERT_EQ(proxy.Requests().size(), 2u);
    EXPECT_FALSE(proxy.Requests()[1].authorised);

    // Emptied buffer: direct again, the proxy sees nothing new.
    set("");
    const std::size_t direct_before = server_.ConnectionsTo("/mount").size();
    EXPECT_NE(Create(server_.Url("/mount")), 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(proxy.Requests().size(), 2u);
    EXPECT_EQ(server_.ConnectionsTo("/mount").size(), direct_before + 1);

    // A proxy that needs no credentials, given as host:port.
    HttpProxy open_proxy;
    set(open_proxy.Address());
    EXPECT_NE(Create(server_.Url("/mount")), 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(open_proxy.Requests().size(), 1u);

    // A proxy that is not there fails the creation rather than going direct.
    set("127.0.0.1:" + std::to_string(RefusedPort()));
    const std::size_t before = server_.Connections().size();
    EXPECT_EQ(Create(server_.Url("/mount")), 0u);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::FileOpen));
    EXPECT_EQ(server_.Connections().size(), before);

    engine::SetConfigPtr(engine::ConfigPtr::NetProxy, nullptr);
}

}  // namespace
}  // namespace velmora::test
