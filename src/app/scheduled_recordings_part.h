// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the scheduled recordings: the runner with the real clock and files,
// its news in the tray's notifications and its problems and missed recordings in message boxes.
#pragma once

#include <QString>
#include <functional>

#include "recording/song_choices.h"

class QAction;
class QWidget;

namespace velmora {

class ChannelListModel;
class Player;
class ScheduleRunner;
class TitleNotifier;

// Makes the runner, a child of `window`, and starts it once the event loop runs. `changed` runs
// when a recording starts or ends (the tray's tooltip follows); a checked `per_song` makes each
// recording song by song, as the record button's, by the rules `songs` points to.
ScheduleRunner* CreateScheduledRecordings(QWidget* window, Player* player, TitleNotifier* notifier,
                                          const QAction* per_song, const SongChoices* songs,
                                          std::function<void()> changed);

// `item` opens the "Scheduled recordings" window over `runner`, one window kept for the next time.
void ConnectScheduleWindow(QAction* item, ScheduleRunner* runner, const ChannelListModel* channels,
                           QWidget* window);

// The tooltip's line for the stations recording on schedule; empty when none.
QString ScheduledRecordingTip(const ScheduleRunner* runner);

}  // namespace velmora
