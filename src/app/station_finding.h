// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's part for finding stations: it owns the "Find stations" window (made when
// first opened), and hands a chosen station to playback or to the user's list through hooks.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "channels/channel_file.h"

class QWidget;

namespace velmora {

class FindStationsWindow;

class StationFinding final : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<void(const QString& url, const QString& name)> play;
        std::function<void(const ChannelEntry& entry)> add;  // by the list's rules
        std::function<QString()> proxy;                      // empty: a direct connection
    };
    // `owner` is the main window; the finding window is its child window.
    StationFinding(QWidget* owner, Hooks hooks);

    // Opens the window (Ctrl+F, the settings menu).
    void Open();
    // The player's station sounds now (its address), for the directory's play count.
    void StationPlaying(const QString& url);
    // The window once opened; null before.
    FindStationsWindow* Window() const { return window_; }

  private:
    QWidget* const owner_;
    const Hooks hooks_;
    FindStationsWindow* window_ = nullptr;
};

}  // namespace velmora
