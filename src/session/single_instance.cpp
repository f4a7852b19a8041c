// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace velmora {

namespace {

constexpr int kAnswerTimeoutMs = 3000;

// Fields never hold a tab or a line break: addresses are encoded, names come from file names.
QString Field(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), ' ');
}

}  // namespace

InstanceLock::InstanceLock(const QString& settings_folder) {
    QDir().mkpath(settings_folder);
    const QByteArray path = QFile::encodeName(settings_folder + QStringLiteral("/.velmora.lock"));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

QString InstanceSocketPath(const QString& settings_folder) {
    // Named after the settings folder: players of different settings never meet.
    const QByteArray key = QCryptographicHash::hash(QDir(settings_folder).absolutePath().toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/velmora-") + QString::fromLatin1(key);
}

bool HandOverToRunningPlayer(const QString& settings_folder, const QString& url,
                             const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath(settings_folder));
    if (!socket.waitForConnected(kAnswerTimeoutMs)) return false;
    const QString line = url.isEmpty()
                             ? QStringLiteral("raise\n")
                             : QStringLiteral("play\t%1\t%2\n").arg(Field(url), Field(name));
    socket.write(line.toUtf8());
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs)) return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs)) return false;
    }
    return socket.readLine().trimmed() == "ok";
}

InstanceServer::InstanceServer(const QString& settings_folder, QObject* parent,
                               std::chrono::milliseconds line_timeout)
    : QObject(parent), server_(new QLocalServer(this)), line_timeout_(line_timeout) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = InstanceSocketPath(settings_folder);
    // The lock is held, so a socket left there belongs to a player that has ended.
    QLocalServer::removeServer(path);
    server_->listen(path);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
}

bool InstanceServer::Listening() const {
    return server_->isListening();
}

void InstanceServer::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // A later start sends its line at once; one that keeps the oldest waiting place longest
        // is the one least likely to be a player.
        if (waiting_.size() >= kInstanceConnections) Drop(waiting_.constFirst());
        waiting_.append(socket);
        socket->setReadBufferSize(kInstanceLineBytes + 1);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { waiting_.removeOne(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        QTimer::singleShot(line_timeout_, socket, [this, socket] {
            if (waiting_.contains(socket)) Drop(socket);
        });
        if (socket->bytesAvailable() > 0) OnReadyRead(socket);
    }
}

void InstanceServer::Drop(QLocalSocket* socket) {
    waiting_.removeOne(socket);
    socket->abort();
    socket->deleteLater();
}

void InstanceServer::OnReadyRead(QLocalSocket* socket) {
    if (!waiting_.contains(socket)) return;  // answered: what follows is not read
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kInstanceLineBytes) Drop(socket);  // not one of ours
        return;
    }
    waiting_.removeOne(socket);
    const QStringList fields = QString::fromUtf8(socket->readLine(kInstanceLineBytes + 1))
                                   .trimmed()
                                   .split(QLatin1Char('\t'));
    if (fields.value(0) == QLatin1String("play") && fields.size() == 3) {
        emit playRequested(fields[1], fields[2]);
    } else if (fields.value(0) == QLatin1String("raise")) {
        emit raiseRequested();
    } else {
        Drop(socket);
        return;
    }
    socket->write("ok\n");
    socket->disconnectFromServer();
}

}  // namespace velmora
