// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/directory_answers.h"

#include <cstdio>

namespace velmora::test {
namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string StationRecord(const StationFields& s) {
    return "{\"changeuuid\":\"c-" + s.uuid + "\",\"stationuuid\":" + Quoted(s.uuid) +
           ",\"name\":" + Quoted(s.name) + ",\"url\":" + Quoted(s.url) +
           ",\"url_resolved\":" + Quoted(s.url_resolved) + ",\"homepage\":" + Quoted(s.homepage) +
           ",\"favicon\":" + Quoted(s.favicon) + ",\"tags\":" + Quoted(s.tags) +
           ",\"country\":\"\",\"countrycode\":" + Quoted(s.countrycode) +
           ",\"language\":" + Quoted(s.language) + ",\"votes\":" + std::to_string(s.votes) +
           ",\"codec\":" + Quoted(s.codec) + ",\"bitrate\":" + std::to_string(s.bitrate) +
           ",\"hls\":0,\"lastcheckok\":1,\"clickcount\":" + std::to_string(s.clickcount) +
           ",\"geo_lat\":null}";
}

std::string StationList(const std::vector<StationFields>& stations) {
    std::string out = "[";
    for (const StationFields& s : stations) {
        if (out.size() > 1) out += ',';
        out += StationRecord(s);
    }
    return out + "]";
}

std::vector<StationFields> NumberedStations(std::size_t count, const std::string& base) {
    std::vector<StationFields> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        StationFields s;
        s.uuid = "9617a958-0601-11e8-ae97-52543be04c81-" + n;
        s.name = "Station " + n;
        s.url = base + "/" + n;
        s.homepage = "https://station" + n + ".example.org/";
        s.tags = "pop,rock,news";
        s.votes = static_cast<int>(count - i);
        out.push_back(std::move(s));
    }
    return out;
}

void ServeDirectory(StreamServer& server, const std::string& stations_json) {
    server.AddBody("/json/stations/search", 200, "application/json", stations_json);
    server.AddBody("/json/stations/byuuid", 200, "application/json", stations_json);
    server.AddBody("/json/countries", 200, "application/json",
                   R"([{"name":"Germany","iso_3166_1":"DE","stationcount":4000},)"
                   R"({"name":"Russia","iso_3166_1":"RU","stationcount":3000}])");
    server.AddBody("/json/tags", 200, "application/json",
                   R"([{"name":"pop","stationcount":900},{"name":"rock","stationcount":800},)"
                   R"({"name":"news","stationcount":700}])");
}

}  // namespace velmora::test
