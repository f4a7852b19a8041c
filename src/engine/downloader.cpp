// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/downloader.h"

#include <curl/curl.h>

extern "C" {
#include <libavformat/avio.h>
}

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "base/web_scheme.h"
#include "engine/icy_reader.h"
#include "engine/ogg_scanner.h"
#include "engine/playlist.h"
#include "engine/stream_core.h"

namespace engine {

std::size_t DownloadBufferSize(long kbps) {
    if (kbps <= 0) kbps = 128;
    kbps = std::min(kbps, kMaxStreamKbps);
    const std::size_t bytes = static_cast<std::size_t>(kbps) * 1000 / 8 * 5;
    return std::max<std::size_t>(bytes, 32 * 1024);
}

std::size_t ReceiveBatchBytes(std::uint64_t bytes_per_second, double buffered_seconds) {
    if (bytes_per_second == 0 || !(buffered_seconds >= 1.0)) return 1;
    const double seconds = std::min(0.25, buffered_seconds / 16);
    const auto bytes = std::min<std::uint64_t>(
        static_cast<std::uint64_t>(static_cast<double>(bytes_per_second) * seconds), 8192);
    if (bytes < 512) return 1;
    return static_cast<std::size_t>(std::bit_floor(bytes));
}

namespace {

// A header's leading decimal number; -1 when it has none or it does not fit.
long long HeaderNumber(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    long long n = -1;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end == value.data()) return -1;
    return n;
}

}  // namespace

long StreamRateKbps(std::string_view value) {
    const long long n = HeaderNumber(value);
    if (n <= 0) return 0;
    if (n <= kMaxStreamKbps) return static_cast<long>(n);
    // bit/s: the lowest real rates are 8 kbps
    const long long k = n / 1000;
    if (k >= 8 && k <= kMaxStreamKbps) return static_cast<long>(k);
    return 0;
}

Transport TransportFor(std::string_view url) {
    const auto colon = url.find("://");
    if (colon == std::string_view::npos) return Transport::Refused;
    if (velmora::IsHttpScheme(url.substr(0, colon))) return Transport::Curl;
    std::string scheme(url.substr(0, colon));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme == "mms" || scheme == "mmsh" || scheme == "mmst") return Transport::Ffmpeg;
    return Transport::Refused;
}

std::chrono::milliseconds ReconnectDelay(int attempt, std::chrono::milliseconds first) {
    static constexpr int kFactors[] = {1, 2, 4, 8, 16};
    if (attempt < 0) attempt = 0;
    return first * (attempt < 5 ? kFactors[attempt] : 30);
}

bool ReconnectRecovered(std::uint64_t audio_bytes, std::uint64_t bytes_per_second) {
    if (bytes_per_second == 0) bytes_per_second = 128 * 1000 / 8;
    return audio_bytes >= bytes_per_second * kReconnectRecoveredSeconds;
}

bool ReconnectAnswerIsAudio(std::string_view content_type, std::string_view head) {
    if (content_type.rfind("text/", 0) == 0) return false;
    if (PlaylistKindFromContentType(content_type) != PlaylistKind::None) return false;
    if (head.empty()) return true;
    if (PlaylistKindFromBody(head) != PlaylistKind::None || LooksLikeHtml(head)) return false;
    // Audio of any codec has bytes that no text has within its first few hundred.
    return !std::all_of(head.begin(), head.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 0x20 && u < 0x7F) || c == '\r' || c == '\n' || c == '\t';
    });
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Velmora/2.4";
// One response's header lines together: real servers send a few hundred bytes.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
// What curl may fetch, for the address itself and for every redirect.
constexpr const char* kCurlProtocols = "http,https";

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

std::string HeaderValue(const std::string& line) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) return {};
    std::string v = line.substr(colon + 1);
    v.erase(0, v.find_first_not_of(" \t"));
    return v;
}

// Everything the download thread keeps for itself.
class Download {
  public:
    explicit Download(std::shared_ptr<StreamCore> core) : core_(std::move(core)) {}

