// SPDX-License-Identifier: GPL-3.0-or-later
// The icon in the panel's tray: what plays in its tooltip, a left click shows or hides the window,
// a middle click plays or stops, and its menu holds Play/Stop, Next and Previous, the last
// stations played, the sleep timer, the title history, Show window and Quit. The window decides
// what each request does. QSystemTrayIcon speaks the StatusNotifierItem protocol to panels that
// run a watcher on the session bus, and falls back to the old tray.
#pragma once

#include <QObject>
#include <QStringList>
#include <vector>

class QAction;
class QDBusConnection;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace velmora {

inline constexpr const char* kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";

// True when the desktop shows tray icons: a StatusNotifierWatcher owns its name on `bus`, or an
// old-style tray is there.
bool TrayAvailable(const QDBusConnection& bus);

// "station — title", either alone when the other is empty, "Velmora" when both are; then the
// sleep timer's minutes on a line of their own while it runs.
QString TrayToolTip(const QString& station, const QString& title, int sleep_minutes);

class TrayIcon final : public QObject {
    Q_OBJECT
  public:
    // The menu is a child of `window`, so its texts are translated with the window's;
    // `sleep_menu` is the sleep timer's submenu, shared with the settings menu.
    TrayIcon(const QIcon& icon, QWidget* window, QMenu* sleep_menu);

    void Show();
    void Hide();
    // Whether the menu offers Play or Stop.
    void SetPlaying(bool playing);
    // Whether the menu offers Pause (a station that can pause plays) or Resume (it is paused).
    void SetPausable(bool can_pause, bool paused);
    void SetToolTip(const QString& text);
    QString ToolTip() const;
    // The stations listed after the transport items, newest first; at most five are shown.
    void SetRecentStations(const QStringList& names);
    QMenu* Menu() const { return menu_; }

  signals:
    void toggleWindowRequested();  // left click
    void playStopRequested();      // middle click, or Play or Stop in the menu
    void pauseResumeRequested();   // Pause or Resume in the menu
    void skipRequested(int step);  // Next (+1) or Previous (-1)
    void recentStationChosen(int index);
    void historyRequested();
    void showWindowRequested();
    void quitRequested();

  private:
    QSystemTrayIcon* icon_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* play_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* pause_ = nullptr;
    QAction* resume_ = nullptr;
    QAction* recent_separator_ = nullptr;
    std::vector<QAction*> recent_;
};

}  // namespace velmora
