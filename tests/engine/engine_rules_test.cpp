// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's plain parsers: ICY de-interleaving, Ogg chain scanning and comment titles,
// playlists, and the proxy text.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/proxy_address.h"
#include "engine/icy_reader.h"
#include "engine/ogg_scanner.h"
#include "engine/playlist.h"
#include "support/test_audio.h"

namespace engine {
namespace {

using velmora::test::AudioCodec;
using velmora::test::EncodeSine;
using velmora::test::SineSpec;

// --- ICY

struct IcyOut {
    std::string audio;
    std::vector<std::string> metas;
};

IcyOut FeedIcy(std::size_t metaint, const std::string& bytes,
               const std::vector<std::size_t>& cuts) {
    IcyReader reader(metaint);
    IcyOut out;
    const auto audio = [&](const std::uint8_t* d, std::size_t n) {
        out.audio.append(reinterpret_cast<const char*>(d), n);
    };
    const auto meta = [&](const std::string& t) { out.metas.push_back(t); };
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, cut - at, audio,
                    meta);
        at = cut;
    }
    reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, bytes.size() - at, audio,
                meta);
    return out;
}

TEST(IcyReaderTest, SplitsAudioAndMetadataAtEveryChunkBoundary) {
    constexpr std::size_t kMetaint = 16;
    // Block kinds: a short title padded with zeros, an empty block, a block of the largest length
    // (255 * 16 bytes) whose text fills it without a terminating zero, and a block that is all
    // zeros.
    const std::string long_text = "StreamTitle='" + std::string(255 * 16 - 15, 'x') + "';";
    const std::vector<std::string> blocks = {
        std::string(1, '\x02') + "StreamTitle='One';" + std::string(14, '\0'),
        std::string(1, '\0'),
        std::string(1, '\xff') + long_text,
        std::string(1, '\x01') + std::string(16, '\0'),
    };
    std::string audio, wire;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        std::string piece;
        for (std::size_t k = 0; k < kMetaint; ++k) piece += static_cast<char>(i * 31 + k);
        audio += piece;
        wire += piece + blocks[i];
    }
    wire += "tail";  // the next audio run, cut short
    audio += "tail";
    const std::vector<std::string> metas = {"StreamTitle='One';", long_text};

    // Every single split point, then the stream one byte at a time.
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        const IcyOut out = FeedIcy(kMetaint, wire, {cut});
        ASSERT_EQ(out.audio, audio) << "split at " << cut;
        ASSERT_EQ(out.metas, metas) << "split at " << cut;
    }
    std::vector<std::size_t> each;
    for (std::size_t i = 1; i < wire.size(); ++i) each.push_back(i);
    const IcyOut bytewise = FeedIcy(kMetaint, wire, each);
    EXPECT_EQ(bytewise.audio, audio);
    EXPECT_EQ(bytewise.metas, metas);

    // Without icy-metaint every byte is audio, length bytes included.
    EXPECT_EQ(FeedIcy(0, wire, {5, 200}).audio, wire);
}

// --- Ogg chains and comment headers

std::string LittleEndian32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string CommentBody(const std::vector<std::string>& fields) {
    std::string s = LittleEndian32(6) + "vendor" + LittleEndian32(fields.size());
    for (const auto& f : fields) s += LittleEndian32(f.size()) + f;
    return s;
}

