// SPDX-License-Identifier: GPL-3.0-or-later
// Texts from outside arrive as raw bytes in whatever character set their writer used: server texts
// (station names, titles, header lines), update texts, settings files and channel lists. These
// turn them into UTF-8, all through the same two code-page tables and the same rules.
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
// `bytes` without a leading UTF-8 byte-order mark: the one rule for every file and body read.
std::string_view WithoutByteOrderMark(std::string_view bytes);
// A settings file's text as UTF-8: without its byte-order mark, then as ServerTextToUtf8.
std::string FileTextToUtf8(std::string_view bytes);
// A channel list as UTF-8, line by line, line breaks kept: a line of valid UTF-8 is taken as it
// is, any other in the code page that older installs wrote in and in which its words are of one
// script; a line that both code pages leave plausible is read as the rest of the file (the code
// page most of its clearly decided lines were written in), else as Windows-1252. Lists mix lines
// of different origins (an old list with names pasted from elsewhere), hence the lines' own
// decisions. Bytes the code page leaves undefined stay the control characters of their value.
std::string ChannelListToUtf8(std::string_view bytes);
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
