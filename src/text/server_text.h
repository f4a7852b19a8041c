// SPDX-License-Identifier: GPL-3.0-or-later
// Server texts (station names, titles, header lines) arrive as raw bytes in whatever character
// set the station uses. These turn them into UTF-8 for display.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The single-byte code pages stations and old channel lists use besides UTF-8.
enum class CodePage { Windows1251, Windows1252 };

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// iconv / ICU name of the code page: "WINDOWS-1251" or "WINDOWS-1252".
const char* CodePageName(CodePage page);
// How many words of `bytes` read wrongly in `page`: Cyrillic letters inside Latin words,
// words spelt only with accented Latin letters (Cyrillic misread as Western), and bytes the code
// page leaves undefined.
int MisreadWords(std::string_view bytes, CodePage page);
// The code page whose reading of `bytes` has fewer misread words; nullopt when both read as well
// (no high bytes, or only symbols and lone letters).
std::optional<CodePage> PreferredCodePage(std::string_view bytes);
// The code page `bytes` leave no doubt about: only words that one reading misreads and the other
// does not count, and a word of accented capitals only ("ÄÖÜ" or misread Cyrillic capitals) does
// not, since both readings leave it plausible. nullopt when no word decides.
std::optional<CodePage> ClearCodePage(std::string_view bytes);
// ClearCodePage when it decides; else `context` (the code page the text's file or stream was
// decided in) when there is one; else PreferredCodePage(bytes).
std::optional<CodePage> PreferredCodePage(std::string_view bytes, std::optional<CodePage> context);
// Single-byte text as UTF-8; bytes the code page leaves undefined become '?'.
std::string CodePageToUtf8(std::string_view bytes, CodePage page);
// The bytes as UTF-8: unchanged when valid UTF-8, else read in the preferred code page
// (Windows-1252 when neither is preferred).
std::string ServerTextToUtf8(std::string_view bytes);
// The single-byte code page ServerTextToUtf8 would pick for non-UTF-8 bytes: "WINDOWS-1251" or
// "WINDOWS-1252".
const char* GuessSingleByteCodePage(std::string_view bytes);
// Decodes HTML character references in UTF-8 text: &amp; &lt; &gt; &quot; &apos; &nbsp;, &#N;
// and &#xH;. A reference to a control character, a surrogate or no character stays as written,
// and the result is not decoded again ("&amp;lt;" gives "&lt;").
std::string DecodeHtmlEntities(std::string_view utf8);

// The texts of one stream. Its code page is decided by the texts that tell the two apart, and a
// text that does not (a lone "№" or "À") is read in the stream's code page, so the station's
// titles do not switch alphabets from one song to the next.
class ServerTextDecoder {
  public:
    // A header line or other raw text as UTF-8.
    std::string Decode(std::string_view bytes);
    // A station name or title: decoded, with HTML character references resolved.
    std::string DecodeName(std::string_view bytes);
    // A new stream starts undecided.
    void Reset() { page_.reset(); }
    std::optional<CodePage> page() const { return page_; }

  private:
    std::optional<CodePage> page_;
};

// UTF-8 text with every control character (C0, DEL and C1; tab included) replaced by '?', for a
// terminal: a server's escape sequences must not rewrite the user's screen or window title.
std::string PrintableText(std::string_view utf8);

}  // namespace velmora
