// SPDX-License-Identifier: GPL-3.0-or-later
// One player per settings folder: the first start holds a lock beside the settings and listens on
// a local socket; a later start hands its station to it (the running player raises its window and
// plays it) and ends, so two players never write the same settings and list.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace velmora {

// The lock on `settings_folder` (created when missing), held until the object goes. The kernel lets
// go of it when the process ends in any way, so a crash leaves no stale lock.
class InstanceLock {
  public:
    explicit InstanceLock(const QString& settings_folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// The local socket's name for the player of `settings_folder`, in the user's private runtime
// folder.
QString InstanceSocketPath(const QString& settings_folder);

// Asks the running player of `settings_folder` to play `url` (shown as `name` until its server
// names it), or only to raise its window when `url` is empty. True once it has answered.
bool HandOverToRunningPlayer(const QString& settings_folder, const QString& url,
                             const QString& name);

// How long a connection may take to send its line before it is dropped.
inline constexpr std::chrono::milliseconds kInstanceLineTimeout{2000};
// Connections served at once; a new one beyond drops the oldest, which has sent nothing yet.
inline constexpr int kInstanceConnections = 8;
// Longest line taken: an address and a name.
inline constexpr qint64 kInstanceLineBytes = 8192;

// The running player's end of the socket: a line "play<TAB>url<TAB>name" or "raise", answered
// "ok" once the signal has run. Connections that send nothing, or too much, are dropped, so that
// idle ones cannot take the descriptors the player needs for its streams and files.
class InstanceServer final : public QObject {
    Q_OBJECT
  public:
    InstanceServer(const QString& settings_folder, QObject* parent,
                   std::chrono::milliseconds line_timeout = kInstanceLineTimeout);
    bool Listening() const;

  signals:
    void playRequested(const QString& url, const QString& name);
    void raiseRequested();

  private:
    void OnConnection();
    void OnReadyRead(QLocalSocket* socket);
    void Drop(QLocalSocket* socket);

    QLocalServer* server_;
    const std::chrono::milliseconds line_timeout_;
    QList<QLocalSocket*> waiting_;  // connected, line not yet taken; oldest first
};

}  // namespace velmora