TEST(OggCommentTest, ParsesEveryHeaderKindAndBuildsTheTitle) {
    const std::vector<std::string> fields = {"title=Song", "ARTIST=Band", "ALBUM=Disc"};
    const std::string body = CommentBody(fields);
    EXPECT_EQ(ParseCommentPacket("\x03vorbis" + body), fields);
    EXPECT_EQ(ParseCommentPacket("OpusTags" + body), fields);
    // A FLAC metadata block of type 4, the last one (high bit set).
    EXPECT_EQ(ParseCommentPacket(std::string("\x84\x00\x00\x30", 4) + body), fields);
    // Cut inside the third field: the two complete ones remain.
    EXPECT_EQ(ParseCommentPacket("OpusTags" + body.substr(0, body.size() - 3)),
              (std::vector<std::string>{fields[0], fields[1]}));
    // A vendor length beyond the packet, or not a comment header at all.
    EXPECT_TRUE(ParseCommentPacket("OpusTags" + LittleEndian32(1000) + "x").empty());
    EXPECT_TRUE(ParseCommentPacket("OpusHead" + body).empty());

    const struct {
        std::vector<std::string> fields;
        std::string title;
    } rows[] = {
        {{"TITLE=Song", "ARTIST=Band"}, "Band - Song"},
        {{"Artist=Band", "title=Song"}, "Band - Song"},  // keys in any case
        {{"TITLE=Song"}, "Song"},
        {{"ARTIST=Band"}, "Band"},
        {{"ALBUM=Disc", "ARTISTS"}, ""},
        {{"TITLE=First", "TITLE=Second", "ARTIST=A", "ARTIST=B"}, "A - First"},
        {{"TITLE=", "ARTIST=Band"}, "Band"},
    };
    for (const auto& r : rows) EXPECT_EQ(CommentTitle(r.fields), r.title) << r.fields.front();
}

TEST(OggScannerTest, FindsTheChainBoundaryAndBothTitlesInAnyChunking) {
    SineSpec first;
    first.codec = AudioCodec::Vorbis;
    first.seconds = 1;
    first.artist = "Artist A";
    first.title = "First";
    first.serial_offset = 100;
    SineSpec second = first;
    second.codec = AudioCodec::Opus;
    second.artist = "Artist B";
    second.title = "Second";
    second.serial_offset = 200;
    const std::string a = EncodeSine(first);
    const std::string stream = a + EncodeSine(second);

    for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{27}, std::size_t{28},
                              std::size_t{4093}, stream.size()}) {
        std::vector<std::uint64_t> boundaries;
        std::vector<std::string> titles;
        OggScanner scanner([&](std::uint64_t at) { boundaries.push_back(at); },
                           [&](const std::string& t) { titles.push_back(t); });
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            scanner.Feed(reinterpret_cast<const std::uint8_t*>(stream.data()) + at, n);
        }
        EXPECT_TRUE(scanner.active()) << "chunk " << chunk;
        EXPECT_EQ(boundaries, std::vector<std::uint64_t>{a.size()}) << "chunk " << chunk;
        EXPECT_EQ(titles, (std::vector<std::string>{"Artist A - First", "Artist B - Second"}))
            << "chunk " << chunk;
    }

    // An MP3 stream is not Ogg: the scanner gives up without reporting anything.
    SineSpec mp3;
    const std::string bytes = EncodeSine(mp3);
    bool reported = false;
    OggScanner scanner([&](std::uint64_t) { reported = true; },
                       [&](const std::string&) { reported = true; });
    scanner.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_FALSE(scanner.active());
    EXPECT_FALSE(reported);
}

// --- playlists

using Entries = std::vector<std::string>;

