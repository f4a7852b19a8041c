// SPDX-License-Identifier: GPL-3.0-or-later
// Stations and playlists are strangers' input: what they send may end their own stream, never the
// process, never reach a local file or service, and never hold creation past its timeout.
#include <fstream>

#include "engine/downloader.h"
#include "engine/engine_fixture.h"
#include "support/playlist_bodies.h"

namespace velmora::test {
namespace {

constexpr int Code(engine::ErrorCode code) {
    return static_cast<int>(code);
}

// A private folder with files in it, removed at the end.
class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/velmora-hostile-XXXXXX";
        path_ = ::mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        for (const auto& f : files_) std::remove(f.c_str());
        ::rmdir(path_.c_str());
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << bytes;
        files_.push_back(file);
        return file;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::vector<std::string> files_;
};

class HostileTest : public EngineTest {
  protected:
    // Fails fast on anything that would otherwise wait out the full timeout.
    void SetUp() override {
        EngineTest::SetUp();
        engine::SetConfig(engine::Config::NetTimeout, 2000);
    }
    // The error code of a creation that must fail; a created stream is freed and gives 0.
    int CreateError(const std::string& url, std::shared_ptr<DownloadRecorder> recorder = nullptr) {
        const engine::Handle h = Create(url, std::move(recorder));
        return h ? 0 : engine::ErrorGetCode();
    }
    std::string Loopback(const char* scheme, const std::string& path) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(server_.port()) + path;
    }
    StreamRoute Sine(double bin = 24) {
        SineSpec spec;
        spec.frequency = BinFrequency(static_cast<int>(bin));
        StreamRoute route;
        route.audio = EncodeSine(spec);
        route.loop = true;
        return route;
    }
};

TEST_F(HostileTest, HeaderRatesSizeABoundedBuffer) {
    // Until the audio tells, the buffer holds 5 s at the stated rate; rates in bit/s or out of
    // any range fall back.
    const struct {
        const char* icy_br;
        std::uint64_t buffer;
    } rows[] = {
        {"128", 80000},
        {"128000", 80000},                // bit/s
        {"320", 200000},                  //
        {"100000000", 80000},             // nonsense: unknown
        {"99999999999999999999", 80000},  // does not fit any integer
        {"-64", 80000},
        {"1411", 881875},  // lossless CD audio
    };
    for (const auto& r : rows)
        EXPECT_EQ(engine::DownloadBufferSize(engine::StreamRateKbps(r.icy_br)), r.buffer)
            << r.icy_br;
    EXPECT_EQ(engine::StreamRateKbps(" 96,96"), 96);  // as some servers repeat it
}

TEST_F(HostileTest, OnlyWebAddressesAreFetched) {
    TempDir dir;
    const std::string local_mp3 = dir.Write("local.mp3", EncodeSine({}));
    const std::string local_list = dir.Write("list.m3u", M3uBody({server_.Url("/leak")}));
    server_.AddStream("/leak", Sine());
    // Entries and redirects that point at this machine's files and services, given by a
    // stranger's playlist.
    const std::vector<std::string> entries = {
        "file://" + local_mp3,
        "FILE://" + local_mp3,
        Loopback("gopher", "/_SET%20key%20value"),
        Loopback("dict", "/d:word"),
        Loopback("ftp", "/x.mp3"),
        Loopback("telnet", "/"),
    };
    server_.AddBody("/list.m3u", 200, kM3uType, M3uBody(entries));
    server_.AddRedirect("/to-ftp", 302, Loopback("ftp", "/x.mp3"));
    server_.AddRedirect("/to-file", 302, "file://" + local_mp3);

    const auto recorder = std::make_shared<DownloadRecorder>();
    EXPECT_EQ(CreateError(server_.Url("/list.m3u"), recorder), Code(engine::ErrorCode::Protocol));
    EXPECT_EQ(CreateError("file://" + local_list), Code(engine::ErrorCode::Protocol));
    EXPECT_EQ(CreateError("file://" + local_mp3), Code(engine::ErrorCode::Protocol));
    EXPECT_EQ(CreateError(server_.Url("/to-ftp")), Code(engine::ErrorCode::Protocol));
    EXPECT_EQ(CreateError(server_.Url("/to-file")), Code(engine::ErrorCode::Protocol));

    EXPECT_TRUE(recorder->Audio().empty());
    // The server saw the three web requests and nothing in any other protocol.
    std::vector<std::string> paths;
    for (const auto& c : server_.Connections()) paths.push_back(c.request_line);
    EXPECT_EQ(paths.size(), 3u) << ::testing::PrintToString(paths);
    EXPECT_TRUE(server_.ConnectionsTo("/leak").empty());
}

TEST_F(HostileTest, DemuxerOpensNothingButTheStream) {
    // A body that the concat format would take as a list of local files, with the file there.
    TempDir dir;
    dir.Write("x.mp3", EncodeSine({}));
    server_.AddBody("/concat", 200, "audio/mpeg", "ffconcat version 1.0\nfile x.mp3\n");

    char* here = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const int concat = CreateError(server_.Url("/concat"));
    ASSERT_EQ(::chdir(here), 0);
    std::free(here);
    EXPECT_EQ(concat, Code(engine::ErrorCode::FileForm));
}

