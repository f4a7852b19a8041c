// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/shown_text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ShownText, OneBoundedLineThatCannotTurnTheTextAround) {
    const struct {
        QString in;
        qsizetype max;
        QString out;
    } rows[] = {
        {"Band - Song", 300, "Band - Song"},
        {"a\r\nb\tc\x1b[0m\x7f", 300, "a  b c [0m "},
        {QString::fromUtf8("x\u0085y\u2028z"), 300, "x y z"},
        // Overrides, embeddings and isolates go; right-to-left text itself stays.
        {QString::fromUtf8("\u202Egnp.exe\u202C \u2067\u05e9\u05dc\u05d5\u05dd\u2069"), 300,
         QString::fromUtf8("gnp.exe \u05e9\u05dc\u05d5\u05dd")},
        {QString(10000, 'x'), 300, QString(297, 'x') + "..."},
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abc..."},
        // A character outside the basic plane is not cut in two.
        {"ab" + QString::fromUtf8("\U0001F3B5") + "cdefg", 6, "ab..."},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ShownText(r.in, r.max), r.out) << r.in.left(20).toStdString();
    }
}

}  // namespace
}  // namespace velmora
