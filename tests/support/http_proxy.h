// SPDX-License-Identifier: GPL-3.0-or-later
// A loopback forward HTTP proxy for tests: takes absolute-URI GET requests, optionally demands
// Basic credentials (407 otherwise), forwards to 127.0.0.1 upstreams and relays the answer byte
// for byte, whatever its status line looks like.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

struct ProxiedRequest {
    std::string request_line;          // as received, absolute URI included
    std::vector<std::string> headers;  // as received
    bool authorised = false;           // passed on upstream (false: answered 407 or 400)

    std::string Header(const std::string& name) const;
};

class HttpProxy {
  public:
    // Empty user: no credentials needed.
    explicit HttpProxy(std::string user = {}, std::string password = {});
    ~HttpProxy();
    HttpProxy(const HttpProxy&) = delete;
    HttpProxy& operator=(const HttpProxy&) = delete;

    std::uint16_t port() const { return port_; }
    // "127.0.0.1:<port>" or "user:password@127.0.0.1:<port>", the form the engine takes.
    std::string Address(bool with_credentials = true) const;

    std::vector<ProxiedRequest> Requests() const;
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    struct Worker;
    void AcceptLoop();
    void Serve(int fd);

    std::string user_, password_;
    std::uint16_t port_ = 0;
    int listen_fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;  // guards the two below
    mutable std::condition_variable changed_;
    std::vector<ProxiedRequest> requests_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace velmora::test
