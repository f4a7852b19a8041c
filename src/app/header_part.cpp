// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/header_part.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <QWidget>

#include "app/header_clock.h"
#include "app/settings_menu.h"

namespace velmora {

HeaderPart::HeaderPart(Controls controls, const SettingsMenu& menu, QObject* parent)
    : QObject(parent), c_(controls), menu_(menu) {
    connect(menu_.ShowDate, &QAction::triggered, this, &HeaderPart::OnShowDateToggled);
    connect(menu_.ShowTime, &QAction::triggered, this, &HeaderPart::OnShowTimeToggled);
    for (const BackgroundInfo& info : kBackgrounds) {
        connect(menu_.Backgrounds[static_cast<std::size_t>(info.id)], &QAction::triggered, this,
                [this, id = info.id] { OnBackgroundChosen(id); });
    }
    connect(c_.clock_timer, &QTimer::timeout, this, &HeaderPart::OnClockTimer);
    ArmClock();
}

void HeaderPart::FollowMenuMarks() {
    c_.date_label->setVisible(menu_.ShowDate->isChecked());
    c_.time_label->setVisible(menu_.ShowTime->isChecked());
    ArmClock();
}

// The item has already flipped its own mark.
void HeaderPart::OnShowDateToggled() {
    c_.date_label->setVisible(menu_.ShowDate->isChecked());
    OnClockTimer();
}

void HeaderPart::OnShowTimeToggled() {
    c_.time_label->setVisible(menu_.ShowTime->isChecked());
    OnClockTimer();
}

void HeaderPart::OnBackgroundChosen(Background background) {
    ShowBackground(background);
    background_name_ = StoredName(background);
}

// The picture into the header; its item marked and disabled, the other four unmarked and enabled.
void HeaderPart::ShowBackground(Background background) {
    const auto* source = c_.window->findChild<QLabel*>(QLatin1String(InfoOf(background).picture));
    c_.header_image->setPixmap(source->pixmap());
    ApplyBackgroundItemStates(menu_.Backgrounds, background);
}

void HeaderPart::ApplyBackground() {
    if (const std::optional<Background> b = MatchStoredBackground(background_name_)) {
        ShowBackground(*b);
    }
}

void HeaderPart::OnClockTimer() {
    RefreshClockLabels(c_.date_label, c_.time_label);
    ArmClock();
}

// The next tick comes when the shown text changes; with the date and time both hidden, none does.
void HeaderPart::ArmClock() {
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    const int ms = MsUntilClockChange(QTime::currentTime(), !c_.date_label->isHidden(),
                                      !c_.time_label->isHidden(), TimeFormatShowsSeconds(format));
    if (ms < 0) {
        c_.clock_timer->stop();
    } else {
        c_.clock_timer->start(ms);
    }
}

}  // namespace velmora