    void Run() {
        // Nothing thrown may leave the thread: the stream ends with a code instead.
        try {
            switch (TransportFor(core_->url)) {
                case Transport::Ffmpeg:
                    RunFfmpegProtocol();
                    break;
                case Transport::Curl:
                    RunCurlReconnecting();
                    break;
                case Transport::Refused:
                    Fail(ErrorCode::Protocol);
                    break;
            }
        } catch (const std::bad_alloc&) {
            Fail(ErrorCode::Memory);
        } catch (...) {
            Fail(ErrorCode::Unknown);
        }
        Finish();
    }

    // Ends the transfer for a reason of the download's own; the first reason counts.
    void Fail(ErrorCode code) {
        if (failure_ == ErrorCode::Ok) failure_ = code;
    }

  private:
    // --- header lines of the current response
    // False when the answer is not one to go on with.
    bool OnHeaderLine(std::string line) {
        last_progress_ = Clock::now();
        header_bytes_ += line.size();
        if (header_bytes_ > kMaxHeaderBytes) {
            Fail(ErrorCode::FileForm);
            return false;
        }
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        // "icy-name:" also begins with ICY: a status line is "ICY " or "HTTP/" in capitals.
        if (line.rfind("HTTP/", 0) == 0 || line.rfind("ICY ", 0) == 0) {
            // A new response (the first, or one after a redirect): start its header list afresh.
            lines_.clear();
            header_bytes_ = line.size();
            status_ = 0;
            const auto sp = line.find(' ');
            if (sp != std::string::npos) status_ = std::strtol(line.c_str() + sp + 1, nullptr, 10);
            is_icy_ = line.rfind("ICY ", 0) == 0;
        }
        if (!line.empty()) {
            lines_.push_back(line);
            if (core_->pass_status && core_->proc && core_->Alive())
                core_->proc(line.c_str(), 0, core_->user.get());
            return true;
        }
        // The blank line ends a response. Redirects that curl follows and interim answers are
        // not the stream's.
        if (status_ < 200 || (status_ >= 300 && status_ < 400 && HasLocation())) return true;
        return HeadersComplete();
    }

