// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <thread>

#include "support/qt_test_helpers.h"
#include "support/stream_server.h"
#include "update/update_test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::BuiltProgram;

bool WaitForFile(const QString& path, std::chrono::milliseconds timeout) {
    return test::WaitUntil([&] { return QFile::exists(path); }, timeout);
}

QByteArray QuietRead(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct PlayerRun {
    QTemporaryDir dir;
    QString app, program, cache, log, marker, settings, public_key;
    QByteArray old_bytes, new_bytes;
    test::StreamServer server;

    // A copy of the player in its own folder, with `settings`, and a server that offers the new
    // version signed by a release key of the test's own, through the release script. `served`
    // is what the server then sends as the program.
    void Prepare(const QByteArray& settings_text, std::function<QByteArray(QByteArray)> served) {
        app = dir.path() + "/app";
        program = app + "/velmora";
        cache = dir.path() + "/cache/velmora/update";
        log = dir.path() + "/dialogs.log";
        marker = dir.path() + "/started";
        QDir().mkpath(app);
        old_bytes = test::ReadBytes(BuiltProgram("update_test_player"));
        new_bytes = test::ReadBytes(BuiltProgram("update_new_version"));
        test::WriteBytes(program, old_bytes);
        // The player is installed with its default channel list beside it.
        QFile::copy(BuiltProgram("ChannelList.vlr"), app + "/ChannelList.vlr");
        ASSERT_EQ(chmod(program.toLocal8Bit().constData(), 0750), 0);
        QDir().mkpath(dir.path() + "/config/Kestrin/VLR");
        settings = dir.path() + "/config/Kestrin/VLR/Config-t.ini";
        test::WriteBytes(settings, "[Default]\r\nVolume=37\r\n" + settings_text);

        const QString key = dir.path() + "/release-key.pem";
        ASSERT_EQ(QProcess::execute("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}),
                  0);
        QProcess pub;
        pub.start("openssl", {"pkey", "-in", key, "-pubout", "-outform", "DER"});
        ASSERT_TRUE(pub.waitForFinished());
        public_key = pub.readAllStandardOutput().right(32).toBase64();
        const QString released = dir.path() + "/released";
        test::WriteBytes(released, new_bytes);
        QProcess sign;
        sign.start(VELMORA_SOURCE_DIR "/scripts/sign-update", {key, released, "2452"});
        ASSERT_TRUE(sign.waitForFinished());
        ASSERT_EQ(sign.exitCode(), 0) << sign.readAllStandardError().toStdString();
        const std::string signed_lines = sign.readAllStandardOutput().toStdString();

        server.AddBody("/files/velmora", 200, "application/octet-stream",
                       served(new_bytes).toStdString());
        server.AddBody("/downloads/update/selfupdate_en.cgi", 200, "text/plain",
                       signed_lines +
                           "#caption=Velmora update\r\n#message=[A new version]\r\n"
                           "#url=" +
                           server.Url("/files/velmora") + "\r\n");
    }

    // Starts the copy on an English machine, pointed at the loopback server and trusting the
    // test's key, in private folders, with boxes answered.
    void Start(QProcess& player) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_CACHE_HOME", dir.path() + "/cache");
        env.insert("VELMORA_UPDATE_HOST", QString("127.0.0.1:%1").arg(server.port()));
        env.insert("VELMORA_UPDATE_PUBLIC_KEY", public_key);
        env.insert("VELMORA_TEST_DIALOG_LOG", log);
        env.insert("VELMORA_TEST_MARKER", marker);
        env.insert("VELMORA_TEST_START_INTERVAL_MS", "300");
        env.insert("LANG", "en_US.UTF-8");
        env.remove("LANGUAGE");
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        player.setProcessEnvironment(env);
        player.setWorkingDirectory(dir.path());
        player.setProcessChannelMode(QProcess::ForwardedChannels);
        player.start(program, {});
    }
};

// On an English machine with no language chosen, the player checks by itself, is offered a
// signed new program, downloads it, saves its files, starts the upgrader and ends; the upgrader
// puts the new program in place, keeping the file's mode, and starts it.
TEST(UpdateEndToEndTest, PlayerReplacesAndRestartsItself) {
    test::EnsureApp();
    PlayerRun run;
    run.Prepare("", [](QByteArray b) { return b; });
    QProcess player;
    run.Start(player);
    ASSERT_TRUE(player.waitForFinished(30000));
    ASSERT_EQ(player.exitCode(), 0);
    ASSERT_TRUE(WaitForFile(run.marker, 20s)) << test::ReadBytes(run.log).toStdString();

    EXPECT_EQ(test::ReadBytes(run.program), run.new_bytes);
    struct stat st {};
    ASSERT_EQ(stat(run.program.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    const QByteArray marker = test::ReadBytes(run.marker);
    EXPECT_TRUE(marker.contains(("in " + run.app).toUtf8())) << marker.toStdString();
    EXPECT_TRUE(marker.contains("pid-variable unset")) << marker.toStdString();
    const QByteArray log = test::ReadBytes(run.log);
    EXPECT_TRUE(log.contains("question: Velmora update | A new version\n")) << log.toStdString();
    EXPECT_TRUE(log.contains("message: Upgrade done! Press OK to restart program.\n"));
    EXPECT_FALSE(log.contains("error:"));
    const auto info = run.server.ConnectionsTo("/downloads/update/selfupdate_en.cgi");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].Header("User-Agent").rfind("Velmora-Updater (", 0), 0u);
    EXPECT_EQ(info[0].request_line, "GET /downloads/update/selfupdate_en.cgi HTTP/1.0");
    // Saved before ending, as a close does.
    const QByteArray settings = test::ReadBytes(run.settings);
    EXPECT_TRUE(settings.contains("Volume=37")) << settings.toStdString();
    EXPECT_TRUE(QFile::exists(QFileInfo(run.settings).path() + "/ChannelList.vlr"));
    EXPECT_FALSE(QFile::exists(run.cache + "/Upgrade.tmp"));
    EXPECT_TRUE(QFileInfo(run.cache + "/Upgrader").isExecutable());
    EXPECT_EQ(QDir(run.app).entryList(QDir::Hidden | QDir::Files),
              QStringList({"ChannelList.vlr", "velmora"}));  // no leftovers
}

// A download with one byte changed on its way does not match its signed checksum: it replaces
// nothing, and the player tells the user and keeps running (it is closed here after the message).
TEST(UpdateEndToEndTest, ChecksumMismatchReplacesNothing) {
    test::EnsureApp();
    PlayerRun run;
    run.Prepare("Language=English\r\n", [](QByteArray b) {
        b[b.size() / 2] = static_cast<char>(b[b.size() / 2] ^ 1);
        return b;
    });
    QProcess player;
    run.Start(player);
    ASSERT_TRUE(player.waitForStarted());
    test::WaitUntil([&] { return QuietRead(run.log).contains("error:"); }, 20s);
    const QByteArray log = test::ReadBytes(run.log);
    EXPECT_TRUE(log.contains("error: The downloaded update is damaged")) << log.toStdString();
    EXPECT_EQ(player.state(), QProcess::Running);  // still playing
    player.terminate();
    player.waitForFinished(5000);
    EXPECT_EQ(test::ReadBytes(run.program), run.old_bytes);
    EXPECT_FALSE(QFile::exists(run.cache + "/Upgrader"));
}

// An upgrader that cannot put the new file in place leaves the program as it was, records why
// and starts it again: the user is never left without the player.
TEST(UpgraderTest, AFailedReplacementStartsTheOldProgramAgain) {
    QTemporaryDir dir;
    const QString program = dir.path() + "/velmora";
    const QString marker = dir.path() + "/started";
    const QByteArray script = "#!/bin/sh\necho again > '" + marker.toUtf8() + "'\n";
    test::WriteBytes(program, script);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess upgrader;
    upgrader.setWorkingDirectory(dir.path());
    upgrader.start(BuiltProgram("velmora-upgrader"),
                   {"velmora", dir.path() + "/Upgrade.tmp", "velmora"});  // no download there
    ASSERT_TRUE(upgrader.waitForFinished(10000));
    EXPECT_TRUE(WaitForFile(marker, 5s));
    EXPECT_EQ(test::ReadBytes(program), script);
    // The failure waits beside the download for the player's next start to tell it.
    EXPECT_TRUE(test::ReadBytes(dir.path() + "/Upgrade.failed").startsWith("replace\tcannot read"));
}

}  // namespace
}  // namespace velmora
