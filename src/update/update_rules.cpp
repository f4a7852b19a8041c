// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <vector>

#include "base/web_scheme.h"
#include "update/update_signature.h"

namespace velmora {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
    return out;
}

std::string_view Trim(std::string_view s, std::string_view blanks = " \t\r\n") {
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

}  // namespace

std::string InfoValue(std::string_view keyword, std::string_view text, char terminator) {
    if (keyword.empty()) return {};
    const auto at = Lower(text).find(Lower(keyword));
    if (at == std::string::npos) return {};
    const std::string_view rest = text.substr(at + keyword.size());
    std::size_t end = rest.find(terminator);
    if (terminator == '\r') end = std::min(end, rest.find('\n'));
    if (end == std::string_view::npos) return {};
    return std::string(rest.substr(0, end));
}

UpdateInfo ParseUpdateInfo(std::string_view body) {
    UpdateInfo info;
    info.is_info_file = !body.empty() && body.front() == '#';
    info.version = InfoValue("#version=", body, '\r');
    info.date = InfoValue("#date=", body, '\r');
    info.served = InfoValue("#served=", body, '\r');
    info.caption = InfoValue("#caption=", body, '\r');
    info.message = InfoValue("#message=[", body, ']');
    info.redirect = InfoValue("#redirect=", body, '\r');
    info.url = InfoValue("#url=", body, '\r');
    info.sha256 = InfoValue("#sha256=", body, '\r');
    info.signature = InfoValue("#signature=", body, '\r');
    return info;
}

std::string DateSortKey(std::string_view date) {
    const auto first = date.find('/');
    if (first == std::string_view::npos) return {};
    const auto second = date.find('/', first + 1);
    if (second == std::string_view::npos) return {};
    std::string key(date.substr(second + 1));
    key += date.substr(0, first);
    key += date.substr(first + 1, second - first - 1);
    return key;
}

bool IsNewerVersion(VersionControl control, const UpdateInfo& info, std::string_view version_number,
                    std::string_view version_date) {
    if (control == VersionControl::ByNumber) {
        const std::optional<int> order = CompareVersions(info.version, version_number);
        return order && *order > 0;
    }
    return DateSortKey(info.date) > DateSortKey(version_date);
}

std::optional<int> CompareVersions(std::string_view a, std::string_view b) {
    // Each side as its whole-number parts; a part too long for 64 bits is no version number.
    auto parts = [](std::string_view v) -> std::optional<std::vector<std::uint64_t>> {
        std::vector<std::uint64_t> out;
        v = Trim(v);
        if (v.empty()) return std::nullopt;
        for (;;) {
            const auto dot = v.find('.');
            const std::string_view part = v.substr(0, dot);
            std::uint64_t n = 0;
            const auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), n);
            if (part.empty() || ec != std::errc() || ptr != part.data() + part.size()) {
                return std::nullopt;
            }
            out.push_back(n);
            if (dot == std::string_view::npos) return out;
            v.remove_prefix(dot + 1);
        }
    };
    const auto pa = parts(a), pb = parts(b);
    if (!pa || !pb) return std::nullopt;
    for (std::size_t i = 0; i < std::max(pa->size(), pb->size()); ++i) {
        const std::uint64_t x = i < pa->size() ? (*pa)[i] : 0;
        const std::uint64_t y = i < pb->size() ? (*pb)[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool IsWebAddress(std::string_view url) {
    const std::string lower = Lower(Trim(url));
    if (!IsHttpUrl(lower)) return false;
    const std::string_view rest = std::string_view(lower).substr(lower.find("://") + 3);
    return !rest.empty() && rest.front() != '/' && rest.find_first_of(" \t") == rest.npos;
}

UpdateVerdict JudgeUpdate(const UpdateInfo& info, VersionControl control,
                          std::string_view version_number, std::string_view version_date,
                          std::string_view release_key) {
    if (!info.is_info_file) return UpdateVerdict::NoUpdate;
    if (!CompareVersions(info.version, info.version)) return UpdateVerdict::NoVersion;
    if (control == VersionControl::ByNumber) {
        // Ours is always a number; a replayed statement of an older release is refused by name.
        const std::optional<int> order = CompareVersions(info.version, version_number);
        if (order && *order < 0) return UpdateVerdict::Older;
    }
    if (!IsNewerVersion(control, info, version_number, version_date)) {
        return UpdateVerdict::NoUpdate;
    }
    if (!IsWebAddress(info.url)) return UpdateVerdict::NotWebAddress;
    if (IsRedirect(info)) return UpdateVerdict::Offer;  // only a page opens: nothing to sign
    if (info.sha256.empty() || info.signature.empty()) return UpdateVerdict::Unsigned;
    const std::optional<std::string> signature = DecodeBase64(info.signature);
    if (info.sha256.size() != 64 || !signature ||
        !VerifyEd25519(release_key, SignedStatement(info.version, info.sha256), *signature)) {
        return UpdateVerdict::BadSignature;
    }
    return UpdateVerdict::Offer;
}

std::string BoundedText(std::string_view text, std::size_t max_lines, std::size_t max_chars) {
    std::size_t lines = 1, chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;  // inside a character
        if (chars == max_chars || (c == '\n' && lines == max_lines)) {
            std::string cut(Trim(text.substr(0, i), " \t\r\n"));
            return cut + "...";
        }
        ++chars;
        if (c == '\n') ++lines;
    }
    return std::string(text);
}

int UsersServed(std::string_view served) {
    int value = 0;
    const char* end = served.data() + served.size();
    const auto [ptr, ec] = std::from_chars(served.data(), end, value);
    if (served.empty() || ec != std::errc() || ptr != end) return -1;
    return value;
}

bool IsRedirect(const UpdateInfo& info) {
    return Lower(info.redirect) == "yes";
}

int ReadPercents(std::int64_t read, std::int64_t total) {
    if (total <= 0) return 0;
    const std::int64_t scaled = read * 100;
    std::int64_t q = scaled / total;
    const std::int64_t twice_rest = (scaled % total) * 2;
    if (twice_rest > total || (twice_rest == total && q % 2 != 0)) ++q;
    return static_cast<int>(q);
}

std::int64_t ParseContentLength(std::string_view value) {
    value = Trim(value);
    std::int64_t n = -1;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, n);
    if (value.empty() || ec != std::errc() || ptr != end || n < 0) return -1;
    return n;
}