    bool HasLocation() const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [](const std::string& l) { return StartsWithNoCase(l, "location:"); });
    }

    // False when a reconnection's answer is not the stream again.
    bool HeadersComplete() {
        std::string ctype;
        long long metaint = 0;
        long br = 0;
        std::string joined;
        for (const auto& l : lines_) {
            if (StartsWithNoCase(l, "content-type:"))
                ctype = HeaderValue(l);
            else if (StartsWithNoCase(l, "icy-metaint:"))
                metaint = HeaderNumber(HeaderValue(l));
            else if (StartsWithNoCase(l, "icy-br:"))
                br = StreamRateKbps(HeaderValue(l));
            joined += l;
            joined += '\0';
        }
        joined += '\0';
        {
            std::lock_guard lock(core_->tag_m);
            (is_icy_ ? core_->tags_icy : core_->tags_http) = joined;
        }
        if (metaint < 0 || metaint > 1 << 24) metaint = 0;
        char* effective = nullptr;
        if (easy_) curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effective);
        return StartBody(static_cast<long>(metaint), br, ctype, status_,
                         effective ? effective : "");
    }

    // The body of the current connection begins; false when a reconnection's answer is refused.
    bool StartBody(long metaint, long br, const std::string& ctype, long status,
                   const std::string& final_url) {
        conn_body_ = true;
        if (ring_) return ContinueBody(metaint, br, ctype, status);
        icy_ = std::make_unique<IcyReader>(static_cast<std::size_t>(metaint));
        ring_ = std::make_shared<ByteRing>(DownloadBufferSize(br));
        ogg_ = std::make_unique<OggScanner>(
            [ring = ring_.get()](std::uint64_t at) { ring->MarkBoundary(at); },
            [this](const std::string& title) { TakeOggTitle(title); });
        std::lock_guard lock(core_->ev_m);
        core_->status = status;
        core_->content_type = ctype;
        core_->metaint = metaint;
        core_->icy_br = br;
        core_->final_url = final_url.empty() ? core_->url : final_url;
        core_->ring = ring_;
        core_->headers_done = true;
        core_->ev_cv.notify_all();
        return true;
    }

    // A reconnection's body goes on in the same buffer. Its framing starts afresh (metadata
    // interval, Ogg pages, format headers), so the decoder restarts at a boundary where it begins.
    bool ContinueBody(long metaint, long br, const std::string& ctype, long status) {
        // An error page, a web page or a playlist in place of the stream is a failed attempt;
        // its first bytes are looked at before any of them counts as the stream's.
        if (status < 200 || status >= 300 || !ReconnectAnswerIsAudio(ctype, {})) return false;
        probing_ = true;
        probe_ctype_ = ctype;
        // The start of an Ogg page header the old connection never finished: the old part ends
        // with it.
        if (!held_.empty()) {
            if (!ring_->Write(held_.data(), held_.size())) return false;
            held_.clear();
        }
        const std::uint64_t at = ring_->written();
        if (at > last_mark_) {
            ring_->MarkBoundary(at);
            last_mark_ = at;
        }
        icy_ = std::make_unique<IcyReader>(static_cast<std::size_t>(metaint));
        ogg_ = std::make_unique<OggScanner>(
            [ring = ring_.get()](std::uint64_t pos) { ring->MarkBoundary(pos); },
            [this](const std::string& title) { TakeOggTitle(title); }, at);
        std::lock_guard lock(core_->ev_m);
        core_->status = status;
        core_->content_type = ctype;
        core_->metaint = metaint;
        core_->icy_br = br;
        return true;
    }

    // --- body bytes
    bool OnBody(const std::uint8_t* data, std::size_t size) {
        if (!core_->Alive()) return false;
        if (!conn_body_ && status_ == 0) return OnUnframedAnswer(data, size);
        // A body after an answer curl let through.
        if (!conn_body_ && !StartBody(0, 0, {}, status_, {})) return false;
        bool ok = true;
        icy_->Feed(
            data, size,
            [&](const std::uint8_t* audio, std::size_t n) {
                if (!ok) return;
                if (!probing_) {
                    ok = TakeAudio(audio, n);
                    return;
                }
                probe_.append(reinterpret_cast<const char*>(audio), n);
                if (probe_.size() >= kReconnectProbeBytes) ok = EndProbe();
            },
            [&](const std::string& text) {
                core_->TakeTitle(text);
                if (core_->pass_meta) DeliverMeta(text);
            });
        last_progress_ = Clock::now();
        CheckBackOnAir();
        return ok && core_->Alive();
    }

    // Audio bytes of the stream: to the caller and into the buffer.
    bool TakeAudio(const std::uint8_t* audio, std::size_t n) {
        conn_audio_ += n;
        Deliver(audio, n);
        bool ok;
        if (!ogg_->active() && held_.empty()) {
            ok = ring_->Write(audio, n);
        } else {
            ogg_->Feed(audio, n);
            held_.insert(held_.end(), audio, audio + n);
            const std::size_t keep = std::min(ogg_->pending_header(), held_.size());
            const std::size_t ready = held_.size() - keep;
            ok = ring_->Write(held_.data(), ready);
            held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(ready));
        }
        // The download goes on at the stream's pace whatever is heard: it is the clock that
        // moves the title along with a time-shifted sound.
        core_->FollowHeardTitle();
        return ok;
    }

    // A reconnection's first bytes have come (or all it sent): they are the stream's if they
    // look like audio, and the attempt failed if not.
    bool EndProbe() {
        probing_ = false;
        std::string head;
        head.swap(probe_);
        if (!ReconnectAnswerIsAudio(probe_ctype_, head)) return false;
        return head.empty() ||
               TakeAudio(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());
    }

    // curl knows only "ICY 200" as a status line; other ICY answers ("ICY 404 Resource Not
    // Found") reach us as the start of a body. Their header block is read here; anything else
    // that is not HTTP is refused.
    bool OnUnframedAnswer(const std::uint8_t* data, std::size_t size) {
        unframed_.append(reinterpret_cast<const char*>(data), size);
        const std::size_t n = std::min<std::size_t>(unframed_.size(), 4);
        if (unframed_.compare(0, n, std::string_view("ICY ").substr(0, n)) != 0) {
            Fail(ErrorCode::FileForm);
            return false;
        }
        std::size_t at = 0;
        for (;;) {
            const auto eol = unframed_.find('\n', at);
            if (eol == std::string::npos) break;
            std::string line = unframed_.substr(at, eol + 1 - at);
            at = eol + 1;
            const bool blank = line == "\n" || line == "\r\n";
            if (!OnHeaderLine(std::move(line))) return false;
            if (blank) {
                if (!conn_body_ && !StartBody(0, 0, {}, status_, {})) return false;
                std::string rest = unframed_.substr(at);
                unframed_.clear();
                return rest.empty() ||
                       OnBody(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
            }
        }
        unframed_.erase(0, at);
        if (unframed_.size() > kMaxHeaderBytes) {
            Fail(ErrorCode::FileForm);
            return false;
        }
        return true;
    }

    // Hands audio bytes to the download callback once the creation has kept the stream; until
    // then they wait in the backlog (a playlist body, an HTML page or a creation that failed
    // late never reaches it).
    void Deliver(const std::uint8_t* data, std::size_t n) {
        if (!core_->proc) return;
        StreamCore::Decision d;
        {
            std::lock_guard lock(core_->ev_m);
            d = core_->decision;
        }
        if (d == StreamCore::Decision::Pending || d == StreamCore::Decision::Audio) {
            backlog_.append(reinterpret_cast<const char*>(data), n);
            return;
        }
        if (d == StreamCore::Decision::Reject) return;
        FlushBacklog();
        if (core_->Alive()) core_->proc(data, static_cast<std::uint32_t>(n), core_->user.get());
    }

    // Owned by ogg_, which this object owns: `this` outlives the call.
    void TakeOggTitle(const std::string& title) {
        const std::string meta = "StreamTitle='" + title + "';";
        core_->TakeTitle(meta);
        if (core_->pass_meta) DeliverMeta(meta);
    }

    // A META text at its place between the audio bytes, for a recorder that cuts there.
    void DeliverMeta(const std::string& text) {
        if (!core_->proc) return;
        std::string line = kMetaLinePrefix + text;
        StreamCore::Decision d;
        {
            std::lock_guard lock(core_->ev_m);
            d = core_->decision;
        }
        if (d == StreamCore::Decision::Pending || d == StreamCore::Decision::Audio) {
            backlog_meta_.emplace_back(backlog_.size(), std::move(line));
            return;
        }
        if (d == StreamCore::Decision::Reject) return;
        FlushBacklog();
        if (core_->Alive()) core_->proc(line.c_str(), 0, core_->user.get());
    }

    void FlushBacklog() {
        if ((backlog_.empty() && backlog_meta_.empty()) || !core_->Alive()) return;
        std::string b;
        b.swap(backlog_);
        std::vector<std::pair<std::size_t, std::string>> meta;
        meta.swap(backlog_meta_);
        std::size_t from = 0;
        for (const auto& [at, line] : meta) {
            if (at > from)
                core_->proc(b.data() + from, static_cast<std::uint32_t>(at - from),
                            core_->user.get());
            from = at;
            core_->proc(line.c_str(), 0, core_->user.get());
        }
        if (b.size() > from)
            core_->proc(b.data() + from, static_cast<std::uint32_t>(b.size() - from),
                        core_->user.get());
    }

    void Finish() {
        // A partial page header held back at the end is still part of the stream.
        if (ring_ && !held_.empty() && core_->Alive()) ring_->Write(held_.data(), held_.size());
        held_.clear();
        std::shared_ptr<ByteRing> ring;
        {
            std::lock_guard lock(core_->ev_m);
            core_->transfer_ended = true;
            core_->curl_result = result_;
            core_->failure = failure_;
            ring = core_->ring;
            core_->ev_cv.notify_all();
        }
        if (ring) ring->Finish();
        if (!core_->proc) return;
        // The end is reported once, after the backlog, to a stream its creation returned, also
        // when it ends because it was freed: a recording closes its file on it.
        if (!core_->TakenForAudio()) return;
        FlushBacklog();
        core_->proc(nullptr, 0, core_->user.get());
    }

    // --- curl
    // curl is C: nothing may be thrown through it. A failure ends the transfer with a code.
    static std::size_t WriteCb(char* ptr, std::size_t size, std::size_t nmemb, void* ud) {
        auto* self = static_cast<Download*>(ud);
        const std::size_t n = size * nmemb;
        try {
            return self->OnBody(reinterpret_cast<const std::uint8_t*>(ptr), n) ? n : 0;
        } catch (const std::bad_alloc&) {
            self->Fail(ErrorCode::Memory);
        } catch (...) {
            self->Fail(ErrorCode::Unknown);
        }
        return 0;
    }
    static std::size_t HeaderCb(char* ptr, std::size_t size, std::size_t nmemb, void* ud) {
        auto* self = static_cast<Download*>(ud);
        const std::size_t n = size * nmemb;
        try {
            if (!self->OnHeaderLine(std::string(ptr, n))) return 0;
            return self->core_->Alive() ? n : 0;
        } catch (const std::bad_alloc&) {
            self->Fail(ErrorCode::Memory);
        } catch (...) {
            self->Fail(ErrorCode::Unknown);
        }
        return 0;
    }
    static int ProgressCb(void* ud, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Download*>(ud)->core_->Alive() ? 0 : 1;
    }

    // --- reconnecting
    // A stream its creator took for audio, with reconnection allowed: a creation that fails
    // afterwards frees it, which ends the attempts. A connection lost before the creator decided
    // ends the stream as before (creation fails, or plays what came). Download thread.
    bool Reconnectable() {
        if (core_->settings.reconnect_ms <= 0) return false;
        if (!audio_taken_) {
            std::lock_guard lock(core_->ev_m);
            audio_taken_ = core_->decision == StreamCore::Decision::Audio ||
                           core_->decision == StreamCore::Decision::Kept;
        }
        return audio_taken_;
    }

    // Fetches the stream, and after a drop or a stall fetches it again into the same buffer
    // until it is freed, it ends as its server meant, or the attempts run out. The waits grow
    // from attempt to attempt until a connection has carried some seconds of audio.
    void RunCurlReconnecting() {
        TransferCurl();
        const std::chrono::milliseconds first(core_->settings.reconnect_delay_ms);
        const std::chrono::milliseconds window(core_->settings.reconnect_ms);
        int attempt = 0;
        auto began = Clock::now();
        while (core_->Alive() && failure_ == ErrorCode::Ok && !complete_ && ring_ &&
               Reconnectable()) {
            if (ReconnectRecovered(conn_audio_, AudioByteRate())) {
                attempt = 0;
                began = Clock::now();
            }
            if (!reconnecting_) {
                SetReconnecting(true);
                core_->RunSyncs(SyncType::Reconnect, 1);
            }
            const auto delay = ReconnectDelay(attempt++, first);
            if (Clock::now() + delay - began > window) break;
            if (!WaitUnlessFreed(delay)) break;
            StartConnection();
            TransferCurl();
            // An answer that ended without a byte of audio is a failed attempt, not the end.
            if (conn_audio_ == 0) complete_ = false;
        }
        // Given up: the stream ends as after a drop.
        if (reconnecting_) {
            SetReconnecting(false);
            core_->RunSyncs(SyncType::Reconnect, 2);
        }
    }

    // Bytes per second of the stream's audio: the buffer holds five seconds of it, at the rate
    // measured when the stream was identified.
    std::uint64_t AudioByteRate() { return ring_->capacity() / 5; }

    void SetReconnecting(bool on) {
        reconnecting_ = on;
        // While reconnecting, the stream counts as back on air when the decoder reads again: that
        // read wakes the network wait, which then reports it. Otherwise reads wake nobody.
        if (!on) {
            ring_->SetFlowHook(nullptr);
            return;
        }
        ring_->SetFlowHook([weak = std::weak_ptr<StreamCore>(core_)] {
            if (const auto core = weak.lock()) core->Wake();
        });
    }

    // False when the stream was freed meanwhile: Stop ends the wait at once.
    bool WaitUnlessFreed(std::chrono::milliseconds delay) {
        std::unique_lock lock(core_->ev_m);
        return !core_->ev_cv.wait_for(lock, delay, [this] { return !core_->Alive(); });
    }

    // Forgets everything of the previous connection's answer.
    void StartConnection() {
        lines_.clear();
        status_ = 0;
        is_icy_ = false;
        header_bytes_ = 0;
        unframed_.clear();
        conn_body_ = false;
        conn_audio_ = 0;
        complete_ = false;
        result_ = 0;
        probing_ = false;
        probe_.clear();
    }

    // The reconnected stream flows again once the decoder reads from the buffer (or nobody waits
    // for it to refill).
    void CheckBackOnAir() {
        if (!reconnecting_ || conn_audio_ == 0 || ring_->starved()) return;
        SetReconnecting(false);
        core_->RunSyncs(SyncType::Reconnect, 0);
    }

    // Until the stall check is due; an hour when there is none (curl wakes for its own timers).
    // A stall that is due on a connection not (yet) taken for audio waits for the creator's
    // decision, which wakes the wait.
    int PollTimeoutMs() {
        constexpr long kLongest = 3600 * 1000;
        if (core_->settings.reconnect_ms <= 0) return static_cast<int>(kLongest);
        const auto due = last_progress_ + std::chrono::milliseconds(core_->settings.stall_ms) -
                         Clock::now() + std::chrono::milliseconds(1);
        const long ms =
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(due).count());
        if (ms <= 0 && !Reconnectable()) return static_cast<int>(kLongest);
        return static_cast<int>(std::clamp(ms, 1L, kLongest));
    }

    // Lets the socket gather the stream's bytes while the buffer is well ahead (see
    // ReceiveBatchBytes). Not while the server has been quiet for half a second: bytes short of a
    // batch must reach the stall check and the buffer.
    void BatchReceives() {
        if (batch_socket_ == CURL_SOCKET_BAD) return;
        const auto now = Clock::now();
        // The arrival rate over the last two seconds or more: the connection's first seconds
        // carry the server's burst, which says nothing of the rate.
        if (now - rate_from_ >= std::chrono::seconds(2)) {
            const double seconds = std::chrono::duration<double>(now - rate_from_).count();
            arrival_rate_ = rate_from_bytes_ <= conn_audio_ && rate_measured_
                                ? static_cast<std::uint64_t>(
                                      static_cast<double>(conn_audio_ - rate_from_bytes_) / seconds)
                                : 0;
            rate_measured_ = true;
            rate_from_ = now;
            rate_from_bytes_ = conn_audio_;
        }
        std::size_t want = 1;
        if (ring_ && !probing_ && !reconnecting_ && arrival_rate_ > 0 &&
            now - last_progress_ < std::chrono::milliseconds(500)) {
            // The decoded audio counted at 48 kHz, the highest usual output rate: never more
            // than there is.
            const double buffered = static_cast<double>(core_->pcm.size()) / 48000.0 +
                                    static_cast<double>(ring_->written() - ring_->played()) /
                                        static_cast<double>(arrival_rate_);
            want = ReceiveBatchBytes(arrival_rate_, buffered);
        }
        if (want == batch_bytes_) return;
        const int value = static_cast<int>(want);
        if (setsockopt(batch_socket_, SOL_SOCKET, SO_RCVLOWAT, &value, sizeof value) == 0)
            batch_bytes_ = want;
    }

    // curl's sockets come and go by these two, so that a batch size is only ever set on the
    // transfer's own socket, never on a closed one's number taken by something else.
    static int SocketOpened(void* ud, curl_socket_t socket, curlsocktype purpose) {
        auto* d = static_cast<Download*>(ud);
        if (purpose == CURLSOCKTYPE_IPCXN) {
            d->batch_socket_ = socket;
            d->batch_bytes_ = 1;
            d->arrival_rate_ = 0;
            d->rate_measured_ = false;
            d->rate_from_ = Clock::now();
            d->rate_from_bytes_ = 0;
        }
        return CURL_SOCKOPT_OK;
    }
    static int SocketClosing(void* ud, curl_socket_t socket) {
        auto* d = static_cast<Download*>(ud);
        if (socket == d->batch_socket_) d->batch_socket_ = CURL_SOCKET_BAD;
        return close(socket);
    }

    // Nothing at all from the server for the stall time: a connection that hangs is dropped.
    bool Stalled() {
        return Clock::now() - last_progress_ >
                   std::chrono::milliseconds(core_->settings.stall_ms) &&
               Reconnectable();
    }

    // One connection, from the request to the end of its body.
    void TransferCurl() {
        last_progress_ = Clock::now();
        // Owned here so that a throw on the way out still frees them and unhooks the wake-up.
        struct Handles {
            CURL* easy = curl_easy_init();
            CURLM* multi = curl_multi_init();
            curl_slist* headers = nullptr;
            curl_slist* aliases = nullptr;
            ~Handles() {
                if (multi && easy) curl_multi_remove_handle(multi, easy);
                if (easy) curl_easy_cleanup(easy);
                if (multi) curl_multi_cleanup(multi);
                curl_slist_free_all(headers);
                curl_slist_free_all(aliases);
            }
        } h;
        struct Unhook {
            Download& d;
            ~Unhook() {
                {
                    std::lock_guard lock(d.core_->ev_m);
                    d.core_->wake = nullptr;
                }
                std::lock_guard lock(d.wake_m_);
                d.multi_ = nullptr;
                d.easy_ = nullptr;
            }
        };
        result_ = CURLE_OUT_OF_MEMORY;
        if (!h.easy || !h.multi) return;
        CURL* easy = h.easy;
        CURLM* multi = h.multi;
        h.headers = curl_slist_append(nullptr, "Icy-MetaData: 1");
        h.aliases = curl_slist_append(nullptr, "ICY 200 OK");
        if (h.aliases) h.aliases = curl_slist_append(h.aliases, "ICY 200");
        if (!h.headers || !h.aliases) return;
        // Only web addresses are fetched, also where a redirect points: never file://, ftp://,
        // gopher:// and the like, which a stranger's server could use against this machine.
        if (curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kCurlProtocols) != CURLE_OK ||
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kCurlProtocols) != CURLE_OK) {
            result_ = CURLE_UNSUPPORTED_PROTOCOL;
            Fail(ErrorCode::Protocol);
            return;
        }
        curl_easy_setopt(easy, CURLOPT_URL, core_->url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, h.headers);
        curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, h.aliases);
        // An ICY answer other than 200 is not HTTP to curl; it arrives as a body, read above.
        curl_easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, core_->settings.timeout_ms);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Download::WriteCb);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Download::HeaderCb);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Download::ProgressCb);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 16384L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &Download::SocketOpened);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &Download::SocketClosing);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
        if (core_->settings.proxy) {
            curl_easy_setopt(easy, CURLOPT_PROXY, core_->settings.proxy->host_port.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
            if (!core_->settings.proxy->user.empty()) {
                curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, core_->settings.proxy->user.c_str());
                curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD,
                                 core_->settings.proxy->password.c_str());
            }
        } else {
            // "Direct" means direct: no proxy from the environment either.
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
        }
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) return;
        easy_ = easy;
        Unhook unhook{*this};
        {
            std::lock_guard lock(wake_m_);
            multi_ = multi;
        }
        {
            std::lock_guard lock(core_->ev_m);
            core_->wake = [this] {
                std::lock_guard l(wake_m_);
                if (multi_) curl_multi_wakeup(multi_);
            };
        }
        int running = 1;
        bool stalled = false;
        while (running && core_->Alive()) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) break;
            if (!running) break;
            if (ring_) CheckBackOnAir();
            BatchReceives();
            if (Stalled()) {
                stalled = true;
                break;
            }
            // Nothing to do until the network, curl's own timers, the stall deadline or a
            // wake-up (free, cancel, the decoder reading again): no periodic wake-ups.
            // Bytes short of a batch are held back from the buffer and the stall check: a quiet
            // half second ends the batching.
            const int timeout = batch_bytes_ > 1 ? std::min(PollTimeoutMs(), 500) : PollTimeoutMs();
            curl_multi_poll(multi, nullptr, 0, timeout, nullptr);
        }
        result_ = stalled ? CURLE_OPERATION_TIMEDOUT : CURLE_ABORTED_BY_CALLBACK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE) result_ = msg->data.result;
        // A reconnection that ended within its first bytes: they are judged as they are.
        if (probing_ && !EndProbe() && result_ == CURLE_OK) result_ = CURLE_WRITE_ERROR;
        // A body of a stated length, or a chunked one, that arrived whole is a file that ended,
        // not a dropped stream.
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const bool chunked = std::any_of(lines_.begin(), lines_.end(), [](const std::string& l) {
            return StartsWithNoCase(l, "transfer-encoding:") &&
                   l.find("chunked") != std::string::npos;
        });
        complete_ = result_ == CURLE_OK && (length >= 0 || chunked);
    }

    // --- mms and mmsh: the bytes of an ASF stream through FFmpeg's protocols
    static int Interrupt(void* ud) { return static_cast<StreamCore*>(ud)->Alive() ? 0 : 1; }

    void RunFfmpegProtocol() {
        std::vector<std::string> tries;
        const std::string& url = core_->url;
        if (url.rfind("mms://", 0) == 0) {
            tries = {"mmsh://" + url.substr(6), "mmst://" + url.substr(6)};
        } else {
            tries = {url};
        }
        AVIOInterruptCB cb{&Download::Interrupt, core_.get()};
        AVIOContext* pb = nullptr;
        for (const auto& u : tries) {
            if (avio_open2(&pb, u.c_str(), AVIO_FLAG_READ, &cb, nullptr) >= 0) break;
            pb = nullptr;
            if (!core_->Alive()) break;
        }
        if (!pb) {
            result_ = CURLE_COULDNT_CONNECT;
            return;
        }
        StartBody(0, 0, "video/x-ms-asf", 200, {});
        std::vector<std::uint8_t> buf(16384);
        while (core_->Alive()) {
            const int n = avio_read(pb, buf.data(), static_cast<int>(buf.size()));
            if (n <= 0) break;
            if (!OnBody(buf.data(), static_cast<std::size_t>(n))) break;
        }
        result_ = CURLE_OK;
        avio_closep(&pb);
    }

    std::shared_ptr<StreamCore> core_;
    std::vector<std::string> lines_;
    long status_ = 0;
    bool is_icy_ = false;
    std::unique_ptr<IcyReader> icy_;
    std::unique_ptr<OggScanner> ogg_;
    std::shared_ptr<ByteRing> ring_;
    std::string backlog_;
    // META texts that came with the backlog, each with the backlog's length when it came.
    std::vector<std::pair<std::size_t, std::string>> backlog_meta_;
    std::vector<std::uint8_t> held_;  // audio bytes of an incomplete Ogg page header
    std::string unframed_;            // the start of an answer curl did not take for HTTP
    std::size_t header_bytes_ = 0;    // of the current response
    bool conn_body_ = false;          // the current connection's body has begun
    std::uint64_t conn_audio_ = 0;    // audio bytes of the current connection
    bool complete_ = false;           // the last connection's body ended as its server meant
    bool audio_taken_ = false;        // the creator took the stream for audio
    bool reconnecting_ = false;       // between a drop and the stream's flowing again
    bool probing_ = false;            // a reconnection's first audio bytes are being held
    std::string probe_;               // ... these, up to kReconnectProbeBytes
    std::string probe_ctype_;         // ... and the answer's content type
    std::uint64_t last_mark_ = 0;     // the last boundary marked at a reconnection
    Clock::time_point last_progress_ = Clock::now();  // the last byte from the server
    int result_ = 0;
    ErrorCode failure_ = ErrorCode::Ok;
    curl_socket_t batch_socket_ = CURL_SOCKET_BAD;  // the transfer's open socket, if any
    std::size_t batch_bytes_ = 1;
    std::uint64_t arrival_rate_ = 0;  // bytes a second; 0 until measured
    bool rate_measured_ = false;      // the first window (the burst) has passed
    Clock::time_point rate_from_;
    std::uint64_t rate_from_bytes_ = 0;
    CURL* easy_ = nullptr;  // this thread only, while the transfer runs
    std::mutex wake_m_;
    CURLM* multi_ = nullptr;  // guarded by wake_m_, for the wake-up from other threads
};

}  // namespace

void StartDownload(const std::shared_ptr<StreamCore>& core) {
    StartTransferThread<Download>(core);
}

}  // namespace engine
