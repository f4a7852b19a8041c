// SPDX-License-Identifier: GPL-3.0-or-later
// HLS stations play through the HLS demuxer from loopback segments, give the download callback
// nothing but its one end call, and never open a segment that is not on the network.
extern "C" {
#include <libavformat/avformat.h>
}

#include <fstream>

#include "engine/hls_feed.h"
#include "engine/hls_limits.h"
#include "engine_fixture.h"
#include "support/http_proxy.h"

namespace velmora::test {
namespace {

// The ADTS frames of an AAC stream.
std::vector<std::string> AdtsFrames(const std::string& adts) {
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + 7 <= adts.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(adts[at + k]); };
        const std::size_t len = ((b(3) & 3) << 11) | (b(4) << 3) | (b(5) >> 5);
        if (len < 7) break;
        frames.push_back(adts.substr(at, len));
        at += len;
    }
    return frames;
}

// The frames cut into `count` segments, each frame's index given to `at`.
template <class Segment>
std::vector<std::string> Cut(const std::vector<std::string>& frames, std::size_t count,
                             Segment segment) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(segment(i, frames.size() * i / count, frames.size() * (i + 1) / count));
    return out;
}

// ID3v2.4 tag with one UTF-8 TIT2 frame.
std::string TitleTag(const std::string& title) {
    const std::string body = "\3" + title;
    std::string frame = "TIT2";
    for (int k = 3; k >= 0; --k) frame += static_cast<char>((body.size() >> (7 * k)) & 0x7F);
    frame += std::string(2, '\0') + body;
    std::string tag = "ID3\4" + std::string(2, '\0');
    for (int k = 3; k >= 0; --k) tag += static_cast<char>((frame.size() >> (7 * k)) & 0x7F);
    return tag + frame;
}

