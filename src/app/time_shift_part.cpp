// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/time_shift_part.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/playback_control.h"
#include "i18n/message.h"
#include "playback/player.h"
#include "playback/time_shift_rules.h"
#include "session/tray_icon.h"
#include "widgets/picture_button.h"

namespace velmora {

namespace {
constexpr int kShortSkipSeconds = 10;
constexpr int kLongSkipSeconds = 30;
}  // namespace

TimeShiftPart::TimeShiftPart(const Parts& parts, QObject* parent) : QObject(parent), parts_(parts) {
    // Beside Play and Stop, the size of the record button, on its line.
    pause_button_ = new PictureButton("PauseButton", ":/pause.png", parts_.transport_box);
    pause_button_->SetHint(Msg("Pause"));
    pause_button_->move(82, 72);
    pause_button_->setEnabled(false);

    // Right of the title line, shown only while behind live.
    behind_label_ = new QLabel(parts_.playing_box);
    behind_label_->setObjectName("BehindLiveLabel");
    behind_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    behind_label_->setGeometry(258, 70, 46, 20);
    behind_label_->setAccessibleName(Msg("Behind live"));
    behind_label_->setToolTip(Msg("Behind live"));
    behind_label_->hide();
    live_button_ = new QPushButton(Msg("Live"), parts_.playing_box);
    live_button_->setObjectName("LiveButton");
    live_button_->setToolTip(Msg("Back to live"));
    live_button_->setAccessibleName(Msg("Back to live"));
    live_button_->setGeometry(306, 68, 46, 24);
    live_button_->hide();

    tick_ = new QTimer(this);
    tick_->setObjectName("BehindLiveTimer");
    tick_->setInterval(1000);
    connect(tick_, &QTimer::timeout, this, &TimeShiftPart::Refresh);
    connect(pause_button_, &PictureButton::clicked, this, &TimeShiftPart::OnPauseClicked);
    connect(live_button_, &QPushButton::clicked, this, [this] { parts_.player->GoLive(); });
    Player* player = parts_.player;
    connect(player, &Player::timeShifted, this, &TimeShiftPart::Refresh);
    connect(player, &Player::playing, this, &TimeShiftPart::Refresh);
    connect(player, &Player::stopped, this, &TimeShiftPart::Refresh);
    connect(player, &Player::failed, this, &TimeShiftPart::Refresh);
    if (parts_.tray)
        connect(parts_.tray, &TrayIcon::pauseResumeRequested, this, &TimeShiftPart::OnPauseClicked);
}

void TimeShiftPart::OnSpace() {
    Player* player = parts_.player;
    switch (SpaceActionFor(player->IsBusy(), player->TimeShift().available, player->IsPaused())) {
        case SpaceAction::Play:
            parts_.playback->OnPlayClicked();
            break;
        case SpaceAction::Pause:
            if (!player->Pause()) parts_.playback->OnStopClicked();
            break;
        case SpaceAction::Resume:
            player->Resume();
            break;
        case SpaceAction::Stop:
            parts_.playback->OnStopClicked();
            break;
    }
}

bool TimeShiftPart::OnKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool shift = modifiers == Qt::ShiftModifier;
    if (modifiers != Qt::NoModifier && !shift) return false;
    int seconds = 0;
    if (key == Qt::Key_Left) seconds = -(shift ? kLongSkipSeconds : kShortSkipSeconds);
    if (key == Qt::Key_Right) seconds = shift ? kLongSkipSeconds : kShortSkipSeconds;
    if (key == Qt::Key_End && !shift)
        return parts_.player->TimeShift().seekable && parts_.player->GoLive();
    if (seconds == 0 || !parts_.player->TimeShift().seekable) return false;
    parts_.player->Skip(seconds);
    return true;
}

void TimeShiftPart::OnPauseClicked() {
    if (parts_.player->IsPaused()) {
        parts_.player->Resume();
    } else {
        parts_.player->Pause();
    }
}

void TimeShiftPart::Refresh() {
    Player* player = parts_.player;
    const Player::TimeShiftState state = player->TimeShift();
    const bool busy = player->IsBusy();
    pause_button_->setEnabled(busy && state.available);
    if (busy && state.failed) {
        // The buffer's file could not be written (a full disk): the station plays on unpaused.
        pause_button_->setToolTip(
            Msg("Cannot pause: the pause buffer could not be written to the disk."));
    } else {
        pause_button_->SetHint(state.paused ? Msg("Resume") : Msg("Pause"));
    }
    const bool behind = state.seekable && IsBehindLive(state.behind);
    // Paused at the live edge, the delay is about to grow: shown from the pause on.
    const bool show = busy && (state.paused || behind);
    behind_label_->setVisible(show);
    behind_label_->setText(QString::fromStdString(BehindLiveText(state.behind)));
    live_button_->setVisible(busy && behind);
    if (state.drops != drops_seen_ && state.drops > 0) {
        // A pause longer than the buffer: what could not be kept was dropped, and the sound
        // now starts at the oldest part kept.
        behind_label_->setToolTip(
            Msg("The pause was longer than the buffer: its oldest part was dropped."));
        QFont font = behind_label_->font();
        font.setBold(true);
        behind_label_->setFont(font);
    } else if (state.drops == 0) {
        behind_label_->setToolTip(Msg("Behind live"));
        behind_label_->setFont(parts_.playing_box->font());
    }
    drops_seen_ = state.drops;
    if (parts_.tray) parts_.tray->SetPausable(busy && state.available, state.paused);
    if (show && !tick_->isActive()) tick_->start();
    if (!show) tick_->stop();
}

}  // namespace velmora
