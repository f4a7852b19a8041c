// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's settings menu and about box.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include "app/about_box.h"
#include "app/header_part.h"
#include "app/main_window.h"
#include "app/station_finding.h"
#include "channels/channel_editor.h"
#include "channels/channel_list_model.h"
#include "channels/channel_operations.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "widgets/picture_button.h"
#include "widgets/proxy_panel.h"

namespace velmora {

void MainWindow::WireMenu() {
    connect(menu_button_, &PictureButton::clicked, this, &MainWindow::OnMenuClicked);
    connect(menu_.ExportList, &QAction::triggered, this,
            [this] { ExportChannelList(*channels_, this); });
    connect(menu_.ImportList, &QAction::triggered, this,
            [this] { ImportChannelList(*channels_, this); });
    connect(menu_.About, &QAction::triggered, this, &MainWindow::OnAboutClicked);
    finding_ = new StationFinding(
        this, {[this](const QString& url, const QString& name) { PlayStation(url, name); },
               [this](const ChannelEntry& entry) {
                   channels_->Add(entry, channel_editor_ && channel_editor_->PositionTop()
                                             ? ChannelListModel::Position::Top
                                             : ChannelListModel::Position::Bottom);
               },
               [this] {
                   return proxy_panel_->directSwitch->isChecked()
                              ? QString()
                              : proxy_panel_->addressEdit->text();
               }});
    // The item's Ctrl+F works while the menu is closed too.
    addAction(menu_.FindStations);
    menu_.FindStations->setShortcutContext(Qt::WindowShortcut);
    connect(menu_.FindStations, &QAction::triggered, finding_, &StationFinding::Open);
    connect(now_, &NowPlaying::phaseChanged, finding_, [this](NowPlaying::Phase phase) {
        if (phase == NowPlaying::Phase::Playing) finding_->StationPlaying(now_->Choice().url);
    });
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
