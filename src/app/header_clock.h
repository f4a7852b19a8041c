// SPDX-License-Identifier: GPL-3.0-or-later
// The date and time drawn over the right end of the header: texts from the system's regional
// settings, right-aligned labels whose right edge stays put for the open or closed user panel.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

class QLabel;

namespace velmora {

enum class PanelLayout { Open, Closed };

inline constexpr int kClosedPanelClientWidth = 407;
inline constexpr int kDateLabelTop = 14;
inline constexpr int kTimeLabelTop = 36;

// A client width of exactly 407 means the user panel is closed; any other width that it is open.
PanelLayout LayoutForClientWidth(int client_width);
// Where the labels end: 9 pixels inside the 570- or 407-pixel-wide client area.
int ClockRightEdge(PanelLayout layout);

// "Monday, 7. December 2026": full weekday, day without leading zero, full month, four-digit year,
// with names from `locale`.
QString ClockDateText(const QDate& date, const QLocale& locale = QLocale::system());
// The locale's long time format (hours, minutes, seconds) without its time-zone part.
QString ClockTimeText(const QTime& time, const QLocale& locale = QLocale::system());
// `format` with time-zone fields ("t", "tt", ...) and the blanks around them removed.
QString TimeFormatWithoutZone(const QString& format);
// Whether `format` (a QLocale time format) shows seconds: an unquoted "s".
bool TimeFormatShowsSeconds(const QString& format);
// Milliseconds from `now` until what the header shows next changes, a little past the change so
// the new text is there when the timer fires: the next second (or minute, for a time without
// seconds) while the time shows, the next midnight while only the date shows; -1 when neither
// shows, so the clock need not tick at all.
int MsUntilClockChange(const QTime& now, bool date_shown, bool time_shown, bool time_has_seconds);

// Fonts, colours and alignment of the two header labels (silver, bold 13-pixel date, regular
// 11-pixel time, transparent over the picture).
void SetupClockLabels(QLabel* date_label, QLabel* time_label);
// Sets `text`, fits the label to it and moves it so its right edge is at `right_edge`
// (x + width == right_edge). Hidden labels are sized too.
void SetLabelTextAt(QLabel* label, const QString& text, int right_edge, int top);
// The clock tick: new texts, each label keeping its current right edge; visibility unchanged.
void RefreshClockLabels(QLabel* date_label, QLabel* time_label,
                        const QDateTime& now = QDateTime::currentDateTime(),
                        const QLocale& locale = QLocale::system());
// Puts both labels' right edges where `layout` wants them and fills them with the current date
// and time at once; visibility unchanged.
void PlaceClockLabels(QLabel* date_label, QLabel* time_label, PanelLayout layout,
                      const QDateTime& now = QDateTime::currentDateTime(),
                      const QLocale& locale = QLocale::system());

}  // namespace velmora
