// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

#include <curl/curl.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>

#include "engine/demux_session.h"
#include "engine/downloader.h"
#include "engine/hls_feed.h"
#include "engine/output.h"
#include "engine/playlist.h"
#include "engine/spectrum.h"
#include "engine/stream_core.h"
#include "engine/time_shift_file.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

thread_local ErrorCode t_error = ErrorCode::Ok;

struct Global {
    std::mutex m;  // guards everything below
    bool initialized = false;
    bool sound = false;  // Init() opened the output (not kInitNoSound)
    // The proxy is kept parsed, not as the caller's text: its buffer may change or go away while
    // a creation runs.
    StreamSettings settings;
    Output output;
    std::unordered_map<Handle, std::shared_ptr<StreamCore>> streams;
    Handle next_handle = 0x10000;
    // Time-shift: the private folder of the buffers and the seconds kept.
    std::shared_ptr<velmora::PrivateFolder> shift_folder;
    std::uint32_t shift_seconds = 0;
    std::atomic<SyncHandle> next_sync{1};
};

// Never destroyed: detached stream threads may outlive main().
Global& G() {
    static Global* g = [] {
        curl_global_init(CURL_GLOBAL_ALL);
        return new Global();
    }();
    return *g;
}

template <typename T>
T Fail(ErrorCode code, T value) {
    t_error = code;
    return value;
}

bool Ok() {
    t_error = ErrorCode::Ok;
    return true;
}

std::shared_ptr<StreamCore> Find(Handle h) {
    if (h == 0) return nullptr;
    Global& g = G();
    std::lock_guard lock(g.m);
    const auto it = g.streams.find(h);
    return it == g.streams.end() ? nullptr : it->second;
}

// What one creation needs from its caller, shared by every connection it tries.
struct CreateRequest {
    DownloadProc* proc;
    std::shared_ptr<void> user;
    bool pass_status;
    bool pass_meta;
    CancelHandle cancel;
    Clock::time_point deadline;
    StreamSettings settings;
    // Playlists already opened by this creation: one that lists itself is not read again.
    std::set<std::string> visited;
    // A cancel wakes every connection this creation tried, wherever it waits. Declared last:
    // unregistered first, before anything they wake goes away.
    std::vector<CancelToken::Registration> wakes;
};

bool Cancelled(const CreateRequest& r) {
    return r.cancel && r.cancel->cancelled();
}

bool IsPlainText(const std::string& s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (c < 0x20 && c != '\r' && c != '\n' && c != '\t') return false;
    return true;
}

// Why a transfer ended before its headers were complete.
ErrorCode TransferError(int curl_result, ErrorCode failure) {
    if (failure != ErrorCode::Ok) return failure;
    switch (curl_result) {
        case CURLE_OPERATION_TIMEDOUT:
            return ErrorCode::Timeout;
        case CURLE_UNSUPPORTED_PROTOCOL:  // a redirect to a scheme that is not fetched
            return ErrorCode::Protocol;
        default:
            return ErrorCode::FileOpen;
    }
}

// `start` begins the transfer that fills the stream's buffer: a download, or an HLS feed.
std::shared_ptr<StreamCore> Connect(
    CreateRequest& req, const std::string& url, ErrorCode* err,
    void (*start)(const std::shared_ptr<StreamCore>&) = &StartDownload) {
    auto core = std::make_shared<StreamCore>();
    core->url = url;
    core->settings = req.settings;
    core->proc = req.proc;
    core->user = req.user;
    core->pass_status = req.pass_status;
    core->pass_meta = req.pass_meta;
    core->cancel = req.cancel;
    core->deadline = req.deadline;
    if (req.cancel) {
        // Registered before the thread starts and outside ev_m, which the wake-up takes.
        req.wakes.emplace_back(req.cancel, [weak = std::weak_ptr<StreamCore>(core)] {
            if (const auto c = weak.lock()) c->Wake();
        });
    }
    start(core);
    std::unique_lock lock(core->ev_m);
    while (!core->headers_done && !core->transfer_ended) {
        if (Cancelled(req)) {
            lock.unlock();
            core->Kill();
            *err = ErrorCode::Aborted;
            return nullptr;
        }
        if (Clock::now() >= req.deadline) {
            lock.unlock();
            core->Kill();
            *err = ErrorCode::Timeout;
            return nullptr;
        }
        // Headers, the transfer's end and a cancel all notify.
        core->ev_cv.wait_until(lock, req.deadline);
    }
    // A cancel also ends the transfer itself, so it can be seen here first.
    if (Cancelled(req)) {
        lock.unlock();
        core->Kill();
        *err = ErrorCode::Aborted;
        return nullptr;
    }
    if (!core->headers_done) {
        const ErrorCode code = TransferError(core->curl_result, core->failure);
        lock.unlock();
        core->Kill();
        *err = code;
        return nullptr;
    }
    if (core->status < 200 || core->status >= 300) {
        lock.unlock();
        core->Kill();
        *err = core->status >= 400 ? ErrorCode::HttpStatus : ErrorCode::FileOpen;
        return nullptr;
    }
    return core;
}

