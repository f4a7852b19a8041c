// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/station_choice_part.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QUrl>
#include <vector>

#include "app/playback_control.h"
#include "app/web_address.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "listening/list_skip.h"
#include "playback/directory_rows.h"
#include "playback/station_argument.h"
#include "session/mpris_rules.h"
#include "session/tray_icon.h"
#include "widgets/picture_button.h"

namespace velmora {

namespace {

void OpenWebPage(const QString& address) {
    const QUrl url = WebPageUrl(address);
    if (!url.isEmpty()) QDesktopServices::openUrl(url);  // fire and forget
}

}  // namespace

StationChoicePart::StationChoicePart(Controls controls, QObject* parent)
    : QObject(parent), c_(controls) {
    c_.directory->installEventFilter(this);
    connect(c_.directory, &QComboBox::activated, this, &StationChoicePart::OnDirectoryRowChosen);
    connect(c_.channels, &ChannelListModel::Chosen, this, &StationChoicePart::OnUserChannelChosen);
    connect(c_.homepage_button, &PictureButton::clicked, this,
            &StationChoicePart::OnHomepageClicked);
    connect(c_.programs_button, &PictureButton::clicked, this,
            &StationChoicePart::OnProgramsClicked);
    connect(c_.tray, &TrayIcon::skipRequested, this, &StationChoicePart::SkipStation);
    connect(c_.tray, &TrayIcon::recentStationChosen, this, &StationChoicePart::PlayRecentStation);
    connect(c_.now, &NowPlaying::phaseChanged, this, [this](NowPlaying::Phase phase) {
        if (phase == NowPlaying::Phase::Playing) RememberStation();
    });
}

StationChoice StationChoicePart::Current() const {
    if (chosen_.UserChannel()) return chosen_;
    StationChoice directory;
    directory.source = StationSource::Directory;
    directory.row = c_.directory->currentIndex();
    directory.name = c_.directory->currentText();
    return directory;
}

void StationChoicePart::ChooseDirectory() {
    chosen_ = StationChoice{};
    chosen_.source = StationSource::Directory;
}

void StationChoicePart::OnDirectoryRowChosen(int row) {
    c_.playback->LeaveCurrent(false);
    c_.channels->ClearSelection();
    ChooseDirectory();
    c_.homepage_button->show();
    c_.programs_button->show();
    const DirectoryChoice choice = ChooseDirectoryRow(row);
    if (choice.row != row) c_.directory->setCurrentIndex(choice.row);  // raises no click
    if (!choice.show_programs) c_.programs_button->hide();
    // The new choice abandoned an opening still under way, so that the chosen row opens instead.
    c_.playback->Play();
}

void StationChoicePart::OnUserChannelChosen() {
    const int row = c_.channels->SelectedRow();
    const ChannelEntry entry = row >= 0 ? c_.channels->Entry(row) : ChannelEntry{};
    if (entry.IsSeparator()) {
        ChooseDirectory();
        c_.edit_button->setEnabled(false);
        return;
    }
    c_.playback->LeaveCurrent(true);
    if (row < 0) {
        dialogs().Error(c_.window, Msg("Please select a channel!"));
        return;
    }
    chosen_ = {StationSource::UserList, row, entry.name, entry.playlist};
    c_.homepage_button->setVisible(!entry.homepage.isEmpty());
    c_.programs_button->setVisible(!entry.programs.isEmpty());
    c_.edit_button->setEnabled(true);
    c_.playback->Play();
}

void StationChoicePart::PlayStation(const QString& url, const QString& name) {
    // The address may come over the single-instance socket: it is checked again here.
    if (!IsStationAddress(url)) return;
    c_.playback->LeaveCurrent(true);
    // Played like a user channel that is not in the list: the list keeps no selection.
    c_.channels->ClearSelection();
    chosen_ = {StationSource::Address, -1, name, url};
    c_.homepage_button->hide();
    c_.programs_button->hide();
    c_.edit_button->setEnabled(false);
    c_.playback->Play();
}

void StationChoicePart::HidePages() {
    c_.homepage_button->hide();
    c_.programs_button->hide();
}

bool StationChoicePart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == c_.directory && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up && key->modifiers() == Qt::NoModifier) {
            const int row = c_.directory->currentIndex();
            const int before = RowBeforeUp(row);
            if (before != row) c_.directory->setCurrentIndex(before);  // raises no click
        }
    }
    return false;  // the drop-down's own handling follows
}

// --- Next, Previous and the last stations played

void StationChoicePart::SkipStation(int step) {
    const StationChoice& playing = c_.now->Choice();
    if (playing.FromUserList()) {
        std::vector<bool> playable;
        for (int row = 0; row < c_.channels->Count(); ++row) {
            playable.push_back(!c_.channels->Entry(row).IsSeparator());
        }
        const int selected = c_.channels->SelectedRow();
        const int row = AdjacentListRow(playable, selected >= 0 ? selected : playing.row, step);
        if (row >= 0) {
            c_.channels->SetSelectedRow(row);
            OnUserChannelChosen();
            return;
        }
    }
    const int row = AdjacentStationRow(c_.directory->currentIndex(), step);
    c_.directory->setCurrentIndex(row);  // raises no click
    OnDirectoryRowChosen(row);
}

void StationChoicePart::RememberStation() {
    const StationChoice& c = c_.now->Choice();
    recent_.Add({c.name.isEmpty() ? c_.now->StationName() : c.name, static_cast<int>(c.source),
                 c.row, c.url});
    QStringList names;
    for (const RecentStation& s : recent_.Stations()) names << s.name;
    c_.tray->SetRecentStations(names);
}

void StationChoicePart::PlayRecentStation(int index) {
    if (index < 0 || index >= static_cast<int>(recent_.Stations().size())) return;
    const RecentStation station = recent_.Stations()[static_cast<std::size_t>(index)];
    switch (static_cast<StationSource>(station.source)) {
        case StationSource::Directory:
            c_.directory->setCurrentIndex(station.row);
            OnDirectoryRowChosen(station.row);
            return;
        case StationSource::UserList: {
            // The list may have changed since: its row, else any row with the same channel.
            auto same = [&](int row) {
                const ChannelEntry e = c_.channels->Entry(row);
                return e.name == station.name && e.playlist == station.url;
            };
            int row = station.row < c_.channels->Count() && station.row >= 0 && same(station.row)
                          ? station.row
                          : -1;
            for (int r = 0; row < 0 && r < c_.channels->Count(); ++r) {
                if (same(r)) row = r;
            }
            if (row >= 0) {
                c_.channels->SetSelectedRow(row);
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

// --- station pages

void StationChoicePart::OnHomepageClicked() {
    const int user_row = c_.channels->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(c_.channels->Entry(user_row).homepage);
        return;
    }
    const int row = c_.directory->currentIndex();
    if (IsDirectoryStationRow(row)) {
        OpenWebPage(QString::fromUtf8(DirectoryRows()[row].homepage));
    }
}

void StationChoicePart::OnProgramsClicked() {
    const int user_row = c_.channels->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(c_.channels->Entry(user_row).programs);
        return;
    }
    const int row = c_.directory->currentIndex();
    if (!IsDirectoryStationRow(row)) return;
    if (DirectoryRowLacksPrograms(row)) {
        dialogs().Error(c_.window, Msg("Programs are not available!"));
        return;
    }
    OpenWebPage(QString::fromUtf8(DirectoryRows()[row].programs));
}

}  // namespace velmora
