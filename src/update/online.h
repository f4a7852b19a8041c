// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the machine is online, judged from its network interfaces without any name look-up, so
// the window never waits on a resolver.
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct NetworkInterface {
    std::string name;
    bool up = false;
    bool running = false;  // the link is there (a cable plugged in, a network joined)
    bool loopback = false;
    bool has_address = false;  // an IPv4 or IPv6 address is assigned
};

// True when one interface is up and running, is not a loopback one and has an address.
bool AnyInterfaceOnline(const std::vector<NetworkInterface>& interfaces);
// The machine's interfaces as the system lists them (empty when they cannot be read).
std::vector<NetworkInterface> ListNetworkInterfaces();
// AnyInterfaceOnline over this machine's interfaces.
bool IsOnline();

}  // namespace velmora