void Decide(StreamCore& core, StreamCore::Decision d) {
    std::lock_guard lock(core.ev_m);
    core.decision = d;
    core.ev_cv.notify_all();
    // The download thread's network wait may depend on it (the stall check).
    if (core.wake) core.wake();
}

// Gives up a connection that no creation keeps: rejected, so its download passes on no byte and
// no end call, and ended.
void Abandon(StreamCore& core) {
    Decide(core, StreamCore::Decision::Reject);
    core.Kill();
}

std::shared_ptr<StreamCore> OpenUrl(CreateRequest& req, const std::string& url, int depth,
                                    ErrorCode* err);

// Tries a playlist's entries in order until one opens, within the creation's time.
std::shared_ptr<StreamCore> OpenEntries(CreateRequest& req, const std::vector<std::string>& entries,
                                        bool cut, int depth, ErrorCode* err) {
    *err = ErrorCode::FileForm;  // a playlist without entries
    for (const auto& e : entries) {
        if (Cancelled(req)) {
            *err = ErrorCode::Aborted;
            return nullptr;
        }
        // Dead entries fail fast, but thousands of them add up.
        if (Clock::now() >= req.deadline) {
            *err = ErrorCode::Timeout;
            return nullptr;
        }
        if (auto core = OpenUrl(req, e, depth + 1, err)) return core;
    }
    // The entries tried all failed, and those beyond them were never tried.
    if (cut && *err != ErrorCode::Aborted && *err != ErrorCode::Timeout) {
        *err = ErrorCode::PlaylistCut;
    }
    return nullptr;
}

// Playlists are small; a body beyond this is not one worth waiting for.
constexpr std::size_t kMaxPlaylistBytes = 1024 * 1024;

// Reads a playlist body to its end, or up to kMaxPlaylistBytes.
std::string ReadBody(const CreateRequest& req, StreamCore& core) {
    const std::shared_ptr<ByteRing> ring = core.Ring();
    std::string body;
    std::uint8_t chunk[16384];
    const std::uint64_t from = ring->read();
    while (body.size() < kMaxPlaylistBytes) {
        std::size_t got = 0;
        const std::size_t want = std::min(sizeof chunk, kMaxPlaylistBytes - body.size());
        if (ring->Read(chunk, want, from, req.deadline, &got, [&] { return !Cancelled(req); }) !=
            ByteRing::ReadResult::Data)
            break;
        body.append(reinterpret_cast<const char*>(chunk), got);
    }
    return body;
}

// An HLS playlist: FFmpeg's HLS demuxer fetches it and its segments itself.
// Rejects and ends a connection that was not taken for a stream, however its opening ended: a
// connection must never run on with nothing owning it.
struct EndUnlessKept {
    std::shared_ptr<StreamCore> core;
    ~EndUnlessKept() {
        if (!core) return;
        Abandon(*core);
    }
};

// The demuxer took the connection's body for the stream: it may reconnect from now on, its bytes
// reach the caller once the creation keeps it, the buffer is sized by the audio itself, and with
// pre-buffering the creation waits for three quarters of it.
void TakeForAudio(const CreateRequest& req, StreamCore& core, ByteRing& ring) {
    Decide(core, StreamCore::Decision::Audio);
    // Five seconds of the audio as the demuxer found it, whatever rate the server stated: a
    // lying icy-br neither holds the start (and every refill) back nor starves it.
    if (const long kbps = MeasuredKbps(*core.session)) ring.Resize(DownloadBufferSize(kbps));
    // After a drain the decoder waits for the buffer to fill to three quarters again.
    ring.SetRefillLevel(ring.capacity() * 3 / 4);
    if (req.settings.prebuffer)
        ring.WaitForFill(ring.capacity() * 3 / 4, req.deadline, [&] { return !Cancelled(req); });
}

