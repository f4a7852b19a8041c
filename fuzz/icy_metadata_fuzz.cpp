// SPDX-License-Identifier: GPL-3.0-or-later
// The ICY metadata and header texts: the title rule, the station tags walk and the conversion of
// server bytes to UTF-8. A title is always a piece of the block, and whatever the bytes, the text
// shown is valid UTF-8.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "opening/stream_status.h"
#include "text/server_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view meta(reinterpret_cast<const char*>(data), size);

    if (const auto title = velmora::ParseStreamTitle(meta)) {
        FUZZ_CHECK(title->empty() || meta.find(*title) != std::string_view::npos);
        FUZZ_CHECK(velmora::IsValidUtf8(velmora::ServerTextToUtf8(*title)));
    }
    const std::string text = velmora::ServerTextToUtf8(meta);
    FUZZ_CHECK(velmora::IsValidUtf8(text));
    if (velmora::IsValidUtf8(meta)) FUZZ_CHECK(text == meta);

    // The same bytes as the header lines of a response: zero-terminated, an empty line last.
    std::string tags(meta);
    for (char& c : tags) {
        if (c == '\n') c = '\0';
    }
    tags.append(2, '\0');
    velmora::WalkStationTags(tags.c_str(), [&](const velmora::StatusReport& r) {
        FUZZ_CHECK(r.code == velmora::StreamStatus::StationName ||
                   r.code == velmora::StreamStatus::Bitrate);
        FUZZ_CHECK(r.text.size() <= tags.size() + 16);
    });
    return 0;
}