TEST(PlaylistParseTest, ParsesEachKindWithRealBodies) {
    const std::string base = "http://radio.example/lists/station.pls?id=7";
    const struct {
        PlaylistKind kind;
        std::string body;
        Entries entries;
    } rows[] = {
        // Numbered out of order, keys in other cases, blanks around values, CR-only line ends.
        {PlaylistKind::Pls,
         "[playlist]\rNumberOfEntries=3\rfile2=http://b.example:8000/live\rTitle2=B\r"
         "File1 = http://a.example/stream \rLength1=-1\rFILE3=relay.mp3\rVersion=2\r",
         {"http://a.example/stream", "http://b.example:8000/live",
          "http://radio.example/lists/relay.mp3"}},
        {PlaylistKind::M3u,
         "\xef\xbb\xbf#EXTM3U\r\n#EXTINF:-1,Station\r\nhttp://a.example/x\r\n\r\n"
         "/root.aac\rsub/low.mp3\n#comment\n",
         {"http://a.example/x", "http://radio.example/root.aac",
          "http://radio.example/lists/sub/low.mp3"}},
        {PlaylistKind::Asx,
         "<ASX version=\"3.0\">\r\n<Title>T</Title>\r\n<Entry><Ref HREF=\"mms://w.example/Live\"/>"
         "</Entry>\r\n<entry><ref href='http://a.example/s?a=1&amp;b=2' /></entry>\r\n"
         "<entryref href=\"other.asx\"/></ASX>",
         {"mms://w.example/Live", "http://a.example/s?a=1&b=2",
          "http://radio.example/lists/other.asx"}},
        {PlaylistKind::Xspf,
         "<?xml version=\"1.0\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"
         "<trackList><track><location> http://a.example/1?x=1&amp;y=2 </location></track>"
         "<track><title>t</title><location>two.ogg</location></track></trackList></playlist>",
         {"http://a.example/1?x=1&y=2", "http://radio.example/lists/two.ogg"}},
        {PlaylistKind::Pls, "[playlist]\nNumberOfEntries=0\n", {}},
        // Windows Media references in INI form, as served under .asx addresses.
        {PlaylistKind::Asx,
         "[Reference]\r\nRef2=http://b.example/2?MSWMExt=.asf\r\nRef1=../live?sid=1\r\n",
         {"http://radio.example/live?sid=1", "http://b.example/2?MSWMExt=.asf"}},
    };
    for (const auto& r : rows) EXPECT_EQ(ParsePlaylist(r.kind, r.body, base), r.entries) << r.body;

    EXPECT_EQ(ResolveUrl("http://h.example", "a.mp3"), "http://h.example/a.mp3");
    EXPECT_EQ(ResolveUrl("https://h.example/d/l.m3u", "//cdn.example/s"), "https://cdn.example/s");
    EXPECT_EQ(ResolveUrl("http://h.example/d/l.m3u", "mmsh://w.example/s"), "mmsh://w.example/s");
    // By the URL standard: dot segments collapse, a bare ?query replaces the base's query.
    EXPECT_EQ(ResolveUrl("http://h.example/a/b/l.asx?x=1", "../s?sid=2"),
              "http://h.example/a/s?sid=2");
    EXPECT_EQ(ResolveUrl("http://h.example/d/l.m3u?x=1", "?y=2"), "http://h.example/d/l.m3u?y=2");
    EXPECT_EQ(ResolveUrl("http://h.example/d/", "/../x/./y"), "http://h.example/x/y");
    EXPECT_EQ(ResolveUrl("http://h.example:8000/d/l.pls", "a b.mp3"),
              "http://h.example:8000/d/a%20b.mp3");
}