// One MPEG-TS segment, muxed by libavformat as a packager would: the AAC frames `from`..`to`
// with their running timestamps, after a timed ID3 tag carrying `title` (none when empty).
std::string TsSegment(const std::vector<std::string>& frames, std::size_t from, std::size_t to,
                      const std::string& title) {
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "mpegts", nullptr) < 0) return {};
    AVStream* audio = avformat_new_stream(oc, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codecpar->codec_id = AV_CODEC_ID_AAC;
    audio->codecpar->sample_rate = 44100;
    av_channel_layout_default(&audio->codecpar->ch_layout, 2);
    audio->time_base = {1, 44100};
    AVStream* id3 = avformat_new_stream(oc, nullptr);
    id3->codecpar->codec_type = AVMEDIA_TYPE_DATA;
    id3->codecpar->codec_id = AV_CODEC_ID_TIMED_ID3;
    id3->time_base = {1, 44100};
    std::string out;
    if (avio_open_dyn_buf(&oc->pb) >= 0 && avformat_write_header(oc, nullptr) >= 0) {
        AVPacket* p = av_packet_alloc();
        const auto write = [&](AVStream* st, const std::string& data, std::int64_t samples) {
            av_new_packet(p, static_cast<int>(data.size()));
            std::memcpy(p->data, data.data(), data.size());
            p->stream_index = st->index;
            p->pts = p->dts = av_rescale_q(samples + 44100, {1, 44100}, st->time_base);
            av_interleaved_write_frame(oc, p);
        };
        // In a metadata PES packet the tag follows its access-unit cell header, which the muxer
        // leaves to us and the demuxer strips.
        const std::string tag = TitleTag(title);
        std::string cell = {0, 0, '\xC0', static_cast<char>(tag.size() >> 8),
                            static_cast<char>(tag.size() & 0xFF)};
        if (!title.empty()) write(id3, cell + tag, static_cast<std::int64_t>(from) * 1024);
        for (std::size_t f = from; f < to; ++f)
            write(audio, frames[f], static_cast<std::int64_t>(f) * 1024);
        av_write_trailer(oc);
        av_packet_free(&p);
        std::uint8_t* buf = nullptr;
        const int n = avio_close_dyn_buf(oc->pb, &buf);
        out.assign(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
        av_free(buf);
        oc->pb = nullptr;
    }
    avformat_free_context(oc);
    return out;
}

constexpr const char* kHlsType = "application/vnd.apple.mpegurl";

std::string MediaPlaylist(const std::vector<std::string>& uris) {
    std::string m3u8 = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n";
    m3u8 += "#EXT-X-MEDIA-SEQUENCE:0\n";
    for (const auto& u : uris) m3u8 += "#EXTINF:2.0,\n" + u + "\n";
    return m3u8 + "#EXT-X-ENDLIST\n";
}

class HlsTest : public EngineTest {
  protected:
    static std::vector<std::string> Frames(double seconds = 6) {
        SineSpec spec;
        spec.codec = AudioCodec::Aac;
        spec.frequency = BinFrequency(40);
        spec.seconds = seconds;
        return AdtsFrames(EncodeSine(spec));
    }
    // Raw ADTS segments, as audio-only HLS serves them.
    static std::vector<std::string> Segments() {
        const auto frames = Frames();
        return Cut(frames, 3, [&](std::size_t, std::size_t from, std::size_t to) {
            std::string s;
            for (std::size_t f = from; f < to; ++f) s += frames[f];
            return s;
        });
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

    const auto recorder = std::make_shared<DownloadRecorder>();
    engine::Handle h = Create(server_.Url("/station"), recorder);
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 40);
    EXPECT_TRUE(server_.WaitForConnections(5, Scaled(3000ms)));
    EXPECT_FALSE(server_.ConnectionsTo("/hls/seg1.aac").empty());

    ASSERT_TRUE(engine::StreamFree(h));
    tracked_.clear();
    EXPECT_TRUE(WaitUntilReleased(recorder, Scaled(3000ms)));
    EXPECT_EQ(recorder->EndCalls(), 1);
    EXPECT_TRUE(recorder->Audio().empty());
}

TEST_F(HlsTest, PausesIntoTheTimeShiftBufferOverTheSegments) {
    // The segments' ADTS frames are the buffer's: it pauses, skips and knows its times.
    const auto segments = Segments();
    std::vector<std::string> uris;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        server_.AddBody("/seg" + std::to_string(i) + ".aac", 200, "audio/aac", segments[i]);
        uris.push_back("seg" + std::to_string(i) + ".aac");
    }
    server_.AddBody("/live.m3u8", 200, "application/vnd.apple.mpegurl", MediaPlaylist(uris));
    char folder[] = "/tmp/velmora-hls-shift-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const engine::Handle h = Create(server_.Url("/live.m3u8"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    // The buffer is made when the stream starts to play; the next tests play without.
    engine::SetConfig(engine::Config::TimeShift, 600);
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, folder);
    const bool played = engine::ChannelPlay(h, false);
    engine::SetConfig(engine::Config::TimeShift, 0);
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, nullptr);
    ASSERT_TRUE(played);
    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 1; }, Scaled(3000ms)));
    ASSERT_TRUE(engine::ChannelPause(h));
    engine::TimeShiftInfo info;
    // All three segments arrive while paused.
    ASSERT_TRUE(
        WaitUntil([&] { return engine::ChannelGetTimeShift(h, &info) && info.buffered > 5.5; },
                  Scaled(3000ms)));
    EXPECT_TRUE(info.paused && info.seekable);
    const double at = info.position;
    EXPECT_LT(at, 2.0);
    // Forward: within the buffer, or to the live edge when that is nearer.
    ASSERT_TRUE(engine::ChannelSkip(h, 2.0));
    ASSERT_TRUE(engine::ChannelGetTimeShift(h, &info));
    // When all segments came before the pause, the pause was at the live edge and stays there.
    EXPECT_TRUE(info.position > at + 0.5 || info.behind < 0.5)
        << info.position << " from " << at << ", " << info.behind << " s behind";
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 40);
    std::system((std::string("rm -rf '") + folder + "'").c_str());
}

