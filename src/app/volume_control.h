// SPDX-License-Identifier: GPL-3.0-or-later
// The volume slider and its two mute pictures: a slider at 0 counts as muted, and unmute returns
// to the volume remembered at the last mute (or at start-up).
#pragma once

#include <QObject>

namespace velmora {

class PictureButton;
class Player;
class VolumeTrackBar;

class VolumeControl final : public QObject {
    Q_OBJECT
  public:
    VolumeControl(VolumeTrackBar* slider, PictureButton* mute, PictureButton* unmute,
                  Player* player, QObject* parent);

    int Position() const;
    // Moves the slider, which sets the player's volume and the pictures.
    void SetPosition(int position);
    // The volume unmute returns to, before the user has muted in this run.
    void RememberPosition();
    // The pictures in line with the slider (after the player has opened a stream).
    void ShowPicturesForPosition();

    void OnMuteClicked();
    void OnUnmuteClicked();

  signals:
    // The slider moved, by the user or by SetPosition; the player has the new volume.
    void positionChanged(int position);

  private:
    void OnSliderMoved(int position);

    VolumeTrackBar* const slider_;
    PictureButton* const mute_;
    PictureButton* const unmute_;
    Player* const player_;
    int saved_position_ = 0;
};

}  // namespace velmora
