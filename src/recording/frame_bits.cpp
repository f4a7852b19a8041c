// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/frame_bits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velmora {

namespace {

class BitReader {
  public:
    explicit BitReader(std::string_view bytes) : bytes_(bytes) {}
    // Reads `n` bits (at most 16), most significant first; past the end sets failed().
    unsigned Read(int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i) {
            const std::size_t byte = bit_ / 8;
            if (byte >= bytes_.size()) {
                failed_ = true;
                return 0;
            }
            const auto b = static_cast<unsigned char>(bytes_[byte]);
            v = (v << 1) | ((b >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return v;
    }
    void Skip(std::size_t n) { bit_ += n; }
    bool failed() const { return failed_ || bit_ > bytes_.size() * 8; }

  private:
    std::string_view bytes_;
    std::size_t bit_ = 0;
    bool failed_ = false;
};

// Stretches that look quiet by their bits which are decoded to find the quietest.
constexpr int kCandidates = 2;
// Frames decoded on either side of a stretch: where a pause begins and ends.
constexpr std::size_t kEdgeFrames = 2;
// A stretch grows over neighbours within this many dB of its quietest-looking frame, when they
// also look this much quieter than the window's typical frame (or spend no bits at all).
constexpr double kStretchDb = 6.0;
constexpr double kQuieterDb = 12.0;

// The largest value each Layer III big-values Huffman table codes (with its linbits).
constexpr int kTableMax[32] = {0,    1,    2,  2,  0,  3,   3,   5,   5,    5,   7,
                               7,    7,    15, 0,  15, 16,  18,  22,  30,   78,  270,
                               1038, 8206, 30, 46, 78, 142, 270, 526, 2062, 8206};

// dB of 2^(x / 4): the quantiser's step.
double StepDb(int x) {
    return x * 1.50515;
}

FrameBits MpegBits(std::string_view frame) {
    FrameBits bits;
    if (frame.size() < 4) return bits;
    const auto h1 = static_cast<unsigned char>(frame[1]);
    const auto h3 = static_cast<unsigned char>(frame[3]);
    const bool mpeg1 = ((h1 >> 3) & 3) == 3;
    if (((h1 >> 1) & 3) != 1) return bits;  // Layer III only
    const int channels = (h3 >> 6) == 3 ? 1 : 2;
    BitReader r(frame);
    r.Skip(32);
    if ((h1 & 1) == 0) r.Skip(16);  // CRC
    r.Skip(mpeg1 ? 9 : 8);          // main_data_begin
    r.Skip(mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (mpeg1) r.Skip(4 * static_cast<std::size_t>(channels));  // scfsi
    const int granules = mpeg1 ? 2 : 1;
    bool silent = true;
    double loudest = kSilenceBits;
    for (int g = 0; g < granules; ++g)
        for (int c = 0; c < channels; ++c) {
            const unsigned part2_3 = r.Read(12);
            const unsigned big_values = r.Read(9);
            const int global_gain = static_cast<int>(r.Read(8));
            r.Skip(mpeg1 ? 4 : 9);  // scalefac_compress
            int largest = 1;        // the count1 region holds values up to 1
            const bool switched = r.Read(1) != 0;
            const int tables = switched ? 2 : 3;
            if (switched) r.Skip(3);
            for (int t = 0; t < tables; ++t) {
                const unsigned table = r.Read(5);
                if (big_values > 0) largest = std::max(largest, kTableMax[table]);
            }
            r.Skip(switched ? 9 : 7);  // subblock gains, or region counts
            r.Skip(mpeg1 ? 3 : 2);
            if (part2_3 == 0) continue;
            silent = false;
            // |x|^(4/3) * 2^((global_gain - 210) / 4): scale factors only lower it.
            loudest = std::max(loudest, 26.6667 * std::log10(largest) + StepDb(global_gain - 210));
        }
    if (r.failed()) return bits;
    bits.known = true;
    bits.silent = silent;
    bits.level = loudest;
    return bits;
}

FrameBits AdtsBits(std::string_view frame) {
    FrameBits bits;
    if (frame.size() < 9) return bits;
    const auto h = [&frame](int i) { return static_cast<unsigned char>(frame[i]); };
    const int channel_config = ((h(2) & 1) << 2) | (h(3) >> 6);
    if ((h(6) & 3) != 0 || (channel_config != 1 && channel_config != 2)) return bits;
    BitReader r(frame);
    r.Skip((h(1) & 1) ? 56 : 72);
    const unsigned element = r.Read(3);  // 0: one channel, 1: a channel pair
    if (element != (channel_config == 1 ? 0u : 1u)) return bits;
    r.Skip(4);  // element_instance_tag
    int groups = 1;
    const auto ics_info = [&r, &groups]() -> int {
        r.Skip(1);
        const bool eight_short = r.Read(2) == 2;
        r.Skip(1);
        const int max_sfb = static_cast<int>(r.Read(eight_short ? 4 : 6));
        if (eight_short) {
            const unsigned grouping = r.Read(7);
            for (int b = 0; b < 7; ++b) groups += ((grouping >> b) & 1) ? 0 : 1;
        } else if (r.Read(1) != 0) {
            return -1;  // prediction (AAC Main): its data lies before the gain
        }
        return max_sfb;
    };
    // The first channel's global gain comes before its bands; a pair with a common window
    // shares the number of bands, so both are empty when it is 0.
    const bool common = element == 1 && r.Read(1) != 0;
    int max_sfb = common ? ics_info() : -1;
    if (common && max_sfb < 0) return bits;
    if (common && r.Read(2) == 1) r.Skip(static_cast<std::size_t>(groups * max_sfb));  // M/S bits
    r.Skip(8);  // global_gain: encoders set it from the first band, a poor guide to loudness
    if (!common) max_sfb = ics_info();
    if (r.failed() || max_sfb < 0) return bits;
    bits.known = true;
    bits.silent = max_sfb == 0 && (element == 0 || common);
    // Quiet sound needs few bits: the frame's length follows its level where the gain does not.
    bits.level = bits.silent ? kSilenceBits : 20 * std::log10(static_cast<double>(frame.size()));
    return bits;
}

}  // namespace

FrameBits ReadFrameBits(StreamFormat format, std::string_view frame) {
    switch (format) {
        case StreamFormat::Mpeg:
            return MpegBits(frame);
        case StreamFormat::Adts:
            return AdtsBits(frame);
        default:
            return {};
    }
}

DecodePlan PlanDecoding(const std::vector<FrameBits>& all, bool with_previous, bool exact_silence) {
    const std::size_t first = with_previous ? 1 : 0;
    const std::size_t last = all.size();
    DecodePlan plan(last - first, FrameDecoding::Skip);
    if (first >= last) return plan;
    if (std::any_of(all.begin(), all.end(), [](const FrameBits& b) { return !b.known; })) {
        std::fill(plan.begin(), plan.end(), FrameDecoding::Decode);
        return plan;
    }
    const auto planned = [&](std::size_t i) -> FrameDecoding& { return plan[i - first]; };
    // After a frame without bits, one without bits has nothing left to sound.
    const auto silent = [&](std::size_t i) {
        return exact_silence && i > 0 && all[i].silent && all[i - 1].silent;
    };
    std::vector<double> levels;
    for (std::size_t i = first; i < last; ++i) levels.push_back(all[i].level);
    std::nth_element(levels.begin(),
                     levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 2), levels.end());
    const double typical = levels[levels.size() / 2];
    for (int c = 0; c < kCandidates; ++c) {
        std::size_t best = last;
        for (std::size_t i = first; i < last; ++i)
            if (planned(i) == FrameDecoding::Skip &&
                (best == last || all[i].level < all[best].level))
                best = i;
        if (best == last) break;
        const double limit = all[best].level + kStretchDb;
        const auto belongs = [&](std::size_t i) {
            const FrameBits& b = all[i];
            return planned(i) == FrameDecoding::Skip && b.level <= limit &&
                   (b.silent || b.level <= typical - kQuieterDb);
        };
        std::size_t begin = best;
        std::size_t end = best + 1;
        while (begin > first && belongs(begin - 1)) --begin;
        while (end < last && belongs(end)) ++end;
        begin = begin > first + kEdgeFrames ? begin - kEdgeFrames : first;
        end = std::min(last, end + kEdgeFrames);
        bool digital_silence = false;
        for (std::size_t i = begin; i < end; ++i) {
            planned(i) = silent(i) ? FrameDecoding::Silent : FrameDecoding::Decode;
            digital_silence = digital_silence || silent(i);
        }
        // Nothing sounds quieter: no other stretch needs decoding.
        if (digital_silence) break;
    }
    return plan;
}

}  // namespace velmora
