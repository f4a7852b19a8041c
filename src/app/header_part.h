// SPDX-License-Identifier: GPL-3.0-or-later
// The header as the main window shows it: the date and time labels with their menu items and a
// clock that ticks only when the shown text changes, and the background picture chosen from the
// menu (its stored name, which the settings keep).
#pragma once

#include <QObject>
#include <QString>

#include "app/backgrounds.h"

class QLabel;
class QTimer;
class QWidget;

namespace velmora {

struct SettingsMenu;

class HeaderPart final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* window;  // holds the five background pictures, by their designer names
        QLabel* header_image;
        QLabel* date_label;
        QLabel* time_label;
        QTimer* clock_timer;
    };
    HeaderPart(Controls controls, const SettingsMenu& menu, QObject* parent);

    // The labels shown as the menu's marks say (after the settings are applied), and the clock set.
    void FollowMenuMarks();
    // Shows the stored background; a name that matches none keeps the designed one.
    void ApplyBackground();
    // The stored background name, which the settings read and write.
    QString* BackgroundName() { return &background_name_; }

  private:
    void OnShowDateToggled();
    void OnShowTimeToggled();
    void OnBackgroundChosen(Background background);
    void ShowBackground(Background background);
    void OnClockTimer();
    void ArmClock();

    const Controls c_;
    const SettingsMenu& menu_;
    QString background_name_;
};

}  // namespace velmora
