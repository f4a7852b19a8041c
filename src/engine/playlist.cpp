// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/playlist.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>

#include "base/web_scheme.h"
#include "text/server_text.h"

namespace engine {
namespace {

std::string Lower(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// Lines split on CR LF, LF or CR alone.
std::vector<std::string_view> Lines(std::string_view body) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i <= body.size()) {
        std::size_t j = body.find_first_of("\r\n", i);
        if (j == std::string_view::npos) j = body.size();
        out.push_back(body.substr(i, j - i));
        if (j + 1 < body.size() && body[j] == '\r' && body[j + 1] == '\n') ++j;
        i = j + 1;
    }
    return out;
}

bool HasScheme(std::string_view s) {
    const auto p = s.find("://");
    if (p == std::string_view::npos || p == 0) return false;
    return std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(p), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

std::string XmlUnescape(std::string_view s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            r += s[i];
            continue;
        }
        const auto semi = s.find(';', i);
        if (semi == std::string_view::npos) {
            r += s[i];
            continue;
        }
        const std::string ent = Lower(s.substr(i + 1, semi - i - 1));
        if (ent == "amp")
            r += '&';
        else if (ent == "lt")
            r += '<';
        else if (ent == "gt")
            r += '>';
        else if (ent == "quot")
            r += '"';
        else if (ent == "apos")
            r += '\'';
        else if (!ent.empty() && ent[0] == '#') {
            const long code = ent.size() > 1 && ent[1] == 'x'
                                  ? std::strtol(ent.c_str() + 2, nullptr, 16)
                                  : std::strtol(ent.c_str() + 1, nullptr, 10);
            if (code > 0 && code < 128) r += static_cast<char>(code);
        } else {
            r.append(s.substr(i, semi - i + 1));
        }
        i = semi;
    }
    return r;
}

// `key`N=... lines keyed by N so that entries play in their numbered order: .pls "FileN" and the
// INI form of Windows Media references, "RefN".
std::vector<std::string> ParseNumbered(std::string_view body, std::string_view key) {
    std::map<long, std::string> files;
    for (auto line : Lines(body)) {
        line = Trim(line);
        const std::string low = Lower(line.substr(0, std::min<std::size_t>(line.size(), 8)));
        if (low.rfind(key, 0) != 0) continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        // "File1 = ..." as INI files allow
        const std::string num(Trim(line.substr(key.size(), eq - key.size())));
        char* end = nullptr;
        const long n = std::strtol(num.c_str(), &end, 10);
        if (end == num.c_str() || *end != '\0') continue;
        const auto url = Trim(line.substr(eq + 1));
        if (!url.empty() && !files.count(n)) {
            files[n] = std::string(url);
            // Only the first entries are ever tried; one more tells that the list went on.
            if (files.size() > kPlaylistEntryLimit + 1) files.erase(std::prev(files.end()));
        }
    }
    std::vector<std::string> out;
    for (auto& [n, url] : files) out.push_back(url);
    return out;
}

std::vector<std::string> ParseM3u(std::string_view body) {
    std::vector<std::string> out;
    for (auto line : Lines(body)) {
        line = Trim(line);
        if (line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF) line.remove_prefix(3);
        if (line.empty() || line[0] == '#') continue;
        out.emplace_back(line);
        if (out.size() > kPlaylistEntryLimit) break;
    }
    return out;
}

