// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/demux_session.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

#include "base/thread_start.h"
#include "engine/stream_core.h"

namespace engine {
namespace {

// Small: the demuxer asks the ring for no more than it needs to identify and decode a frame.
constexpr int kAvioBufferSize = 8192;

int ReadPacket(void* opaque, std::uint8_t* buf, int size) {
    auto* s = static_cast<DemuxSession*>(opaque);
    StreamCore* core = s->core;
    if (s->prefix_read < s->prefix.size()) {
        const std::size_t n =
            std::min(static_cast<std::size_t>(size), s->prefix.size() - s->prefix_read);
        std::memcpy(buf, s->prefix.data() + s->prefix_read, n);
        s->prefix_read += n;
        return static_cast<int>(n);
    }
    const std::shared_ptr<ByteRing> ring = core->Ring();
    if (!ring) return AVERROR_EXIT;
    // Caught up with the download while much is decoded: rather than waking for every packet
    // that arrives, sleep until the output has played the queue down to its low level. By then
    // the download has refilled the buffer, and the decoder runs one long batch again.
    while (ring->caught_up() && !core->pcm.WaitUntilLow()) {
        // An interrupt for a seek: the decoder takes it when the read fails; one whose seek was
        // taken already is over.
        if (!core->Alive() || ring->seek_pending()) return AVERROR_EXIT;
        core->pcm.EndInterrupt();
    }
    std::size_t got = 0;
    const auto r = ring->Read(
        buf, static_cast<std::size_t>(size), s->start, s->deadline, &got,
        [core] { return core->Alive(); }, s->hold);
    switch (r) {
        case ByteRing::ReadResult::Data:
            return static_cast<int>(got);
        case ByteRing::ReadResult::End:
            return AVERROR_EOF;
        case ByteRing::ReadResult::Timeout:
            return AVERROR(ETIMEDOUT);
        case ByteRing::ReadResult::Aborted:
        case ByteRing::ReadResult::Seek:
            break;
    }
    return AVERROR_EXIT;
}

int Interrupt(void* opaque) {
    return static_cast<StreamCore*>(opaque)->Alive() ? 0 : 1;
}

// The demuxers of the formats radio streams come in. A stranger's body must never pick one that
// opens further files or addresses (concat, HLS, image sequences...).
constexpr const char* kAudioFormats = "mp3,aac,ogg,flac,asf";

// Every byte comes from the stream's buffer: no demuxer may open anything else.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

DemuxSession::~DemuxSession() {
    avcodec_free_context(&dec);
    if (fmt) avformat_close_input(&fmt);
    if (avio) {
        av_freep(&avio->buffer);
        avio_context_free(&avio);
    }
}

std::unique_ptr<DemuxSession> OpenDemuxSession(StreamCore& core,
                                               std::chrono::steady_clock::time_point deadline,
                                               bool allow_asf, bool analyze, ErrorCode* error,
                                               std::string prefix) {
    auto s = std::make_unique<DemuxSession>();
    s->prefix = std::move(prefix);
    s->core = &core;
    s->deadline = deadline;
    const std::shared_ptr<ByteRing> ring = core.Ring();
    s->start = ring->read();
    // Only the creation analyses the stream, and nothing has played before it returns.
    s->hold = analyze;

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kAvioBufferSize));
    s->avio =
        avio_alloc_context(buffer, kAvioBufferSize, 0, s.get(), &ReadPacket, nullptr, nullptr);
    s->fmt = avformat_alloc_context();
    if (!buffer || !s->avio || !s->fmt) {
        if (!s->avio) av_free(buffer);
        *error = ErrorCode::Memory;
        return nullptr;
    }
    s->avio->seekable = 0;
    s->fmt->pb = s->avio;
    s->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    s->fmt->interrupt_callback = {&Interrupt, &core};
    // Radio streams start anywhere. MP3 joined mid-frame never probes certain, so FFmpeg reads
    // the whole probe size: keep it within the pre-buffer (three quarters of the ring), so that a
    // station without a burst is identified by the time the buffer is ready anyway. Below 16 KiB
    // AAC joined mid-frame can pass for MP3.
    const std::int64_t probe = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(ring->capacity() * 3 / 4), 16 * 1024, 64 * 1024);
    s->fmt->probesize = probe;
    s->fmt->max_analyze_duration = AV_TIME_BASE / 2;
    s->fmt->format_probesize = static_cast<int>(probe);
    s->fmt->format_whitelist = av_strdup(kAudioFormats);
    s->fmt->protocol_whitelist = av_strdup("");  // an empty list allows no protocol at all
    s->fmt->io_open = &RefuseNestedOpen;
    if (!s->fmt->format_whitelist || !s->fmt->protocol_whitelist) {
        *error = ErrorCode::Memory;
        return nullptr;
    }

    const auto fail = [&](ErrorCode code) -> std::unique_ptr<DemuxSession> {
        if (!core.Alive())
            code = ErrorCode::Aborted;
        else if (std::chrono::steady_clock::now() >= deadline)
            code = ErrorCode::Timeout;
        *error = code;
        return nullptr;
    };

    AVFormatContext* fmt = s->fmt;
    if (avformat_open_input(&fmt, nullptr, nullptr, nullptr) < 0) {
        s->fmt = nullptr;  // freed by the failed open
        return fail(ErrorCode::FileForm);
    }
    if (std::strcmp(s->fmt->iformat->name, "asf") == 0 && !allow_asf)
        return fail(ErrorCode::Format);
    // A chain restarted mid-stream carries its parameters in its headers; analysing it would read
    // ahead into data that may not have arrived yet and stall the music at every song change.
    const bool known = !analyze && s->fmt->nb_streams > 0 &&
                       s->fmt->streams[0]->codecpar->sample_rate > 0 &&
                       s->fmt->streams[0]->codecpar->ch_layout.nb_channels > 0;
    if (!known && avformat_find_stream_info(s->fmt, nullptr) < 0) return fail(ErrorCode::FileForm);
    s->stream_index = av_find_best_stream(s->fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (s->stream_index < 0) return fail(ErrorCode::Format);
    for (unsigned i = 0; i < s->fmt->nb_streams; ++i)
        if (static_cast<int>(i) != s->stream_index) s->fmt->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* par = s->fmt->streams[s->stream_index]->codecpar;
    const bool wma = par->codec_id == AV_CODEC_ID_WMAV1 || par->codec_id == AV_CODEC_ID_WMAV2 ||
                     par->codec_id == AV_CODEC_ID_WMAPRO || par->codec_id == AV_CODEC_ID_WMAVOICE ||
                     par->codec_id == AV_CODEC_ID_WMALOSSLESS;
    if (wma && !allow_asf) return fail(ErrorCode::Format);
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return fail(ErrorCode::Codec);
    s->dec = avcodec_alloc_context3(codec);
    if (!s->dec) return fail(ErrorCode::Memory);
    if (avcodec_parameters_to_context(s->dec, par) < 0) return fail(ErrorCode::Codec);
    s->dec->thread_count = 1;
    if (avcodec_open2(s->dec, codec, nullptr) < 0) return fail(ErrorCode::Codec);
    return s;
}

