// SPDX-License-Identifier: GPL-3.0-or-later
// The proxy text the user types: "host:port" or "user:pass@host:port".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct ProxyAddress {
    std::string host_port;  // "host:port"
    std::string user;       // empty: no credentials
    std::string password;
};

// nullopt for an empty (or all-blank) text, which means a direct connection.
std::optional<ProxyAddress> ParseProxyAddress(std::string_view text);

}  // namespace velmora
