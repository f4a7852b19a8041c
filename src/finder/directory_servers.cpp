// SPDX-License-Identifier: GPL-3.0-or-later
#include "finder/directory_servers.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "base/web_scheme.h"

namespace velmora {

std::vector<std::string> DiscoverServers(const std::string& host) {
    std::vector<std::string> out;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return out;
    for (addrinfo* a = list; a; a = a->ai_next) {
        char name[NI_MAXHOST];
        if (getnameinfo(a->ai_addr, a->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD) !=
            0) {
            continue;
        }
        std::string server = std::string("https://") + name;
        if (std::find(out.begin(), out.end(), server) == out.end()) out.push_back(server);
    }
    // Addresses without names still mean the directory is there: its common name serves them.
    if (out.empty() && list) out.push_back("https://" + host);
    freeaddrinfo(list);
    std::shuffle(out.begin(), out.end(), std::mt19937(std::random_device{}()));
    return out;
}

std::vector<std::string> PreferServer(std::vector<std::string> servers,
                                      const std::string& preferred) {
    if (preferred.empty()) return servers;
    servers.erase(std::remove(servers.begin(), servers.end(), preferred), servers.end());
    servers.insert(servers.begin(), preferred);
    return servers;
}

std::string CleanBaseAddress(std::string text) {
    while (!text.empty() && (text.back() == '/' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return IsHttpUrl(text) ? text : std::string();
}

std::string ReadRememberedServer(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return CleanBaseAddress(line);
}

bool RememberServer(const std::string& file, const std::string& server) {
    const std::string temporary = file + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << server << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), file.c_str()) == 0;
}

}  // namespace velmora
