// SPDX-License-Identifier: GPL-3.0-or-later
// Pausing live radio in the window: the Pause button beside Play and Stop, how far behind live the
// sound is ("-1:23") with a Live button while it is, the keys (Space, Left and Right, with Shift,
// End) and the tray's Pause and Resume. At the live edge the window looks as it always did. The
// Player does the work; the rules are in playback/time_shift_rules.
#pragma once

#include <QObject>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace velmora {

class PictureButton;
class PlaybackControl;
class Player;
class TrayIcon;

class TimeShiftPart final : public QObject {
    Q_OBJECT
  public:
    struct Parts {
        QGroupBox* transport_box = nullptr;  // holds Play and Stop
        QGroupBox* playing_box = nullptr;    // holds the title line
        Player* player = nullptr;
        PlaybackControl* playback = nullptr;
        TrayIcon* tray = nullptr;  // none without a tray
    };
    TimeShiftPart(const Parts& parts, QObject* parent);

    // Space: plays when nothing plays, pauses and resumes a station that can pause, else stops.
    void OnSpace();
    // Left and Right skip 10 s, with Shift 30 s, End goes live; false for other keys and while
    // nothing can skip (the key is then the focused control's or nobody's).
    bool OnKey(int key, Qt::KeyboardModifiers modifiers);
    // Pause, or Resume while paused.
    void OnPauseClicked();

    PictureButton* PauseButton() const { return pause_button_; }
    QLabel* BehindLabel() const { return behind_label_; }
    QPushButton* LiveButton() const { return live_button_; }

  public slots:
    // Shows the Player's time-shift state; also every second while paused or behind live.
    void Refresh();

  private:
    Parts parts_;
    PictureButton* pause_button_ = nullptr;
    QLabel* behind_label_ = nullptr;
    QPushButton* live_button_ = nullptr;
    QTimer* tick_ = nullptr;  // runs only while the delay changes
    unsigned drops_seen_ = 0;
};

}  // namespace velmora
