// SPDX-License-Identifier: GPL-3.0-or-later
// The Ogg chain scanner: the first byte picks the chunking, the rest is the stream. Chain
// boundaries and titles must not depend on how the stream is cut into reads; boundaries lie
// inside what was fed and only move forward; a pending page header is never more than was fed.
// The comment-packet reader also gets the bytes on their own.
#include <string>
#include <vector>

#include "engine/ogg_scanner.h"
#include "fuzz_support.h"

namespace {

struct Output {
    std::vector<std::uint64_t> boundaries;
    std::vector<std::string> titles;
    bool active = true;
};

Output Run(const std::uint8_t* data, const std::vector<std::size_t>& chunks) {
    Output out;
    engine::OggScanner scanner([&](std::uint64_t at) { out.boundaries.push_back(at); },
                               [&](const std::string& t) {
                                   FUZZ_CHECK(!t.empty());
                                   out.titles.push_back(t);
                               });
    std::size_t fed = 0;
    for (const std::size_t n : chunks) {
        scanner.Feed(data + fed, n);
        fed += n;
        FUZZ_CHECK(scanner.pending_header() <= fed);
    }
    for (std::size_t i = 0; i < out.boundaries.size(); ++i) {
        FUZZ_CHECK(out.boundaries[i] < fed);
        FUZZ_CHECK(i == 0 || out.boundaries[i] > out.boundaries[i - 1]);
    }
    out.active = scanner.active();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint32_t seed = data[0];
    ++data;
    --size;
    const Output whole = Run(data, {size});
    const Output split = Run(data, velmora::fuzz::Chunks(size, seed));
    FUZZ_CHECK(whole.boundaries == split.boundaries);
    FUZZ_CHECK(whole.titles == split.titles);
    FUZZ_CHECK(whole.active == split.active);

    const std::string packet(reinterpret_cast<const char*>(data), size);
    std::size_t chars = 0;
    for (const std::string& f : engine::ParseCommentPacket(packet)) chars += f.size();
    FUZZ_CHECK(chars <= size);
    (void)engine::CommentTitle(engine::ParseCommentPacket(packet));
    return 0;
}
