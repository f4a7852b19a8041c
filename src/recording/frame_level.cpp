// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/frame_level.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace velmora {

namespace {
constexpr double kUndecoded = 0.0;  // counts as loud: a frame we cannot hear is no pause

// In float, a frame at a time, precise enough for a level in decibels; four sums side by side
// keep the processor's pipelines full.
template <typename Sample>
double SumOfSquares(const Sample* data, int count, float scale) {
    float sums[4] = {};
    int i = 0;
    for (; i + 4 <= count; i += 4)
        for (int k = 0; k < 4; ++k) {
            const float v = static_cast<float>(data[i + k]) * scale;
            sums[k] += v * v;
        }
    for (; i < count; ++i) {
        const float v = static_cast<float>(data[i]) * scale;
        sums[0] += v * v;
    }
    return static_cast<double>(sums[0]) + sums[1] + sums[2] + sums[3];
}
}  // namespace

struct FrameLevelMeter::Codec {
    StreamFormat format;
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    bool tried = false;

    ~Codec() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }

    // Opened on the first frame: an MPEG stream's layer decides the decoder.
    bool Open(const AudioFrame& first) {
        tried = true;
        AVCodecID id = AV_CODEC_ID_AAC;
        if (format == StreamFormat::Mpeg) {
            const int layer = first.bytes.size() > 1 ? (first.bytes[1] >> 1) & 3 : 1;
            id = layer == 1 ? AV_CODEC_ID_MP3 : (layer == 2 ? AV_CODEC_ID_MP2 : AV_CODEC_ID_MP1);
        }
        const AVCodec* decoder = avcodec_find_decoder(id);
        if (!decoder) return false;
        context = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!context || !packet || !frame) return false;
        if (avcodec_open2(context, decoder, nullptr) < 0) {
            avcodec_free_context(&context);
            return false;
        }
        return true;
    }
};

FrameLevelMeter::FrameLevelMeter(StreamFormat format) {
    if (format == StreamFormat::Mpeg || format == StreamFormat::Adts) {
        codec_ = std::make_unique<Codec>();
        codec_->format = format;
    }
}

FrameLevelMeter::~FrameLevelMeter() = default;

bool FrameLevelMeter::Works() const {
    return codec_ && (!codec_->tried || codec_->context);
}

void FrameLevelMeter::Restart() {
    if (codec_ && codec_->context) avcodec_flush_buffers(codec_->context);
}

double FrameLevelMeter::Level(const AudioFrame& audio) {
    if (!codec_ || audio.bytes.empty()) return kUndecoded;
    if (!codec_->tried && !codec_->Open(audio)) return kUndecoded;
    if (!codec_->context) return kUndecoded;
    AVPacket* packet = codec_->packet;
    if (av_new_packet(packet, static_cast<int>(audio.bytes.size())) < 0) return kUndecoded;
    std::memcpy(packet->data, audio.bytes.data(), audio.bytes.size());
    const int sent = avcodec_send_packet(codec_->context, packet);
    av_packet_unref(packet);
    if (sent < 0) return kUndecoded;
    double sum = 0;
    std::size_t count = 0;
    AVFrame* frame = codec_->frame;
    while (avcodec_receive_frame(codec_->context, frame) == 0) {
        const int channels = frame->ch_layout.nb_channels;
        const int samples = frame->nb_samples;
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const bool planar = av_sample_fmt_is_planar(format);
        const int planes = planar ? channels : 1;
        const int per_plane = planar ? samples : samples * channels;
        for (int c = 0; c < planes; ++c) {
            const std::uint8_t* data = frame->extended_data[c];
            // The sample format is chosen once per plane, not per sample: this loop runs over
            // every sample around every cut.
            switch (av_get_packed_sample_fmt(format)) {
                case AV_SAMPLE_FMT_FLT:
                    sum += SumOfSquares(reinterpret_cast<const float*>(data), per_plane, 1.0f);
                    break;
                case AV_SAMPLE_FMT_S16:
                    sum += SumOfSquares(reinterpret_cast<const std::int16_t*>(data), per_plane,
                                        1.0f / 32768.0f);
                    break;
                case AV_SAMPLE_FMT_S32:
                    sum += SumOfSquares(reinterpret_cast<const std::int32_t*>(data), per_plane,
                                        1.0f / 2147483648.0f);
                    break;
                case AV_SAMPLE_FMT_DBL:
                    sum += SumOfSquares(reinterpret_cast<const double*>(data), per_plane, 1.0f);
                    break;
                default:
                    break;
            }
            count += static_cast<std::size_t>(per_plane);
        }
        av_frame_unref(frame);
    }
    if (count == 0) return kUndecoded;
    const double rms = std::sqrt(sum / static_cast<double>(count));
    return std::max(kSilenceDb, 20.0 * std::log10(std::max(rms, 1e-12)));
}

}  // namespace velmora
