// SPDX-License-Identifier: GPL-3.0-or-later
// The player as main.cpp starts it, except that its boxes are answered by the program itself: every
// question with Yes, every message with OK, each written as one line to $VELMORA_TEST_DIALOG_LOG.
// $VELMORA_TEST_START_INTERVAL_MS shortens the updater's start timer.
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "desktop/dialogs.h"
#include "desktop/program_files.h"
#include "i18n/message.h"
#include "update/self_updater.h"

namespace {

class LoggingDialogs final : public velmora::Dialogs {
  public:
    void Error(QWidget*, const QString& text, const QString&) override { Log("error", text); }
    // Like a modal box, the message runs an event loop of its own for a while.
    void Message(QWidget*, const QString& text, const QString&) override {
        Log("message", text);
        QEventLoop loop;
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
    }
    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
        Log("question", caption + " | " + text);
        return true;
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    void Beep() override {}

  private:
    static void Log(const char* kind, QString text) {
        QFile f(qEnvironmentVariable("VELMORA_TEST_DIALOG_LOG"));
        if (!f.open(QIODevice::Append)) return;
        text.replace('\r', ' ').replace('\n', ' ');
        f.write(QByteArray(kind) + ": " + text.toUtf8() + "\n");
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmora::InitMessages(velmora::FindProgramFile(QStringLiteral("locale")));
    QApplication::setApplicationName(velmora::Msg("Velmora"));
    LoggingDialogs answers;
    velmora::SetDialogs(&answers);

    velmora::MainWindow* main_window = velmora::CreateProgramWindows();
    if (!main_window) return 1;
    const int interval = qEnvironmentVariableIntValue("VELMORA_TEST_START_INTERVAL_MS");
    if (auto* updater = main_window->findChild<velmora::SelfUpdater*>(); updater && interval > 0) {
        updater->SetStartInterval(interval);
    }
    main_window->show();
    return app.exec();
}
