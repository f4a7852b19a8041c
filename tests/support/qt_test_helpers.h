// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the tests that use Qt: one application object per process, waiting with
// the event loop running, and whole-file reads and writes with the failure reported as a test
// failure.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <chrono>
#include <functional>

#include "support/wait.h"

namespace velmora::test {

// Widgets, actions and pixmaps need a GUI application; a test run on its own must make one.
inline void EnsureApp() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "velmora_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

// Runs the event loop until `done` holds or `timeout` passes; returns the last value of `done`.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return WaitUntil(done, timeout,
                     [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
}

// Creates the folder too when it is missing.
inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

}  // namespace velmora::test
