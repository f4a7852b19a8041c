// HLS stations play through the HLS demuxer from loopback segments, give the download callback
// nothing but its one end call, and never open a segment that is not on the network.
#include <fstream>

#include "engine/hls_feed.h"
#include "engine_fixture.h"

namespace velmora::test {
namespace {

// ADTS frames cut into `count` segments of whole frames.
std::vector<std::string> AdtsSegments(const std::string& adts, std::size_t count) {
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 7 <= adts.size();) {
        starts.push_back(at);
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(adts[at + k]); };
        const std::size_t len = ((b(3) & 3) << 11) | (b(4) << 3) | (b(5) >> 5);
        if (len < 7) break;
        at += len;
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = starts[starts.size() * i / count];
        const std::size_t to =
            i + 1 < count ? starts[starts.size() * (i + 1) / count] : adts.size();
        out.push_back(adts.substr(from, to - from));
    }
    return out;
}

std::string MediaPlaylist(const std::vector<std::string>& uris) {
    std::string m3u8 = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n";
    m3u8 += "#EXT-X-MEDIA-SEQUENCE:0\n";
    for (const auto& u : uris) m3u8 += "#EXTINF:2.0,\n" + u + "\n";
    return m3u8 + "#EXT-X-ENDLIST\n";
}

class HlsTest : public EngineTest {
  protected:
    std::vector<std::string> Segments() {
        SineSpec spec;
        spec.codec = AudioCodec::Aac;
        spec.frequency = BinFrequency(40);
        spec.seconds = 6;
        return AdtsSegments(EncodeSine(spec), 3);
    }
};

TEST_F(HlsTest, PlaysSegmentsAndRecordsNothing) {
    const auto segments = Segments();
    std::vector<std::string> uris;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string path = "/hls/seg" + std::to_string(i) + ".aac";
        server_.AddBody(path, 200, "audio/aac", segments[i]);
        uris.push_back("seg" + std::to_string(i) + ".aac");  // relative to the playlist
    }
    server_.AddBody("/hls/live.m3u8", 200, "application/vnd.apple.mpegurl", MediaPlaylist(uris));
    // A master playlist naming the media playlist, under a name that says nothing.
    server_.AddBody("/station", 200, "audio/x-mpegurl",
                    "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000,CODECS=\"mp4a.40.2\"\n"
                    "hls/live.m3u8\n");

    auto& recorder = KeepAlive<DownloadRecorder>();
    vle::Handle h = Create(server_.Url("/station"), &recorder);
    ASSERT_NE(h, 0u) << "error " << vle::ErrorGetCode();
    ASSERT_TRUE(vle::ChannelPlay(h, false));
    ExpectPlaysBin(h, 40);
    EXPECT_TRUE(server_.WaitForConnections(5, Scaled(3000ms)));
    EXPECT_FALSE(server_.ConnectionsTo("/hls/seg1.aac").empty());

    ASSERT_TRUE(vle::StreamFree(h));
    tracked_.clear();
    EXPECT_TRUE(recorder.WaitForEnd(Scaled(3000ms)));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.EndCalls(), 1);
    EXPECT_TRUE(recorder.Audio().empty());
}

TEST_F(HlsTest, NeverOpensALocalSegment) {
    // The local file holds playable audio: opening it would make the stream play.
    const auto segments = Segments();
    const std::string local = ::testing::TempDir() + "velmora_hls_local.aac";
    std::ofstream(local, std::ios::binary) << segments[0];
    server_.AddBody("/file.m3u8", 200, "application/vnd.apple.mpegurl",
                    MediaPlaylist({"file://" + local}));
    auto& recorder = KeepAlive<DownloadRecorder>();
    EXPECT_EQ(Create(server_.Url("/file.m3u8"), &recorder), 0u);
    EXPECT_NE(vle::ErrorGetCode(), 0);
    EXPECT_EQ(recorder.EndCalls(), 0);
    std::remove(local.c_str());
}

// Timed ID3 titles: "Artist - Title" from TPE1 and TIT2, in each text encoding.
TEST(Id3TitleTest, ReadsTitleFrames) {
    const auto frame = [](std::string id, std::string body, bool syncsafe) {
        const std::size_t n = body.size();
        std::string f = id;
        for (int k = 3; k >= 0; --k)
            f += static_cast<char>(syncsafe ? (n >> (7 * k)) & 0x7F : (n >> (8 * k)) & 0xFF);
        return f + std::string(2, '\0') + body;
    };
    const auto tag = [](int version, std::string frames) {
        std::string t = "ID3";
        t += static_cast<char>(version);
        t += std::string(2, '\0');
        const std::size_t n = frames.size() + 4;  // with padding
        for (int k = 3; k >= 0; --k) t += static_cast<char>((n >> (7 * k)) & 0x7F);
        return t + frames + std::string(4, '\0');
    };
    const struct {
        std::string tag;
        std::optional<std::string> title;
    } rows[] = {
        {tag(4, frame("TPE1", std::string("\3Art", 4), true) +
                    frame("TIT2", std::string("\3Song\0", 6), true)),
         "Art - Song"},
        {tag(3, frame("TIT2", std::string("\0Caf\xE9", 5), false)), "Caf\xC3\xA9"},
        {tag(3, frame("TIT2", std::string("\1\xFF\xFE\x1F\x04\x40\x04", 7), false)),
         "\xD0\x9F\xD1\x80"},
        {tag(4, frame("TIT2", std::string("\2\x04\x1F\xD8\x3D\xDE\x00", 7), true)),
         "\xD0\x9F\xF0\x9F\x98\x80"},
        {tag(4, frame("TPE1", "\3Only artist", true)), std::nullopt},
        {tag(4, frame("TIT2", "\3Cut", true)).substr(0, 16), std::nullopt},
        {"no tag", std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(vle::Id3Title(r.tag), r.title);
}

}  // namespace
}  // namespace velmora::test
