// SPDX-License-Identifier: GPL-3.0-or-later
#include "finder/search_query.h"

namespace velmora {
namespace {

const char* OrderName(StationOrder o) {
    switch (o) {
        case StationOrder::Clicks:
            return "clickcount";
        case StationOrder::Name:
            return "name";
        case StationOrder::Bitrate:
            return "bitrate";
        case StationOrder::Votes:
            break;
    }
    return "votes";
}

void Add(std::string& path, const char* name, std::string_view value) {
    if (value.empty()) return;
    path += path.find('?') == std::string::npos ? '?' : '&';
    path += name;
    path += '=';
    path += PercentEncode(value);
}

}  // namespace

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string SearchPath(const SearchQuery& q) {
    std::string path = "/json/stations/search";
    Add(path, "name", q.name);
    Add(path, "tag", q.tag);
    Add(path, "countrycode", q.countrycode);
    Add(path, "language", q.language);
    Add(path, "codec", q.codec);
    if (q.bitrate_min > 0) Add(path, "bitrateMin", std::to_string(q.bitrate_min));
    Add(path, "order", OrderName(q.order));
    Add(path, "reverse", q.order == StationOrder::Name ? "false" : "true");
    Add(path, "hidebroken", "true");
    Add(path, "limit", std::to_string(q.limit));
    Add(path, "offset", std::to_string(q.offset));
    return path;
}

std::string ByUuidPath(const std::vector<std::string>& uuids) {
    std::string list;
    for (const std::string& u : uuids) {
        if (!list.empty()) list += ',';
        list += PercentEncode(u);
    }
    return "/json/stations/byuuid?uuids=" + list;
}

std::string ClickPath(std::string_view uuid) {
    return "/json/url/" + PercentEncode(uuid);
}

}  // namespace velmora
