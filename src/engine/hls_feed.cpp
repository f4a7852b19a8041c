// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/hls_feed.h"

#include "text/utf8.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "base/web_scheme.h"
#include "engine/downloader.h"
#include "engine/hls_limits.h"
#include "engine/stream_core.h"

namespace engine {
namespace {

// The HLS demuxer, and the segment formats radio streams use. No image sequences, no concat.
constexpr const char* kHlsFormats = "hls,mpegts,aac,mp3";
// Segments and keys come over the network only; crypto wraps an http(s) segment.
constexpr const char* kHlsProtocols = "http,https,tcp,tls,crypto";

using IoOpen = int (*)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);
using IoClose = int (*)(AVFormatContext*, AVIOContext*);
using IoRead = int (*)(void*, std::uint8_t*, int);
IoOpen g_default_open = nullptr;
IoClose g_default_close = nullptr;

class Feed;
// The feed whose demuxer runs on this thread: a body's reads find their watch through it.
thread_local Feed* t_feed = nullptr;

int OpenNetworkOnly(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                    AVDictionary** options);
int CloseWatched(AVFormatContext* s, AVIOContext* pb);
int ReadWatched(void* opaque, std::uint8_t* buf, int size);
int Interrupt(void* opaque);

bool IsAdts(const AVPacket* p) {
    return p->size >= 7 && p->data[0] == 0xFF && (p->data[1] & 0xF6) == 0xF0;
}

// An ID3v2 text frame's content (encoding byte, then the text) as UTF-8, up to its first
// terminator.
std::string Id3Text(std::string_view f) {
    if (f.empty()) return {};
    const int enc = static_cast<unsigned char>(f[0]);
    f.remove_prefix(1);
    std::string out;
    if (enc == 0 || enc == 3) {
        f = f.substr(0, f.find('\0'));
        if (enc == 3) return std::string(f);
        for (unsigned char c : f) engine::AppendUtf8(out, c);  // ISO-8859-1
        return out;
    }
    bool big = enc == 2;
    std::size_t i = 0;
    if (enc == 1 && f.size() >= 2) {
        big = static_cast<unsigned char>(f[0]) == 0xFE;
        i = 2;
    }
    const auto unit = [&](std::size_t at) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(f[at]), b = static_cast<unsigned char>(f[at + 1]);
        return big ? (a << 8 | b) : (b << 8 | a);
    };
    for (; i + 1 < f.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < f.size()) {
            const std::uint32_t lo = unit(i + 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = '?';
        engine::AppendUtf8(out, c);
    }
    return out;
}

std::uint32_t Be32(std::string_view s, std::size_t at, bool syncsafe) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v = syncsafe ? (v << 7) | (static_cast<unsigned char>(s[at + k]) & 0x7F)
                     : (v << 8) | static_cast<unsigned char>(s[at + k]);
    return v;
}

class Feed {
  public:
    explicit Feed(std::shared_ptr<StreamCore> core) : core_(std::move(core)) {}
    ~Feed() {
        av_packet_free(&packet_);
        if (fmt_) avformat_close_input(&fmt_);
    }

    void Run() {
        t_feed = this;
        try {
            Stream();
        } catch (const std::bad_alloc&) {
            Fail(ErrorCode::Memory);
        } catch (...) {
            Fail(ErrorCode::Unknown);
        }
        t_feed = nullptr;
        Finish();
    }

    // --- the demuxer's fetches, on this feed's thread
    // Whether the demuxer may fetch once more; a station that breaks a rule may fetch nothing.
    bool MayOpen() {
        if (failure_ != ErrorCode::Ok) return false;
        if (++fetches_without_audio_ > kMaxHlsFetchesWithoutAudio) Fail(ErrorCode::FileForm);
        return failure_ == ErrorCode::Ok;
    }

    // Every body is read through Read(): the first one opened is the station's own address.
    void Watch(AVIOContext* pb) {
        Unwatch(pb);
        watches_.push_back({pb->opaque, pb->read_packet, HlsBodyCheck(!opened_, &variants_left_)});
        opened_ = true;
        pb->read_packet = &ReadWatched;
    }

    void Unwatch(AVIOContext* pb) {
        for (auto it = watches_.begin(); it != watches_.end(); ++it) {
            if (it->opaque != pb->opaque) continue;
            pb->read_packet = it->read;
            watches_.erase(it);
            return;
        }
    }

