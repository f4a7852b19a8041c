// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's settings menu, header backgrounds, clock and about box.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "app/about_box.h"
#include "app/header_clock.h"
#include "app/main_window.h"
#include "channels/channel_operations.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "widgets/picture_button.h"

namespace velmora {

void MainWindow::WireMenu() {
    connect(menu_button_, &PictureButton::clicked, this, &MainWindow::OnMenuClicked);
    connect(menu_.ShowDate, &QAction::triggered, this, &MainWindow::OnShowDateToggled);
    connect(menu_.ShowTime, &QAction::triggered, this, &MainWindow::OnShowTimeToggled);
    for (const BackgroundInfo& info : kBackgrounds) {
        connect(menu_.Backgrounds[static_cast<std::size_t>(info.id)], &QAction::triggered, this,
                [this, id = info.id] { OnBackgroundChosen(id); });
    }
    connect(menu_.ExportList, &QAction::triggered, this,
            [this] { ExportChannelList(*channels_, this); });
    connect(menu_.ImportList, &QAction::triggered, this,
            [this] { ImportChannelList(*channels_, this); });
    connect(menu_.About, &QAction::triggered, this, &MainWindow::OnAboutClicked);
    menu_.SelectLanguage->setEnabled(true);
    connect(menu_.English, &QAction::triggered, this, [this] { ChooseLanguage("English"); });
    connect(menu_.German, &QAction::triggered, this, [this] { ChooseLanguage("German"); });
    connect(menu_.Russian, &QAction::triggered, this, [this] { ChooseLanguage("Russian"); });
    // Through the normal close, which saves the settings and the list.
    connect(menu_.CloseItem, &QAction::triggered, this, &QWidget::close);
    connect(clock_timer_, &QTimer::timeout, this, &MainWindow::OnClockTimer);
    ArmClock();
}

void MainWindow::OnMenuClicked() {
    PopupSettingsMenu(menu_, this);
}

// The item has already flipped its own mark.
void MainWindow::OnShowDateToggled() {
    date_label_->setVisible(menu_.ShowDate->isChecked());
    OnClockTimer();
}

void MainWindow::OnShowTimeToggled() {
    time_label_->setVisible(menu_.ShowTime->isChecked());
    OnClockTimer();
}

void MainWindow::OnBackgroundChosen(Background background) {
    ShowBackground(background);
    background_name_ = StoredName(background);
}

// The picture into the header; its item marked and disabled, the other four unmarked and enabled.
void MainWindow::ShowBackground(Background background) {
    const auto* source = findChild<QLabel*>(QLatin1String(InfoOf(background).picture));
    header_image_->setPixmap(source->pixmap());
    ApplyBackgroundItemStates(menu_.Backgrounds, background);
}

void MainWindow::OnAboutClicked() {
    about_box_->ShowWithHeader(header_image_->pixmap());
}

// The new language applies at the next start; closing normally saves it with the settings.
void MainWindow::ChooseLanguage(const char* language_name) {
    dialogs().Information(this, Msg("Program has to be restarted to apply the changes."));
    language_name_ = QString::fromLatin1(language_name);
    close();
}

void MainWindow::OnClockTimer() {
    RefreshClockLabels(date_label_, time_label_);
    ArmClock();
}

// The next tick comes when the shown text changes; with the date and time both hidden, none does.
void MainWindow::ArmClock() {
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    const int ms = MsUntilClockChange(QTime::currentTime(), !date_label_->isHidden(),
                                      !time_label_->isHidden(), TimeFormatShowsSeconds(format));
    if (ms < 0) {
        clock_timer_->stop();
    } else {
        clock_timer_->start(ms);
    }
}

}  // namespace velmora
