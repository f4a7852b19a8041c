// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listening_part.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include "app/now_playing.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/settings_menu.h"
#include "app/title_history_window.h"
#include "app/volume_control.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "listening/sleep_timer.h"
#include "listening/sleep_timer_label.h"
#include "listening/title_history.h"
#include "playback/player.h"
#include "session/sleep_inhibitor.h"
#include "session/title_notifier.h"
#include "session/tray_icon.h"
#include "settings/settings.h"
#include "widgets/picture_button.h"

namespace velmora {

namespace {

bool TrayShown() {
    return TrayAvailable(QDBusConnection::sessionBus());
}

}  // namespace

ListeningPart::ListeningPart(Controls controls, const SettingsMenu& menu, QObject* parent)
    : QObject(parent), c_(std::move(controls)), menu_(menu) {
    CreateTray();
    CreateServices();
}

ListeningPart::~ListeningPart() = default;

void ListeningPart::CreateTray() {
    sleep_timer_ = new SleepTimer(this);
    sleep_timer_->setObjectName(QStringLiteral("SleepTimer"));
    sleep_label_ = new SleepTimerLabel(c_.date_label, c_.time_label, c_.window);
    ExcludeFromTranslation(sleep_label_);  // its text is made when it shows
    for (std::size_t i = 0; i < kSleepTimerChoices.size(); ++i) {
        connect(menu_.SleepMinutes[i], &QAction::triggered, this,
                [this, minutes = kSleepTimerChoices[i]] { sleep_timer_->Start(minutes); });
    }
    connect(menu_.SleepOther, &QAction::triggered, this, &ListeningPart::AskSleepMinutes);
    connect(menu_.SleepCancel, &QAction::triggered, sleep_timer_, &SleepTimer::Cancel);
    connect(sleep_timer_, &SleepTimer::minutesLeftChanged, this,
            &ListeningPart::OnSleepMinutesLeft);
    connect(sleep_timer_, &SleepTimer::volumeShareChanged, this,
            &ListeningPart::OnSleepVolumeShare);
    connect(sleep_timer_, &SleepTimer::expired, this, &ListeningPart::OnSleepTimerExpired);
    connect(sleep_timer_, &SleepTimer::cancelled, this, &ListeningPart::RestoreVolume);

    const QIcon program_icon = QApplication::windowIcon();
    tray_ = new TrayIcon(program_icon.isNull() ? QIcon(QStringLiteral(":/logo.png")) : program_icon,
                         c_.window, menu_.SleepTimerMenu);
    connect(tray_, &TrayIcon::toggleWindowRequested, this, &ListeningPart::ToggleWindowFromTray);
    connect(tray_, &TrayIcon::playStopRequested, this, &ListeningPart::PlayOrStop);
    connect(tray_, &TrayIcon::historyRequested, this, &ListeningPart::ShowTitleHistory);
    connect(tray_, &TrayIcon::showWindowRequested, this, &ListeningPart::ShowWindowFromTray);
    connect(tray_, &TrayIcon::quitRequested, this, &ListeningPart::QuitFromTray);
    connect(c_.now, &NowPlaying::changed, this, &ListeningPart::UpdateTray);
    connect(c_.player, &Player::stopped, this, &ListeningPart::UpdateTray);

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

void ListeningPart::CreateServices() {
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
            dialogs().Error(c_.window,
                            Msg("The title history \"%1\" could not be read: %2\nIt is "
                                "left as it is, and new titles are not kept.")
                                .arg(QDir::toNativeSeparators(history_->Path()), reason));
        });
    }

    connect(c_.now, &NowPlaying::titleChanged, this, &ListeningPart::OnTitleShown);
    // The reason names the station, whose name may come after playback has begun.
    connect(c_.now, &NowPlaying::changed, this, &ListeningPart::FollowPlaybackForSleep);
    // After the recording control's own handler, which has started or ended the recording.
    connect(c_.record_button, &PictureButton::clicked, this, &ListeningPart::OnRecordingToggled);

    // toggled, not triggered: the stored settings set the marks too.
    connect(menu_.Notifications, &QAction::toggled, notifier_, &TitleNotifier::SetEnabled);
    connect(menu_.StayAwake, &QAction::toggled, inhibitor_, &SleepInhibitor::SetEnabled);
    connect(menu_.TitleHistory, &QAction::triggered, this, &ListeningPart::ShowTitleHistory);
}

// --- the tray and the window

void ListeningPart::UpdateTray() {
    const bool busy = c_.player->IsBusy() || c_.player->IsOpening();
    tray_->SetPlaying(busy);
    QString station = c_.now->StationText();
    QString title;
    if (busy) {
        if (!c_.now->StationName().isEmpty()) station = c_.now->StationName();
        title = c_.now->Title();
    }
    QString tip = TrayToolTip(station, title, sleep_timer_->MinutesLeft());
    if (const QString note = tray_note_ ? tray_note_() : QString(); !note.isEmpty())
        tip += QLatin1Char('\n') + note;
    tray_->SetToolTip(tip);
}

