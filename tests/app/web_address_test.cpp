// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/web_address.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Station pages as users type them open in the browser; web addresses stay as given, and no other
// scheme opens, since a page address may come from an imported list.
TEST(WebAddress, AddressesWithoutSchemeOpenAsHttp) {
    const struct {
        QString typed, opened;
    } rows[] = {
        {"www.radio.example", "http://www.radio.example"},
        {" radio.example/shows?day=1 ", "http://radio.example/shows?day=1"},
        {"radio.example:8000/live", "http://radio.example:8000/live"},
        {"localhost:8080", "http://localhost:8080"},
        {"http://radio.example/", "http://radio.example/"},
        {"HTTPS://radio.example/a", "https://radio.example/a"},
        {"mailto:studio@radio.example", "mailto:studio@radio.example"},
        {"file:///etc/passwd", ""},
        {"ftp://radio.example/x", ""},
        {"javascript://x", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(WebPageUrl(r.typed).toString(), r.opened) << r.typed.toStdString();
}

}  // namespace
}  // namespace velmora
