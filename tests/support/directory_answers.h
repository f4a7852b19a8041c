// SPDX-License-Identifier: GPL-3.0-or-later
// Answers of a community station directory for tests and benchmarks, built from its documented
// record fields, and a loopback server that serves them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "support/stream_server.h"

namespace velmora::test {

struct StationFields {
    std::string uuid;
    std::string name;
    std::string url;
    std::string url_resolved;
    std::string homepage;
    std::string favicon;
    std::string tags;
    std::string countrycode = "DE";
    std::string language = "german";
    std::string codec = "MP3";
    int bitrate = 128;
    int votes = 0;
    int clickcount = 0;
};

// One station record as the directory writes it (flags as 0/1, all fields present).
std::string StationRecord(const StationFields& s);
// A JSON array of the records.
std::string StationList(const std::vector<StationFields>& stations);
// `count` stations named "Station <i>", on `base` (e.g. "http://127.0.0.1:9/stream").
std::vector<StationFields> NumberedStations(std::size_t count, const std::string& base);

// Serves `stations_json` for every search, byuuid and click path of a directory, and two
// countries and three tags for the filters.
void ServeDirectory(StreamServer& server, const std::string& stations_json);

}  // namespace velmora::test