std::string UrlFileName(std::string_view url) {
    const auto slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

std::string UpdateHost() {
    const char* env = std::getenv("VELMORA_UPDATE_HOST");
    if (env && *env) return env;
    return kDefaultUpdateHost;
}

std::string InfoFileUrl(std::string_view language_path) {
    if (language_path.empty()) return {};
    return "http://" + UpdateHost() + std::string(language_path);
}

bool IsLoopbackHost(std::string_view host) {
    std::string h = Lower(host);
    if (!h.empty() && h.front() == '[') {
        const auto close = h.find(']');
        h = h.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (std::count(h.begin(), h.end(), ':') == 1) {
        h = h.substr(0, h.find(':'));  // host:port
    }
    return h == "localhost" || h == "::1" || h.rfind("127.", 0) == 0;
}

std::string ReduceCommand(std::string_view command) {
    std::string cmd(command);
    const auto q1 = cmd.find('"');
    const auto q2 = q1 == std::string::npos ? q1 : cmd.find('"', q1 + 1);
    if (q2 != std::string::npos) {
        if (q1 == 0) {
            cmd = cmd.substr(1, q2 - 1);  // the quoted program path
        } else {
            // A quoted parameter after the program goes, with the blank before it.
            cmd.erase(q1 - 1, q2 - q1 + 2);
            cmd.erase(std::remove(cmd.begin(), cmd.end(), '"'), cmd.end());
        }
        return std::string(Trim(cmd, " "));
    }
    if (q1 != std::string::npos) cmd.erase(q1, 1);
    std::string program = cmd;
    std::string parameters;
    auto split_at = [&](std::string_view separator) {
        const auto at = cmd.find(separator);
        if (at == std::string::npos) return;
        program = cmd.substr(0, at);
        parameters = cmd.substr(at + 1);
    };
    if (cmd.find('\\') == std::string::npos && cmd.find(':') == std::string::npos) split_at(" ");
    for (std::string_view separator : {" -", " /", " \\", ",", " %"}) {
        if (!parameters.empty()) break;
        split_at(separator);
    }
    return std::string(Trim(program, " "));
}

bool SameExecutableKind(std::string_view candidate, std::string_view own) {
    // e_ident (16 bytes), e_type (2), e_machine (2).
    constexpr std::size_t kHeader = 20;
    if (candidate.size() < kHeader || own.size() < kHeader) return false;
    if (candidate.substr(0, 4) !=
            "\x7f"
            "ELF" ||
        own.substr(0, 4) !=
            "\x7f"
            "ELF")
        return false;
    // Class (32/64 bit) and byte order must match ours; the version byte is always 1.
    if (candidate[4] != own[4] || candidate[5] != own[5] || candidate[6] != 1) return false;
    const bool little = own[5] == 1;
    auto half = [little](std::string_view h, std::size_t at) {
        const auto lo = static_cast<unsigned char>(h[little ? at : at + 1]);
        const auto hi = static_cast<unsigned char>(h[little ? at + 1 : at]);
        return static_cast<unsigned>(lo | (hi << 8));
    };
    constexpr unsigned kExec = 2, kDyn = 3;
    const unsigned type = half(candidate, 16);
    return (type == kExec || type == kDyn) && half(candidate, 18) == half(own, 18);
}

bool Sha256Matches(std::string_view hex, std::string_view digest_hex) {
    hex = Trim(hex);
    if (hex.size() != 64 || digest_hex.size() != 64) return false;
    return Lower(hex) == Lower(digest_hex);
}

}  // namespace velmora
