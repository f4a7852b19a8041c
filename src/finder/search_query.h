// SPDX-License-Identifier: GPL-3.0-or-later
// What the listener asks the directory for, and the request paths that ask it. The server's
// parameter names are exact (an unknown name is silently ignored there): "bitrateMin" is camelCase.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class StationOrder { Votes, Clicks, Name, Bitrate };

struct SearchQuery {
    std::string name;
    std::string tag;
    std::string countrycode;
    std::string language;
    std::string codec;
    int bitrate_min = 0;  // kbit/s; 0: any
    StationOrder order = StationOrder::Votes;
    int offset = 0;
    int limit = 100;
    bool operator==(const SearchQuery&) const = default;
};

// "/json/stations/search?..." for `q`. Empty filters are left out; the most voted, clicked and
// fastest come first, names in alphabetical order; broken stations are hidden.
std::string SearchPath(const SearchQuery& q);
// "/json/stations/byuuid?uuids=a,b".
std::string ByUuidPath(const std::vector<std::string>& uuids);
// "/json/url/<uuid>": counts a listener's click.
std::string ClickPath(std::string_view uuid);

// `text` percent-encoded for a query value or a path segment (all but unreserved characters).
std::string PercentEncode(std::string_view text);

}  // namespace velmora
