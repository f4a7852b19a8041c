// SPDX-License-Identifier: GPL-3.0-or-later
// Ends the program through the main window's normal close when the system asks it to end: on
// SIGTERM, SIGINT and SIGHUP, and when the desktop session ends. The close saves the settings and
// the channel list as a close by the user does.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSessionManager;
class QSocketNotifier;

namespace velmora {

class SessionEnd final : public QObject {
    Q_OBJECT
  public:
    // Watches for those requests until destroyed; one at a time per process. The signals keep
    // their default actions when the hand-off cannot be set up.
    explicit SessionEnd(QWidget* window);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    // Closes any modal box first (it would keep the program alive), then the window. A request
    // that arrives while the window's close is still running (its save-failure message) closes
    // again once that close has returned, which then ends without saving as a second close does.
    void CloseWindow();

  private:
    void OnSignalBytes();
#ifndef QT_NO_SESSIONMANAGER
    void OnCommitData(QSessionManager& manager);
#endif

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
    int fds_[2] = {-1, -1};  // [0] read by the event loop, [1] written by the signal handler
    bool closing_ = false;
    bool again_ = false;
};

}  // namespace velmora
