// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the fuzz targets: splits the input into the chunk sizes a socket might deliver, and a
// check that stops the run with a message when an invariant breaks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace velmora::fuzz {

// Chunk lengths adding up to `size`, drawn from a small generator seeded by `seed`: mostly short
// reads, now and then a long one, so that every parser state meets a chunk boundary.
inline std::vector<std::size_t> Chunks(std::size_t size, std::uint32_t seed) {
    std::vector<std::size_t> out;
    std::uint32_t x = seed * 2654435761u + 1;
    while (size > 0) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const std::size_t n = std::min<std::size_t>(size, (x & 7) == 0 ? 1 + x % 4096 : 1 + x % 7);
        out.push_back(n);
        size -= n;
    }
    return out;
}

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

}  // namespace velmora::fuzz
