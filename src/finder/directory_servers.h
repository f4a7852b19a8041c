// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the directory's servers as it asks its clients to: the addresses of one well-known
// name, each turned back into its own server name, in random order; the server that answered
// last time goes first.
#pragma once

#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kDirectoryHost = "all.api.radio-browser.info";
// A base address ("http://127.0.0.1:8080") that replaces the discovery.
inline constexpr const char* kDirectoryEnvironment = "VELMORA_STATION_DIRECTORY";

// "https://<name>" for every address of `host`, reverse-resolved (an address without a name is
// left out, as its certificate would not match), without repeats, shuffled; "https://<host>" when
// none has a name. Blocks on DNS.
std::vector<std::string> DiscoverServers(const std::string& host = kDirectoryHost);

// `servers` with `preferred` moved (or put) first; an empty `preferred` changes nothing.
std::vector<std::string> PreferServer(std::vector<std::string> servers,
                                      const std::string& preferred);

// A base address as the user gave it: http(s) only, without trailing slashes; empty when not one.
std::string CleanBaseAddress(std::string text);

// The server remembered in `file`: its first line; empty when there is none.
std::string ReadRememberedServer(const std::string& file);
// Remembers `server` in `file` (written whole through a temporary file); false on failure.
bool RememberServer(const std::string& file, const std::string& server);

}  // namespace velmora
