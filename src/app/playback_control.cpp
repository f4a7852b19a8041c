// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback_control.h"

#include <QTimer>

#include "app/recording_control.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "opening/stream_status.h"
#include "playback/directory_rows.h"
#include "playback/failure_text.h"
#include "playback/player.h"
#include "widgets/proxy_panel.h"

namespace velmora {

PlaybackControl::PlaybackControl(const Parts& parts, std::function<StationChoice()> current_choice,
                                 QObject* parent)
    : QObject(parent), parts_(parts), current_choice_(std::move(current_choice)) {
    replay_timer_ = new QTimer(this);
    replay_timer_->setObjectName(QStringLiteral("Timer2"));
    replay_timer_->setInterval(kReplayIntervalMs);
    connect(replay_timer_, &QTimer::timeout, this, &PlaybackControl::OnReplayTimer);
    WirePlayer();
}

void PlaybackControl::OnPlayClicked() {
    // A paused station resumes where it paused; another choice plays anew.
    if (parts_.player->IsPaused()) {
        const StationChoice choice = current_choice_();
        const StationChoice& paused = parts_.now->Choice();
        if (choice.source == paused.source && choice.row == paused.row &&
            choice.url == paused.url) {
            parts_.player->Resume();
            return;
        }
    }
    EndReplay();
    Play();
}

void PlaybackControl::Play() {
    parts_.recording->StopRecording();
    // Starting a running timer would restart its interval; leave its rhythm alone.
    if (!replay_timer_->isActive()) replay_timer_->start();
    Player* player = parts_.player;
    if (!player->Started()) return;
    if (player->IsOpening()) {
        // The running opening's worker may be reading the proxy text right now; the text is
        // copied again by the Play that can start the next opening.
        dialogs().Beep();
        return;
    }
    parts_.proxy->CopyAddressToBuffer();
    const StationChoice choice = current_choice_();
    const std::string url = PlayUrl(choice.UserChannel(), choice.url.toStdString(), choice.row);
    if (player->Play(url) == 0) {
        dialogs().Beep();
        return;
    }
    parts_.now->Choose(choice);
    parts_.now->BeginPlayback();
}

void PlaybackControl::OnStopClicked() {
    if (parts_.recording->Active()) {
        parts_.recording->StopRecording();
        return;
    }
    EndReplay();
    AbandonOpening();
    parts_.player->Stop();
}

void PlaybackControl::StopWithRecording() {
    parts_.recording->StopRecording();
    OnStopClicked();
}

void PlaybackControl::EndReplay() {
    replay_timer_->stop();
    replay_.Reset();
}

void PlaybackControl::StopReplayTimer() {
    replay_timer_->stop();
}

void PlaybackControl::AbandonOpening() {
    if (!parts_.player->IsOpening()) return;
    parts_.player->Cancel();
    parts_.now->ShowNothingPlaying(Msg("Not playing"));
}

void PlaybackControl::LeaveCurrent(bool stop) {
    parts_.recording->StopRecording();
    EndReplay();
    AbandonOpening();
    if (stop) parts_.player->Stop();
}

void PlaybackControl::OnReplayTimer() {
    switch (replay_.Tick(parts_.now->State() == NowPlaying::Phase::Failed)) {
        case ReplayTick::Wait:
            break;
        case ReplayTick::Replay:
            Play();
            break;
        case ReplayTick::StopTimer:
            replay_timer_->stop();
            break;
    }
}

// Every report belongs to the opening the lines show: the player passes on no other.
void PlaybackControl::WirePlayer() {
    Player* player = parts_.player;
    NowPlaying* now = parts_.now;
    connect(player, &Player::opening, now, [now] { now->SetOpening(Msg("Connecting...")); });
    connect(player, &Player::failed, now,
            [now](std::uint64_t, int code) { now->SetFailed(CannotPlayText(code)); });
    connect(player, &Player::buffering, now, [now](std::uint64_t, int percent) {
        now->SetBuffering(QString::fromStdString(BufferingText(percent)));
    });
    connect(player, &Player::station, now,
            [now](std::uint64_t, const QString& name) { now->SetServerStation(name); });
    // The bit rate, or a header line of the connection being made.
    const auto rate_line = [now](std::uint64_t, const QString& text) { now->SetRateText(text); };
    connect(player, &Player::bitRate, now, rate_line);
    connect(player, &Player::serverLine, now, rate_line);
    connect(player, &Player::title, now,
            [now](std::uint64_t, const QString& text) { now->SetTitle(text); });
    connect(player, &Player::stalled, now, [now](std::uint64_t, bool stalled) {
        now->SetStalled(stalled, Msg("Reconnecting..."));
    });
    connect(player, &Player::stopped, now, [now] { now->SetStopped(); });
    connect(player, &Player::playing, this, &PlaybackControl::OnPlaying);
}

void PlaybackControl::OnPlaying() {
    NowPlaying* now = parts_.now;
    // A station that names itself nowhere is shown, and recorded, under the channel's own name.
    if (!now->StationNamed() && !now->ChannelName().isEmpty()) {
        now->SetStationText(now->ChannelName());
    }
    emit started();
    now->SetPlaying();
    replay_timer_->stop();
    replay_.Reset();
}

}  // namespace velmora