long MeasuredKbps(const DemuxSession& session) {
    const std::int64_t par = session.fmt->streams[session.stream_index]->codecpar->bit_rate;
    const std::int64_t bps = par > 0 ? par : session.dec->bit_rate;
    return static_cast<long>(std::clamp<std::int64_t>(bps / 1000, 0, 1 << 20));
}

namespace {

// Decodes the stream into its PCM FIFO until the end, restarting the demuxer at chain boundaries.
class Decoder {
  public:
    Decoder(std::shared_ptr<StreamCore> core, int rate, bool allow_asf)
        : core_(std::move(core)), rate_(rate), allow_asf_(allow_asf) {}
    ~Decoder() {
        swr_free(&swr_);
        av_channel_layout_uninit(&in_layout_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }

    void Run() {
        session_ = std::move(core_->session);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        while (session_ && packet_ && frame_ && core_->Alive()) {
            session_->deadline = std::chrono::steady_clock::time_point::max();
            // Decoding now: what identification read is decoded before the demuxer reads on.
            session_->hold = false;
            const Outcome outcome = DecodeSession();
            if (outcome == Outcome::Stop) break;
            std::shared_ptr<ByteRing> ring = Ring();
            if (outcome == Outcome::Seek) {
                if (!Seek(*ring)) break;
                continue;
            }
            // The session ended at a chain boundary: the next logical stream starts right there.
            const std::uint64_t at = ring->NextBoundary(session_->start);
            if (at == std::numeric_limits<std::uint64_t>::max() || ring->read() != at) break;
            session_.reset();
            ring->DropBoundariesUpTo(at);
            ErrorCode err;
            session_ = OpenDemuxSession(*core_, std::chrono::steady_clock::time_point::max(),
                                        allow_asf_, false, &err);
            // A seek asked meanwhile interrupted the opening: it goes there instead.
            if (!session_ && ring->seek_pending() && !Seek(*ring)) break;
        }
        FlushResampler();
        session_.reset();
        core_->decoder_done = true;
    }

  private:
    std::shared_ptr<ByteRing> Ring() {
        std::lock_guard lock(core_->ev_m);
        return core_->ring;
    }

    // End: the demuxer reached the end of its part of the stream; Seek: a seek is pending.
    enum class Outcome { End, Seek, Stop };

    Outcome DecodeSession() {
        const std::shared_ptr<ByteRing> ring = Ring();
        for (;;) {
            if (!core_->Alive()) return Outcome::Stop;
            if (ring->seek_pending()) return Outcome::Seek;
            const int r = av_read_frame(session_->fmt, packet_);
            if (r < 0) {
                if (ring->seek_pending()) return Outcome::Seek;
                // Drain what the decoder still holds.
                avcodec_send_packet(session_->dec, nullptr);
                ReceiveFrames();
                return r == AVERROR_EOF ? Outcome::End : Outcome::Stop;
            }
            if (packet_->stream_index == session_->stream_index) {
                // The sound of this packet is heard once the output has taken what came before.
                const auto prefix = static_cast<std::int64_t>(session_->prefix.size());
                core_->MarkDecoded(
                    core_->pcm.committed(),
                    packet_->pos >= 0
                        ? session_->start + static_cast<std::uint64_t>(
                                                std::max<std::int64_t>(packet_->pos - prefix, 0))
                        : ring->read());
                const int s = avcodec_send_packet(session_->dec, packet_);
                // A damaged packet is skipped; radio streams have them after a reconnect.
                if (s >= 0 || s == AVERROR(EAGAIN)) ReceiveFrames();
            }
            av_packet_unref(packet_);
        }
    }

    // Goes on where the pending seek points: the decoded audio not yet heard, the demuxer, the
    // decoder's and the resampler's state are all of the old place and are dropped.
    bool Seek(ByteRing& ring) {
        session_.reset();
        swr_free(&swr_);
        in_format_ = -1;
        in_rate_ = 0;
        av_channel_layout_uninit(&in_layout_);
        bool at_live = false;
        while (core_->Alive()) {
            core_->pcm.Clear();
            // The new place is heard before the request is taken: a reader between the two would
            // otherwise find neither the request nor the new place, but the old one.
            core_->ResetHeard(core_->pcm.committed(), ring.seek_target(0));
            const std::uint64_t at = ring.TakeSeek();
            core_->ResetHeard(core_->pcm.committed(), at);
            ErrorCode err;
            session_ = OpenDemuxSession(*core_, std::chrono::steady_clock::time_point::max(),
                                        allow_asf_, false, &err, ring.HeadersFor(at));
            if (session_) return true;
            // A newer seek interrupted the opening.
            if (ring.seek_pending()) continue;
            // Nothing opens there (damaged bytes, a format whose header the bound dropped): the
            // live edge is tried once; if that fails too the stream ends with a reason.
            if (!at_live) {
                at_live = true;
                ring.RequestSeek(ring.live_position());
                if (ring.seek_pending()) continue;
            }
            core_->end_error = err != ErrorCode::Ok ? err : ErrorCode::Format;
            return false;
        }
        return false;
    }

    void ReceiveFrames() {
        while (avcodec_receive_frame(session_->dec, frame_) >= 0) {
            Resample(frame_);
            av_frame_unref(frame_);
        }
    }

    void Resample(const AVFrame* f) {
        if (!swr_ || f->format != in_format_ || f->sample_rate != in_rate_ ||
            av_channel_layout_compare(&f->ch_layout, &in_layout_) != 0) {
            FlushResampler();
            swr_free(&swr_);
            AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
            AVChannelLayout in;
            if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&in, f->ch_layout.nb_channels);
            else
                av_channel_layout_copy(&in, &f->ch_layout);
            if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_FLT, rate_, &in,
                                    static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                                    nullptr) < 0 ||
                swr_init(swr_) < 0) {
                swr_free(&swr_);
                av_channel_layout_uninit(&in);
                return;
            }
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&in_layout_);
            av_channel_layout_copy(&in_layout_, &f->ch_layout);
            in_format_ = f->format;
            in_rate_ = f->sample_rate;
        }
        Convert(const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    }

    // Resamples straight into the decoded-audio queue; null input drains what the resampler holds.
    void Convert(const std::uint8_t** in, int count) {
        for (;;) {
            float* dst = nullptr;
            const std::size_t room = core_->pcm.Reserve(&dst);
            if (room == 0) {
                // Freed, or interrupted for a seek, which the packet loop takes. An interrupt
                // whose seek was taken already is over.
                const std::shared_ptr<ByteRing> ring = Ring();
                if (!core_->Alive() || ring->seek_pending()) return;
                core_->pcm.EndInterrupt();
                continue;
            }
            auto* out = reinterpret_cast<std::uint8_t*>(dst);
            const int n = swr_convert(swr_, &out, static_cast<int>(room), in, count);
            if (n <= 0) return;
            core_->pcm.Commit(static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < room) return;
            // What did not fit stays in the resampler. Asking again with no new input (but not
            // null input, which would mean the end of the stream) takes it out.
            count = 0;
        }
    }

    void FlushResampler() {
        if (swr_ && core_->Alive()) Convert(nullptr, 0);
    }

    std::shared_ptr<StreamCore> core_;
    int rate_;
    bool allow_asf_;
    std::unique_ptr<DemuxSession> session_;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* swr_ = nullptr;
    int in_format_ = -1;
    int in_rate_ = 0;
    AVChannelLayout in_layout_{};
};

}  // namespace

void StartDecoder(const std::shared_ptr<StreamCore>& core, int out_rate, bool allow_asf) {
    velmora::StartThread(
        [core, out_rate, allow_asf] {
            Decoder d(core, out_rate, allow_asf);
            d.Run();
        },
        // The stream ends (the output sees the decoder done), the process goes on.
        [core] { core->decoder_done = true; })
        .detach();
}

}  // namespace engine
