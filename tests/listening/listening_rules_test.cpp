// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the listener services without a window: when a title is worth a notification,
// and the title history's entries and file format.
#include <gtest/gtest.h>

#include "listening/title_history.h"
#include "session/title_notifier.h"

namespace velmora::test {
namespace {

// A title is shown once per station, never blank, never to a user looking at the window.
TEST(ListeningRules, WhenATitleIsNotified) {
    struct Row {
        TitleNotice notice;
        bool shown;
    };
    const Row rows[] = {
        {{true, false, "FM", "A - 1", "", ""}, true},
        {{true, false, "FM", "A - 1", "FM", "A - 1"}, false},
        {{true, false, "Other FM", "A - 1", "FM", "A - 1"}, true},
        {{true, true, "FM", "A - 2", "FM", "A - 1"}, false},
        {{true, false, "FM", "  ", "FM", "A - 1"}, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ShouldNotify(r.notice), r.shown) << r.notice.title.toStdString();
    }
}

// Fields holding the escape characters themselves survive the file; damaged lines are skipped.
TEST(ListeningRules, HistoryFileFormat) {
    const QDateTime when = QDateTime::fromString("2026-05-01T21:07:09+02:00", Qt::ISODate);
    const QList<TitleHistoryEntry> entries = {
        {when, "Tab\tFM", "Line\nbreak\r\\t", true},
        {when.addSecs(-60), QString::fromUtf8("Радио"), "Back\\slash \\n", false},
    };
    const QByteArray bytes = FormatTitleHistory(entries);
    EXPECT_EQ(bytes.count('\n'), 2);
    EXPECT_EQ(ParseTitleHistory(bytes), entries);

    const QByteArray damaged = "no tabs\n" + bytes.left(bytes.indexOf('\n')) +
                               "\nnot-a-time\t-\tFM\tA\n2026-05-01T21:07:09Z\tX\tFM\tA\n"
                               "2026-05-01T21:07:09Z\t-\tFM\tbad \\q escape\n" +
                               bytes.mid(bytes.indexOf('\n') + 1, 30);
    EXPECT_EQ(ParseTitleHistory(damaged), entries.mid(0, 1));
}

// Blank titles and a repeat of the newest entry add nothing; the oldest entry leaves at the limit.
TEST(ListeningRules, HistoryEntriesAndLimit) {
    const QDateTime now = QDateTime::currentDateTime();
    QList<TitleHistoryEntry> list;
    EXPECT_TRUE(AddTitle(list, {now, "FM", "A - 1"}, 3));
    EXPECT_FALSE(AddTitle(list, {now, "FM", " "}, 3));
    EXPECT_FALSE(AddTitle(list, {now, "FM", "A - 1"}, 3));
    EXPECT_TRUE(AddTitle(list, {now, "Other FM", "A - 1"}, 3));
    EXPECT_TRUE(AddTitle(list, {now, "FM", "A - 2"}, 3));
    EXPECT_TRUE(AddTitle(list, {now, "FM", "A - 3"}, 3));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.first().title, "A - 3");
    EXPECT_EQ(list.last().station, "Other FM");
}

}  // namespace
}  // namespace velmora::test
