// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/test_audio.h"

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace velmora::test {

namespace {

struct CodecInfo {
    const char* encoders[2];  // preferred first
    const char* muxer;
};

CodecInfo InfoOf(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::Mp3:
            return {{"libmp3lame", nullptr}, "mp3"};
        case AudioCodec::Aac:
            return {{"aac", nullptr}, "adts"};
        case AudioCodec::Vorbis:
            return {{"libvorbis", "vorbis"}, "ogg"};
        case AudioCodec::Opus:
            return {{"libopus", "opus"}, "ogg"};
        case AudioCodec::Flac:
            return {{"flac", nullptr}, "flac"};
        case AudioCodec::Wma:
            return {{"wmav2", nullptr}, "asf"};
    }
    return {{nullptr, nullptr}, nullptr};
}

// A seekable in-memory file, so muxers that patch their header at the end (FLAC, ASF) can.
struct MemoryFile {
    std::string data;
    std::size_t pos = 0;
};

int WriteMemory(void* opaque, uint8_t* buf, int size) {
    auto* f = static_cast<MemoryFile*>(opaque);
    if (f->pos + size > f->data.size()) f->data.resize(f->pos + size);
    std::memcpy(f->data.data() + f->pos, buf, size);
    f->pos += size;
    return size;
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(f->data.size());
    int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(f->pos)
                   : whence == SEEK_END ? static_cast<int64_t>(f->data.size())
                                        : 0;
    if (base + offset < 0) return AVERROR(EINVAL);
    f->pos = static_cast<std::size_t>(base + offset);
    return static_cast<int64_t>(f->pos);
}

void Check(int err, const char* what) {
    if (err >= 0) return;
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    throw std::runtime_error(std::string("test audio: ") + what + ": " + text);
}

AVSampleFormat PickFormat(const AVCodec* codec) {
    static const AVSampleFormat kPreferred[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT,
                                                AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S16,
                                                AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_S32};
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_FLTP;
    for (AVSampleFormat want : kPreferred)
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == want) return want;
    throw std::runtime_error("test audio: no usable sample format");
}

void FillSine(AVFrame* frame, const SineSpec& spec, int rate, int64_t first) {
    const int channels = frame->ch_layout.nb_channels;
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    for (int i = 0; i < frame->nb_samples; ++i) {
        const double v =
            spec.amplitude * std::sin(2.0 * M_PI * spec.frequency * double(first + i) / rate);
        for (int c = 0; c < channels; ++c) {
            const int plane = planar ? c : 0;
            const int index = planar ? i : i * channels + c;
            switch (av_get_packed_sample_fmt(fmt)) {
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(frame->data[plane])[index] = float(v);
                    break;
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(frame->data[plane])[index] =
                        int16_t(std::lrint(v * 32767.0));
                    break;
                default:
                    reinterpret_cast<int32_t*>(frame->data[plane])[index] =
                        int32_t(std::llrint(v * 2147483647.0));
            }
        }
    }
}

// Owns every FFmpeg object of one encoding, so an exception cannot leak them.
struct Encoding {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    AVDictionary* options = nullptr;
    MemoryFile file;
    ~Encoding() {
        if (fmt && fmt->pb) {
            av_freep(&fmt->pb->buffer);
            avio_context_free(&fmt->pb);
        }
        avformat_free_context(fmt);
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
        av_dict_free(&options);
    }

    void Drain(AVStream* stream) {
        for (;;) {
            int err = avcodec_receive_packet(ctx, packet);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            Check(err, "encode");
            av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(av_interleaved_write_frame(fmt, packet), "write");
        }
    }
};

