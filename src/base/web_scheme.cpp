// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/web_scheme.h"

#include <algorithm>
#include <cctype>

namespace velmora {

bool IsHttpScheme(std::string_view scheme) {
    const auto same = [](std::string_view a, std::string_view lower) {
        return a.size() == lower.size() &&
               std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) == y;
               });
    };
    return same(scheme, "http") || same(scheme, "https");
}

bool IsHttpUrl(std::string_view url) {
    const auto colon = url.find("://");
    return colon != std::string_view::npos && IsHttpScheme(url.substr(0, colon));
}

}  // namespace velmora
