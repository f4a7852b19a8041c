// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's listener services: a desktop notification for each new title, no suspend while a
// station plays, and the history of the titles shown. They follow NowPlaying; the settings menu
// switches the first two and opens the history.
#include <QAction>
#include <QDBusConnection>
#include <QDir>
#include <QTimer>

#include "app/main_window.h"
#include "app/recording_control.h"
#include "app/title_history_window.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "listening/title_history.h"
#include "session/sleep_inhibitor.h"
#include "session/title_notifier.h"
#include "settings/settings.h"
#include "widgets/picture_button.h"

namespace velmora {

void MainWindow::CreateListening() {
    // Without a session bus both services stay silent; the history needs none.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    notifier_ = new TitleNotifier(bus, this);
    notifier_->setObjectName(QStringLiteral("TitleNotifier"));
    inhibitor_ = new SleepInhibitor(bus, QStringLiteral("velmora"), this);
    inhibitor_->setObjectName(QStringLiteral("SleepInhibitor"));
    history_ = std::make_unique<TitleHistory>(SettingsFolder() + QLatin1Char('/') +
                                              QLatin1String(kTitleHistoryFileName));
    if (const std::optional<QString> reason = history_->Load()) {
        // Told once the window is up, not while it is being built.
        QTimer::singleShot(0, this, [this, reason = *reason] {
            dialogs().Error(this, Msg("The title history \"%1\" could not be read: %2\nIt is "
                                      "left as it is, and new titles are not kept.")
                                      .arg(QDir::toNativeSeparators(history_->Path()), reason));
        });
    }

    connect(now_, &NowPlaying::titleChanged, this, &MainWindow::OnTitleShown);
    // The reason names the station, whose name may come after playback has begun.
    connect(now_, &NowPlaying::changed, this, &MainWindow::FollowPlaybackForSleep);
    // After the recording control's own handler, which has started or ended the recording.
    connect(record_button_, &PictureButton::clicked, this, &MainWindow::OnRecordingToggled);

    // toggled, not triggered: the stored settings set the marks too.
    connect(menu_.Notifications, &QAction::toggled, notifier_, &TitleNotifier::SetEnabled);
    connect(menu_.StayAwake, &QAction::toggled, inhibitor_, &SleepInhibitor::SetEnabled);
    connect(menu_.TitleHistory, &QAction::triggered, this, &MainWindow::ShowTitleHistory);
}

void MainWindow::OnTitleShown(const QString& title) {
    if (title.trimmed().isEmpty()) return;
    const QString station = now_->StationName();
    notifier_->TitleShown(station, title, isActiveWindow());
    ReportHistoryWrite(
        history_->Add({QDateTime::currentDateTime(), station, title, recording_->Active()}));
    if (history_window_) history_window_->Refresh();
}

void MainWindow::FollowPlaybackForSleep() {
    if (now_->IsPlaying()) {
        inhibitor_->Hold(Msg("Playing %1").arg(now_->StationName()));
    } else {
        inhibitor_->Release();
    }
}

// A recording started during a title holds that title: it is marked as one recorded.
void MainWindow::OnRecordingToggled() {
    if (!recording_->Active()) return;
    ReportHistoryWrite(history_->MarkRecorded(now_->StationName(), now_->Title()));
    if (history_window_) history_window_->Refresh();
}

// The history is written at each title; a full disk is told once, not at every title, and the
// previous file stays as it was. Once a write succeeds again, a new failure is told again.
void MainWindow::ReportHistoryWrite(const std::optional<FileWriteError>& error) {
    if (!error) {
        history_failure_shown_ = false;
        return;
    }
    if (history_failure_shown_) return;
    history_failure_shown_ = true;
    dialogs().Error(this, Msg("The title history could not be saved to \"%1\": %2")
                              .arg(QDir::toNativeSeparators(history_->Path()), error->Reason()));
}

void MainWindow::ShowTitleHistory() {
    if (!history_window_) {
        history_window_ = new TitleHistoryWindow(
            history_.get(), [this] { ClearTitleHistory(); }, this);
    }
    history_window_->Refresh();
    history_window_->show();
    history_window_->raise();
    history_window_->activateWindow();
}

void MainWindow::ClearTitleHistory() {
    // A failure to write the empty list is told even after an earlier one.
    history_failure_shown_ = false;
    ReportHistoryWrite(history_->Clear());
}

void MainWindow::ReleaseListening() {
    inhibitor_->ReleaseNow();
    // Whatever still changes before the program ends asks for nothing new.
    inhibitor_->SetEnabled(false);
}

}  // namespace velmora
