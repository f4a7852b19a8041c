// SPDX-License-Identifier: GPL-3.0-or-later
// Server texts printed to a terminal carry no control characters: a station's escape sequences
// must not reach the user's terminal.
#include <gtest/gtest.h>

#include <string>

#include "text/server_text.h"

namespace velmora {
namespace {

TEST(ServerTextTest, PrintableTextReplacesEveryControlCharacter) {
    const struct {
        std::string in, out;
    } rows[] = {
        {"Radio \xd0\x9c\xd0\xb8\xd1\x80 \xe2\x80\x93 Caf\xc3\xa9",
         "Radio \xd0\x9c\xd0\xb8\xd1\x80 \xe2\x80\x93 Caf\xc3\xa9"},
        {"\x1b]0;owned\x07title", "?]0;owned?title"},
        {"a\x1b[2Jb\tc\r\nd\x7f", "a?[2Jb?c??d?"},
        {"x\xc2\x9b"
         "31my\xc2\x85z\xc2\xa0",
         "x?31my?z\xc2\xa0"},  // C1 controls; NBSP is text
        {std::string("nul\0end", 7), "nul?end"},
    };
    for (const auto& r : rows) EXPECT_EQ(PrintableText(r.in), r.out) << r.in;
}

// Titles in UTF-8, Windows-1251 and Windows-1252 each read right, with HTML references
// resolved; a later title that does not tell the code pages apart keeps the stream's choice.
TEST(ServerTextTest, StreamTitlesDecodeInTheirCharacterSet) {
    const struct {
        std::string_view first, later, first_out, later_out;
    } rows[] = {
        // Cyrillic "Радио Мир" in 1251; then a lone letter byte, "А" in 1251 and "À" in 1252.
        {"\xD0\xE0\xE4\xE8\xEE \xCC\xE8\xF0", "Track \xC0",
         "\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE \xD0\x9C\xD0\xB8\xD1\x80", "Track \xD0\x90"},
        // Western "Café Österreich" in 1252; the same lone byte stays Western.
        {"Caf\xE9 \xD6sterreich", "Track \xC0", "Caf\xC3\xA9 \xC3\x96sterreich", "Track \xC3\x80"},
        // UTF-8 passes unchanged and decides nothing: the lone byte reads as Western.
        {"\xD0\x9C\xD0\xB8\xD1\x80 \xE2\x80\x93 Caf\xC3\xA9", "\xB9 5",
         "\xD0\x9C\xD0\xB8\xD1\x80 \xE2\x80\x93 Caf\xC3\xA9", "\xC2\xB9 5"},
        // "№ 5" in a stream that was Cyrillic.
        {"\xCF\xE5\xF1\xED\xFF", "\xB9 5", "\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F",
         "\xE2\x84\x96 5"},
        // Accented capitals follow the stream: "ÄÖÜ" after a Western title stays Western.
        {"Caf\xE9", "\xC4\xD6\xDC Live", "Caf\xC3\xA9", "\xC3\x84\xC3\x96\xC3\x9C Live"},
        // A later title that is plainly of the other code page is read in it.
        {"\xCF\xE5\xF1\xED\xFF", "Caf\xE9", "\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F",
         "Caf\xC3\xA9"},
        // References: named, decimal and hex ones; broken or control ones stay as written.
        {"Tom &amp; Jerry &#39;Live&#x27; &quot;x&quot; &lt;3",
         "&amp;lt; &#0; &#x110000; &bogus; a&b; &#65", "Tom & Jerry 'Live' \"x\" <3",
         "&lt; &#0; &#x110000; &bogus; a&b; &#65"},
        // References in a single-byte title; 0x81 is undefined in Windows-1252.
        {"R&amp;B \xE0 la carte\x81", "&#1056;&#x430;", "R&B \xC3\xA0 la carte?",
         "\xD0\xA0\xD0\xB0"},
    };
    for (const auto& r : rows) {
        ServerTextDecoder stream;
        EXPECT_EQ(stream.DecodeName(r.first), r.first_out) << r.first;
        EXPECT_EQ(stream.DecodeName(r.later), r.later_out) << r.later;
    }
    // Header lines decode by the same rules, without references.
    ServerTextDecoder stream;
    EXPECT_EQ(stream.Decode("icy-name:Rock &amp; Roll \xC4\xE0"),
              "icy-name:Rock &amp; Roll \xD0\x94\xD0\xB0");
}

}  // namespace
}  // namespace velmora