void ListeningPart::SetTrayNote(std::function<QString()> note) {
    tray_note_ = std::move(note);
    UpdateTray();
}

bool ListeningPart::HideToTray(QCloseEvent* event) {
    // Only the close box (and the window manager's other ways to close) hides: a close asked for
    // by the program itself (Quit, a new language, an update, the session's end) closes.
    if (!event->spontaneous() || !menu_.CloseToTray->isChecked() || !TrayShown()) return false;
    event->ignore();
    // A box closed meanwhile would otherwise count as the last window and end the program
    // without saving.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    tray_->Show();
    c_.window->hide();
    return true;
}

void ListeningPart::Leave() {
    inhibitor_->ReleaseNow();
    // Whatever still changes before the program ends asks for nothing new.
    inhibitor_->SetEnabled(false);
    tray_->Hide();
    // Closed while hidden: no window is left whose closing ends the program.
    if (!QGuiApplication::quitOnLastWindowClosed()) {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QCoreApplication::quit();
    }
}

void ListeningPart::ToggleWindowFromTray() {
    if (c_.window->isVisible() && !c_.window->isMinimized()) {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        c_.window->hide();
    } else {
        ShowWindowFromTray();
    }
}

void ListeningPart::ShowWindowFromTray() {
    QGuiApplication::setQuitOnLastWindowClosed(true);
    c_.raise_window();
}

void ListeningPart::PlayOrStop() {
    if (c_.player->IsBusy() || c_.player->IsOpening()) {
        c_.playback->StopWithRecording();
    } else {
        c_.playback->OnPlayClicked();
    }
}

// Saves as the close box does; when a file cannot be written the window shows why.
void ListeningPart::QuitFromTray() {
    if (!c_.window->close()) ShowWindowFromTray();
}

// --- sleep timer

void ListeningPart::AskSleepMinutes() {
    const std::optional<int> minutes =
        dialogs().AskNumber(c_.window, Msg("Stop playing after how many minutes (1-600)?"), 30,
                            kSleepMinutesMin, kSleepMinutesMax, Msg("Sleep timer"));
    if (minutes) sleep_timer_->Start(*minutes);
}

void ListeningPart::OnSleepMinutesLeft(int minutes) {
    sleep_label_->ShowMinutes(minutes);
    menu_.SleepCancel->setEnabled(minutes > 0);
    UpdateTray();
}

// The slider keeps the user's level, which the volume returns to.
void ListeningPart::OnSleepVolumeShare(double share) {
    c_.player->SetVolume(qRound(c_.volume->Position() * share));
}

void ListeningPart::OnSleepTimerExpired() {
    c_.playback->StopWithRecording();
    RestoreVolume();
}

void ListeningPart::RestoreVolume() {
    c_.player->SetVolume(c_.volume->Position());
}

// --- notifications, staying awake, title history

void ListeningPart::OnTitleShown(const QString& title) {
    if (title.trimmed().isEmpty()) return;
    const QString station = c_.now->StationName();
    notifier_->TitleShown(station, title, c_.window->isActiveWindow());
    ReportHistoryWrite(
        history_->Add({QDateTime::currentDateTime(), station, title, c_.recording->Active()}));
    if (history_window_) history_window_->Refresh();
}

void ListeningPart::FollowPlaybackForSleep() {
    if (c_.now->IsPlaying()) {
        inhibitor_->Hold(Msg("Playing %1").arg(c_.now->StationName()));
    } else {
        inhibitor_->Release();
    }
}

// A recording started during a title holds that title: it is marked as one recorded.
void ListeningPart::OnRecordingToggled() {
    if (!c_.recording->Active()) return;
    ReportHistoryWrite(history_->MarkRecorded(c_.now->StationName(), c_.now->Title()));
    if (history_window_) history_window_->Refresh();
}

// The history is written at each title; a full disk is told once, not at every title, and the
// previous file stays as it was. Once a write succeeds again, a new failure is told again.
void ListeningPart::ReportHistoryWrite(const std::optional<FileWriteError>& error) {
    if (!error) {
        history_failure_shown_ = false;
        return;
    }
    if (history_failure_shown_) return;
    history_failure_shown_ = true;
    dialogs().Error(c_.window,
                    Msg("The title history could not be saved to \"%1\": %2")
                        .arg(QDir::toNativeSeparators(history_->Path()), error->Reason()));
}

void ListeningPart::ShowTitleHistory() {
    if (!history_window_) {
        history_window_ = new TitleHistoryWindow(
            history_.get(), [this] { ClearTitleHistory(); }, c_.window);
    }
    history_window_->Refresh();
    history_window_->show();
    history_window_->raise();
    history_window_->activateWindow();
}

void ListeningPart::ClearTitleHistory() {
    // A failure to write the empty list is told even after an earlier one.
    history_failure_shown_ = false;
    ReportHistoryWrite(history_->Clear());
}

}  // namespace velmora
