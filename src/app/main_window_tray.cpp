// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's listener features: the tray icon and closing to it, the sleep timer with its
// minutes in the header, the last stations played, and Next and Previous along the list that
// plays. Everything here follows NowPlaying; nothing reads a label.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDBusConnection>
#include <QIcon>
#include <QLabel>
#include <QMenu>

#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/scheduled_recordings_part.h"
#include "app/volume_control.h"
#include "channels/channel_list_model.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "listening/list_skip.h"
#include "listening/sleep_timer.h"
#include "listening/sleep_timer_label.h"
#include "playback/player.h"
#include "session/mpris_rules.h"
#include "session/tray_icon.h"

namespace velmora {

namespace {

bool TrayShown() {
    return TrayAvailable(QDBusConnection::sessionBus());
}

}  // namespace

void MainWindow::CreateTray() {
    sleep_timer_ = new SleepTimer(this);
    sleep_timer_->setObjectName(QStringLiteral("SleepTimer"));
    sleep_label_ = new SleepTimerLabel(date_label_, time_label_, this);
    ExcludeFromTranslation(sleep_label_);  // its text is made when it shows
    for (std::size_t i = 0; i < kSleepTimerChoices.size(); ++i) {
        connect(menu_.SleepMinutes[i], &QAction::triggered, this,
                [this, minutes = kSleepTimerChoices[i]] { sleep_timer_->Start(minutes); });
    }
    connect(menu_.SleepOther, &QAction::triggered, this, &MainWindow::AskSleepMinutes);
    connect(menu_.SleepCancel, &QAction::triggered, sleep_timer_, &SleepTimer::Cancel);
    connect(sleep_timer_, &SleepTimer::minutesLeftChanged, this, &MainWindow::OnSleepMinutesLeft);
    connect(sleep_timer_, &SleepTimer::volumeShareChanged, this, &MainWindow::OnSleepVolumeShare);
    connect(sleep_timer_, &SleepTimer::expired, this, &MainWindow::OnSleepTimerExpired);
    connect(sleep_timer_, &SleepTimer::cancelled, this, &MainWindow::RestoreVolume);

    const QIcon program_icon = QApplication::windowIcon();
    tray_ = new TrayIcon(program_icon.isNull() ? QIcon(QStringLiteral(":/logo.png")) : program_icon,
                         this, menu_.SleepTimerMenu);
    connect(tray_, &TrayIcon::toggleWindowRequested, this, &MainWindow::ToggleWindowFromTray);
    connect(tray_, &TrayIcon::playStopRequested, this, &MainWindow::PlayOrStop);
    connect(tray_, &TrayIcon::skipRequested, this, &MainWindow::SkipStation);
    connect(tray_, &TrayIcon::recentStationChosen, this, &MainWindow::PlayRecentStation);
    connect(tray_, &TrayIcon::historyRequested, this, &MainWindow::ShowTitleHistory);
    connect(tray_, &TrayIcon::showWindowRequested, this, &MainWindow::ShowWindowFromTray);
    connect(tray_, &TrayIcon::quitRequested, this, &MainWindow::QuitFromTray);
    connect(now_, &NowPlaying::changed, this, &MainWindow::UpdateTray);
    connect(player_, &Player::stopped, this, &MainWindow::UpdateTray);
    connect(now_, &NowPlaying::phaseChanged, this, [this](NowPlaying::Phase phase) {
        if (phase == NowPlaying::Phase::Playing) RememberStation();
    });

    // A panel may start or end while the program runs: the item follows it each time the menu
    // opens.
    auto follow_tray = [this] {
        const bool shown = TrayShown();
        menu_.CloseToTray->setEnabled(shown);
        if (shown) tray_->Show();
    };
    connect(menu_.Popup, &QMenu::aboutToShow, this, follow_tray);
    follow_tray();
    UpdateTray();
}

// --- the tray and the window

void MainWindow::UpdateTray() {
    const bool busy = player_->IsBusy() || player_->IsOpening();
    tray_->SetPlaying(busy);
    QString station = now_->StationText();
    QString title;
    if (busy) {
        if (!now_->StationName().isEmpty()) station = now_->StationName();
        title = now_->Title();
    }
    QString tip = TrayToolTip(station, title, sleep_timer_->MinutesLeft());
    if (const QString line = ScheduledRecordingTip(schedule_); !line.isEmpty())
        tip += QLatin1Char('\n') + line;
    tray_->SetToolTip(tip);
}

bool MainWindow::HideToTray(QCloseEvent* event) {
    // Only the close box (and the window manager's other ways to close) hides: a close asked for
    // by the program itself (Quit, a new language, an update, the session's end) closes.
    if (!event->spontaneous() || !menu_.CloseToTray->isChecked() || !TrayShown()) return false;
    event->ignore();
    // A box closed meanwhile would otherwise count as the last window and end the program
    // without saving.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    tray_->Show();
    hide();
    return true;
}

void MainWindow::LeaveTray() {
    tray_->Hide();
    // Closed while hidden: no window is left whose closing ends the program.
    if (!QGuiApplication::quitOnLastWindowClosed()) {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QCoreApplication::quit();
    }
}

void MainWindow::ToggleWindowFromTray() {
    if (isVisible() && !isMinimized()) {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        hide();
    } else {
        ShowWindowFromTray();
    }
}

void MainWindow::ShowWindowFromTray() {
    QGuiApplication::setQuitOnLastWindowClosed(true);
    RaiseWindow();
}

void MainWindow::PlayOrStop() {
    if (player_->IsBusy() || player_->IsOpening()) {
        playback_->StopWithRecording();
    } else {
        playback_->OnPlayClicked();
    }
}

// Saves as the close box does; when a file cannot be written the window shows why.
void MainWindow::QuitFromTray() {
    if (!close()) ShowWindowFromTray();
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
    tray_->SetRecentStations(names);
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

// --- sleep timer

void MainWindow::AskSleepMinutes() {
    const std::optional<int> minutes =
        dialogs().AskNumber(this, Msg("Stop playing after how many minutes (1-600)?"), 30,
                            kSleepMinutesMin, kSleepMinutesMax, Msg("Sleep timer"));
    if (minutes) sleep_timer_->Start(*minutes);
}

void MainWindow::OnSleepMinutesLeft(int minutes) {
    sleep_label_->ShowMinutes(minutes);
    menu_.SleepCancel->setEnabled(minutes > 0);
    UpdateTray();
}

// The slider keeps the user's level, which the volume returns to.
void MainWindow::OnSleepVolumeShare(double share) {
    player_->SetVolume(qRound(volume_->Position() * share));
}

void MainWindow::OnSleepTimerExpired() {
    playback_->StopWithRecording();
    RestoreVolume();
}

void MainWindow::RestoreVolume() {
    player_->SetVolume(volume_->Position());
}

}  // namespace velmora