std::shared_ptr<StreamCore> OpenHls(CreateRequest& req, const std::string& url, ErrorCode* err) {
    auto core = Connect(req, url, err, &StartHlsFeed);
    if (!core) return nullptr;
    EndUnlessKept guard{core};  // also when something below throws
    const std::shared_ptr<ByteRing> ring = core->Ring();
    // The feed has checked the framing; the decoder is opened on the buffer as for a download.
    core->session = OpenDemuxSession(*core, req.deadline, req.settings.allow_asf, true, err);
    if (!core->session) return nullptr;
    TakeForAudio(req, *core, *ring);
    guard.core = nullptr;
    return core;
}

std::shared_ptr<StreamCore> OpenUrl(CreateRequest& req, const std::string& url, int depth,
                                    ErrorCode* err) {
    if (url.empty() || url.find("://") == std::string::npos) {
        *err = ErrorCode::FileOpen;
        return nullptr;
    }
    // Checked before anything is fetched: a playlist's entries are a stranger's addresses.
    if (TransportFor(url) == Transport::Refused) {
        *err = ErrorCode::Protocol;
        return nullptr;
    }
    if (req.visited.count(url)) {
        *err = ErrorCode::FileForm;  // a playlist that lists itself
        return nullptr;
    }
    const bool may_list = req.settings.playlists && depth < 3;
    auto core = Connect(req, url, err);
    if (!core) return nullptr;
    EndUnlessKept guard{core};  // also when something below throws
    std::shared_ptr<ByteRing> ring;
    std::string ctype, final_url;
    {
        std::lock_guard lock(core->ev_m);
        ring = core->ring;
        ctype = core->content_type;
        final_url = core->final_url;
    }
    // Enough of the body to tell a playlist or a web page from audio.
    ring->WaitForFill(64, req.deadline, [&] { return !Cancelled(req); });
    std::string head(512, '\0');
    head.resize(ring->Peek(reinterpret_cast<std::uint8_t*>(head.data()), head.size()));

    PlaylistKind kind = PlaylistKind::None;
    if (may_list) {
        kind = PlaylistKindFromContentType(ctype);
        if (kind == PlaylistKind::None) kind = PlaylistKindFromBody(head);
        // Plain text under a playlist's name (relative entries, no header line) is a playlist
        // too; binary data under such a name is audio.
        if (kind == PlaylistKind::None && IsPlainText(head)) kind = PlaylistKindFromUrl(url);
    }
    if (kind != PlaylistKind::None) {
        Decide(*core, StreamCore::Decision::Reject);
        const std::string body = ReadBody(req, *core);
        core->Kill();
        if (Cancelled(req)) {
            *err = ErrorCode::Aborted;
            return nullptr;
        }
        // Also by way of a redirect.
        const bool seen = final_url != url && req.visited.count(final_url);
        req.visited.insert(url);
        req.visited.insert(final_url);
        if (seen) {
            *err = ErrorCode::FileForm;
            return nullptr;
        }
        if (IsHlsPlaylist(body)) return OpenHls(req, final_url, err);
        // Relative entries are relative to where the list came from after any redirect.
        bool cut = false;
        const std::vector<std::string> entries = ParsePlaylist(kind, body, final_url, &cut);
        return OpenEntries(req, entries, cut, depth, err);
    }
    if (ctype.rfind("text/html", 0) == 0 || LooksLikeHtml(head)) {
        Abandon(*core);
        *err = ErrorCode::FileForm;
        return nullptr;
    }
    if (head.empty()) {
        Abandon(*core);
        *err = Cancelled(req)                 ? ErrorCode::Aborted
               : Clock::now() >= req.deadline ? ErrorCode::Timeout
                                              : ErrorCode::FileForm;
        return nullptr;
    }
    // The caller sees no byte of the body before the demuxer took it for audio: an entry given
    // up here delivers neither data nor an end call.
    core->session = OpenDemuxSession(*core, req.deadline, req.settings.allow_asf, true, err);
    if (!core->session) {
        Abandon(*core);
        return nullptr;
    }
    TakeForAudio(req, *core, *ring);
    guard.core = nullptr;
    return core;
}

}  // namespace

