// Server texts (station names, titles, header lines) arrive as raw bytes in whatever character
// set the station uses. These turn them into UTF-8 for display.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// The bytes as UTF-8: unchanged when valid UTF-8, else read as Windows-1251 when the high bytes
// look Cyrillic, else as Windows-1252.
std::string ServerTextToUtf8(std::string_view bytes);
// The single-byte code page ServerTextToUtf8 would pick for non-UTF-8 bytes: "WINDOWS-1251" or
// "WINDOWS-1252".
const char* GuessSingleByteCodePage(std::string_view bytes);
// UTF-8 text with every control character (C0, DEL and C1; tab included) replaced by '?', for a
// terminal: a server's escape sequences must not rewrite the user's screen or window title.
std::string PrintableText(std::string_view utf8);

}  // namespace velmora
