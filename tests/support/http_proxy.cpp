// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/http_proxy.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "support/socket_io.h"

namespace velmora::test {

namespace {

bool StartsWithNoCase(const std::string& line, const std::string& prefix) {
    if (line.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

void Reply(int fd, const std::string& status, const std::string& extra,
           const std::atomic<bool>& stop) {
    SendAll(
        fd,
        "HTTP/1.1 " + status + "\r\n" + extra + "Content-Length: 0\r\nConnection: close\r\n\r\n",
        stop);
}

}  // namespace

struct HttpProxy::Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

std::string ProxiedRequest::Header(const std::string& name) const {
    std::vector<std::string> lines{request_line};
    lines.insert(lines.end(), headers.begin(), headers.end());
    return HeaderValue(lines, name);
}

HttpProxy::HttpProxy(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
    listen_fd_ = ListenLoopback(0, &port_);
    if (listen_fd_ >= 0) acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpProxy::~HttpProxy() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& w : workers_) w->thread.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::string HttpProxy::Address(bool with_credentials) const {
    std::string address = "127.0.0.1:" + std::to_string(port_);
    if (with_credentials && !user_.empty()) address = user_ + ":" + password_ + "@" + address;
    return address;
}

std::vector<ProxiedRequest> HttpProxy::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool HttpProxy::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void HttpProxy::AcceptLoop() {
    while (!stop_) {
        int fd = AcceptUntil(listen_fd_, stop_);
        if (fd < 0) break;
        // Only the acceptor touches workers_ until the destructor joins it.
        for (auto it = workers_.begin(); it != workers_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
        auto worker = std::make_unique<Worker>();
        Worker* w = worker.get();
        worker->thread = std::thread([this, fd, w] {
            Serve(fd);
            w->done = true;
        });
        workers_.push_back(std::move(worker));
    }
}

void HttpProxy::Serve(int fd) {
    std::string head, rest;
    if (!ReadHead(fd, stop_, &head, &rest)) {
        ::close(fd);
        return;
    }
    std::vector<std::string> lines = SplitHeadLines(head);
    ProxiedRequest request;
    if (!lines.empty()) request.request_line = lines[0];
    request.headers.assign(lines.begin() + (lines.empty() ? 0 : 1), lines.end());

    // "GET http://127.0.0.1:PORT/path HTTP/1.x"
    const std::string& line = request.request_line;
    std::size_t sp1 = line.find(' ');
    std::size_t sp2 = line.rfind(' ');
    std::string target = sp1 == std::string::npos || sp2 <= sp1
                             ? std::string()
                             : line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string scheme = "http://";
    int upstream_port = 0;
    std::string path = "/";
    bool valid = target.rfind(scheme, 0) == 0;
    if (valid) {
        std::string authority = target.substr(scheme.size());
        if (std::size_t slash = authority.find('/'); slash != std::string::npos) {
            path = authority.substr(slash);
            authority.resize(slash);
        }
        std::size_t colon = authority.rfind(':');
        std::string host = authority.substr(0, colon);
        upstream_port = colon == std::string::npos ? 80 : std::atoi(authority.c_str() + colon + 1);
        // Tests never reach beyond the loopback interface.
        valid = (host == "127.0.0.1" || host == "localhost") && upstream_port > 0;
    }
    const std::string expected = "Basic " + Base64(user_ + ":" + password_);
    const bool authorised =
        valid && (user_.empty() || HeaderValue(lines, "Proxy-Authorization") == expected);
    request.authorised = authorised;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    changed_.notify_all();

    if (!valid) {
        Reply(fd, "400 Bad Request", "", stop_);
    } else if (!authorised) {
        Reply(fd, "407 Proxy Authentication Required",
              "Proxy-Authenticate: Basic realm=\"loopback\"\r\n", stop_);
    } else if (int up = ConnectLoopback(static_cast<std::uint16_t>(upstream_port)); up < 0) {
        Reply(fd, "502 Bad Gateway", "", stop_);
    } else {
        std::string forward = line.substr(0, sp1) + " " + path + line.substr(sp2) + "\r\n";
        for (const std::string& h : request.headers) {
            if (StartsWithNoCase(h, "Proxy-") || StartsWithNoCase(h, "Connection:")) continue;
            forward += h + "\r\n";
        }
        forward += "Connection: close\r\n\r\n" + rest;
        if (SendAll(up, forward, stop_)) {
            char buf[16384];
            while (!stop_) {
                int ready = WaitReadable(up, 50);
                if (ready < 0) break;
                if (ready == 0) {
                    // The client hung up: stop relaying.
                    if (WaitReadable(fd, 0) > 0 && ::recv(fd, buf, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
                        break;
                    continue;
                }
                ssize_t n = ::recv(up, buf, sizeof buf, 0);
                if (n <= 0 ||
                    !SendAll(fd, std::string_view(buf, static_cast<std::size_t>(n)), stop_))
                    break;
            }
        }
        ::close(up);
    }
    ::shutdown(fd, SHUT_WR);
    WaitReadable(fd, 20);
    ::close(fd);
}

}  // namespace velmora::test