const char* ErrorName(ErrorCode code) {
    switch (code) {
        case ErrorCode::Ok:
            return "OK";
        case ErrorCode::Memory:
            return "MEM";
        case ErrorCode::FileOpen:
            return "FILEOPEN";
        case ErrorCode::Driver:
            return "DRIVER";
        case ErrorCode::Handle:
            return "HANDLE";
        case ErrorCode::Format:
            return "FORMAT";
        case ErrorCode::Init:
            return "INIT";
        case ErrorCode::Already:
            return "ALREADY";
        case ErrorCode::IllegalParam:
            return "ILLPARAM";
        case ErrorCode::NotAvailable:
            return "NOTAVAIL";
        case ErrorCode::Timeout:
            return "TIMEOUT";
        case ErrorCode::FileForm:
            return "FILEFORM";
        case ErrorCode::Codec:
            return "CODEC";
        case ErrorCode::HttpStatus:
            return "HTTPSTATUS";
        case ErrorCode::Aborted:
            return "ABORTED";
        case ErrorCode::Protocol:
            return "PROTOCOL";
        case ErrorCode::PlaylistCut:
            return "PLAYLISTCUT";
        case ErrorCode::Write:
            return "WRITE";
        case ErrorCode::Unknown:
            break;
    }
    return "UNKNOWN";
}

bool PluginLoad(const char* name, std::uint32_t) {
    if (!name || std::strcmp(name, kWmaPlugin) != 0) return Fail(ErrorCode::FileOpen, false);
    Global& g = G();
    std::lock_guard lock(g.m);
    g.settings.allow_asf = true;
    return Ok();
}

std::uint32_t GetVersion() {
    t_error = ErrorCode::Ok;
    return kVersion;
}

bool Init(int device, std::uint32_t freq, std::uint32_t flags, void*) {
    Global& g = G();
    std::lock_guard lock(g.m);
    if (g.initialized) return Fail(ErrorCode::Already, false);
    if (device < -1 || freq < 8000 || freq > 192000) return Fail(ErrorCode::IllegalParam, false);
    // Damaged frames are normal on radio streams; FFmpeg's complaints about them are noise.
    if (!std::getenv("VELMORA_FFMPEG_LOG")) av_log_set_level(AV_LOG_FATAL);
    ErrorCode err = ErrorCode::Ok;
    g.sound = (flags & kInitNoSound) == 0;
    if (g.sound && !g.output.Open(device, static_cast<int>(freq), &err)) return Fail(err, false);
    g.initialized = true;
    return Ok();
}

bool SetConfig(Config option, std::uint32_t value) {
    Global& g = G();
    std::lock_guard lock(g.m);
    switch (option) {
        case Config::NetPlaylist:
            g.settings.playlists = value != 0;
            break;
        case Config::NetPrebuf:
            g.settings.prebuffer = value != 0;
            break;
        case Config::NetTimeout:
            if (value < 100) return Fail(ErrorCode::IllegalParam, false);
            g.settings.timeout_ms = static_cast<long>(value);
            break;
        case Config::NetReconnect:
            g.settings.reconnect_ms =
                static_cast<long>(std::min<std::uint32_t>(value, 24 * 3600 * 1000));
            break;
        case Config::NetReconnectDelay:
            // Hammering a server that just went away helps nobody; a day is beyond any use.
            if (value < 10 || value > 24 * 3600 * 1000) return Fail(ErrorCode::IllegalParam, false);
            g.settings.reconnect_delay_ms = static_cast<long>(value);
            break;
        case Config::NetStall:
            if (value < 100 || value > 24 * 3600 * 1000)
                return Fail(ErrorCode::IllegalParam, false);
            g.settings.stall_ms = static_cast<long>(value);
            break;
        case Config::TimeShift:
            if (value > 86400) return Fail(ErrorCode::IllegalParam, false);
            g.shift_seconds = value;
            break;
        case Config::DeviceLinger:
            if (value > 60 * 1000) return Fail(ErrorCode::IllegalParam, false);
            g.output.SetLinger(std::chrono::milliseconds(value));
            break;
    }
    return Ok();
}

