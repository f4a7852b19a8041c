// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's station choices: the directory, the user's list and an address from outside, the
// fixes once a stream sounds and the station's web pages.
#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include "app/analyser_part.h"
#include "app/listening_part.h"
#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/volume_control.h"
#include "app/web_address.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "listening/list_skip.h"
#include "playback/now_playing.h"
#include "playback/player.h"
#include "playback/station_argument.h"
#include "playback/transport.h"
#include "session/mpris_rules.h"
#include "session/tray_icon.h"
#include "widgets/picture_button.h"

namespace velmora {

StationChoice MainWindow::CurrentChoice() const {
    if (chosen_.UserChannel()) return chosen_;
    StationChoice directory;
    directory.source = StationSource::Directory;
    directory.row = directory_combo_->currentIndex();
    directory.name = directory_combo_->currentText();
    return directory;
}

// Play opens the directory's row from now on.
void MainWindow::ChooseDirectory() {
    chosen_ = StationChoice{};
    chosen_.source = StationSource::Directory;
}

void MainWindow::OnDirectoryRowChosen(int row) {
    playback_->LeaveCurrent(false);
    channels_->ClearSelection();
    ChooseDirectory();
    homepage_button_->show();
    programs_button_->show();
    const DirectoryChoice choice = ChooseDirectoryRow(row);
    if (choice.row != row) directory_combo_->setCurrentIndex(choice.row);  // raises no click
    if (!choice.show_programs) programs_button_->hide();
    // The new choice abandoned an opening still under way, so that the chosen row opens instead.
    playback_->Play();
}

void MainWindow::OnUserChannelChosen() {
    const int row = channels_->SelectedRow();
    const ChannelEntry entry = row >= 0 ? channels_->Entry(row) : ChannelEntry{};
    if (entry.IsSeparator()) {
        ChooseDirectory();
        list_buttons_[kEdit]->setEnabled(false);
        return;
    }
    playback_->LeaveCurrent(true);
    if (row < 0) {
        dialogs().Error(this, Msg("Please select a channel!"));
        return;
    }
    chosen_ = {StationSource::UserList, row, entry.name, entry.playlist};
    homepage_button_->setVisible(!entry.homepage.isEmpty());
    programs_button_->setVisible(!entry.programs.isEmpty());
    list_buttons_[kEdit]->setEnabled(true);
    playback_->Play();
}

void MainWindow::PlayStation(const QString& url, const QString& name) {
    // The address may come over the single-instance socket: it is checked again here.
    if (!IsStationAddress(url)) return;
    playback_->LeaveCurrent(true);
    // Played like a user channel that is not in the list: the list keeps no selection.
    channels_->ClearSelection();
    chosen_ = {StationSource::Address, -1, name, url};
    homepage_button_->hide();
    programs_button_->hide();
    list_buttons_[kEdit]->setEnabled(false);
    playback_->Play();
}

void MainWindow::OnDirectoryUp() {
    const int row = directory_combo_->currentIndex();
    const int before = RowBeforeUp(row);
    if (before != row) directory_combo_->setCurrentIndex(before);  // raises no click
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == directory_combo_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up && key->modifiers() == Qt::NoModifier) {
            OnDirectoryUp();
        }
    }
    return QWidget::eventFilter(watched, event);  // the drop-down's own handling follows
}

// Once per opening, when its stream starts to sound.
void MainWindow::ApplyStartFixes() {
    if (analyser_) analyser_->Start();  // keeps a running rhythm
    StartFixInput in;
    in.slider_position = volume_->Position();
    in.user_channel_mode = chosen_.UserChannel();
    in.directory_row = directory_combo_->currentIndex();
    in.user_row = channels_->SelectedRow();
    if (in.user_row >= 0) {
        const ChannelEntry entry = channels_->Entry(in.user_row);
        in.user_channel_name = entry.name;
        in.user_channel_url = entry.playlist;
    }
    const StartFixes fixes = PlaybackStartFixes(in);
    volume_->ShowPicturesForPosition();
    if (fixes.station_text) now_->SetStationText(*fixes.station_text);
    if (fixes.bitrate_text) now_->SetRateText(*fixes.bitrate_text);
    if (fixes.record_offered) now_->SetRecordable(*fixes.record_offered);
}

// --- station pages

void MainWindow::OnHomepageClicked() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->Entry(user_row).homepage);
        return;
    }
    const int row = directory_combo_->currentIndex();
    if (IsDirectoryStationRow(row)) {
        OpenWebPage(QString::fromUtf8(DirectoryRows()[row].homepage));
    }
}

void MainWindow::OnProgramsClicked() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->Entry(user_row).programs);
        return;
    }
    const int row = directory_combo_->currentIndex();
    if (!IsDirectoryStationRow(row)) return;
    if (DirectoryRowLacksPrograms(row)) {
        dialogs().Error(this, Msg("Programs are not available!"));
        return;
    }
    OpenWebPage(QString::fromUtf8(DirectoryRows()[row].programs));
}

void MainWindow::OpenWebPage(const QString& address) {
    const QUrl url = WebPageUrl(address);
    if (!url.isEmpty()) QDesktopServices::openUrl(url);  // fire and forget
}

// --- stations

void MainWindow::SkipStation(int step) {
    const StationChoice& playing = now_->Choice();
    if (playing.FromUserList()) {
        std::vector<bool> playable;
        for (int row = 0; row < channels_->Count(); ++row) {
            playable.push_back(!channels_->Entry(row).IsSeparator());
        }
        const int selected = channels_->SelectedRow();
        const int row = AdjacentListRow(playable, selected >= 0 ? selected : playing.row, step);
        if (row >= 0) {
            channels_->SetSelectedRow(row);
            OnUserChannelChosen();
            return;
        }
    }
    const int row = AdjacentStationRow(directory_combo_->currentIndex(), step);
    directory_combo_->setCurrentIndex(row);  // raises no click
    OnDirectoryRowChosen(row);
}

void MainWindow::RememberStation() {
    const StationChoice& c = now_->Choice();
    recent_.Add({c.name.isEmpty() ? now_->StationName() : c.name, static_cast<int>(c.source), c.row,
                 c.url});
    QStringList names;
    for (const RecentStation& s : recent_.Stations()) names << s.name;
    listening_->Tray()->SetRecentStations(names);
}

void MainWindow::PlayRecentStation(int index) {
    if (index < 0 || index >= static_cast<int>(recent_.Stations().size())) return;
    const RecentStation station = recent_.Stations()[static_cast<std::size_t>(index)];
    switch (static_cast<StationSource>(station.source)) {
        case StationSource::Directory:
            directory_combo_->setCurrentIndex(station.row);
            OnDirectoryRowChosen(station.row);
            return;
        case StationSource::UserList: {
            // The list may have changed since: its row, else any row with the same channel.
            auto same = [&](int row) {
                const ChannelEntry e = channels_->Entry(row);
                return e.name == station.name && e.playlist == station.url;
            };
            int row = station.row < channels_->Count() && station.row >= 0 && same(station.row)
                          ? station.row
                          : -1;
            for (int r = 0; row < 0 && r < channels_->Count(); ++r) {
                if (same(r)) row = r;
            }
            if (row >= 0) {
                channels_->SetSelectedRow(row);
                OnUserChannelChosen();
                return;
            }
            break;  // gone from the list: played by its address
        }
        default:
            break;
    }
    PlayStation(station.url, station.name);
}

}  // namespace velmora
