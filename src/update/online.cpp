// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/online.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>

namespace velmora {

bool AnyInterfaceOnline(const std::vector<NetworkInterface>& interfaces) {
    return std::any_of(interfaces.begin(), interfaces.end(), [](const NetworkInterface& i) {
        return i.up && i.running && !i.loopback && i.has_address;
    });
}

std::vector<NetworkInterface> ListNetworkInterfaces() {
    std::vector<NetworkInterface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    // getifaddrs gives one entry per address (and one per link); merge them by name.
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        auto it = std::find_if(out.begin(), out.end(),
                               [a](const NetworkInterface& i) { return i.name == a->ifa_name; });
        if (it == out.end()) {
            out.push_back({a->ifa_name, false, false, false, false});
            it = out.end() - 1;
        }
        it->up = it->up || (a->ifa_flags & IFF_UP);
        it->running = it->running || (a->ifa_flags & IFF_RUNNING);
        it->loopback = it->loopback || (a->ifa_flags & IFF_LOOPBACK);
        const int family = a->ifa_addr ? a->ifa_addr->sa_family : AF_UNSPEC;
        it->has_address = it->has_address || family == AF_INET || family == AF_INET6;
    }
    freeifaddrs(list);
    return out;
}

bool IsOnline() {
    return AnyInterfaceOnline(ListNetworkInterfaces());
}

}  // namespace velmora
