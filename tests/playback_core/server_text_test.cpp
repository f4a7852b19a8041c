// Server texts printed to a terminal carry no control characters: a station's escape sequences
// must not reach the user's terminal.
#include <gtest/gtest.h>

#include <string>

#include "playback/server_text.h"

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

}  // namespace
}  // namespace velmora
