// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/server_text.h"

#include "text/utf8.h"

#include <iconv.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <vector>

namespace velmora {

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += n + 1;
    }
    return true;
}

namespace {

using HighHalf = std::array<char32_t, 128>;
constexpr char32_t kUndefined = 0xFFFD;

// What the code page makes of the bytes 0x80..0xFF, asked of iconv once.
HighHalf ReadHighHalf(const char* name) {
    HighHalf t;
    t.fill(kUndefined);
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;
    for (int b = 0x80; b <= 0xFF; ++b) {
        char in_byte = static_cast<char>(b);
        unsigned char out[4] = {};
        char* in = &in_byte;
        char* o = reinterpret_cast<char*>(out);
        std::size_t in_left = 1, out_left = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &in_left, &o, &out_left) != static_cast<std::size_t>(-1) &&
            out_left == 0)
            t[b - 0x80] = out[0] | (out[1] << 8) | (out[2] << 16) | (char32_t{out[3]} << 24);
    }
    iconv_close(cd);
    return t;
}

const HighHalf& HighHalfOf(CodePage page) {
    static const HighHalf cp1251 = ReadHighHalf("WINDOWS-1251");
    static const HighHalf cp1252 = ReadHighHalf("WINDOWS-1252");
    return page == CodePage::Windows1251 ? cp1251 : cp1252;
}

char32_t CharAt(unsigned char c, const HighHalf& high) {
    return c < 0x80 ? c : high[c - 0x80];
}

enum class LetterKind { None, Basic, Accented, Cyrillic };

// Letters of the two code pages' repertoires, by script.
LetterKind KindOf(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return LetterKind::Basic;
    if (c >= 0x400 && c <= 0x52F) return LetterKind::Cyrillic;
    if (c == 0xAA || c == 0xB5 || c == 0xBA || c == 0x192) return LetterKind::Accented;
    if (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) return LetterKind::Accented;
    return LetterKind::None;
}

}  // namespace

const char* CodePageName(CodePage page) {
    return page == CodePage::Windows1251 ? "WINDOWS-1251" : "WINDOWS-1252";
}

namespace {

// Lower-case accented letters of Windows-1252: what lower-case Cyrillic turns into when misread.
bool IsLowerAccented(char32_t c) {
    return (c >= 0xDF && c <= 0xFF && c != 0xF7) || c == 0x153 || c == 0x161 || c == 0x17E;
}

// MisreadWords; `capitals_count` says whether a word of accented capitals only ("ÄÖÜ", or
// "ÐÀÄÈÎ", Cyrillic capitals misread) counts as misread, since either reading leaves it plausible.
int Misread(std::string_view bytes, CodePage page, bool capitals_count) {
    const HighHalf& high = HighHalfOf(page);
    int misread = 0;
    int basic = 0, accented = 0, lower_accented = 0, cyrillic = 0;
    const auto end_word = [&] {
        // Windows-1252 read as Windows-1251 puts Cyrillic letters inside Latin words
        // ("Цsterreich"); Cyrillic read as Windows-1252 gives words of accented letters only
        // ("Ðàäèî").
        if (cyrillic > 0 && basic + accented > 0) ++misread;
        if (cyrillic == 0 && basic == 0 && accented >= 2 && (capitals_count || lower_accented > 0))
            ++misread;
        basic = accented = lower_accented = cyrillic = 0;
    };
    for (unsigned char b : bytes) {
        const char32_t c = CharAt(b, high);
        if (c == kUndefined) ++misread;
        switch (KindOf(c)) {
            case LetterKind::None:
                end_word();
                break;
            case LetterKind::Basic:
                ++basic;
                break;
            case LetterKind::Accented:
                ++accented;
                if (IsLowerAccented(c)) ++lower_accented;
                break;
            case LetterKind::Cyrillic:
                ++cyrillic;
                break;
        }
    }
    end_word();
    return misread;
}

}  // namespace

int MisreadWords(std::string_view bytes, CodePage page) {
    return Misread(bytes, page, true);
}

std::optional<CodePage> PreferredCodePage(std::string_view bytes) {
    const int cyrillic = MisreadWords(bytes, CodePage::Windows1251);
    const int western = MisreadWords(bytes, CodePage::Windows1252);
    if (cyrillic == western) return std::nullopt;
    return cyrillic < western ? CodePage::Windows1251 : CodePage::Windows1252;
}

std::optional<CodePage> ClearCodePage(std::string_view bytes) {
    const int cyrillic = Misread(bytes, CodePage::Windows1251, false);
    const int western = Misread(bytes, CodePage::Windows1252, false);
    if (cyrillic == western) return std::nullopt;
    return cyrillic < western ? CodePage::Windows1251 : CodePage::Windows1252;
}

