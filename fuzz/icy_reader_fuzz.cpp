// SPDX-License-Identifier: GPL-3.0-or-later
// The ICY de-interleaver: the first two bytes pick the metadata interval and the chunking, the rest
// is the stream. However the stream is cut into reads, the audio and the metadata texts must come
// out the same as from one read, and never more audio than was fed.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/icy_reader.h"
#include "fuzz_support.h"

namespace {

struct Output {
    std::string audio;
    std::vector<std::string> meta;
};

Output Run(std::size_t metaint, const std::uint8_t* data, const std::vector<std::size_t>& chunks) {
    Output out;
    engine::IcyReader reader(metaint);
    const auto audio = [&](const std::uint8_t* d, std::size_t n) {
        FUZZ_CHECK(n > 0);
        out.audio.append(reinterpret_cast<const char*>(d), n);
    };
    const auto meta = [&](const std::string& text) {
        FUZZ_CHECK(!text.empty() && text.find('\0') == std::string::npos);
        out.meta.push_back(text);
    };
    for (const std::size_t n : chunks) {
        reader.Feed(data, n, audio, meta);
        data += n;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Small intervals reach the metadata often; 0 is the stream without metadata.
    const std::size_t metaint = data[0] % 64 == 63 ? 8192 : data[0] % 64;
    const std::uint32_t seed = data[1];
    data += 2;
    size -= 2;
    const Output whole = Run(metaint, data, {size});
    const Output split = Run(metaint, data, velmora::fuzz::Chunks(size, seed));
    FUZZ_CHECK(whole.audio == split.audio);
    FUZZ_CHECK(whole.meta == split.meta);
    FUZZ_CHECK(whole.audio.size() <= size);
    if (metaint == 0) FUZZ_CHECK(whole.audio.size() == size);
    // Audio is the prefix of each interval: the first `metaint` bytes are always audio.
    FUZZ_CHECK(whole.audio.compare(
                   0, std::min(size, metaint),
                   std::string(reinterpret_cast<const char*>(data), std::min(size, metaint))) == 0);
    return 0;
}
