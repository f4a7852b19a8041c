// SPDX-License-Identifier: GPL-3.0-or-later
// A loopback HTTP/ICY server for tests: real sockets on 127.0.0.1, one thread per connection.
// Each path serves one route: a paced audio stream (ICY, HTTP/1.0 or chunked HTTP/1.1, with
// optional ICY metadata), a fixed body (playlists, HTML, errors, redirects) or raw bytes. The
// server records what every connection asked for and exactly which audio bytes it sent.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::test {

inline constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

enum class StatusStyle {
    Icy,            // "ICY 200 OK", as old streaming servers answer
    Http10,         // "HTTP/1.0 200 OK", body until close
    Http11Chunked,  // "HTTP/1.1 200 OK" with chunked transfer coding
};

struct StreamRoute {
    std::string audio;  // encoded audio, sent as is
    StatusStyle style = StatusStyle::Icy;
    std::string content_type = "audio/mpeg";
    std::vector<std::string> headers;  // extra header lines, e.g. "icy-name:Test FM"

    // ICY metadata: a block after every `metaint` audio bytes (0: none, and no icy-metaint
    // header). Block n (0-based) carries titles whose `block` is n; all other blocks are empty.
    std::size_t metaint = 0;
    struct Title {
        std::size_t block;
        std::string text;  // sent as StreamTitle='text';
    };
    std::vector<Title> titles;
    // Blocks alternate between a 255-length block of binary garbage and a zero-length block.
    bool malformed_metadata = false;

    // Pacing: the first `burst_bytes` go out as fast as possible, then `bytes_per_second`
    // (0: everything as fast as possible).
    std::size_t burst_bytes = 0;
    std::size_t bytes_per_second = 0;
    bool loop = false;  // repeat the audio forever instead of closing after it
    // The first audio byte sent: a listener joining a live source comes in mid-frame.
    std::size_t start_offset = 0;

    std::size_t drop_after = kNever;        // close the connection after this many audio bytes
    std::size_t later_drop_after = kNever;  // the same for every connection after the first
    std::size_t drops = kNever;        // only the first `drops` connections drop (a server back)
    std::size_t stall_after = kNever;  // stop sending (socket kept open) after this many bytes
    bool stall_before_header = false;  // accept, read the request, never answer
};

// An Icecast 2.4 mount with its default burst-size, as a new listener meets it: the last 64 KiB
// the source sent at once, then real time at `bytes_per_second`, forever. Joining a live source
// lands anywhere in the audio, so `start_offset` is usually mid-frame; Ogg mounts start with their
// header pages (offset 0), which the server keeps for every new listener.
StreamRoute IcecastRoute(std::string audio, std::size_t bytes_per_second, std::size_t start_offset);

// What one connection received and sent.
struct ConnectionRecord {
    std::string request_line;          // "GET /path?query HTTP/1.1"
    std::vector<std::string> headers;  // request header lines, without CR LF
    std::string path;                  // without the query string
    std::chrono::steady_clock::time_point accepted;
    std::string sent_audio;           // audio bytes written to the socket, metadata excluded
    std::size_t metadata_blocks = 0;  // metadata blocks written
    bool finished = false;            // the server has closed the connection

    // Value of a request header (case-insensitive name), empty when absent.
    std::string Header(const std::string& name) const;
};

class StreamServer {
  public:
    StreamServer();
    // Closes every socket, wakes stalled senders and joins all threads.
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port><path>"
    std::string Url(const std::string& path) const;

    void AddStream(const std::string& path, StreamRoute route);
    // A complete response: status line "HTTP/1.0 <status> <reason>", Content-Type and
    // Content-Length, the extra header lines, then the body.
    void AddBody(const std::string& path, int status, const std::string& content_type,
                 const std::string& body, std::vector<std::string> headers = {});
    void AddRedirect(const std::string& path, int status, const std::string& location);
    void AddHtml(const std::string& path, const std::string& html);
    void AddError(const std::string& path, int status, const std::string& body);
    // Bytes written as they are, then the connection is closed.
    void AddRaw(const std::string& path, const std::string& bytes);
    // The same for the `connection`-th connection to `path` only (0 the first), in place of the
    // path's route: a server that answers a reconnection with something else.
    void AddRawAt(const std::string& path, std::size_t connection, const std::string& bytes);

    // Lets every stalled stream go on sending (the stall point is then passed for good).
    void ResumeStalled();

    std::vector<ConnectionRecord> Connections() const;
    std::vector<ConnectionRecord> ConnectionsTo(const std::string& path) const;
    // Waits until at least `count` connections have arrived; false on timeout.
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `count` connections have been closed by the server; false on timeout.
    bool WaitForFinished(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until the connections to `path` have sent at least `bytes` audio bytes in total.
    bool WaitForAudioSent(const std::string& path, std::size_t bytes,
                          std::chrono::milliseconds timeout) const;

    struct Route;
    struct Connection;

  private:
    void AcceptLoop();
    void Serve(std::shared_ptr<Connection> conn);
    void ServeStream(Connection& conn, const StreamRoute& route);
    void Reap(bool all);

    std::uint16_t port_ = 0;
    int listen_fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;  // guards everything below
    mutable std::condition_variable changed_;
    std::vector<std::pair<std::string, std::shared_ptr<Route>>> routes_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<std::pair<std::shared_ptr<Connection>, std::thread>> threads_;
    std::uint64_t resume_generation_ = 0;
};

}  // namespace velmora::test
