// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's media keys: the remote control on the session bus and what it may do to the window.
#include <QComboBox>
#include <QDBusConnection>
#include <QLabel>

#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/station_choice_part.h"
#include "playback/player.h"
#include "session/mpris_service.h"
#include "widgets/track_bar.h"

namespace velmora {

void MainWindow::CreateMediaKeys() {
    MprisPlayer player;
    player.now_playing = [this] {
        MprisNowPlaying now;
        // Playing from Play until Stop, a failed opening or the stream's end.
        now.playing = player_->IsBusy();
        now.station = now_->StationName();
        now.title = now_->Title();
        now.volume = volume_slider_->value();
        return now;
    };
    player.play = [this] { playback_->OnPlayClicked(); };
    player.stop = [this] { playback_->StopWithRecording(); };
    player.skip = [this](int step) { choice_->SkipStation(step); };
    player.set_volume = [this](int position) { volume_slider_->setValue(position); };
    player.raise = [this] { RaiseWindow(); };
    player.quit = [this] { close(); };
    mpris_ = new MprisService(std::move(player), this);
    mpris_->setObjectName(QStringLiteral("MprisService"));
    connect(volume_slider_, &QSlider::valueChanged, mpris_, &MprisService::Changed);
    // Every step of a playback shows on the bus; NowPlaying reports after it has changed, so the
    // service reads what the window shows.
    connect(now_, &NowPlaying::changed, mpris_, &MprisService::Changed);
    connect(player_, &Player::stopped, mpris_, &MprisService::Changed);
    // Without a session bus (or without a working engine) the player runs without media keys.
    if (started_up_) mpris_->Register(QDBusConnection::sessionBus());
}

}  // namespace velmora
