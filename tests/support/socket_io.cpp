// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/socket_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace velmora::test {

namespace {

// How often blocked waits look at the stop flag.
constexpr int kPollMs = 50;

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

int ListenLoopback(std::uint16_t port, std::uint16_t* bound_port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = LoopbackAddress(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    if (bound_port) *bound_port = ntohs(addr.sin_port);
    return fd;
}

int AcceptUntil(int listen_fd, const std::atomic<bool>& stop) {
    while (!stop.load()) {
        int ready = WaitReadable(listen_fd, kPollMs);
        if (ready < 0) return -1;
        if (ready == 0) continue;
        int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) return -1;
    }
    return -1;
}

int ConnectLoopback(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int WaitReadable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, ms);
    if (r < 0 && errno == EINTR) return 0;
    return r;
}

bool PeerClosed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return true;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool ReadHead(int fd, const std::atomic<bool>& stop, std::string* head, std::string* rest) {
    std::string buf;
    char chunk[4096];
    while (!stop.load()) {
        int ready = WaitReadable(fd, kPollMs);
        if (ready < 0) return false;
        if (ready == 0) continue;
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buf.append(chunk, static_cast<std::size_t>(n));
        std::size_t end = buf.find("\r\n\r\n");
        std::size_t sep = 4;
        if (end == std::string::npos) {
            end = buf.find("\n\n");
            sep = 2;
        }
        if (end != std::string::npos) {
            *head = buf.substr(0, end + sep);
            if (rest) *rest = buf.substr(end + sep);
            return true;
        }
        if (buf.size() > 65536) return false;
    }
    return false;
}

bool SendAll(int fd, std::string_view data, const std::atomic<bool>& stop) {
    while (!data.empty()) {
        if (stop.load()) return false;
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, kPollMs);
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::vector<std::string> SplitHeadLines(std::string_view head) {
    std::vector<std::string> lines;
    while (!head.empty()) {
        std::size_t nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        lines.emplace_back(line);
        if (nl == std::string_view::npos) break;
        head.remove_prefix(nl + 1);
    }
    return lines;
}

std::string HeaderValue(const std::vector<std::string>& lines, std::string_view name) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IEquals(line.substr(0, colon), name)) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        return std::string(value);
    }
    return {};
}

std::string Base64(std::string_view data) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                     (static_cast<unsigned char>(data[i + 1]) << 8) |
                     static_cast<unsigned char>(data[i + 2]);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < data.size()) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace velmora::test
