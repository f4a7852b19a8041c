// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/header_clock.h"

#include <QFont>
#include <QLabel>

namespace velmora {

PanelLayout LayoutForClientWidth(int client_width) {
    return client_width == kClosedPanelClientWidth ? PanelLayout::Closed : PanelLayout::Open;
}

int ClockRightEdge(PanelLayout layout) {
    return layout == PanelLayout::Closed ? 398 : 561;
}

QString ClockDateText(const QDate& date, const QLocale& locale) {
    return locale.toString(date, QStringLiteral("dddd, d. MMMM yyyy"));
}

QString TimeFormatWithoutZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == u't') {
            // Drop the zone field and the blanks that separated it from the rest.
            while (!out.isEmpty() && out.back().isSpace()) out.chop(1);
            while (i + 1 < format.size() && format[i + 1] == u't') ++i;
            while (i + 1 < format.size() && format[i + 1].isSpace() && out.isEmpty()) ++i;
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

bool TimeFormatShowsSeconds(const QString& format) {
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u's') return true;
    }
    return false;
}

int MsUntilClockChange(const QTime& now, bool date_shown, bool time_shown, bool time_has_seconds) {
    // Timers may fire a little early; landing just after the change shows the new text at once.
    constexpr int kPastChangeMs = 5;
    constexpr int kDayMs = 24 * 60 * 60 * 1000;
    const int ms = now.msecsSinceStartOfDay();
    if (time_shown) {
        const int period = time_has_seconds ? 1000 : 60 * 1000;
        return period - ms % period + kPastChangeMs;
    }
    if (date_shown) return kDayMs - ms + kPastChangeMs;
    return -1;
}

QString ClockTimeText(const QTime& time, const QLocale& locale) {
    return locale.toString(time, TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

void SetupClockLabels(QLabel* date_label, QLabel* time_label) {
    QFont date_font(QStringLiteral("Tahoma"));
    date_font.setPixelSize(13);
    date_font.setBold(true);
    QFont time_font(QStringLiteral("Tahoma"));
    time_font.setPixelSize(11);
    date_label->setFont(date_font);
    time_label->setFont(time_font);
    for (QLabel* l : {date_label, time_label}) {
        l->setStyleSheet(QStringLiteral("color: silver; background: transparent;"));
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);
        l->setAttribute(Qt::WA_TranslucentBackground);
    }
}

void SetLabelTextAt(QLabel* label, const QString& text, int right_edge, int top) {
    label->setText(text);
    label->adjustSize();
    label->move(right_edge - label->width(), top);
}

void RefreshClockLabels(QLabel* date_label, QLabel* time_label, const QDateTime& now,
                        const QLocale& locale) {
    SetLabelTextAt(date_label, ClockDateText(now.date(), locale),
                   date_label->x() + date_label->width(), date_label->y());
    SetLabelTextAt(time_label, ClockTimeText(now.time(), locale),
                   time_label->x() + time_label->width(), time_label->y());
}

void PlaceClockLabels(QLabel* date_label, QLabel* time_label, PanelLayout layout,
                      const QDateTime& now, const QLocale& locale) {
    const int right = ClockRightEdge(layout);
    SetLabelTextAt(date_label, ClockDateText(now.date(), locale), right, kDateLabelTop);
    SetLabelTextAt(time_label, ClockTimeText(now.time(), locale), right, kTimeLabelTop);
}

}  // namespace velmora
