// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/scheduled_recordings_part.h"

#include <QAction>
#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/schedule_runner.h"
#include "app/schedule_window.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/player.h"
#include "recording/recording_names.h"
#include "recording/schedule_file.h"
#include "session/title_notifier.h"
#include "settings/settings.h"

namespace velmora {

ScheduleRunner* CreateScheduledRecordings(QWidget* window, Player* player, TitleNotifier* notifier,
                                          const QAction* per_song, const SongChoices* songs,
                                          std::function<void()> changed) {
    auto* runner = new ScheduleRunner(
        ScheduleFilePath(SettingsFolder()), RecordingsFolder(DocumentsFolder()),
        [player] { return player->Started(); },
        [] { return static_cast<std::int64_t>(QDateTime::currentSecsSinceEpoch()); }, window);
    runner->setObjectName(QStringLiteral("ScheduledRecordings"));
    if (per_song)
        runner->SetPerSong([per_song = QPointer<const QAction>(per_song)] {
            return per_song && per_song->isChecked();
        });
    if (songs) runner->SetSongChoices([songs] { return *songs; });
    QObject::connect(runner, &ScheduleRunner::damagedLines, window, [window](int count) {
        dialogs().Information(
            window, Msg("%1 damaged line(s) of the scheduled recordings were skipped.").arg(count));
    });
    QObject::connect(runner, &ScheduleRunner::missed, window, [window](const QStringList& lines) {
        dialogs().Information(window,
                              Msg("These scheduled recordings were missed while the player was not "
                                  "running:\n%1")
                                  .arg(lines.join(QLatin1Char('\n'))));
    });
    QObject::connect(runner, &ScheduleRunner::problem, window,
                     [window](const QString& text) { dialogs().Error(window, text); });
    const auto notify = [notifier, changed](const QString& station, const QString& what) {
        // Shown also while the window is active: a start on its own is news either way.
        if (notifier) notifier->TitleShown(station, what, false);
        changed();
    };
    QObject::connect(
        runner, &ScheduleRunner::recordingStarted, window,
        [notify](const QString& station) { notify(station, Msg("Scheduled recording started")); });
    QObject::connect(
        runner, &ScheduleRunner::recordingEnded, window,
        [notify](const QString& station) { notify(station, Msg("Scheduled recording ended")); });
    QTimer::singleShot(0, runner, &ScheduleRunner::Start);
    return runner;
}

void ConnectScheduleWindow(QAction* item, ScheduleRunner* runner, const ChannelListModel* channels,
                           QWidget* window) {
    if (!item || !runner) return;
    QObject::connect(item, &QAction::triggered, window, [=] {
        auto* shown = window->findChild<ScheduleWindow*>();
        if (!shown) shown = new ScheduleWindow(runner, channels, window);
        shown->Refresh();
        shown->show();
        shown->raise();
        shown->activateWindow();
    });
}

QString ScheduledRecordingTip(const ScheduleRunner* runner) {
    if (!runner) return {};
    const QStringList stations = runner->Recording();
    if (stations.isEmpty()) return {};
    return Msg("Recording on schedule: %1").arg(stations.join(QStringLiteral(", ")));
}

}  // namespace velmora