    int Read(void* opaque, std::uint8_t* buf, int size) {
        const auto it = std::find_if(watches_.begin(), watches_.end(),
                                     [&](const BodyWatch& w) { return w.opaque == opaque; });
        if (it == watches_.end() || failure_ != ErrorCode::Ok) return AVERROR_EXIT;
        const int n = it->read(opaque, buf, size);
        if (n <= 0) return n;
        // Bytes out of all proportion to the audio, or a playlist that lists what it may not:
        // the stream ends, and nothing more is fetched.
        if (!budget_.Spend(static_cast<std::uint64_t>(n)) ||
            !it->check.Feed({reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n)})) {
            Fail(ErrorCode::FileForm);
            return AVERROR_EXIT;
        }
        return n;
    }

    bool Interrupted() const { return !core_->Alive() || failure_ != ErrorCode::Ok; }

  private:
    void Fail(ErrorCode code) {
        if (failure_ == ErrorCode::Ok) failure_ = code;
    }

    // How long an audio packet plays; a packet without a duration counts as one frame.
    double PacketSeconds() const {
        const AVStream* st = fmt_->streams[audio_];
        if (packet_->duration > 0)
            return static_cast<double>(packet_->duration) * av_q2d(st->time_base);
        const AVCodecParameters* par = st->codecpar;
        const int frame = par->frame_size > 0 ? par->frame_size : 1024;
        return par->sample_rate > 0 ? static_cast<double>(frame) / par->sample_rate : 0.0;
    }

    bool Open() {
        fmt_ = avformat_alloc_context();
        packet_ = av_packet_alloc();
        if (!fmt_ || !packet_) {
            Fail(ErrorCode::Memory);
            return false;
        }
        static std::once_flag once;
        std::call_once(once, [this] {
            g_default_open = fmt_->io_open;
            g_default_close = fmt_->io_close2;
        });
        fmt_->opaque = this;
        fmt_->io_open = &OpenNetworkOnly;
        fmt_->io_close2 = &CloseWatched;
        fmt_->interrupt_callback = {&Interrupt, this};
        fmt_->format_whitelist = av_strdup(kHlsFormats);
        fmt_->protocol_whitelist = av_strdup(kHlsProtocols);
        if (!fmt_->format_whitelist || !fmt_->protocol_whitelist) {
            Fail(ErrorCode::Memory);  // no list at all would allow everything
            return false;
        }
        fmt_->probesize = 64 * 1024;
        fmt_->max_analyze_duration = AV_TIME_BASE / 2;
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "user_agent", "Velmora/2.4", 0);
        // A new connection for every playlist and segment: each is then opened, read and closed
        // through the hooks above, where the fetches are counted and watched.
        av_dict_set(&opts, "http_persistent", "0", 0);
        av_dict_set(&opts, "http_multiple", "0", 0);
        av_dict_set_int(&opts, "rw_timeout",
                        static_cast<std::int64_t>(core_->settings.timeout_ms) * 1000, 0);
        if (core_->settings.proxy) {
            std::string proxy = "http://";
            if (!core_->settings.proxy->user.empty())
                proxy += core_->settings.proxy->user + ':' + core_->settings.proxy->password + '@';
            proxy += core_->settings.proxy->host_port;
            av_dict_set(&opts, "http_proxy", proxy.c_str(), 0);
        }
        const AVInputFormat* hls = av_find_input_format("hls");
        int r = hls ? avformat_open_input(&fmt_, core_->url.c_str(), hls, &opts) : -1;
        av_dict_free(&opts);
        if (r < 0) {
            fmt_ = nullptr;  // freed by the failed open
            Fail(hls ? ErrorCode::FileOpen : ErrorCode::Format);
            return false;
        }
        if (avformat_find_stream_info(fmt_, nullptr) < 0) {
            Fail(ErrorCode::FileForm);
            return false;
        }
        audio_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (audio_ < 0) {
            Fail(ErrorCode::Format);
            return false;
        }
        for (unsigned i = 0; i < fmt_->nb_streams; ++i) {
            const AVCodecParameters* par = fmt_->streams[i]->codecpar;
            if (par->codec_id == AV_CODEC_ID_TIMED_ID3 && id3_ < 0) id3_ = static_cast<int>(i);
            if (static_cast<int>(i) != audio_ && static_cast<int>(i) != id3_)
                fmt_->streams[i]->discard = AVDISCARD_ALL;
        }
        // The buffer's decoder reads raw ADTS and MP3 frames; other packets have no framing of
        // their own once taken out of their container.
        const AVCodecID codec = fmt_->streams[audio_]->codecpar->codec_id;
        if (codec != AV_CODEC_ID_AAC && codec != AV_CODEC_ID_MP3 && codec != AV_CODEC_ID_MP2) {
            Fail(ErrorCode::Format);
            return false;
        }
        return true;
    }

    void Stream() {
        if (!Open()) return;
        std::int64_t kbps = fmt_->streams[audio_]->codecpar->bit_rate / 1000;
        if (kbps <= 0) kbps = fmt_->bit_rate / 1000;
        bool started = false;
        while (core_->Alive()) {
            const int r = av_read_frame(fmt_, packet_);
            if (r < 0) {
                if (!started)
                    Fail(r == AVERROR(ETIMEDOUT) ? ErrorCode::Timeout : ErrorCode::FileForm);
                return;
            }
            if (packet_->stream_index == id3_) {
                std::string_view tag(reinterpret_cast<const char*>(packet_->data),
                                     static_cast<std::size_t>(packet_->size));
                // Metadata PES packets may still carry their 5-byte access-unit cell header.
                const auto at = tag.substr(0, 16).find("ID3");
                if (at != std::string_view::npos) tag.remove_prefix(at);
                if (auto title = Id3Title(tag)) core_->TakeTitle("StreamTitle='" + *title + "';");
            } else if (packet_->stream_index == audio_) {
                budget_.AddAudio(PacketSeconds());
                fetches_without_audio_ = 0;
                if (!started) {
                    if (fmt_->streams[audio_]->codecpar->codec_id == AV_CODEC_ID_AAC &&
                        !IsAdts(packet_)) {
                        Fail(ErrorCode::Format);
                        return;
                    }
                    Publish(static_cast<long>(kbps));
                    started = true;
                }
                if (!ring_->Write(packet_->data, static_cast<std::size_t>(packet_->size))) return;
                core_->FollowHeardTitle();
            }
            av_packet_unref(packet_);
        }
    }

    void Publish(long kbps) {
        ring_ = std::make_shared<ByteRing>(DownloadBufferSize(kbps));
        std::lock_guard lock(core_->ev_m);
        core_->status = 200;
        core_->content_type = "application/vnd.apple.mpegurl";
        core_->icy_br = kbps;
        core_->final_url = core_->url;
        core_->ring = ring_;
        core_->headers_done = true;
        core_->ev_cv.notify_all();
    }

    void Finish() {
        std::shared_ptr<ByteRing> ring;
        {
            std::lock_guard lock(core_->ev_m);
            core_->transfer_ended = true;
            core_->failure =
                failure_ == ErrorCode::Ok && !core_->headers_done ? ErrorCode::FileOpen : failure_;
            ring = core_->ring;
            core_->ev_cv.notify_all();
        }
        if (ring) ring->Finish();
        if (!core_->proc) return;
        // As for any download: the end is reported once, to a stream its creation returned, also
        // when it ends because it was freed (a recording closes its file on it). No bytes come
        // before: the packets are not the station's stream as served, so it is not recordable.
        if (core_->TakenForAudio()) core_->proc(nullptr, 0, core_->user.get());
    }

    std::shared_ptr<StreamCore> core_;
    AVFormatContext* fmt_ = nullptr;
    AVPacket* packet_ = nullptr;
    int audio_ = -1;
    int id3_ = -1;
    std::shared_ptr<ByteRing> ring_;
    ErrorCode failure_ = ErrorCode::Ok;
    // --- the fetches so far
    struct BodyWatch {
        void* opaque;  // the body's own, which its reads are called with
        IoRead read;   // FFmpeg's read of the body
        HlsBodyCheck check;
    };
    std::vector<BodyWatch> watches_;
    bool opened_ = false;
    int variants_left_ = kMaxHlsVariants;
    int fetches_without_audio_ = 0;
    HlsByteBudget budget_;
};

