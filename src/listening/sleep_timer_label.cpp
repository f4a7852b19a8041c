// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/sleep_timer_label.h"

#include <QEvent>

#include "i18n/message.h"

namespace velmora {

namespace {
constexpr int kGapToDate = 12;
// The date label is 13 pixels high, this one 11: their baselines line up.
constexpr int kBelowDateTop = 2;
}  // namespace

SleepTimerLabel::SleepTimerLabel(QLabel* date_label, const QLabel* style, QWidget* parent)
    : QLabel(parent), date_label_(date_label) {
    setObjectName(QStringLiteral("SleepTimerLabel"));
    setTextFormat(Qt::PlainText);
    setFont(style->font());
    setStyleSheet(style->styleSheet());
    setAlignment(Qt::AlignRight | Qt::AlignTop);
    setAttribute(Qt::WA_TranslucentBackground);
    hide();
    date_label_->installEventFilter(this);
}

void SleepTimerLabel::ShowMinutes(int minutes) {
    if (minutes <= 0) {
        hide();
        return;
    }
    setText(Msg("Sleep in %1 min").arg(minutes));
    adjustSize();
    Place();
    show();
    raise();
}

bool SleepTimerLabel::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            Place();
            break;
        default:
            break;
    }
    return QLabel::eventFilter(watched, event);
}

void SleepTimerLabel::Place() {
    const int date_right = date_label_->x() + date_label_->width();
    const int right = date_label_->isHidden() ? date_right : date_label_->x() - kGapToDate;
    move(right - width(), date_label_->y() + kBelowDateTop);
}

}  // namespace velmora
