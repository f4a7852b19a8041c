// SPDX-License-Identifier: GPL-3.0-or-later
// The program as the system ends it: SIGTERM, SIGINT and SIGHUP close the window the normal way, so
// the settings and the channel list are written; an installed copy started from / finds its files.
#include <signal.h>

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "session/session_end.h"
#include "support/window_harness.h"

namespace velmora {
namespace {

using test::ReadBytes;

// True once `pid` catches SIGHUP, which only the program's own hand-off does: its window is shown
// and its files are loaded.
bool Ready(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:")) continue;
        return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGHUP - 1)) & 1;
    }
    return false;
}

class SessionEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        config_ = home_.path() + "/config/Kestrin/VLR";
        ASSERT_TRUE(QDir().mkpath(config_));
    }

    void WriteUserFile(const QString& name, const QByteArray& bytes) {
        test::WriteBytes(config_ + '/' + name, bytes);
    }

    // Starts `program` in `folder`, waits until it is ready, sends `signal_number` and expects a
    // normal end.
    void RunAndSignal(const QString& program, const QString& folder, int signal_number) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_CONFIG_HOME", home_.path() + "/config");
        env.insert("XDG_DATA_HOME", home_.path() + "/data");
        env.insert("XDG_CACHE_HOME", home_.path() + "/cache");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("VELMORA_UPDATE_HOST", "127.0.0.1:9");  // nothing listens: no network
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder);
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(program, {});
        ASSERT_TRUE(p.waitForStarted(10000)) << program.toStdString();
        ASSERT_TRUE(test::WaitFor([&] { return Ready(p.processId()); }, std::chrono::seconds(10)))
            << "the program never got ready";
        ::kill(static_cast<pid_t>(p.processId()), signal_number);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            FAIL() << "signal " << signal_number << " did not end the program";
        }
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "signal " << signal_number;
        EXPECT_EQ(p.exitCode(), 0);
    }

    QTemporaryDir home_;
    QString config_;
};

TEST_F(SessionEndTest, EachEndingSignalSavesTheSettingsAndTheList) {
    // An old list in Windows-1251 is rewritten as UTF-8 only by a real save; the stored volume
    // comes back only if the settings were loaded before they were written.
    const QByteArray old_list = "=\xD0\xE0\xE4\xE8\xEE \xD2\xE5\xF1\xF2=http://127.0.0.1:9/a==\r\n";
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        WriteUserFile("ChannelList.vlr", old_list);
        WriteUserFile("Config-t.ini", "[Default]\r\nVolume=37\r\n");
        RunAndSignal(VELMORA_BUILD_DIR "/bin/velmora", QDir::tempPath(), signal_number);
        EXPECT_TRUE(ReadBytes(config_ + "/ChannelList.vlr")
                        .contains(QStringLiteral("Радио Тест").toUtf8()));
        const QByteArray settings = ReadBytes(config_ + "/Config-t.ini");
        EXPECT_TRUE(settings.contains("Volume=37")) << settings.toStdString();
        EXPECT_TRUE(settings.contains("ShowDate=")) << settings.toStdString();
    }
}

TEST_F(SessionEndTest, InstalledProgramStartedFromRootFindsItsFiles) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::ForwardedChannels);
    install.start(VELMORA_CMAKE_COMMAND,
                  {"--install", VELMORA_BUILD_DIR, "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0);

    const QDir root(prefix.path());
    for (const char* file :
         {"bin/velmora", "share/velmora/ChannelList.vlr", "share/applications/velmora.desktop",
          "share/icons/hicolor/48x48/apps/velmora.png",
          "share/icons/hicolor/scalable/apps/velmora.svg",
          "share/metainfo/org.velmora.Velmora.metainfo.xml"})
        EXPECT_TRUE(root.exists(file)) << file;
    if (QFileInfo(VELMORA_BUILD_DIR "/bin/locale").isDir()) {
        EXPECT_TRUE(root.exists("share/velmora/locale")) << "catalogues not installed";
    }

    // With no list of their own, users start from the installed default list.
    RunAndSignal(root.filePath("bin/velmora"), "/", SIGTERM);
    const QByteArray first_default_line =
        ReadBytes(root.filePath("share/velmora/ChannelList.vlr")).split('\n').first().trimmed();
    ASSERT_FALSE(first_default_line.isEmpty());
    EXPECT_TRUE(ReadBytes(config_ + "/ChannelList.vlr").contains(first_default_line));
}

// A signal that lands while a modal box runs closes the box, then the window: the program must not
// stay alive behind a box nobody will answer.
TEST(SessionEndWindow, SignalDuringModalBoxClosesBoxAndWindow) {
    test::EnsureApp();
    test::SettingsHome home;
    test::AnsweringDialogs answers;
    SetDialogs(&answers);
    MainWindow* form = CreateProgramWindows();
    ASSERT_NE(form, nullptr);
    form->show();
    new SessionEnd(form);

    QDialog box;
    box.setModal(true);
    QTimer::singleShot(0, [] { ::raise(SIGTERM); });
    QTimer::singleShot(10000, &box, &QDialog::reject);  // keeps a failure from hanging the run
    QElapsedTimer clock;
    clock.start();
    box.exec();
    EXPECT_LT(clock.elapsed(), 5000) << "the signal did not close the box";
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QFileInfo::exists(home.SettingsFile()));
    EXPECT_TRUE(QFileInfo::exists(home.ChannelListFile()));
    EXPECT_TRUE(answers.errors.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetDialogs(nullptr);
}

}  // namespace
}  // namespace velmora