TEST_F(HostileTest, PlaylistEntriesResolveAfterRedirectsAndReadWhole) {
    server_.AddStream("/new/stream", Sine());
    server_.AddError("/old/stream", 404, "not here");
    server_.AddBody("/new/list.m3u", 200, kM3uType, "stream\n");
    server_.AddRedirect("/old/tune", 302, server_.Url("/new/list.m3u"));
    EXPECT_NE(Create(server_.Url("/old/tune")), 0u) << "error " << engine::ErrorGetCode();
    EXPECT_EQ(server_.ConnectionsTo("/new/stream").size(), 1u);
    EXPECT_TRUE(server_.ConnectionsTo("/old/stream").empty());

    // Far longer than any first read: the only entry comes after 300 KB of comments.
    std::string padded = "#EXTM3U\n";
    while (padded.size() < 300 * 1024) padded += "#EXTINF:-1,A station that lists a lot\n";
    server_.AddBody("/long.m3u", 200, kM3uType, padded + server_.Url("/new/stream") + "\n");
    EXPECT_NE(Create(server_.Url("/long.m3u")), 0u) << "error " << engine::ErrorGetCode();

    // The INI form of Windows Media references, under an .asx address, with a ../ and ?query
    // entry.
    server_.AddStream("/mount", Sine());
    server_.AddBody("/lists/live.asx", 200, "video/x-ms-asf",
                    "[Reference]\r\nRef1=../gone?sid=1\r\nRef2=../mount?sid=2\r\n");
    EXPECT_NE(Create(server_.Url("/lists/live.asx")), 0u) << "error " << engine::ErrorGetCode();
    const auto mount = server_.ConnectionsTo("/mount");
    ASSERT_EQ(mount.size(), 1u);
    EXPECT_EQ(mount[0].request_line, "GET /mount?sid=2 HTTP/1.1");
}

TEST_F(HostileTest, AbandonedEntriesDeliverNothing) {
    // The first entry is taken for audio by its type, then found to be no audio at all.
    server_.AddRaw("/noise", std::string("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") +
                                 std::string(20000, '\x01'));
    const StreamRoute route = Sine();
    server_.AddStream("/mount", route);
    server_.AddBody("/list.pls", 200, kPlsType,
                    PlsBody({server_.Url("/noise"), server_.Url("/mount")}));

    const auto recorder = std::make_shared<DownloadRecorder>();
    const engine::Handle h = Create(server_.Url("/list.pls"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    // Played, as the player does: an unplayed stream stops downloading once its buffer is full.
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ASSERT_TRUE(recorder->WaitForAudio(4096, Scaled(3000ms)));
    EXPECT_EQ(recorder->Audio().compare(0, 4096, route.audio, 0, 4096), 0)
        << "bytes of the abandoned entry reached the callback";
    EXPECT_EQ(recorder->EndCalls(), 0);
    engine::StreamFree(h);
    ASSERT_TRUE(WaitUntilReleased(recorder, Scaled(3000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
}

TEST_F(HostileTest, FaultyAnswersFailWithinTheTimeout) {
    std::string dead;
    const std::string refused = "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/d";
    for (int i = 0; i < 30000; ++i) dead += refused + std::to_string(i) + "\n";
    server_.AddBody("/dead.m3u", 200, kM3uType, dead);
    std::string self = "#EXTM3U\n";
    for (int i = 0; i < 50; ++i) self += server_.Url("/self.m3u") + "\n";
    server_.AddBody("/self.m3u", 200, kM3uType, self);
    // A metadata block announced at the largest length, then the connection ends.
    server_.AddRaw("/meta255", "ICY 200 OK\r\nicy-metaint:16\r\nContent-Type: audio/mpeg\r\n\r\n" +
                                   EncodeSine({}).substr(0, 16) + "\xff");
    server_.AddRaw("/huge-line", "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(10 << 20, 'a') +
                                     "\r\nContent-Type: audio/mpeg\r\n\r\n" + EncodeSine({}));
    server_.AddRaw(
        "/many-lines", "ICY 200 OK\r\n" + [] {
            std::string lines;
            for (int i = 0; i < 100000; ++i) lines += "icy-x" + std::to_string(i) + ":y\r\n";
            return lines;
        }() + "\r\n" + EncodeSine({}));
    server_.AddRaw("/icy404", "ICY 404 Resource Not Found\r\nicy-notice1:<BR>gone<BR>\r\n\r\n");
    server_.AddRaw("/banner", "SSH-2.0-OpenSSH_9.2\r\n");
    engine::SetConfig(engine::Config::NetTimeout, 1000);

    const struct {
        const char* path;
        engine::ErrorCode code;
    } rows[] = {
        {"/dead.m3u", engine::ErrorCode::PlaylistCut}, {"/self.m3u", engine::ErrorCode::FileForm},
        {"/meta255", engine::ErrorCode::FileForm},     {"/huge-line", engine::ErrorCode::FileOpen},
        {"/many-lines", engine::ErrorCode::FileForm},  {"/icy404", engine::ErrorCode::HttpStatus},
        {"/banner", engine::ErrorCode::FileForm},
    };
    for (const auto& r : rows) {
        const auto recorder = std::make_shared<DownloadRecorder>();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CreateError(server_.Url(r.path), recorder), Code(r.code)) << r.path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, Scaled(1500ms)) << r.path;
        EXPECT_EQ(recorder->EndCalls(), 0) << r.path;
    }
    EXPECT_EQ(server_.ConnectionsTo("/self.m3u").size(), 1u);
    // The ICY status line reaches the player like an HTTP one.
    const auto recorder = std::make_shared<DownloadRecorder>();
    CreateError(server_.Url("/icy404"), recorder);
    ASSERT_FALSE(recorder->HeaderLines().empty());
    EXPECT_EQ(recorder->HeaderLines()[0], "ICY 404 Resource Not Found");
}

}  // namespace
}  // namespace velmora::test
