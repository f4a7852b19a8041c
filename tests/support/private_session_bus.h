// SPDX-License-Identifier: GPL-3.0-or-later
// A session bus of the test's own: dbus-daemon started for the suite and pointed to by
// DBUS_SESSION_BUS_ADDRESS before any window takes the process's session bus.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>

namespace velmora::test {

class PrivateSessionBus {
  public:
    // Fails the calling test when no daemon can be started.
    void Start() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon_.waitForStarted(5000)) << "dbus-daemon is needed";
        ASSERT_TRUE(daemon_.waitForReadyRead(5000));
        address_ = daemon_.readLine().trimmed();
        ASSERT_FALSE(address_.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_);
    }
    void Stop() {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    QString Address() const { return QString::fromUtf8(address_); }

  private:
    QProcess daemon_;
    QByteArray address_;
};

}  // namespace velmora::test
