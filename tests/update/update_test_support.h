// Helpers shared by the update tests: event-loop waits, the built programs beside the test,
// dialogs answered by the test, and private cache and settings folders.
#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "desktop/dialogs.h"

namespace velmora::test {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds or `timeout` passes; the last value of `done`.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

inline void Pump(std::chrono::milliseconds time) {
    WaitFor([] { return false; }, time);
}

// A program built beside the test binary.
inline QString BuiltProgram(const char* name) {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QLatin1Char('/') +
           QLatin1String(name);
}

// A raw HTTP/1.0 answer: status line and headers, blank line, body.
inline std::string Http(const std::string& head, const std::string& body) {
    return "HTTP/1.0 " + head + "\r\n\r\n" + body;
}

// Answers every box (questions as told) and remembers what was shown, captions included.
class Answers final : public Dialogs {
  public:
    void Error(QWidget*, const QString& text, const QString&) override { errors << text; }
    void Message(QWidget*, const QString& text, const QString&) override { messages << text; }
    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
        questions << caption + QStringLiteral(" | ") + text;
        return yes;
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    void Beep() override { ++beeps; }
    QStringList errors, messages, questions;
    int beeps = 0;
    bool yes = false;
};

// Keeps $XDG_CACHE_HOME and $XDG_CONFIG_HOME in temporary folders for the test's lifetime.
class PrivateHome {
  public:
    PrivateHome() : cache_(qgetenv("XDG_CACHE_HOME")), config_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CACHE_HOME", (dir_.path() + "/cache").toUtf8());
        qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toUtf8());
    }
    ~PrivateHome() {
        qputenv("XDG_CACHE_HOME", cache_);
        qputenv("XDG_CONFIG_HOME", config_);
    }
    QString Path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QByteArray cache_, config_;
};

}  // namespace velmora::test