std::optional<CodePage> PreferredCodePage(std::string_view bytes, std::optional<CodePage> context) {
    if (const auto clear = ClearCodePage(bytes)) return clear;
    return context ? context : PreferredCodePage(bytes);
}

namespace {

// `undefined` replaces a byte the code page leaves undefined; 0 keeps the byte's own value.
void AppendCodePage(std::string& out, std::string_view bytes, CodePage page, char32_t undefined) {
    const HighHalf& high = HighHalfOf(page);
    out.reserve(out.size() + bytes.size() * 2);
    for (unsigned char b : bytes) {
        const char32_t c = CharAt(b, high);
        engine::AppendUtf8(out, c != kUndefined ? c : undefined != 0 ? undefined : char32_t{b});
    }
}

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, CodePage page) {
    std::string out;
    AppendCodePage(out, bytes, page, U'?');
    return out;
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.remove_prefix(3);
    return bytes;
}

std::string FileTextToUtf8(std::string_view bytes) {
    return ServerTextToUtf8(WithoutByteOrderMark(bytes));
}

namespace {

// Calls `each(line, line_end)` for every line of `text`, cut at every CR and every LF; the last
// line has no end (0). Nothing is stored: a file of millions of short lines costs no more memory
// than its text.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            each(text.substr(start), '\0');
            return;
        }
        each(text.substr(start, end - start), text[end]);
        start = end + 1;
    }
}

// The code page most of the lines that decide clearly were written in; nullopt for none or a tie.
std::optional<CodePage> FilePage(std::string_view text) {
    int cyrillic = 0, western = 0;
    ForEachLine(text, [&](std::string_view line, char) {
        if (IsValidUtf8(line)) return;
        if (const auto page = ClearCodePage(line)) {
            (*page == CodePage::Windows1251 ? cyrillic : western) += 1;
        }
    });
    if (cyrillic == western) return std::nullopt;
    return cyrillic > western ? CodePage::Windows1251 : CodePage::Windows1252;
}

}  // namespace

std::string ChannelListToUtf8(std::string_view bytes) {
    // CR and LF are the same byte in all three encodings.
    const std::string_view text = WithoutByteOrderMark(bytes);
    const std::optional<CodePage> file_page = FilePage(text);
    std::string out;
    out.reserve(text.size());
    ForEachLine(text, [&](std::string_view line, char line_end) {
        if (IsValidUtf8(line)) {
            out += line;
        } else {
            const auto page = PreferredCodePage(line, file_page);
            AppendCodePage(out, line, page.value_or(CodePage::Windows1252), 0);
        }
        if (line_end) out += line_end;
    });
    return out;
}

const char* GuessSingleByteCodePage(std::string_view bytes) {
    return CodePageName(PreferredCodePage(bytes).value_or(CodePage::Windows1252));
}

std::string ServerTextToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return CodePageToUtf8(bytes, PreferredCodePage(bytes).value_or(CodePage::Windows1252));
}

std::string DecodeHtmlEntities(std::string_view s) {
    static constexpr struct {
        std::string_view name;
        char32_t c;
    } kNamed[] = {{"amp", '&'},  {"lt", '<'},    {"gt", '>'},
                  {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t semi = s[i] == '&' ? s.find(';', i + 1) : std::string_view::npos;
        // The longest reference is "&#x10FFFF;"; anything longer is text.
        if (semi == std::string_view::npos || semi - i > 10) {
            out += s[i++];
            continue;
        }
        const std::string_view ref = s.substr(i + 1, semi - i - 1);
        std::optional<char32_t> c;
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            std::uint32_t v = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), v, hex ? 16 : 10);
            if (ec == std::errc() && end == digits.data() + digits.size() && !digits.empty() &&
                v >= 0x20 && !(v >= 0x7F && v <= 0x9F) && !(v >= 0xD800 && v <= 0xDFFF) &&
                v <= 0x10FFFF)
                c = v;
        } else {
            for (const auto& n : kNamed)
                if (n.name == ref) c = n.c;
        }
        if (!c) {
            out += s[i++];
            continue;
        }
        engine::AppendUtf8(out, *c);
        i = semi + 1;
    }
    return out;
}

std::string ServerTextDecoder::Decode(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    if (const auto preferred = PreferredCodePage(bytes, page_)) page_ = preferred;
    return CodePageToUtf8(bytes, page_.value_or(CodePage::Windows1252));
}

std::string ServerTextDecoder::DecodeName(std::string_view bytes) {
    return DecodeHtmlEntities(Decode(bytes));
}

std::string PrintableText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            out += '?';  // U+0080..U+009F, among them the one-byte CSI
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace velmora