TEST_F(HlsTest, MpegTsSegmentsThroughTheProxyCarryTheirTitles) {
    // Titles are taken as the feed reaches them, as ICY titles are: the buffer holds 5 s, so the
    // last segment's title comes about a second into playback.
    const auto frames = Frames(8);
    const std::string titles[] = {"Art - First", "", "", "Second \xD0\x9C"};
    const auto segments = Cut(frames, 4, [&](std::size_t i, std::size_t from, std::size_t to) {
        return TsSegment(frames, from, to, titles[i]);
    });
    std::vector<std::string> uris;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        ASSERT_FALSE(segments[i].empty());
        server_.AddBody("/ts/" + std::to_string(i) + ".ts", 200, "video/mp2t", segments[i]);
        uris.push_back(std::to_string(i) + ".ts");
    }
    server_.AddBody("/ts/radio.m3u8", 200, "application/x-mpegurl", MediaPlaylist(uris));
    HttpProxy proxy("listener", "s3cret");
    ASSERT_TRUE(engine::SetConfigPtr(engine::ConfigPtr::NetProxy, proxy.Address().c_str()));

    engine::Handle h = Create(server_.Url("/ts/radio.m3u8"));
    ASSERT_NE(h, 0u) << "error " << engine::ErrorGetCode();
    const char* first = engine::ChannelGetTags(h, engine::TagKind::Meta);
    EXPECT_STREQ(first ? first : "", "StreamTitle='Art - First';");
    const auto meta = std::make_shared<MetaRecorder>();
    ASSERT_NE(engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &MetaRecorder::Proc, meta), 0u);
    ASSERT_TRUE(engine::ChannelPlay(h, false));
    ExpectPlaysBin(h, 40);
    ASSERT_TRUE(meta->WaitForCount(1, Scaled(4000ms)));
    EXPECT_EQ(meta->Texts()[0], "StreamTitle='Second \xD0\x9C';");
    // Every segment was fetched, each fetch through the proxy with its credentials (FFmpeg asks
    // without them first, and the proxy answers 407).
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string path = "/ts/" + std::to_string(i) + ".ts";
        std::size_t proxied = 0;
        for (const auto& r : proxy.Requests())
            proxied += r.authorised && r.request_line.find(path + " ") != std::string::npos;
        EXPECT_GE(proxied, 1u) << path;
        EXPECT_EQ(server_.ConnectionsTo(path).size(), proxied) << path;
    }
}

TEST_F(HlsTest, NeverOpensALocalSegment) {
    // The local file holds playable audio: opening it would make the stream play.
    const auto segments = Segments();
    const std::string local = ::testing::TempDir() + "velmora_hls_local.aac";
    std::ofstream(local, std::ios::binary) << segments[0];
    server_.AddBody("/file.m3u8", 200, "application/vnd.apple.mpegurl",
                    MediaPlaylist({"file://" + local}));
    const auto recorder = std::make_shared<DownloadRecorder>();
    EXPECT_EQ(Create(server_.Url("/file.m3u8"), recorder), 0u);
    EXPECT_NE(engine::ErrorGetCode(), 0);
    EXPECT_EQ(recorder->EndCalls(), 0);
    std::remove(local.c_str());
}

