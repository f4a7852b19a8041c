// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/stream_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "support/socket_io.h"

namespace velmora::test {

namespace {

// Beyond this the record stops growing, so a looping stream cannot eat the test's memory.
constexpr std::size_t kMaxRecordedAudio = 64u << 20;
constexpr std::size_t kFastChunk = 4096;

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

std::string TitleBlock(const std::string& title) {
    std::string text = "StreamTitle='" + title + "';";
    std::size_t units = std::min<std::size_t>((text.size() + 15) / 16, 255);
    text.resize(units * 16, '\0');
    return std::string(1, static_cast<char>(units)) + text;
}

// Length 255 followed by binary bytes (zeros, quotes and semicolons among them): what a client
// sees when it has lost track of the metadata interval.
std::string GarbageBlock(std::size_t block) {
    std::string out(1, static_cast<char>(255));
    for (std::size_t i = 0; i < 255 * 16; ++i)
        out += static_cast<char>((i * 37 + block * 11 + (i >> 3)) & 0xff);
    return out;
}

std::string PathOf(const std::string& request_line) {
    std::size_t a = request_line.find(' ');
    if (a == std::string::npos) return {};
    std::size_t b = request_line.find(' ', a + 1);
    std::string target = request_line.substr(a + 1, b == std::string::npos ? b : b - a - 1);
    // A proxy may forward the absolute form; keep only the path.
    if (std::size_t scheme = target.find("://"); scheme != std::string::npos) {
        std::size_t slash = target.find('/', scheme + 3);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    if (std::size_t q = target.find('?'); q != std::string::npos) target.resize(q);
    return target;
}

}  // namespace

struct StreamServer::Route {
    std::size_t only_connection = kNever;
    bool is_stream = false;
    StreamRoute stream;
    std::string response;  // complete bytes for fixed routes
};

struct StreamServer::Connection {
    int fd = -1;
    ConnectionRecord record;  // guarded by the server's mutex
    bool done = false;        // guarded by the server's mutex
    std::size_t index = 0;    // earlier connections to the same path; guarded likewise
};

StreamRoute IcecastRoute(std::string audio, std::size_t bytes_per_second,
                         std::size_t start_offset) {
    StreamRoute r;
    r.audio = std::move(audio);
    r.style = StatusStyle::Http10;
    r.burst_bytes = 65536;
    r.bytes_per_second = bytes_per_second;
    r.loop = true;
    r.start_offset = start_offset;
    return r;
}

std::string ConnectionRecord::Header(const std::string& name) const {
    std::vector<std::string> lines{request_line};
    lines.insert(lines.end(), headers.begin(), headers.end());
    return HeaderValue(lines, name);
}

StreamServer::StreamServer() {
    listen_fd_ = ListenLoopback(0, &port_);
    if (listen_fd_ < 0) {
        std::perror("stream server: listen");
        return;
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

StreamServer::~StreamServer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    Reap(true);
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::string StreamServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void StreamServer::AddStream(const std::string& path, StreamRoute route) {
    auto r = std::make_shared<Route>();
    r->is_stream = true;
    r->stream = std::move(route);
    std::lock_guard lock(mutex_);
    routes_.emplace_back(path, std::move(r));
}

void StreamServer::AddBody(const std::string& path, int status, const std::string& content_type,
                           const std::string& body, std::vector<std::string> headers) {
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    if (!content_type.empty()) head += "Content-Type: " + content_type + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const std::string& h : headers) head += h + "\r\n";
    head += "\r\n";
    AddRaw(path, head + body);
}

void StreamServer::AddRedirect(const std::string& path, int status, const std::string& location) {
    AddBody(path, status, "text/html", "<html><body>Moved</body></html>",
            {"Location: " + location});
}

void StreamServer::AddHtml(const std::string& path, const std::string& html) {
    AddBody(path, 200, "text/html; charset=utf-8", html);
}

void StreamServer::AddError(const std::string& path, int status, const std::string& body) {
    AddBody(path, status, "text/html", body);
}

void StreamServer::AddRaw(const std::string& path, const std::string& bytes) {
    auto r = std::make_shared<Route>();
    r->response = bytes;
    std::lock_guard lock(mutex_);
    routes_.emplace_back(path, std::move(r));
}

void StreamServer::AddRawAt(const std::string& path, std::size_t connection,
                            const std::string& bytes) {
    auto r = std::make_shared<Route>();
    r->only_connection = connection;
    r->response = bytes;
    std::lock_guard lock(mutex_);
    routes_.emplace_back(path, std::move(r));
}

void StreamServer::ResumeStalled() {
    {
        std::lock_guard lock(mutex_);
        ++resume_generation_;
    }
    changed_.notify_all();
}

std::vector<ConnectionRecord> StreamServer::Connections() const {
    std::lock_guard lock(mutex_);
    std::vector<ConnectionRecord> out;
    for (const auto& c : connections_) out.push_back(c->record);
    return out;
}

std::vector<ConnectionRecord> StreamServer::ConnectionsTo(const std::string& path) const {
    std::vector<ConnectionRecord> out;
    for (ConnectionRecord& r : Connections())
        if (r.path == path) out.push_back(std::move(r));
    return out;
}

bool StreamServer::WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_.size() >= count; });
}

