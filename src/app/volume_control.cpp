// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/volume_control.h"

#include "playback/player.h"
#include "playback/volume.h"
#include "widgets/picture_button.h"
#include "widgets/track_bar.h"

namespace velmora {

VolumeControl::VolumeControl(VolumeTrackBar* slider, PictureButton* mute, PictureButton* unmute,
                             Player* player, QObject* parent)
    : QObject(parent), slider_(slider), mute_(mute), unmute_(unmute), player_(player) {
    connect(slider_, &QSlider::valueChanged, this, &VolumeControl::OnSliderMoved);
    connect(mute_, &PictureButton::clicked, this, &VolumeControl::OnMuteClicked);
    connect(unmute_, &PictureButton::clicked, this, &VolumeControl::OnUnmuteClicked);
}

int VolumeControl::Position() const {
    return slider_->value();
}

void VolumeControl::SetPosition(int position) {
    slider_->setValue(position);
}

void VolumeControl::RememberPosition() {
    saved_position_ = slider_->value();
}

void VolumeControl::ShowPicturesForPosition() {
    const bool mute_shown = MuteButtonVisible(slider_->value());
    mute_->setVisible(mute_shown);
    unmute_->setVisible(!mute_shown);
}

void VolumeControl::OnSliderMoved(int position) {
    ShowPicturesForPosition();
    player_->SetVolume(position);
    emit positionChanged(position);
}

void VolumeControl::OnMuteClicked() {
    saved_position_ = slider_->value();
    player_->Mute();
    mute_->hide();
    unmute_->show();
    slider_->setValue(0);
}

void VolumeControl::OnUnmuteClicked() {
    slider_->setValue(UnmutePosition(slider_->value(), saved_position_));
    mute_->show();
    unmute_->hide();
}

}  // namespace velmora