std::string Encode(const SineSpec& spec) {
    const CodecInfo info = InfoOf(spec.codec);
    const AVCodec* codec = nullptr;
    for (const char* name : info.encoders)
        if (name && !codec) codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        throw std::runtime_error(std::string("test audio: no encoder for ") +
                                 CodecName(spec.codec));
    const int rate = spec.codec == AudioCodec::Opus ? 48000 : spec.sample_rate;

    Encoding e;
    Check(avformat_alloc_output_context2(&e.fmt, nullptr, info.muxer, nullptr), "muxer");
    e.fmt->flags |= AVFMT_FLAG_BITEXACT;
    e.ctx = avcodec_alloc_context3(codec);
    e.ctx->sample_rate = rate;
    av_channel_layout_default(&e.ctx->ch_layout, spec.channels);
    e.ctx->sample_fmt = PickFormat(codec);
    if (spec.codec != AudioCodec::Flac) e.ctx->bit_rate = spec.bit_rate;
    e.ctx->time_base = AVRational{1, rate};
    e.ctx->flags |= AV_CODEC_FLAG_BITEXACT;
    e.ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (e.fmt->oformat->flags & AVFMT_GLOBALHEADER) e.ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(e.ctx, codec, nullptr), "open encoder");

    AVStream* stream = avformat_new_stream(e.fmt, nullptr);
    Check(avcodec_parameters_from_context(stream->codecpar, e.ctx), "parameters");
    stream->time_base = e.ctx->time_base;
    if (!spec.artist.empty()) av_dict_set(&stream->metadata, "ARTIST", spec.artist.c_str(), 0);
    if (!spec.title.empty()) av_dict_set(&stream->metadata, "TITLE", spec.title.c_str(), 0);

    if (spec.codec == AudioCodec::Mp3) {
        av_dict_set(&e.options, "id3v2_version", "0", 0);
        av_dict_set(&e.options, "write_xing", "0", 0);
    }
    if (std::strcmp(info.muxer, "ogg") == 0)
        av_dict_set_int(&e.options, "serial_offset", spec.serial_offset, 0);

    constexpr int kIoBuffer = 4096;
    auto* io_buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    e.fmt->pb =
        avio_alloc_context(io_buffer, kIoBuffer, 1, &e.file, nullptr, WriteMemory, SeekMemory);
    Check(avformat_write_header(e.fmt, &e.options), "header");

    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    const int frame_size = e.ctx->frame_size > 0 ? e.ctx->frame_size : 1024;
    const int64_t total = std::llround(spec.seconds * rate);
    for (int64_t done = 0; done < total; done += frame_size) {
        av_frame_unref(e.frame);
        e.frame->nb_samples = frame_size;
        e.frame->format = e.ctx->sample_fmt;
        e.frame->sample_rate = rate;
        Check(av_channel_layout_copy(&e.frame->ch_layout, &e.ctx->ch_layout), "layout");
        Check(av_frame_get_buffer(e.frame, 0), "frame");
        FillSine(e.frame, spec, rate, done);
        e.frame->pts = done;
        Check(avcodec_send_frame(e.ctx, e.frame), "send");
        e.Drain(stream);
    }
    Check(avcodec_send_frame(e.ctx, nullptr), "flush");
    e.Drain(stream);
    Check(av_write_trailer(e.fmt), "trailer");
    avio_flush(e.fmt->pb);
    return std::move(e.file.data);
}

}  // namespace

const char* CodecName(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::Mp3:
            return "mp3";
        case AudioCodec::Aac:
            return "aac";
        case AudioCodec::Vorbis:
            return "vorbis";
        case AudioCodec::Opus:
            return "opus";
        case AudioCodec::Flac:
            return "flac";
        case AudioCodec::Wma:
            return "wma";
    }
    return "?";
}

const char* CodecContentType(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::Mp3:
            return "audio/mpeg";
        case AudioCodec::Aac:
            return "audio/aac";
        case AudioCodec::Vorbis:
            return "application/ogg";
        case AudioCodec::Opus:
            return "audio/ogg";
        case AudioCodec::Flac:
            return "audio/flac";
        case AudioCodec::Wma:
            return "video/x-ms-asf";
    }
    return "application/octet-stream";
}

std::string EncodeSine(const SineSpec& spec) {
    static std::mutex mutex;
    static std::map<std::string, std::string> cache;
    const std::string key = std::string(CodecName(spec.codec)) + "|" +
                            std::to_string(spec.frequency) + "|" + std::to_string(spec.seconds) +
                            "|" + std::to_string(spec.sample_rate) + "|" +
                            std::to_string(spec.channels) + "|" + std::to_string(spec.bit_rate) +
                            "|" + std::to_string(spec.amplitude) + "|" + spec.artist + "|" +
                            spec.title + "|" + std::to_string(spec.serial_offset);
    std::lock_guard lock(mutex);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, Encode(spec)).first;
    return it->second;
}

DecodedFile DecodeFile(const std::string& path) {
    DecodedFile out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const int index = avformat_find_stream_info(format, nullptr) >= 0
                          ? av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                          : -1;
    if (index >= 0) {
        const AVCodecParameters* par = format->streams[index]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (codec && avcodec_parameters_to_context(codec, par) >= 0 &&
            avcodec_open2(codec, decoder, nullptr) >= 0) {
            out.opened = true;
            std::int64_t samples = 0;
            const auto drain = [&] {
                while (avcodec_receive_frame(codec, frame) == 0) {
                    samples += frame->nb_samples;
                    out.seconds = static_cast<double>(samples) / frame->sample_rate;
                    av_frame_unref(frame);
                }
            };
            for (;;) {
                const int read = av_read_frame(format, packet);
                if (read == AVERROR_EOF) break;
                if (read < 0) {
                    ++out.errors;
                    break;
                }
                if (packet->stream_index == index && avcodec_send_packet(codec, packet) < 0)
                    ++out.errors;
                av_packet_unref(packet);
                drain();
            }
            avcodec_send_packet(codec, nullptr);
            drain();
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return out;
}

}  // namespace velmora::test