bool SetConfigPtr(ConfigPtr option, const char* value) {
    Global& g = G();
    std::lock_guard lock(g.m);
    switch (option) {
        case ConfigPtr::NetProxy:
            // Parsed here once: the text itself is not kept.
            g.settings.proxy =
                value ? ParseProxyAddress(std::string_view(value, strnlen(value, 4096)))
                      : std::nullopt;
            break;
        case ConfigPtr::TimeShiftFolder: {
            g.shift_folder.reset();
            if (!value || !*value) break;
            std::string error;
            g.shift_folder = TimeShiftFile::OpenFolder(value, &error);
            if (!g.shift_folder) return Fail(ErrorCode::FileOpen, false);
            break;
        }
    }
    return Ok();
}

Handle StreamCreateURL(const char* url, std::uint64_t, std::uint32_t flags, DownloadProc* proc,
                       std::shared_ptr<void> user, CancelHandle cancel) {
    Global& g = G();
    CreateRequest req;
    {
        std::lock_guard lock(g.m);
        if (!g.initialized) return Fail(ErrorCode::Init, Handle{0});
        req.settings = g.settings;
    }
    req.proc = proc;
    req.user = std::move(user);
    req.pass_status = (flags & kStreamStatus) != 0;
    req.pass_meta = (flags & kStreamMeta) != 0;
    req.cancel = std::move(cancel);
    req.deadline = Clock::now() + std::chrono::milliseconds(req.settings.timeout_ms);
    ErrorCode err = ErrorCode::FileOpen;
    std::shared_ptr<StreamCore> core;
    // Runs on the caller's thread: whatever fails in here is an error code, never a throw.
    try {
        core = OpenUrl(req, url ? std::string(url) : std::string(), 0, &err);
    } catch (const std::bad_alloc&) {
        err = ErrorCode::Memory;
    } catch (...) {
        err = ErrorCode::Unknown;
    }
    if (!core) return Fail(err, Handle{0});
    Handle h;
    {
        std::lock_guard lock(g.m);
        if (!g.initialized) {
            Abandon(*core);
            return Fail(ErrorCode::Init, Handle{0});
        }
        do {
            h = g.next_handle++;
        } while (h == 0 || g.streams.count(h));
        try {
            g.streams[h] = core;
        } catch (const std::bad_alloc&) {
            Abandon(*core);
            return Fail(ErrorCode::Memory, Handle{0});
        }
        core->handle = h;
        // Until here the download holds the caller's data back: a creation that fails now,
        // however late, delivers nothing.
        if (!core->Keep()) {
            g.streams.erase(h);
            core->Kill();
            return Fail(ErrorCode::Aborted, Handle{0});
        }
    }
    t_error = ErrorCode::Ok;
    return h;
}

std::uint64_t StreamGetFilePosition(Handle stream, FilePos which) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, kPosFailed);
    const std::shared_ptr<ByteRing> ring = core->Ring();
    if (!ring) return Fail(ErrorCode::NotAvailable, kPosFailed);
    t_error = ErrorCode::Ok;
    switch (which) {
        case FilePos::End:
            // A finished download will not fill the buffer any further: what is left of it is
            // all there is, so a buffering wait ends instead of waiting for bytes never coming.
            if (ring->finished())
                return std::min<std::uint64_t>(ring->capacity(), ring->written() - ring->played());
            return ring->capacity();
        case FilePos::Download:
            return ring->written();
        case FilePos::Current:
            // Not what the demuxer has read: identification reads ahead, and none of it has
            // played yet.
            return ring->played();
    }
    return Fail(ErrorCode::IllegalParam, kPosFailed);
}

