// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/header_clock.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::EnsureApp;

// The date is "dddd, d. mmmm yyyy" in the given locale's names, no leading zero on the day.
TEST(HeaderClock, DateTextUsesLocaleNames) {
    const QDate date(2026, 12, 7);
    EXPECT_EQ(ClockDateText(date, QLocale(QLocale::English, QLocale::UnitedStates)),
              "Monday, 7. December 2026");
    EXPECT_EQ(ClockDateText(QDate(2027, 3, 14), QLocale(QLocale::German, QLocale::Germany)),
              QString::fromUtf8("Sonntag, 14. M\xc3\xa4rz 2027"));
}

// The long time format keeps hours, minutes and seconds and loses its time zone.
TEST(HeaderClock, TimeTextDropsTheZone) {
    const struct {
        const char* format;
        const char* want;
    } rows[] = {
        {"HH:mm:ss t", "HH:mm:ss"},         {"h:mm:ss AP tttt", "h:mm:ss AP"},
        {"t HH:mm:ss", "HH:mm:ss"},         {"HH 'Uhr' mm ss", "HH 'Uhr' mm ss"},
        {"H 'at' mm:ss t", "H 'at' mm:ss"}, {"HH:mm:ss", "HH:mm:ss"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TimeFormatWithoutZone(QString::fromLatin1(row.format)),
                  QString::fromLatin1(row.want))
            << row.format;
    }
    const QTime t(8, 7, 3);
    EXPECT_EQ(ClockTimeText(t, QLocale(QLocale::German, QLocale::Germany)), "08:07:03");
    const QString us = ClockTimeText(t, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith("8:07:03")) << us.toStdString();
    EXPECT_FALSE(us.contains("UTC") || us.contains("Time")) << us.toStdString();
}

// Labels end 9 pixels inside the open (570) or closed (407) window; a new text moves only the
// left edge; placing and ticking never change visibility.
TEST(HeaderClock, LabelsKeepTheirRightEdge) {
    EnsureApp();
    EXPECT_EQ(LayoutForClientWidth(407), PanelLayout::Closed);
    EXPECT_EQ(LayoutForClientWidth(408), PanelLayout::Open);
    EXPECT_EQ(LayoutForClientWidth(568), PanelLayout::Open);

    QWidget window;
    window.resize(570, 269);
    QLabel date(&window);
    QLabel time(&window);
    SetupClockLabels(&date, &time);
    date.hide();
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QDateTime short_day(QDate(2026, 5, 1), QTime(9, 0, 0));  // "Friday, 1. May 2026"
    const QDateTime long_day(QDate(2026, 9, 30), QTime(23, 59, 59));

    PlaceClockLabels(&date, &time, PanelLayout::Open, short_day, en);
    EXPECT_EQ(date.x() + date.width(), 561);
    EXPECT_EQ(time.x() + time.width(), 561);
    EXPECT_EQ(date.y(), 14);
    EXPECT_EQ(time.y(), 36);
    EXPECT_EQ(date.text(), "Friday, 1. May 2026");
    EXPECT_TRUE(date.isHidden());
    EXPECT_FALSE(time.isHidden());
    const int short_left = date.x();

    RefreshClockLabels(&date, &time, long_day, en);
    EXPECT_EQ(date.text(), "Wednesday, 30. September 2026");
    EXPECT_EQ(date.x() + date.width(), 561);
    EXPECT_LT(date.x(), short_left);
    EXPECT_TRUE(date.isHidden());

    PlaceClockLabels(&date, &time, PanelLayout::Closed, long_day, en);
    EXPECT_EQ(date.x() + date.width(), 398);
    EXPECT_EQ(time.x() + time.width(), 398);
    RefreshClockLabels(&date, &time, short_day, en);
    EXPECT_EQ(date.x() + date.width(), 398);
    EXPECT_EQ(time.x() + time.width(), 398);
}

// The clock wakes when its text changes and not otherwise: seconds, minutes or midnight, just
// past the change (never at it, where an early timer would show the old text again).
TEST(HeaderClock, NextTickFollowsWhatShows) {
    const struct {
        QTime now;
        bool date, time, seconds;
        int want;
    } rows[] = {
        {QTime(10, 0, 0, 0), true, true, true, 1005},
        {QTime(10, 0, 0, 999), false, true, true, 6},
        {QTime(10, 0, 59, 500), true, true, false, 505},
        {QTime(10, 0, 0, 0), false, true, false, 60005},
        {QTime(23, 59, 59, 900), true, false, true, 105},
        {QTime(0, 0, 0, 0), true, false, false, 86400005},
        {QTime(12, 0, 0, 0), false, false, true, -1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(MsUntilClockChange(r.now, r.date, r.time, r.seconds), r.want)
            << r.now.toString("HH:mm:ss.zzz").toStdString() << " " << r.date << r.time;
    }
    EXPECT_TRUE(TimeFormatShowsSeconds("HH:mm:ss"));
    EXPECT_FALSE(TimeFormatShowsSeconds("h:mm AP"));
    EXPECT_FALSE(TimeFormatShowsSeconds("HH 'h' mm 'seconds'"));  // quoted text is no field
}

}  // namespace
}  // namespace velmora