bool StreamServer::WaitForFinished(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return std::count_if(connections_.begin(), connections_.end(), [](const auto& c) {
                   return c->record.finished;
               }) >= static_cast<std::ptrdiff_t>(count);
    });
}

bool StreamServer::WaitForAudioSent(const std::string& path, std::size_t bytes,
                                    std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t total = 0;
        for (const auto& c : connections_)
            if (c->record.path == path) total += c->record.sent_audio.size();
        return total >= bytes;
    });
}

void StreamServer::AcceptLoop() {
    while (!stop_) {
        int fd = AcceptUntil(listen_fd_, stop_);
        if (fd < 0) break;
        auto conn = std::make_shared<Connection>();
        conn->fd = fd;
        conn->record.accepted = std::chrono::steady_clock::now();
        Reap(false);
        std::lock_guard lock(mutex_);
        connections_.push_back(conn);
        threads_.emplace_back(conn, std::thread([this, conn] { Serve(conn); }));
    }
}

void StreamServer::Reap(bool all) {
    std::vector<std::thread> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (all || it->first->done) {
                finished.push_back(std::move(it->second));
                it = threads_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (std::thread& t : finished) t.join();
}

void StreamServer::Serve(std::shared_ptr<Connection> conn) {
    std::string head, rest;
    if (ReadHead(conn->fd, stop_, &head, &rest)) {
        std::vector<std::string> lines = SplitHeadLines(head);
        std::shared_ptr<Route> route;
        {
            std::lock_guard lock(mutex_);
            if (!lines.empty()) {
                conn->record.request_line = lines[0];
                conn->record.headers.assign(lines.begin() + 1, lines.end());
                conn->record.path = PathOf(lines[0]);
            }
            for (const auto& c : connections_)
                if (c != conn && c->record.path == conn->record.path) ++conn->index;
            for (const auto& [path, r] : routes_)
                if (path == conn->record.path && r->only_connection == kNever) route = r;
            for (const auto& [path, r] : routes_)
                if (path == conn->record.path && r->only_connection == conn->index) route = r;
        }
        changed_.notify_all();
        if (!route) {
            const std::string body = "<html><body>Not Found</body></html>";
            SendAll(conn->fd,
                    "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body,
                    stop_);
        } else if (route->is_stream) {
            ServeStream(*conn, route->stream);
        } else {
            SendAll(conn->fd, route->response, stop_);
        }
    }
    ::shutdown(conn->fd, SHUT_WR);
    // Give the client a moment to read what is in flight before the socket goes away.
    WaitReadable(conn->fd, 20);
    ::close(conn->fd);
    {
        std::lock_guard lock(mutex_);
        conn->record.finished = true;
        conn->done = true;
    }
    changed_.notify_all();
}

void StreamServer::ServeStream(Connection& conn, const StreamRoute& route) {
    using Clock = std::chrono::steady_clock;
    // Silent waits end when the client gives up, so its connection shows up as finished.
    auto wait_silently = [&](const std::function<bool()>& done) {
        std::unique_lock lock(mutex_);
        while (!stop_ && !done()) {
            changed_.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            const bool closed = PeerClosed(conn.fd);
            lock.lock();
            if (closed) return false;
        }
        return !stop_;
    };
    if (route.stall_before_header) {
        wait_silently([] { return false; });
        return;
    }
    const bool chunked = route.style == StatusStyle::Http11Chunked;
    std::string head = route.style == StatusStyle::Icy      ? "ICY 200 OK\r\n"
                       : route.style == StatusStyle::Http10 ? "HTTP/1.0 200 OK\r\n"
                                                            : "HTTP/1.1 200 OK\r\n";
    if (!route.content_type.empty()) head += "Content-Type: " + route.content_type + "\r\n";
    for (const std::string& h : route.headers) head += h + "\r\n";
    if (route.metaint) head += "icy-metaint:" + std::to_string(route.metaint) + "\r\n";
    if (chunked) head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    if (!SendAll(conn.fd, head, stop_)) return;

    auto emit = [&](const std::string& bytes) {
        if (!chunked) return SendAll(conn.fd, bytes, stop_);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
        return SendAll(conn.fd, size + bytes + "\r\n", stop_);
    };

    const std::string& audio = route.audio;
    std::size_t pos = audio.empty() ? 0 : route.start_offset % audio.size(), total = 0, block = 0;
    std::size_t until_meta = route.metaint;
    bool stall_passed = false;
    std::size_t drop_after = route.drop_after;
    {
        std::lock_guard lock(mutex_);
        if (conn.index > 0 && route.later_drop_after != kNever) drop_after = route.later_drop_after;
        if (route.drops != kNever && conn.index >= route.drops) drop_after = kNever;
    }
    const auto start = Clock::now();
    while (!stop_ && !audio.empty()) {
        if (pos == audio.size()) {
            if (!route.loop) break;
            pos = 0;
        }
        if (total == drop_after) return;
        if (total == route.stall_after && !stall_passed) {
            std::uint64_t generation;
            {
                std::lock_guard lock(mutex_);
                generation = resume_generation_;
            }
            if (!wait_silently([&] { return resume_generation_ != generation; })) return;
            stall_passed = true;
            continue;
        }
        if (route.bytes_per_second && total >= route.burst_bytes) {
            const auto due = start + std::chrono::microseconds((total - route.burst_bytes) *
                                                               1000000 / route.bytes_per_second);
            std::unique_lock lock(mutex_);
            if (changed_.wait_until(lock, due, [&] { return stop_.load(); })) return;
        }
        std::size_t n = route.bytes_per_second && total >= route.burst_bytes
                            ? std::max<std::size_t>(route.bytes_per_second / 50, 1)
                            : kFastChunk;
        n = std::min(n, audio.size() - pos);
        if (total < route.burst_bytes) n = std::min(n, route.burst_bytes - total);
        if (route.metaint) n = std::min(n, until_meta);
        if (drop_after != kNever) n = std::min(n, drop_after - total);
        if (route.stall_after != kNever && !stall_passed)
            n = std::min(n, route.stall_after - total);

        std::string piece = audio.substr(pos, n);
        if (!emit(piece)) return;
        pos += n;
        total += n;
        {
            std::lock_guard lock(mutex_);
            if (conn.record.sent_audio.size() < kMaxRecordedAudio) conn.record.sent_audio += piece;
        }
        changed_.notify_all();

        if (route.metaint && (until_meta -= n) == 0) {
            until_meta = route.metaint;
            std::string meta(1, '\0');
            for (const StreamRoute::Title& t : route.titles)
                if (t.block == block) meta = TitleBlock(t.text);
            if (meta.size() == 1 && route.malformed_metadata && block % 2 == 0)
                meta = GarbageBlock(block);
            if (!emit(meta)) return;
            std::lock_guard lock(mutex_);
            ++conn.record.metadata_blocks;
            ++block;
        }
    }
    if (chunked && !stop_) SendAll(conn.fd, "0\r\n\r\n", stop_);
}

}  // namespace velmora::test