bool StreamWaitBuffer(Handle stream, std::uint64_t bytes, const CancelHandle& cancel) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, false);
    const std::shared_ptr<ByteRing> ring = core->Ring();
    if (!ring) return Fail(ErrorCode::NotAvailable, false);
    const auto cancelled = [&] { return cancel && cancel->cancelled(); };
    bool filled = false;
    {
        // Registered outside the ring's lock, which the wake-up takes.
        CancelToken::Registration wake;
        if (cancel) wake = CancelToken::Registration(cancel, [ring] { ring->Wake(); });
        filled = ring->WaitForFill(
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes, ring->capacity())),
            Clock::time_point::max(), [&] { return !cancelled(); });
    }
    if (filled) return Ok();
    if (core->dead.load(std::memory_order_acquire)) return Fail(ErrorCode::Handle, false);
    if (cancelled()) return Fail(ErrorCode::Aborted, false);
    t_error = ErrorCode::Ok;
    return false;
}

const char* ChannelGetTags(Handle stream, TagKind kind) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, static_cast<const char*>(nullptr));
    // Each thread gets its own copy, so a tag that changes on the download thread never pulls
    // the text out from under a reader.
    thread_local std::string copies[3];
    std::string& out = copies[static_cast<int>(kind)];
    {
        std::lock_guard lock(core->tag_m);
        switch (kind) {
            case TagKind::Icy:
                out = core->tags_icy;
                break;
            case TagKind::Http:
                out = core->tags_http;
                break;
            case TagKind::Meta:
                if (!core->has_meta)
                    return Fail(ErrorCode::NotAvailable, static_cast<const char*>(nullptr));
                out = core->meta;
                break;
        }
    }
    if (kind != TagKind::Meta && out.empty())
        return Fail(ErrorCode::NotAvailable, static_cast<const char*>(nullptr));
    t_error = ErrorCode::Ok;
    return out.c_str();
}

SyncHandle ChannelSetSync(Handle stream, SyncType type, std::uint64_t, SyncProc* proc,
                          std::shared_ptr<void> user) {
    if (!proc) return Fail(ErrorCode::IllegalParam, SyncHandle{0});
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, SyncHandle{0});
    const SyncHandle id = G().next_sync++;
    {
        std::lock_guard lock(core->sync_m);
        // Once the download has made its last call no sync can run: nothing to keep.
        if (!core->syncs_released) core->syncs.push_back({type, id, proc, std::move(user)});
    }
    // A `user` not kept is let go here, outside the lock.
    t_error = ErrorCode::Ok;
    return id;
}

bool ChannelSetAttribute(Handle stream, Attribute, float value) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, false);
    if (!(value >= 0.0f)) value = 0.0f;
    if (value > 1.0f) value = 1.0f;
    core->volume = value;
    return Ok();
}

namespace {

// Gives a stream that starts to play its time-shift buffer, when one is configured. A file that
// cannot be made leaves it playing as before, unable to pause, and ErrorCode::Write says why.
void EnableShift(const Global& g, StreamCore& core) {
    if (!g.shift_folder || g.shift_seconds == 0) return;
    const std::shared_ptr<ByteRing> ring = core.Ring();
    if (!ring) return;
    // The playing buffer holds five seconds of the stream's measured rate; a quarter more than
    // the bound leaves room for a rate that varies.
    const std::uint64_t per_second = ring->capacity() / 5;
    const std::uint64_t bytes = per_second * g.shift_seconds / 4 * 5 + (1u << 20);
    std::string error;
    auto file = TimeShiftFile::Create(g.shift_folder, bytes, &error);
    std::string title;
    {
        std::lock_guard lock(core.tag_m);
        if (core.has_meta) title = core.meta;
    }
    ring->EnableTimeShift(std::move(file), g.shift_seconds, title);
}

// Closer to the live edge than this is at it.
constexpr double kLiveSlackSeconds = 0.5;

// What is heard, or about to be once the decoder has taken a seek asked for: skips in a row add
// up, and the state shown right after one is where it goes.
std::uint64_t HeardSoon(StreamCore& core, const ByteRing& ring) {
    return ring.seek_target(core.HeardPosition());
}

// Seconds the heard sound lies behind the newest byte.
double HeardLag(StreamCore& core, const ByteRing& ring, const ByteRing::Shift& shift) {
    return shift.live_seconds - ring.SecondsAt(HeardSoon(core, ring));
}

// The lag of the live edge, taken now when the stream is still there.
double LiveLag(StreamCore& core, const ByteRing& ring, const ByteRing::Shift& shift) {
    const double lag = HeardLag(core, ring, shift);
    std::lock_guard lock(core.heard_m);
    if (core.live_lag < 0) core.live_lag = lag;
    return core.live_lag;
}

void SeekTo(StreamCore& core, ByteRing& ring, std::uint64_t position) {
    ring.RequestSeek(position);
    // After the request: the decoder, woken, must find it pending.
    core.pcm.Interrupt();
}

// The stream's ring when it time-shifts, else null with the error set.
std::shared_ptr<ByteRing> ShiftRing(const std::shared_ptr<StreamCore>& core) {
    if (!core) return Fail(ErrorCode::Handle, std::shared_ptr<ByteRing>());
    std::shared_ptr<ByteRing> ring = core->Ring();
    if (ring && ring->shift().failed) return Fail(ErrorCode::Write, std::shared_ptr<ByteRing>());
    if (!ring || !ring->shift().on)
        return Fail(ErrorCode::NotAvailable, std::shared_ptr<ByteRing>());
    return ring;
}

}  // namespace

