// SPDX-License-Identifier: GPL-3.0-or-later
// The records of the community station directory and their parsing. The directory is a
// stranger's server: every answer is read within bounds (records, text lengths, nesting), and a
// wrong shape or type is an error, never a guess.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "finder/directory_error.h"

namespace velmora {

struct FoundStation {
    std::string uuid;  // "stationuuid": the directory's lasting id of the station
    std::string name;
    std::string url;           // as the station was entered
    std::string url_resolved;  // what the directory found behind it (playlists followed)
    std::string homepage;
    std::string favicon;
    std::string tags;  // comma-separated
    std::string countrycode;
    std::string language;
    std::string codec;
    int bitrate = 0;
    bool hls = false;
    bool last_check_ok = true;
    long long votes = 0;
    long long clickcount = 0;

    // The address to play: url_resolved, else url.
    const std::string& PlayAddress() const { return url_resolved.empty() ? url : url_resolved; }
    bool operator==(const FoundStation&) const = default;
};

// A country or tag for the search filters.
struct DirectoryFacet {
    std::string name;
    std::string code;  // the country's ISO 3166-1 code; empty for tags
    long long stations = 0;
    bool operator==(const DirectoryFacet&) const = default;
};

struct StationLimits {
    std::size_t max_records = 1000;  // further records are not read
    std::size_t max_text = 400;      // names, tags, language: longer texts are cut
    std::size_t max_address = 2048;  // longer addresses are dropped, not cut
};

struct StationsAnswer {
    std::vector<FoundStation> stations;
    DirectoryError error;
};
struct FacetsAnswer {
    std::vector<DirectoryFacet> facets;
    DirectoryError error;
};

// An answer of /json/stations/...: a JSON array of station objects. Addresses other than
// http(s) are dropped; a station left without an address to play is left out.
StationsAnswer ParseStations(std::string_view json, const StationLimits& limits = {});
// An answer of /json/countries or /json/tags.
FacetsAnswer ParseFacets(std::string_view json, const StationLimits& limits = {});

// `text` cut to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t bytes);

}  // namespace velmora
