// SPDX-License-Identifier: GPL-3.0-or-later
// What Play opens: a row of the directory, an entry of the user's list or an address from outside,
// with Next and Previous along the list that plays, the last stations played (the tray's menu) and
// the station's web pages.
#pragma once

#include <QObject>
#include <QString>

#include "app/now_playing.h"
#include "listening/recent_stations.h"

class QComboBox;
class QWidget;

namespace velmora {

class ChannelListModel;
class PictureButton;
class PlaybackControl;
class TrayIcon;

class StationChoicePart final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* window;  // parent of the boxes
        QComboBox* directory;
        ChannelListModel* channels;
        PictureButton* homepage_button;
        PictureButton* programs_button;
        PictureButton* edit_button;  // the user panel's Edit, for a chosen entry only
        PlaybackControl* playback;
        NowPlaying* now;
        TrayIcon* tray;  // Next, Previous and the recent stations
    };
    StationChoicePart(Controls controls, QObject* parent);

    // What Play opens now.
    StationChoice Current() const;
    // Play opens the directory's row from now on.
    void ChooseDirectory();
    // Plays `url` as a station of its own, shown as `name` until its server names it.
    void PlayStation(const QString& url, const QString& name);
    // Next (+1) or Previous (-1): along the user's list when what plays came from it, else along
    // the directory.
    void SkipStation(int step);
    // Nothing plays: the station's pages are not offered.
    void HidePages();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnDirectoryRowChosen(int row);
    void OnUserChannelChosen();
    void RememberStation();
    void PlayRecentStation(int index);
    void OnHomepageClicked();
    void OnProgramsClicked();

    const Controls c_;
    StationChoice chosen_;
    RecentStations recent_;
};

}  // namespace velmora