bool ChannelPause(Handle stream) {
    auto core = Find(stream);
    const std::shared_ptr<ByteRing> ring = ShiftRing(core);
    if (!ring) return false;
    if (!core->playing || core->ended) return Fail(ErrorCode::NotAvailable, false);
    if (ring->shift().frames) LiveLag(*core, *ring, ring->shift());
    core->paused = true;
    G().output.Remove(core.get());
    return Ok();
}

bool ChannelSkip(Handle stream, double seconds) {
    auto core = Find(stream);
    const std::shared_ptr<ByteRing> ring = ShiftRing(core);
    if (!ring) return false;
    const ByteRing::Shift shift = ring->shift();
    if (!shift.frames || !(seconds == seconds)) return Fail(ErrorCode::NotAvailable, false);
    const double live_lag = LiveLag(*core, *ring, shift);
    const double target = ring->SecondsAt(HeardSoon(*core, *ring)) + seconds;
    if (target >= shift.live_seconds - live_lag) return ChannelGoLive(stream);
    SeekTo(*core, *ring, ring->PositionAt(target));
    return Ok();
}

bool ChannelGoLive(Handle stream) {
    auto core = Find(stream);
    const std::shared_ptr<ByteRing> ring = ShiftRing(core);
    if (!ring) return false;
    const ByteRing::Shift shift = ring->shift();
    if (!shift.frames) return Fail(ErrorCode::NotAvailable, false);
    double live_lag;
    {
        std::lock_guard lock(core->heard_m);
        live_lag = core->live_lag;
    }
    // Never left the live edge, or is there already: a seek would only repeat a moment of sound
    // (it lands on the point before).
    if (live_lag < 0 || HeardLag(*core, *ring, shift) - live_lag < kLiveSlackSeconds) return Ok();
    SeekTo(*core, *ring, ring->PositionAt(shift.live_seconds - live_lag));
    return Ok();
}

bool ChannelGetTimeShift(Handle stream, TimeShiftInfo* info) {
    if (!info) return Fail(ErrorCode::IllegalParam, false);
    auto core = Find(stream);
    const std::shared_ptr<ByteRing> ring = ShiftRing(core);
    if (!ring) return false;
    const ByteRing::Shift shift = ring->shift();
    *info = TimeShiftInfo{};
    info->paused = core->paused;
    info->seekable = shift.frames;
    info->drops = shift.drops;
    if (shift.frames) {
        const double heard = ring->SecondsAt(HeardSoon(*core, *ring));
        double live_lag;
        {
            std::lock_guard lock(core->heard_m);
            live_lag = core->live_lag;
        }
        if (live_lag >= 0) info->behind = std::max(0.0, shift.live_seconds - heard - live_lag);
        info->buffered = std::max(0.0, shift.live_seconds - shift.oldest_seconds);
        info->position = std::clamp(heard - shift.oldest_seconds, 0.0, info->buffered);
    }
    return Ok();
}

std::string ChannelTimeShiftPath(Handle stream) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, std::string());
    const std::shared_ptr<ByteRing> ring = core->Ring();
    t_error = ErrorCode::Ok;
    return ring ? ring->time_shift_path() : std::string();
}