// Values of attribute `attr` of every tag named one of `tags` (case-insensitive).
void CollectAttr(std::string_view body, std::string_view low, const std::vector<std::string>& tags,
                 std::string_view attr, std::vector<std::string>& out) {
    std::size_t i = 0;
    while ((i = low.find('<', i)) != std::string_view::npos) {
        const auto close = low.find('>', i);
        if (close == std::string_view::npos) break;
        std::string_view tag = low.substr(i + 1, close - i - 1);
        std::size_t name_end = 0;
        while (name_end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[name_end])) &&
               tag[name_end] != '/')
            ++name_end;
        const std::string name(tag.substr(0, name_end));
        if (std::find(tags.begin(), tags.end(), name) != tags.end()) {
            std::size_t a = name_end;
            while ((a = tag.find(attr, a)) != std::string_view::npos) {
                const bool starts = std::isspace(static_cast<unsigned char>(tag[a - 1]));
                std::size_t k = a + attr.size();
                while (k < tag.size() && std::isspace(static_cast<unsigned char>(tag[k]))) ++k;
                if (!starts || k >= tag.size() || tag[k] != '=') {
                    a += attr.size();
                    continue;
                }
                ++k;
                while (k < tag.size() && std::isspace(static_cast<unsigned char>(tag[k]))) ++k;
                std::size_t vstart = k, vend;
                if (k < tag.size() && (tag[k] == '"' || tag[k] == '\'')) {
                    vstart = k + 1;
                    vend = tag.find(tag[k], vstart);
                    if (vend == std::string_view::npos) vend = tag.size();
                } else {
                    vend = vstart;
                    while (vend < tag.size() &&
                           !std::isspace(static_cast<unsigned char>(tag[vend])) && tag[vend] != '/')
                        ++vend;
                }
                // Take the value from the original body: addresses are case-sensitive.
                const auto value = body.substr(i + 1 + vstart, vend - vstart);
                const std::string url = XmlUnescape(Trim(value));
                if (!url.empty()) out.push_back(url);
                break;
            }
        }
        if (out.size() > kPlaylistEntryLimit) break;
        i = close + 1;
    }
}

bool IsReferenceIni(std::string_view head) {
    std::string low = Lower(Trim(head.substr(0, std::min<std::size_t>(head.size(), 64))));
    if (low.rfind("\xef\xbb\xbf", 0) == 0) low.erase(0, 3);
    return low.rfind("[reference]", 0) == 0;
}

std::vector<std::string> ParseAsx(std::string_view body) {
    // Stations serve both forms of Windows Media references under .asx addresses.
    if (IsReferenceIni(body)) return ParseNumbered(body, "ref");
    std::vector<std::string> out;
    const std::string low = Lower(body);
    CollectAttr(body, low, {"ref", "entryref"}, "href", out);
    return out;
}

std::vector<std::string> ParseXspf(std::string_view body) {
    std::vector<std::string> out;
    const std::string low = Lower(body);
    std::size_t i = 0;
    while ((i = low.find("<location>", i)) != std::string::npos) {
        const auto start = i + 10;
        const auto end = low.find("</location>", start);
        if (end == std::string::npos) break;
        const std::string url = XmlUnescape(Trim(body.substr(start, end - start)));
        if (!url.empty()) out.push_back(url);
        if (out.size() > kPlaylistEntryLimit) break;
        i = end;
    }
    return out;
}

}  // namespace

PlaylistKind PlaylistKindFromUrl(std::string_view url) {
    const auto cut = url.find_first_of("?#");
    std::string path = Lower(url.substr(0, cut));
    const auto slash = path.rfind('/');
    const auto scheme = path.find("://");
    // "http://host.pls" has no path: its extension is a host name's.
    if (scheme != std::string::npos && (slash == std::string::npos || slash < scheme + 3))
        return PlaylistKind::None;
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return PlaylistKind::None;
    const std::string ext = path.substr(dot + 1);
    if (ext == "pls") return PlaylistKind::Pls;
    if (ext == "m3u" || ext == "m3u8") return PlaylistKind::M3u;
    if (ext == "asx" || ext == "wax" || ext == "wvx") return PlaylistKind::Asx;
    if (ext == "xspf") return PlaylistKind::Xspf;
    return PlaylistKind::None;
}

PlaylistKind PlaylistKindFromContentType(std::string_view ct) {
    std::string t = Lower(Trim(ct.substr(0, ct.find(';'))));
    if (t == "audio/x-scpls" || t == "application/pls+xml" || t == "audio/scpls")
        return PlaylistKind::Pls;
    if (t == "audio/x-mpegurl" || t == "audio/mpegurl" || t == "application/x-mpegurl" ||
        t == "application/vnd.apple.mpegurl")
        return PlaylistKind::M3u;
    if (t == "video/x-ms-asx" || t == "audio/x-ms-asx" || t == "video/x-ms-wax" ||
        t == "audio/x-ms-wax" || t == "video/x-ms-wvx")
        return PlaylistKind::Asx;
    if (t == "application/xspf+xml") return PlaylistKind::Xspf;
    return PlaylistKind::None;
}

