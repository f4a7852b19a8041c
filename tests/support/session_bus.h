// SPDX-License-Identifier: GPL-3.0-or-later
// A private session bus for the tests that speak to the desktop over D-Bus: its own dbus-daemon,
// named in DBUS_SESSION_BUS_ADDRESS for as long as it runs, so nothing reaches the user's session.
// Started before any window exists: a window takes the process's session bus when it first asks.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>

namespace velmora::test {

class PrivateSessionBus {
  public:
    PrivateSessionBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        EXPECT_TRUE(daemon_.waitForStarted(5000)) << "dbus-daemon is needed";
        EXPECT_TRUE(daemon_.waitForReadyRead(5000));
        address_ = daemon_.readLine().trimmed();
        EXPECT_FALSE(address_.isEmpty());
        saved_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_);
    }
    ~PrivateSessionBus() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", saved_);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    const QByteArray& Address() const { return address_; }

  private:
    QProcess daemon_;
    QByteArray address_;
    QByteArray saved_;
};

}  // namespace velmora::test
