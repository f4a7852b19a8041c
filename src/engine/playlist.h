// SPDX-License-Identifier: GPL-3.0-or-later
// Radio playlists: .pls, .m3u, .asx and .xspf. Recognised by address, content type or body, parsed
// into the entry addresses in playing order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class PlaylistKind { None, Pls, M3u, Asx, Xspf };

// By the address's extension (query and fragment ignored).
PlaylistKind PlaylistKindFromUrl(std::string_view url);
// By the response's content type (parameters ignored).
PlaylistKind PlaylistKindFromContentType(std::string_view content_type);
// By the first bytes of a body.
PlaylistKind PlaylistKindFromBody(std::string_view head);
// True when the first bytes are an HTML page rather than audio.
bool LooksLikeHtml(std::string_view head);

// True when an M3U body is an HLS playlist (media or master): #EXTM3U first, and #EXT-X- tags.
// Its entries are segments or variants, opened by the HLS feed rather than one by one.
bool IsHlsPlaylist(std::string_view body);
// The same question before anything is fetched, when only the address is known (the record button
// asks it of a channel's address): ".m3u8" anywhere in it, in any case. Once opened, the body
// decides (IsHlsPlaylist) whatever the address says.
bool IsHlsAddress(std::string_view url);

// A radio playlist names a handful of streams: only its first entries are read and tried.
inline constexpr std::size_t kPlaylistEntryLimit = 100;

// Entry addresses in order, at most kPlaylistEntryLimit; relative entries are resolved against
// `base_url`. `cut`, when given, says whether the list had more entries.
std::vector<std::string> ParsePlaylist(PlaylistKind kind, std::string_view body,
                                       std::string_view base_url, bool* cut = nullptr);

// `ref` made absolute against `base` ("http://host/dir/list.pls" + "a.mp3").
std::string ResolveUrl(std::string_view base, std::string_view ref);

}  // namespace engine
