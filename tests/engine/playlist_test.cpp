// SPDX-License-Identifier: GPL-3.0-or-later
// Playlist URLs open their first working entry; redirects are followed.
#include "engine/playlist.h"
#include "engine/engine_fixture.h"
#include "support/playlist_bodies.h"

namespace velmora::test {
namespace {

enum class Kind { Pls, M3u, Asx, Xspf };

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Pls:
            return "pls";
        case Kind::M3u:
            return "m3u";
        case Kind::Asx:
            return "asx";
        case Kind::Xspf:
            return "xspf";
    }
    return "";
}

struct PlaylistCase {
    Kind kind;
    bool by_extension;  // else recognised by Content-Type alone
    LineEnd line_end;
};

class PlaylistTest : public EngineTest, public ::testing::WithParamInterface<PlaylistCase> {};

TEST_P(PlaylistTest, OpensTheFirstWorkingEntry) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    route.headers = {"icy-name:Behind the playlist"};
    server_.AddStream("/mount", route);
    server_.AddError("/gone", 404, "gone");

    // A refused port and a 404 come first; the third entry is the stream.
    const std::vector<std::string> entries = {
        "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/dead", server_.Url("/gone"),
        server_.Url("/mount")};
    const auto [kind, by_extension, line_end] = GetParam();
    std::string body, type, extension;
    switch (kind) {
        case Kind::Pls:
            body = PlsBody(entries, line_end), type = kPlsType, extension = ".pls";
            break;
        case Kind::M3u:
            body = M3uBody(entries, line_end), type = kM3uType, extension = ".m3u";
            break;
        case Kind::Asx:
            body = AsxBody(entries, line_end), type = kAsxType, extension = ".asx";
            break;
        case Kind::Xspf:
            body = XspfBody(entries, line_end), type = kXspfType, extension = ".xspf";
            break;
    }
    const std::string path = by_extension ? "/listen" + extension : "/listen";
    server_.AddBody(path, 200, by_extension ? "text/plain" : type, body);

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url(path), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(server_.ConnectionsTo("/gone").size(), 1u);
    ASSERT_EQ(server_.ConnectionsTo("/mount").size(), 1u);
    const std::vector<std::string> tags = TagLines(engine::ChannelGetTags(h, engine::TagKind::Icy));
    EXPECT_NE(std::find(tags.begin(), tags.end(), "icy-name:Behind the playlist"), tags.end());
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(3000ms)));
}

INSTANTIATE_TEST_SUITE_P(Playlists, PlaylistTest,
                         ::testing::Values(PlaylistCase{Kind::Pls, true, LineEnd::CrLf},
                                           PlaylistCase{Kind::Pls, false, LineEnd::Lf},
                                           PlaylistCase{Kind::M3u, true, LineEnd::Lf},
                                           PlaylistCase{Kind::M3u, false, LineEnd::CrLf},
                                           PlaylistCase{Kind::Asx, true, LineEnd::CrLf},
                                           PlaylistCase{Kind::Asx, false, LineEnd::Lf},
                                           PlaylistCase{Kind::Xspf, true, LineEnd::Lf},
                                           PlaylistCase{Kind::Xspf, false, LineEnd::CrLf}),
                         [](const auto& info) {
                             return std::string(KindName(info.param.kind)) +
                                    (info.param.by_extension ? "_extension" : "_contenttype") +
                                    (info.param.line_end == LineEnd::CrLf ? "_crlf" : "_lf");
                         });

TEST_F(EngineTest, PlaylistWithoutWorkingEntryFails) {
    server_.AddError("/gone", 404, "gone");
    server_.AddBody("/none.pls", 200, kPlsType, PlsBody({server_.Url("/gone")}));
    server_.AddBody("/empty.m3u", 200, kM3uType, "#EXTM3U\r\n");
    EXPECT_EQ(engine::StreamCreateURL(server_.Url("/none.pls").c_str(), 0, 0, nullptr, nullptr),
              0u);
    EXPECT_NE(engine::ErrorGetCode(), 0);
    EXPECT_EQ(engine::StreamCreateURL(server_.Url("/empty.m3u").c_str(), 0, 0, nullptr, nullptr),
              0u);
    EXPECT_NE(engine::ErrorGetCode(), 0);

    // A hundred thousand dead entries: the first hundred are tried, and the error says the list
    // was cut.
    std::string body = "#EXTM3U\n";
    for (int i = 0; i < 100000; ++i) body += "/gone\n";
    server_.AddBody("/long.m3u", 200, kM3uType, body);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine::StreamCreateURL(server_.Url("/long.m3u").c_str(), 0, 0, nullptr, nullptr),
              0u);
    EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::PlaylistCut));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(server_.ConnectionsTo("/gone").size(), 1 + engine::kPlaylistEntryLimit);
}

TEST_F(EngineTest, RedirectsAreFollowedUpToFive) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    server_.AddStream("/mount", route);
    // /r5 -> /r4 -> ... -> /r1 -> /mount: five hops; /r6 needs six.
    server_.AddRedirect("/r1", 302, server_.Url("/mount"));
    for (int i = 2; i <= 6; ++i)
        server_.AddRedirect("/r" + std::to_string(i), i % 2 ? 301 : 302,
                            server_.Url("/r" + std::to_string(i - 1)));

    engine::Handle h = Create(server_.Url("/r1"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    engine::Handle five = Create(server_.Url("/r5"));
    EXPECT_NE(five, 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(server_.ConnectionsTo("/mount").size(), 2u);

    EXPECT_EQ(Create(server_.Url("/r6")), 0u);
    EXPECT_NE(engine::ErrorGetCode(), 0);
}

TEST_F(EngineTest, RedirectToAPlaylistOpensItsEntry) {
    SineSpec spec;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.loop = true;
    server_.AddStream("/mount", route);
    server_.AddBody("/station.m3u", 200, kM3uType, M3uBody({server_.Url("/mount")}));
    server_.AddRedirect("/tune", 302, server_.Url("/station.m3u"));

    engine::Handle h = Create(server_.Url("/tune"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(server_.ConnectionsTo("/mount").size(), 1u);
}

}  // namespace
}  // namespace velmora::test
