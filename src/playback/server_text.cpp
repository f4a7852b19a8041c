#include "playback/server_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

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

const char* GuessSingleByteCodePage(std::string_view s) {
    // Windows-1251 puts the Cyrillic alphabet at 0xC0..0xFF; Western text in Windows-1252 uses
    // that range for scattered accented letters. Mostly-high-byte words point to Cyrillic.
    std::size_t high = 0, cyr_letters = 0, latin_letters = 0;
    for (unsigned char c : s) {
        if (c >= 0x80) ++high;
        if (c >= 0xC0) ++cyr_letters;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ++latin_letters;
    }
    if (high > 0 && cyr_letters * 2 >= high && cyr_letters >= latin_letters / 2)
        return "WINDOWS-1251";
    return "WINDOWS-1252";
}

std::string ServerTextToUtf8(std::string_view s) {
    if (IsValidUtf8(s)) return std::string(s);
    iconv_t cd = iconv_open("UTF-8", GuessSingleByteCodePage(s));
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(s);
    std::string out(s.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(s.data());
    std::size_t in_left = s.size();
    char* o = out.data();
    std::size_t out_left = out.size();
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1)) {
            if (errno == EILSEQ || errno == EINVAL) {
                // Bytes the code page leaves undefined (0x81 in 1252, say) become '?'.
                ++in;
                --in_left;
                if (out_left > 0) {
                    *o++ = '?';
                    --out_left;
                }
                continue;
            }
            break;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - out_left);
    return out;
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
