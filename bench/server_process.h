// SPDX-License-Identifier: GPL-3.0-or-later
// A loopback stream server in a child process of its own, so that the CPU it spends encoding and
// sending never counts in the CPU clock of the process being measured. The child encodes the
// route's audio after the fork; the parent must create it before it starts any thread (before
// the application object and the engine), as a fork copies only the calling thread.
//
// Commands over a pipe: the parent can ask for the audio bytes the server sent on a connection,
// or for a fresh server, and closing the pipe ends the child.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/stream_server.h"

namespace velmora::bench {

class ServerProcess {
  public:
    // `make_route` runs in the child; the route is served at "/stream".
    explicit ServerProcess(const std::function<test::StreamRoute()>& make_route) {
        int to_child[2], to_parent[2];
        if (pipe(to_child) != 0 || pipe(to_parent) != 0) Die("pipe");
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ < 0) Die("fork");
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(0);
            close(to_child[1]);
            close(to_parent[0]);
            Serve(make_route, to_child[0], to_parent[1]);
            _exit(0);
        }
        close(to_child[0]);
        close(to_parent[1]);
        cmd_ = to_child[1];
        reply_ = to_parent[0];
        ReadPort();
    }
    ~ServerProcess() {
        close(cmd_);
        close(reply_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stream"; }

    // A fresh server on a new port: the old one's connection records, which hold every byte sent,
    // are dropped.
    void Renew() {
        const char c = 'n';
        if (write(cmd_, &c, 1) != 1) Die("write");
        ReadPort();
    }

    // The audio bytes sent on connection `index` (0: the first ever made), after waiting up to
    // `wait_ms` for the server to have closed it. `finished` tells whether it had; `connections`
    // how many there were. Empty when there is no such connection.
    std::string SentAudio(std::uint32_t index, std::uint32_t wait_ms, bool* finished = nullptr,
                          std::uint32_t* connections = nullptr) {
        const std::uint32_t ask[2] = {index, wait_ms};
        const char c = 'a';
        if (write(cmd_, &c, 1) != 1 || write(cmd_, ask, sizeof ask) != sizeof ask) Die("write");
        std::uint32_t head[2] = {};  // connections, finished
        std::uint64_t size = 0;
        if (!ReadAll(reply_, head, sizeof head) || !ReadAll(reply_, &size, sizeof size)) {
            Die("read");
        }
        std::string audio(size, '\0');
        if (size && !ReadAll(reply_, audio.data(), size)) Die("read");
        if (connections) *connections = head[0];
        if (finished) *finished = head[1] != 0;
        return audio;
    }

  private:
    void ReadPort() {
        if (!ReadAll(reply_, &port_, sizeof port_)) {
            std::fprintf(stderr, "the server process did not start\n");
            std::exit(2);
        }
    }
    [[noreturn]] static void Die(const char* what) {
        std::perror(what);
        std::exit(2);
    }
    static bool ReadAll(int fd, void* to, std::size_t n) {
        auto* p = static_cast<char*>(to);
        while (n) {
            const ssize_t r = read(fd, p, n);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    static bool WriteAll(int fd, const void* from, std::size_t n) {
        const auto* p = static_cast<const char*>(from);
        while (n) {
            const ssize_t w = write(fd, p, n);
            if (w <= 0) return false;
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }

    static void Serve(const std::function<test::StreamRoute()>& make_route, int cmd, int reply) {
        std::signal(SIGPIPE, SIG_IGN);
        const test::StreamRoute route = make_route();
        std::unique_ptr<test::StreamServer> server;
        const auto start = [&] {
            server.reset();
            server = std::make_unique<test::StreamServer>();
            server->AddStream("/stream", route);
            const std::uint16_t port = server->port();
            return WriteAll(reply, &port, sizeof port);
        };
        if (!start()) return;
        for (;;) {
            char c = 0;
            if (read(cmd, &c, 1) != 1) return;
            if (c == 'n') {
                if (!start()) return;
                continue;
            }
            if (c != 'a') return;
            std::uint32_t ask[2] = {};
            if (!ReadAll(cmd, ask, sizeof ask)) return;
            server->WaitForFinished(ask[0] + 1, std::chrono::milliseconds(ask[1]));
            const auto all = server->ConnectionsTo("/stream");
            std::uint32_t head[2] = {static_cast<std::uint32_t>(all.size()), 0};
            std::string audio;
            if (ask[0] < all.size()) {
                head[1] = all[ask[0]].finished ? 1 : 0;
                audio = all[ask[0]].sent_audio;
            }
            const std::uint64_t size = audio.size();
            if (!WriteAll(reply, head, sizeof head) || !WriteAll(reply, &size, sizeof size) ||
                !WriteAll(reply, audio.data(), audio.size())) {
                return;
            }
        }
    }

    pid_t pid_ = -1;
    int cmd_ = -1, reply_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace velmora::bench