PlaylistKind PlaylistKindFromBody(std::string_view head) {
    std::string low = Lower(Trim(head.substr(0, std::min<std::size_t>(head.size(), 512))));
    if (low.rfind("\xef\xbb\xbf", 0) == 0) low.erase(0, 3);
    if (low.rfind("[playlist]", 0) == 0) return PlaylistKind::Pls;
    if (low.rfind("#extm3u", 0) == 0) return PlaylistKind::M3u;
    if (low.rfind("<asx", 0) == 0 || low.rfind("[reference]", 0) == 0) return PlaylistKind::Asx;
    if (low.rfind("<?xml", 0) == 0 || low.rfind("<playlist", 0) == 0) {
        if (low.find("<playlist") != std::string::npos && low.find("xspf") != std::string::npos)
            return PlaylistKind::Xspf;
        if (low.find("<asx") != std::string::npos) return PlaylistKind::Asx;
    }
    // A bare list of addresses, one a line.
    if (velmora::IsHttpUrl(low) || low.rfind("mms://", 0) == 0 || low.rfind("mmsh://", 0) == 0) {
        const bool printable = std::all_of(low.begin(), low.end(), [](unsigned char c) {
            return c == '\r' || c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7f);
        });
        if (printable) return PlaylistKind::M3u;
    }
    return PlaylistKind::None;
}

bool LooksLikeHtml(std::string_view head) {
    std::string low = Lower(Trim(head.substr(0, std::min<std::size_t>(head.size(), 512))));
    if (low.rfind("\xef\xbb\xbf", 0) == 0) low.erase(0, 3);
    return low.rfind("<!doctype html", 0) == 0 || low.rfind("<html", 0) == 0 ||
           low.rfind("<head", 0) == 0 || low.rfind("<body", 0) == 0 ||
           (low.rfind("<?xml", 0) == 0 && low.find("<html") != std::string::npos);
}

std::string ResolveUrl(std::string_view base, std::string_view ref) {
    if (HasScheme(ref)) return std::string(ref);
    // The URL standard's rules (../, ?query, //host), as curl applies them to redirects.
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
    if (!u) return {};
    constexpr unsigned kFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE;
    if (curl_url_set(u.get(), CURLUPART_URL, std::string(base).c_str(), kFlags) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_URL, std::string(ref).c_str(), kFlags) != CURLUE_OK)
        return {};
    char* joined = nullptr;
    if (curl_url_get(u.get(), CURLUPART_URL, &joined, 0) != CURLUE_OK || !joined) return {};
    std::string out(joined);
    curl_free(joined);
    return out;
}

std::vector<std::string> ParsePlaylist(PlaylistKind kind, std::string_view body,
                                       std::string_view base_url, bool* cut) {
    std::vector<std::string> raw;
    switch (kind) {
        case PlaylistKind::Pls:
            raw = ParseNumbered(body, "file");
            break;
        case PlaylistKind::M3u:
            raw = ParseM3u(body);
            break;
        case PlaylistKind::Asx:
            raw = ParseAsx(body);
            break;
        case PlaylistKind::Xspf:
            raw = ParseXspf(body);
            break;
        case PlaylistKind::None:
            break;
    }
    if (cut) *cut = raw.size() > kPlaylistEntryLimit;
    if (raw.size() > kPlaylistEntryLimit) raw.resize(kPlaylistEntryLimit);
    std::vector<std::string> out;
    for (auto& r : raw) {
        std::string url = ResolveUrl(base_url, r);
        if (!url.empty()) out.push_back(std::move(url));  // an entry that is no address at all
    }
    return out;
}

bool IsHlsAddress(std::string_view url) {
    return Lower(url).find(".m3u8") != std::string::npos;
}

bool IsHlsPlaylist(std::string_view body) {
    body = velmora::WithoutByteOrderMark(body);
    if (body.rfind("#EXTM3U", 0) != 0) return false;
    // Plain .m3u lists use #EXTM3U and #EXTINF too; only HLS has the #EXT-X- tags.
    for (std::size_t at = body.find("#EXT-X-"); at != std::string_view::npos;
         at = body.find("#EXT-X-", at + 1))
        if (body[at - 1] == '\n' || body[at - 1] == '\r') return true;
    return false;
}

}  // namespace engine