TEST_F(HlsTest, ListsThatListThemselvesNestOrSwarmFailAtOnce) {
    // Each variant costs the demuxer a playlist and a fetch: unbounded, these ran to the timeout
    // with up to a gigabyte resident.
    const std::string variant = "#EXT-X-STREAM-INF:BANDWIDTH=128000\n";
    server_.AddBody("/self.m3u8", 200, kHlsType, "#EXTM3U\n" + variant + "self.m3u8\n");
    server_.AddBody("/twice.m3u8", 200, kHlsType,
                    "#EXTM3U\n" + variant + "twice.m3u8\n" + variant + "twice.m3u8\n");
    for (int i = 0; i < 100; ++i)
        server_.AddBody("/nest" + std::to_string(i) + ".m3u8", 200, kHlsType,
                        "#EXTM3U\n" + variant + "nest" + std::to_string(i + 1) + ".m3u8\n");
    std::string swarm = "#EXTM3U\n";
    for (int i = 0; i < 5000; ++i) swarm += variant + "v" + std::to_string(i) + ".m3u8\n";
    server_.AddBody("/swarm.m3u8", 200, kHlsType, swarm);
    engine::SetConfig(engine::Config::NetTimeout, 4000);

    for (const char* path : {"/self.m3u8", "/twice.m3u8", "/nest0.m3u8", "/swarm.m3u8"}) {
        const std::size_t before = server_.Connections().size();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Create(server_.Url(path)), 0u) << path;
        EXPECT_EQ(engine::ErrorGetCode(), static_cast<int>(engine::ErrorCode::FileForm)) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, Scaled(2000ms)) << path;
        // Ours, the demuxer's, and the first variant's: never a third playlist level.
        EXPECT_LE(server_.Connections().size() - before, 3u) << path;
    }
}

TEST_F(HlsTest, SegmentsPaddedBeyondTheirAudioEndTheStream) {
    // One second of audio and 4 MB of zeros per segment: played on, the station would make the
    // player pull 32 Mbit/s.
    SineSpec spec;
    spec.seconds = 8;
    const std::string mp3 = EncodeSine(spec);
    std::vector<std::string> uris;
    for (int i = 0; i < 8; ++i) {
        const std::string path = "/pad/" + std::to_string(i) + ".mp3";
        server_.AddBody(
            path, 200, "audio/mpeg",
            mp3.substr(mp3.size() * i / 8, mp3.size() / 8) + std::string(4 << 20, '\0'));
        uris.push_back(std::to_string(i) + ".mp3");
    }
    server_.AddBody("/pad/list.m3u8", 200, kHlsType, MediaPlaylist(uris));

    const auto recorder = std::make_shared<DownloadRecorder>();
    const engine::Handle h = Create(server_.Url("/pad/list.m3u8"), recorder);
    if (h) {
        ASSERT_TRUE(engine::ChannelPlay(h, false));
    }
    // Stopped with what was buffered (a second at most), not after the eight seconds it has.
    EXPECT_TRUE(recorder->WaitForEnd(Scaled(2000ms)));
    EXPECT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(h) == 0; }, Scaled(3000ms)));
    EXPECT_LE(server_.ConnectionsTo("/pad/1.mp3").size(), 1u);
    EXPECT_TRUE(server_.ConnectionsTo("/pad/2.mp3").empty());
}

// The rules see a body in whatever pieces the network gives it.
TEST(HlsBodyCheckTest, FindsVariantTagsAcrossReads) {
    const std::string master =
        "#EXTM3U\r\n#EXT-X-MEDIA:TYPE=AUDIO,URI=\"a.m3u8\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=1\nb.m3u8\n";
    const struct {
        std::string body;
        bool may_list;
        int variants;
        bool ok;
    } rows[] = {
        {master, true, 2, true},
        {master, true, 1, false},   // one variant too many
        {master, false, 9, false},  // reached from another playlist
        {"#EXTM3U\n#EXTINF:2,\ns.ts\n# EXT-X-STREAM-INF\n", false, 0, true},
        {"\xFF\xF1#EXT-X-STREAM-INF:\n", false, 0, true},  // a segment
        {"#EXTM3U\n" + std::string(engine::kMaxHlsPlaylistBytes, '#'), true, 9, false},
    };
    for (const auto& r : rows) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, r.body.size()}) {
            int left = r.variants;
            engine::HlsBodyCheck check(r.may_list, &left);
            bool ok = true;
            for (std::size_t at = 0; ok && at < r.body.size(); at += piece)
                ok = check.Feed(std::string_view(r.body).substr(at, piece));
            EXPECT_EQ(ok, r.ok) << r.body.substr(0, 40) << " in pieces of " << piece;
        }
    }
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
    for (const auto& r : rows) EXPECT_EQ(engine::Id3Title(r.tag), r.title);
}

}  // namespace
}  // namespace velmora::test