TEST(PlaylistParseTest, RecognisesKindsByAddressContentTypeAndBody) {
    const struct {
        std::string url;
        PlaylistKind kind;
    } urls[] = {
        {"http://h.example/listen.pls", PlaylistKind::Pls},
        {"HTTP://H.EXAMPLE/LIVE.M3U?sid=1#top", PlaylistKind::M3u},
        {"http://h.example/a.asx", PlaylistKind::Asx},
        {"https://h.example/hls/Live.M3U8?token=1", PlaylistKind::M3u},
        {"http://h.example/a.wax", PlaylistKind::Asx},
        {"http://h.example/a.xspf", PlaylistKind::Xspf},
        {"http://radio.pls", PlaylistKind::None},  // a host name, not a file
        {"http://h.example/dir.pls/stream", PlaylistKind::None},
        {"http://h.example/stream?format=.pls", PlaylistKind::None},
        {"http://h.example/stream.mp3", PlaylistKind::None},
    };
    for (const auto& r : urls) EXPECT_EQ(PlaylistKindFromUrl(r.url), r.kind) << r.url;

    EXPECT_EQ(PlaylistKindFromContentType("audio/x-scpls; charset=UTF-8"), PlaylistKind::Pls);
    EXPECT_EQ(PlaylistKindFromContentType(" Audio/X-MpegURL"), PlaylistKind::M3u);
    EXPECT_EQ(PlaylistKindFromContentType("video/x-ms-asx"), PlaylistKind::Asx);
    EXPECT_EQ(PlaylistKindFromContentType("application/xspf+xml"), PlaylistKind::Xspf);
    // ASF audio streams share this type with .asx files: only the body can tell them apart.
    EXPECT_EQ(PlaylistKindFromContentType("video/x-ms-asf"), PlaylistKind::None);
    EXPECT_EQ(PlaylistKindFromContentType("audio/mpeg"), PlaylistKind::None);

    const std::string mp3 = EncodeSine(SineSpec{}).substr(0, 512);
    const struct {
        std::string head;
        PlaylistKind kind;
        bool html;
    } bodies[] = {
        {"\xef\xbb\xbf[Playlist]\r\nFile1=http://a", PlaylistKind::Pls, false},
        {"\r\n  [playlist]\r\nFile1=http://a", PlaylistKind::Pls, false},
        {"#EXTM3U\n#EXTINF:-1,x\nhttp://a", PlaylistKind::M3u, false},
        {"http://a.example/1\r\nhttp://a.example/2\r\n", PlaylistKind::M3u, false},
        {"  <asx version=\"3.0\"><entry>", PlaylistKind::Asx, false},
        {"[Reference]\r\nRef1=http://a", PlaylistKind::Asx, false},
        {"<?xml version=\"1.0\"?><asx version=\"3.0\">", PlaylistKind::Asx, false},
        {"<?xml version=\"1.0\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">",
         PlaylistKind::Xspf, false},
        {"<!DOCTYPE html>\n<html><head>", PlaylistKind::None, true},
        {"\n  <HTML><BODY>Moved</BODY></HTML>", PlaylistKind::None, true},
        {"<?xml version=\"1.0\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">",
         PlaylistKind::None, true},
        {"ICY 404 Resource Not Found", PlaylistKind::None, false},
        {mp3, PlaylistKind::None, false},
    };
    for (const auto& r : bodies) {
        EXPECT_EQ(PlaylistKindFromBody(r.head), r.kind) << r.head.substr(0, 40);
        EXPECT_EQ(LooksLikeHtml(r.head), r.html) << r.head.substr(0, 40);
    }
}

// Only M3U bodies with #EXT-X- tags go to the HLS demuxer; plain lists open entry by entry.
TEST(PlaylistParseTest, TellsHlsFromPlainM3u) {
    const struct {
        std::string body;
        bool hls;
    } rows[] = {
        {"#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\nseg1.ts\n", true},
        {"\xef\xbb\xbf#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=64000\r\nlow.m3u8\r\n", true},
        {"#EXTM3U\n#EXTINF:-1,Radio #EXT-X-FM\nhttp://a.example/live\n", false},
        {"http://a.example/1\n#EXT-X-ENDLIST\n", false},  // no #EXTM3U first
        {"#EXTM3U\n", false},
    };
    for (const auto& r : rows) EXPECT_EQ(IsHlsPlaylist(r.body), r.hls) << r.body;
}

// --- proxy text

using velmora::ParseProxyAddress;
using velmora::ProxyAddress;

TEST(ProxyAddressTest, SplitsHostAndCredentials) {
    const struct {
        std::string text;
        std::optional<ProxyAddress> want;
    } rows[] = {
        {"", std::nullopt},
        {" \t ", std::nullopt},
        {"proxy.example:3128", ProxyAddress{"proxy.example:3128", "", ""}},
        {" 10.0.0.1:8080\r\n", ProxyAddress{"10.0.0.1:8080", "", ""}},
        {"user:secret@proxy.example:3128", ProxyAddress{"proxy.example:3128", "user", "secret"}},
        {"user:p@ss:word@h:1", ProxyAddress{"h:1", "user", "p@ss:word"}},
        {"user@h:1", ProxyAddress{"h:1", "user", ""}},
        {"http://u:p@h.example:80/", ProxyAddress{"h.example:80", "u", "p"}},
        {"u:p@", std::nullopt},
    };
    for (const auto& r : rows) {
        const auto got = ParseProxyAddress(r.text);
        ASSERT_EQ(got.has_value(), r.want.has_value()) << "'" << r.text << "'";
        if (!got) continue;
        EXPECT_EQ(got->host_port, r.want->host_port) << r.text;
        EXPECT_EQ(got->user, r.want->user) << r.text;
        EXPECT_EQ(got->password, r.want->password) << r.text;
    }
}

}  // namespace
}  // namespace engine
