// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/proxy_address.h"

namespace velmora {

std::optional<ProxyAddress> ParseProxyAddress(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t\r\n");
    text = text.substr(first, last - first + 1);
    // A scheme some users paste in front ("http://") is not part of the address.
    if (const auto s = text.find("://"); s != std::string_view::npos) text.remove_prefix(s + 3);
    ProxyAddress p;
    // The last '@' separates the credentials: a password may itself contain '@'.
    if (const auto at = text.rfind('@'); at != std::string_view::npos) {
        const std::string_view cred = text.substr(0, at);
        text.remove_prefix(at + 1);
        const auto colon = cred.find(':');
        p.user = std::string(cred.substr(0, colon));
        if (colon != std::string_view::npos) p.password = std::string(cred.substr(colon + 1));
    }
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    p.host_port = std::string(text);
    return p;
}

}  // namespace velmora
