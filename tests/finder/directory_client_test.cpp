// SPDX-License-Identifier: GPL-3.0-or-later
// The directory client against directory servers of our own on loopback: searches, failover,
// the bounds a stranger's server is held to, the day's clicks and cancellation.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "finder/directory_client.h"
#include "finder/directory_servers.h"
#include "support/directory_answers.h"
#include "support/http_proxy.h"
#include "support/stream_server.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::StationFields;

struct TempFolder {
    std::string path;
    TempFolder() {
        char name[] = "/tmp/velmora-finder-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

DirectoryConfig LocalConfig(std::vector<std::string> servers, const std::string& folder = {}) {
    DirectoryConfig c;
    c.servers = std::move(servers);
    c.state_folder = folder;
    c.cache_folder = folder;
    c.fetch.user_agent = "Velmora/9.9";
    c.discover = [] { return std::vector<std::string>(); };
    return c;
}

SearchQuery Named(const char* name) {
    SearchQuery q;
    q.name = name;
    return q;
}

StationFields Fields(std::string uuid, std::string name, std::string url,
                     std::string url_resolved = {}, std::string homepage = {},
                     std::string favicon = {}) {
    StationFields s;
    s.uuid = std::move(uuid);
    s.name = std::move(name);
    s.url = std::move(url);
    s.url_resolved = std::move(url_resolved);
    s.homepage = std::move(homepage);
    s.favicon = std::move(favicon);
    return s;
}

TEST(FoundStation, RecordsAreReadWithinTheirBounds) {
    const StationFields a =
        Fields("a", "Alpha", "http://a/x.pls", "http://a/stream", "https://a/", "ftp://a/i.png");
    const StationFields b = Fields("b", std::string(1000, 'n'), "file:///etc/passwd", "",
                                   "javascript:x", "https://b/i.png");
    const StationFields c =
        Fields("c", "Cyr \xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE", "https://c/live");
    const StationsAnswer r = ParseStations(test::StationList({a, b, c}));
    ASSERT_FALSE(r.error) << r.error.detail;
    ASSERT_EQ(r.stations.size(), 2u);  // b has no web address to play
    EXPECT_EQ(r.stations[0].PlayAddress(), "http://a/stream");
    EXPECT_EQ(r.stations[0].favicon, "");  // not http(s)
    EXPECT_EQ(r.stations[0].homepage, "https://a/");
    EXPECT_EQ(r.stations[1].PlayAddress(), "https://c/live");
    EXPECT_EQ(r.stations[1].bitrate, 128);
    EXPECT_EQ(CutUtf8("\xD0\xA0\xD0\xB0", 3), "\xD0\xA0");  // never half a character

    StationLimits small;
    small.max_records = 3;
    small.max_text = 10;
    const StationsAnswer many =
        ParseStations(test::StationList(test::NumberedStations(50, "http://s")), small);
    ASSERT_FALSE(many.error);
    EXPECT_EQ(many.stations.size(), 3u);
    const StationsAnswer long_name = ParseStations(test::StationList({b, a}), small);
    EXPECT_EQ(long_name.stations[0].name, "Alpha");
    const StationsAnswer cut = ParseStations(test::StationList({c}), small);
    EXPECT_EQ(cut.stations[0].name, "Cyr \xD0\xA0\xD0\xB0\xD0\xB4");
}

TEST(FoundStation, MalformedAnswersAndWrongTypesAreErrors) {
    const char* bad[] = {
        "",
        "<html>Service unavailable</html>",
        "[{\"name\":\"A\",\"url\":\"http://a\"}",  // cut off
        "{\"name\":\"A\"}",                        // not a list
        "[1,2]",
        "[{\"name\":\"A\",\"url\":\"http://a\",\"bitrate\":\"128\"}]",
        "[{\"name\":7,\"url\":\"http://a\"}]",
        "[{\"name\":\"A\",\"url\":[\"http://a\"]}]",
        "[{\"name\":\"A\",\"url\":\"http://a\",\"hls\":\"no\"}]",
        "[{\"x\":[[[[[[[[[[[[1]]]]]]]]]]]]}]",
    };
    for (const char* body : bad) {
        const StationsAnswer r = ParseStations(body);
        EXPECT_EQ(r.error.kind, DirectoryFailure::Malformed) << body;
        EXPECT_FALSE(r.error.detail.empty()) << body;
        EXPECT_TRUE(r.stations.empty()) << body;
    }
    EXPECT_EQ(ParseFacets("[{\"name\":\"pop\",\"stationcount\":\"9\"}]").error.kind,
              DirectoryFailure::Malformed);
}

TEST(SearchQuery, PathsUseTheServersExactNames) {
    SearchQuery q;
    q.name = "jazz & blues";
    q.codec = "AAC+";
    q.bitrate_min = 128;
    q.offset = 100;
    EXPECT_EQ(SearchPath(q),
              "/json/stations/search?name=jazz%20%26%20blues&codec=AAC%2B&bitrateMin=128"
              "&order=votes&reverse=true&hidebroken=true&limit=100&offset=100");
    q = {};
    q.order = StationOrder::Name;
    q.countrycode = "DE";
    EXPECT_EQ(SearchPath(q),
              "/json/stations/search?countrycode=DE&order=name&reverse=false&hidebroken=true"
              "&limit=100&offset=0");
    EXPECT_EQ(ByUuidPath({"a", "b"}), "/json/stations/byuuid?uuids=a,b");
}

TEST(DirectoryServers, FoundByNameAndOrdered) {
    const std::vector<std::string> found = DiscoverServers("localhost");
    ASSERT_FALSE(found.empty());
    for (const std::string& s : found) EXPECT_EQ(s.rfind("https://", 0), 0u) << s;
    EXPECT_EQ(PreferServer({"https://a", "https://b", "https://c"}, "https://c"),
              std::vector<std::string>({"https://c", "https://a", "https://b"}));
    EXPECT_EQ(PreferServer({"https://a"}, "https://old"),
              std::vector<std::string>({"https://old", "https://a"}));
    EXPECT_EQ(CleanBaseAddress(" http://127.0.0.1:8080// "), "http://127.0.0.1:8080");
    EXPECT_EQ(CleanBaseAddress("file:///etc"), "");
}

TEST(DirectoryClient, SearchesFailsOverAndRemembersTheServer) {
    test::StreamServer good;
    test::ServeDirectory(good, test::StationList(test::NumberedStations(3, "http://s")));
    test::StreamServer broken;  // answers, but not as a directory
    broken.AddBody("/json/stations/search", 503, "text/html", "busy");
    TempFolder folder;
    // A port nobody listens on, a server in trouble, then one that works.
    DirectoryClient client(
        LocalConfig({"http://127.0.0.1:1", broken.Url(""), good.Url("")}, folder.path));
    const StationsAnswer r = client.Search(Named("x"), nullptr);
    ASSERT_FALSE(r.error) << r.error.detail;
    ASSERT_EQ(r.stations.size(), 3u);
    EXPECT_EQ(r.stations[0].name, "Station 0");
    const auto asked = good.ConnectionsTo("/json/stations/search");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Header("User-Agent"), "Velmora/9.9");
    EXPECT_EQ(client.CurrentServer(), good.Url(""));
    EXPECT_EQ(ReadRememberedServer(folder.path + "/StationDirectory.txt"), good.Url(""));
    // The server that answered is asked first from now on.
    ASSERT_FALSE(client.Search(Named("y"), nullptr).error);
    EXPECT_EQ(broken.ConnectionsTo("/json/stations/search").size(), 1u);
    // The first page is kept for a start without the network.
    EXPECT_EQ(DirectoryClient(LocalConfig({}, folder.path)).LastResults().size(), 3u);

    DirectoryClient none(LocalConfig({"http://127.0.0.1:1"}));
    EXPECT_EQ(none.Search({}, nullptr).error.kind, DirectoryFailure::Unreachable);
}

// The user's proxy, with its credentials (a password may hold "@"), carries every request.
TEST(DirectoryClient, GoesThroughTheUsersProxy) {
    test::StreamServer server;
    test::ServeDirectory(server, test::StationList(test::NumberedStations(2, "http://s")));
    test::HttpProxy proxy("listener", "p@ss:word");
    DirectoryConfig config = LocalConfig({server.Url("")});
    config.fetch.proxy = proxy.Address();
    DirectoryClient client(config);
    const StationsAnswer r = client.Search(Named("x"), nullptr);
    ASSERT_FALSE(r.error) << r.error.detail;
    EXPECT_EQ(r.stations.size(), 2u);
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_TRUE(proxy.Requests()[0].authorised);
    // A wrong password is the proxy's refusal, not an answer.
    client.SetProxy("listener:wrong@127.0.0.1:" + std::to_string(proxy.port()));
    EXPECT_EQ(client.Search(Named("x"), nullptr).error.kind, DirectoryFailure::BadStatus);
}

TEST(DirectoryClient, HostileAnswersEndWithinBounds) {
    test::StreamServer server;
    server.AddBody("/json/stations/search", 200, "application/json",
                   "[" + std::string(50u << 20, ' ') + "]");
    // Too big, stated up front or not: the chunked answer has no length to refuse early.
    test::StreamRoute endless;
    endless.audio = std::string(1 << 20, '[');
    endless.style = test::StatusStyle::Http11Chunked;
    endless.content_type = "application/json";
    endless.loop = true;
    server.AddStream("/json/tags", endless);
    server.AddRedirect("/json/countries", 302, "file:///etc/passwd");
    DirectoryClient client(LocalConfig({server.Url("")}));
    const auto started = std::chrono::steady_clock::now();
    const StationsAnswer big = client.Search({}, nullptr);
    EXPECT_EQ(big.error.kind, DirectoryFailure::TooLarge);
    const FacetsAnswer tags = client.Tags(nullptr);
    EXPECT_EQ(tags.error.kind, DirectoryFailure::TooLarge);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(client.Countries(nullptr).error.kind, DirectoryFailure::Unreachable);
}

TEST(DirectoryClient, CountsOnePlayPerStationAndDay) {
    test::StreamServer server;
    TempFolder folder;
    const auto day = std::chrono::system_clock::now();
    {
        // A click the directory did not take is not counted: the next play tries again.
        DirectoryClient offline(LocalConfig({"http://127.0.0.1:1"}, folder.path));
        EXPECT_FALSE(offline.Click("abc", nullptr, day));
    }
    server.AddBody("/json/url/abc", 200, "application/json", R"({"ok":true})");
    {
        DirectoryClient client(LocalConfig({server.Url("")}, folder.path));
        EXPECT_TRUE(client.Click("abc", nullptr, day));
        EXPECT_FALSE(client.Click("abc", nullptr, day + 1min));
    }
    // A new start the same day remembers; the next day counts again.
    DirectoryClient later(LocalConfig({server.Url("")}, folder.path));
    EXPECT_FALSE(later.Click("abc", nullptr, day + 2min));
    EXPECT_TRUE(later.Click("abc", nullptr, day + 24h));
    EXPECT_EQ(server.ConnectionsTo("/json/url/abc").size(), 2u);
}

TEST(DirectoryClient, CancelWakesAWaitingSearchAtOnce) {
    test::StreamServer server;
    test::StreamRoute silent;
    silent.stall_before_header = true;
    server.AddStream("/json/stations/search", silent);
    DirectoryClient client(LocalConfig({server.Url("")}));
    auto cancel = std::make_shared<FetchCancel>();
    std::thread canceller([&] {
        ASSERT_TRUE(server.WaitForConnections(1, 5s));
        cancel->Cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    const StationsAnswer r = client.Search({}, cancel);
    const auto took = std::chrono::steady_clock::now() - started;
    canceller.join();
    EXPECT_EQ(r.error.kind, DirectoryFailure::Cancelled);
    EXPECT_LT(took, 3s);  // the transfer's own timeout is 20 s
}

}  // namespace
}  // namespace velmora
