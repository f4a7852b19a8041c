// SPDX-License-Identifier: GPL-3.0-or-later
// Blocking POSIX socket helpers shared by the loopback servers of the tests. Every wait is bounded
// and checks a stop flag, so a server can always be torn down even when a client stops reading.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

// A listening TCP socket on 127.0.0.1 (port 0 picks a free port). Returns -1 on failure.
int ListenLoopback(std::uint16_t port, std::uint16_t* bound_port);
// Waits for a connection; -1 when `stop` was set or the socket failed.
int AcceptUntil(int listen_fd, const std::atomic<bool>& stop);
// Connects to 127.0.0.1:port; -1 on failure.
int ConnectLoopback(std::uint16_t port);

// Reads up to and including the blank line that ends a request or response head. False when the
// peer closed first, `stop` was set or the head grew beyond 64 KiB. Bytes read past the head are
// returned in `rest`.
bool ReadHead(int fd, const std::atomic<bool>& stop, std::string* head, std::string* rest);
// Sends everything; false when the peer is gone or `stop` was set.
bool SendAll(int fd, std::string_view data, const std::atomic<bool>& stop);
// True when the peer has closed or reset the connection (checked without blocking).
bool PeerClosed(int fd);
// Waits up to `ms` for readable data; >0 readable, 0 timeout, <0 error.
int WaitReadable(int fd, int ms);

// The head split into lines without their CR LF; the first line is the request or status line.
std::vector<std::string> SplitHeadLines(std::string_view head);
// The value of header `name` (case-insensitive) with leading blanks removed; empty when absent.
std::string HeaderValue(const std::vector<std::string>& lines, std::string_view name);

std::string Base64(std::string_view data);

}  // namespace velmora::test
