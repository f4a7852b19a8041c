// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's settings menu and about box.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "app/about_box.h"
#include "app/header_part.h"
#include "app/main_window.h"
#include "channels/channel_operations.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "widgets/picture_button.h"

namespace velmora {

void MainWindow::WireMenu() {
    connect(menu_button_, &PictureButton::clicked, this, &MainWindow::OnMenuClicked);
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
    header_ =
        new HeaderPart({this, header_image_, date_label_, time_label_, clock_timer_}, menu_, this);
}

void MainWindow::OnMenuClicked() {
    PopupSettingsMenu(menu_, this);
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

}  // namespace velmora