bool ChannelPlay(Handle stream, bool) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, false);
    Global& g = G();
    std::lock_guard lock(g.m);
    if (!g.initialized) return Fail(ErrorCode::Init, false);
    if (!g.sound) return Fail(ErrorCode::Driver, false);
    if (core->ended || core->record_only) return Fail(ErrorCode::NotAvailable, false);
    if (!core->decoder_started.exchange(true)) {
        EnableShift(g, *core);
        StartDecoder(core, g.output.rate(), g.settings.allow_asf);
    }
    if (core->paused.exchange(false)) {
        // The bound dropped what was to be heard during the pause: the decoder moves on now.
        const std::shared_ptr<ByteRing> ring = core->Ring();
        if (ring && ring->seek_pending()) core->pcm.Interrupt();
    }
    core->playing = true;
    g.output.Add(core);
    return Ok();
}

bool ChannelStop(Handle stream) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, false);
    core->playing = false;
    core->paused = false;
    G().output.Remove(core.get());
    return Ok();
}

bool ChannelRecordOnly(Handle stream) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, false);
    if (core->playing) return Fail(ErrorCode::IllegalParam, false);
    core->record_only = true;
    if (const std::shared_ptr<ByteRing> ring = core->Ring()) ring->DiscardWhenFull();
    return Ok();
}

int ChannelGetEndError(Handle stream) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, static_cast<int>(ErrorCode::Handle));
    t_error = ErrorCode::Ok;
    return static_cast<int>(core->end_error.load());
}

int ChannelIsActive(Handle stream) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, 0);
    t_error = ErrorCode::Ok;
    if (!core->playing || core->ended) return static_cast<int>(ActiveState::Stopped);
    if (core->paused) return static_cast<int>(ActiveState::Paused);
    const std::shared_ptr<ByteRing> ring = core->Ring();
    if (ring && ring->starved() && core->pcm.size() == 0)
        return static_cast<int>(ActiveState::Stalled);
    return static_cast<int>(ActiveState::Playing);
}

int ChannelGetData(Handle stream, float* buffer, std::uint32_t flags) {
    auto core = Find(stream);
    if (!core) return Fail(ErrorCode::Handle, -1);
    if (!buffer || flags != kDataFft1024) return Fail(ErrorCode::IllegalParam, -1);
    std::array<float, 1024> samples;
    const int period = G().output.period();
    const int rate = G().output.rate();
    // The last period taken sounds from its taking on, for one period's time; frames it lacked
    // were silence.
    const PcmFifo::Taken last = core->pcm.LastTaken();
    const auto since = std::chrono::steady_clock::now() - last.at;
    const auto into = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(std::chrono::duration<double>(since).count() * rate), 0, period);
    const std::int64_t playing = static_cast<std::int64_t>(last.first) + into;
    core->pcm.CopyMono(playing - static_cast<std::int64_t>(samples.size()), samples.size(),
                       last.first + last.frames, samples.data());
    FftMagnitudes(samples, buffer);
    t_error = ErrorCode::Ok;
    return 512 * static_cast<int>(sizeof(float));
}

bool StreamFree(Handle stream) {
    Global& g = G();
    std::shared_ptr<StreamCore> core;
    {
        std::lock_guard lock(g.m);
        const auto it = g.streams.find(stream);
        if (stream == 0 || it == g.streams.end()) return Fail(ErrorCode::Handle, false);
        core = std::move(it->second);
        g.streams.erase(it);
    }
    core->playing = false;
    core->Kill();
    g.output.Remove(core.get());
    // The buffer's file goes with the stream, at once: its threads may still be ending.
    if (const std::shared_ptr<ByteRing> ring = core->Ring()) ring->UnlinkTimeShift();
    return Ok();
}

int ErrorGetCode() {
    return static_cast<int>(t_error);
}

bool Free() {
    Global& g = G();
    std::unordered_map<Handle, std::shared_ptr<StreamCore>> streams;
    {
        std::lock_guard lock(g.m);
        if (!g.initialized) return Fail(ErrorCode::Init, false);
        streams.swap(g.streams);
        g.initialized = false;
    }
    for (auto& [h, core] : streams) {
        core->playing = false;
        core->Kill();
        if (const std::shared_ptr<ByteRing> ring = core->Ring()) ring->UnlinkTimeShift();
    }
    g.output.Close();
    return Ok();
}

}  // namespace engine