// Every address the playlist names is a stranger's: only http(s) ones are opened, whatever the
// protocol whitelist would let through, and only while the station keeps to the rules.
int OpenNetworkOnly(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                    AVDictionary** options) {
    std::string_view u(url ? url : "");
    if (u.rfind("crypto+", 0) == 0 || u.rfind("crypto:", 0) == 0) u.remove_prefix(7);
    const bool network = velmora::IsHttpUrl(u);
    if (!network || (flags & AVIO_FLAG_WRITE)) return AVERROR(EPERM);
    auto* feed = static_cast<Feed*>(s->opaque);
    if (!feed->MayOpen()) return AVERROR_EXIT;
    const int r = g_default_open(s, pb, url, flags, options);
    if (r >= 0) feed->Watch(*pb);
    return r;
}

int CloseWatched(AVFormatContext* s, AVIOContext* pb) {
    static_cast<Feed*>(s->opaque)->Unwatch(pb);
    return g_default_close(s, pb);
}

int ReadWatched(void* opaque, std::uint8_t* buf, int size) {
    return t_feed ? t_feed->Read(opaque, buf, size) : AVERROR_EXIT;
}

int Interrupt(void* opaque) {
    return static_cast<const Feed*>(opaque)->Interrupted() ? 1 : 0;
}

}  // namespace

std::optional<std::string> Id3Title(std::string_view tag) {
    if (tag.size() < 10 || tag.substr(0, 3) != "ID3") return std::nullopt;
    const int version = static_cast<unsigned char>(tag[3]);
    if (version < 3 || version > 4) return std::nullopt;
    const std::size_t end = std::min<std::size_t>(tag.size(), 10 + Be32(tag, 6, true));
    std::string title, artist;
    for (std::size_t at = 10; at + 10 <= end;) {
        const std::string_view id = tag.substr(at, 4);
        if (id[0] == '\0') break;  // padding
        const std::size_t size = Be32(tag, at + 4, version == 4);
        if (size > end - at - 10) break;
        const std::string_view body = tag.substr(at + 10, size);
        if (id == "TIT2") title = Id3Text(body);
        if (id == "TPE1") artist = Id3Text(body);
        at += 10 + size;
    }
    if (title.empty()) return std::nullopt;
    return artist.empty() ? title : artist + " - " + title;
}

void StartHlsFeed(const std::shared_ptr<StreamCore>& core) {
    StartTransferThread<Feed>(core);
}

}  // namespace engine
