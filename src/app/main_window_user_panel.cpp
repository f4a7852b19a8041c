// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's user channel panel: the list file, opening and closing the panel, and the buttons
// and menu items that change the list.
#include <QLabel>
#include <QTimer>

#include "app/header_clock.h"
#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/settings_binding.h"
#include "app/station_choice_part.h"
#include "channels/channel_editor.h"
#include "channels/channel_list_model.h"
#include "channels/channel_operations.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/player.h"
#include "widgets/picture_button.h"

namespace velmora {

void MainWindow::WireUserPanel() {
    connect(open_panel_button_, &PictureButton::clicked, this, &MainWindow::OnOpenPanelClicked);
    connect(close_panel_button_, &PictureButton::clicked, this, &MainWindow::OnClosePanelClicked);
    connect(list_buttons_[kAdd], &PictureButton::clicked, this,
            [this] { channel_editor_->OpenForAdd(); });
    connect(list_buttons_[kDelete], &PictureButton::clicked, this,
            &MainWindow::OnDeleteChannelClicked);
    connect(list_buttons_[kEdit], &PictureButton::clicked, this,
            [this] { channel_editor_->OpenForEdit(); });
    connect(list_buttons_[kDeleteAll], &PictureButton::clicked, this,
            &MainWindow::OnDeleteAllClicked);
    connect(list_buttons_[kMoveUp], &PictureButton::clicked, this, &MainWindow::OnMoveUpClicked);
    connect(list_buttons_[kMoveDown], &PictureButton::clicked, this,
            &MainWindow::OnMoveDownClicked);
}

void MainWindow::OnOpenPanelClicked() {
    SetClientWidth(this, kOpenPanelClientWidth);
    open_panel_button_->hide();
    close_panel_button_->show();
    velmora::PlaceClockLabels(date_label_, time_label_, PanelLayout::Open);
}

// A user channel that plays goes on playing, but Play now opens the directory's row.
void MainWindow::OnClosePanelClicked() {
    SetClientWidth(this, kClosedPanelClientWidth);
    open_panel_button_->show();
    close_panel_button_->hide();
    channels_->ClearSelection();
    choice_->ChooseDirectory();
    velmora::PlaceClockLabels(date_label_, time_label_, PanelLayout::Closed);
}

void MainWindow::OnDeleteChannelClicked() {
    DeleteChannel(*channels_, *this, this);
}

void MainWindow::OnDeleteAllClicked() {
    DeleteAllChannels(*channels_, this);
}

void MainWindow::OnMoveUpClicked() {
    MoveChannelUp(*channels_, this);
}

void MainWindow::OnMoveDownClicked() {
    MoveChannelDown(*channels_, this);
}

// Deleting any entry ends whatever plays; a recording goes on.
void MainWindow::StopAndReleaseStream() {
    player_->Stop();  // what the stopped stream still reports is not shown
}

void MainWindow::ResetNowPlaying() {
    now_->ShowNothingPlaying(Msg("Not playing"));
    choice_->HidePages();
    playback_->StopReplayTimer();
}

}  // namespace velmora
