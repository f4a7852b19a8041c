// SPDX-License-Identifier: GPL-3.0-or-later
// One playlist parser, chosen at build time (FUZZ_PLAYLIST_KIND). Entries are never empty, every
// entry is an absolute address or was resolved against the playlist's own, and recognising the
// body by its first bytes never fails.
#include <string>
#include <string_view>

#include "engine/playlist.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto kind = engine::PlaylistKind::FUZZ_PLAYLIST_KIND;
    (void)engine::PlaylistKindFromBody(body.substr(0, 4096));
    (void)engine::LooksLikeHtml(body.substr(0, 4096));

    const std::string base = "http://radio.example.org/lists/station.pls";
    const auto entries = engine::ParsePlaylist(kind, body, base);
    std::size_t chars = 0;
    for (const std::string& url : entries) {
        FUZZ_CHECK(!url.empty());
        chars += url.size();
    }
    // Resolving adds at most the base to an entry and escaping triples a byte at most; nothing
    // else grows the text.
    FUZZ_CHECK(chars <= size * 3 + entries.size() * (base.size() + 16));
    return 0;
}
