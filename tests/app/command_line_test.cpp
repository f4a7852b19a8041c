// SPDX-License-Identifier: GPL-3.0-or-later
// The command line and the one-player rule: what each argument does, playlist files read with the
// engine's parsers, and a second start that hands its station to the running player.
#include "app/command_line.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "playback/station_argument.h"
#include "session/single_instance.h"
#include "support/directory_answers.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_harness.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// A connection to the local socket at `path` that sends nothing; -1 when refused.
int IdleConnection(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(),
                std::min<std::size_t>(name.size(), sizeof address.sun_path - 1));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the other end has closed `fd`.
bool Closed(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

int Descriptors(qint64 pid) {
    return static_cast<int>(QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::Files).size());
}

TEST(CommandLineTest, OptionsAndOneStation) {
    using Action = CommandLine::Action;
    const struct {
        QStringList args;
        Action action;
        const char* station;
    } rows[] = {
        {{"velmora"}, Action::Run, ""},
        {{"velmora", "http://h/a.pls"}, Action::Run, "http://h/a.pls"},
        {{"velmora", "--help"}, Action::Help, ""},
        {{"velmora", "-v"}, Action::Version, ""},
        {{"velmora", "--bogus"}, Action::Usage, ""},
        {{"velmora", "a", "b"}, Action::Usage, ""},
        {{"velmora", "--", "-odd name.pls"}, Action::Run, "-odd name.pls"},
        {{"velmora", "--find", "jazz", "fm"}, Action::Find, ""},
        {{"velmora", "--find"}, Action::Usage, ""},
    };
    for (const auto& r : rows) {
        const CommandLine c = ParseCommandLine(r.args);
        EXPECT_EQ(c.action, r.action) << r.args.join(' ').toStdString();
        EXPECT_EQ(c.station, r.station) << r.args.join(' ').toStdString();
    }
    EXPECT_TRUE(VersionText().startsWith("velmora 2."));
}

// --find prints one line a station, with no display, and ends with 1 and one line on stderr when
// the directory cannot be reached or answers nonsense.
TEST(CommandLineTest, FindPrintsTheStationsOneALine) {
    QTemporaryDir home;
    test::StreamServer good, broken;
    test::StationFields jazz;
    jazz.uuid = "u1";
    jazz.name = "Jazz\tFM\nBerlin";
    jazz.url = "http://h/jazz.pls";
    jazz.url_resolved = "http://h:8000/jazz";
    jazz.codec = "AAC+";
    jazz.bitrate = 64;
    test::ServeDirectory(good, test::StationList({jazz}));
    broken.AddBody("/json/stations/search", 200, "application/json", "[{\"name\":");
    const struct {
        std::string directory;
        int exit;
        const char* out;
    } rows[] = {
        {good.Url(""), 0, "Jazz FM Berlin\tAAC+ 64\tDE\thttp://h:8000/jazz\n"},
        {broken.Url(""), 1, ""},
        {"http://127.0.0.1:1", 1, ""},
    };
    for (const auto& r : rows) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_CACHE_HOME", home.path() + "/cache");
        env.insert("VELMORA_STATION_DIRECTORY", QString::fromStdString(r.directory));
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");  // a window would fail here
        env.insert("LANG", "C.UTF-8");
        QProcess find;
        find.setProcessEnvironment(env);
        find.start(VELMORA_BUILD_DIR "/bin/velmora", {"--find", "jazz", "fm"});
        ASSERT_TRUE(find.waitForFinished(20000)) << r.directory;
        EXPECT_EQ(find.exitCode(), r.exit) << r.directory;
        EXPECT_EQ(find.readAllStandardOutput().toStdString(), r.out) << r.directory;
        const QByteArray err = find.readAllStandardError();
        EXPECT_EQ(err.count('\n'), r.exit == 0 ? 0 : 1) << err.toStdString();
    }
    const auto asked = good.ConnectionsTo("/json/stations/search");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].request_line.find("name=jazz%20fm"), std::string::npos);
}

// Recording without a window: its options, their values, and options that need --record.
TEST(CommandLineTest, RecordOptions) {
    using Action = CommandLine::Action;
    const struct {
        QStringList args;
        Action action;
        double duration;
        bool per_song;
        double min_song;
    } rows[] = {
        // Without --min-song the stored setting holds (-1 here).
        {{"velmora", "--record", "http://h/a"}, Action::Record, 0, false, -1},
        {{"velmora", "--record", "http://h/a", "--duration", "90m", "--per-song", "--min-song",
          "45"},
         Action::Record,
         5400,
         true,
         45},
        {{"velmora", "--record", "http://h/a", "--duration", "0"}, Action::Usage, 0, false, 30},
        {{"velmora", "--record", "http://h/a", "--duration", "soon"}, Action::Usage, 0, false, 30},
        {{"velmora", "--record", "http://h/a", "http://h/b"}, Action::Usage, 0, false, 30},
        {{"velmora", "--per-song", "http://h/a"}, Action::Usage, 0, false, 30},
        {{"velmora", "--record"}, Action::Usage, 0, false, 30},
    };
    for (const auto& r : rows) {
        const CommandLine c = ParseCommandLine(r.args);
        EXPECT_EQ(c.action, r.action) << r.args.join(' ').toStdString();
        if (c.action != Action::Record) continue;
        EXPECT_EQ(c.station, "http://h/a");
        EXPECT_EQ(c.duration_seconds, r.duration) << r.args.join(' ').toStdString();
        EXPECT_EQ(c.per_song, r.per_song);
        EXPECT_EQ(c.min_song_seconds.value_or(-1), r.min_song);
    }
}

// Only http(s) addresses are played: given directly, or as a playlist file's first such entry.
TEST(CommandLineTest, StationFromAddressOrPlaylistFile) {
    QTemporaryDir dir;
    const QString d = dir.path();
    test::WriteBytes(d + "/Jazz FM.pls",
                     "[playlist]\nFile1=local.mp3\nFile2=ftp://h/x\nFile3=http://h:8000/jazz\n");
    test::WriteBytes(d + "/list.m3u", "#EXTM3U\nfile:///etc/passwd\nhttps://h/live.aac\n");
    test::WriteBytes(d + "/master", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nhttp://h/v.m3u8\n");
    test::WriteBytes(d + "/segments.m3u8",
                     "#EXTM3U\n#EXT-X-TARGETDURATION:5\n#EXTINF:5,\nhttp://h/s1.aac\n");
    test::WriteBytes(d + "/notes.txt", "just words\n");
    const struct {
        QString argument;
        const char* url;  // empty: refused
        const char* name;
    } rows[] = {
        {"http://radio.example:8000/live", "http://radio.example:8000/live", "radio.example"},
        {"Jazz FM.pls", "http://h:8000/jazz", "Jazz FM"},
        {"file://" + d + "/list.m3u", "https://h/live.aac", "list"},
        {d + "/master", "http://h/v.m3u8", "master"},
        {"segments.m3u8", "", ""},
        {"notes.txt", "", ""},
        {"missing.pls", "", ""},
        {"ftp://h/a.mp3", "", ""},
        {"http:///nohost", "", ""},
    };
    for (const auto& r : rows) {
        const StationArgument s = StationFromArgument(r.argument, d);
        EXPECT_EQ(s.url, r.url) << r.argument.toStdString();
        EXPECT_EQ(s.name, r.name) << r.argument.toStdString();
        EXPECT_EQ(s.error.isEmpty(), *r.url != '\0') << r.argument.toStdString();
    }
    // The box quotes a cut argument on one line.
    const StationArgument odd = StationFromArgument("x\n" + QString(2000, 'y'), d);
    EXPECT_LT(odd.error.size(), 300);
    EXPECT_FALSE(odd.error.contains('\n'));
    EXPECT_TRUE(odd.error.contains("yyy...")) << odd.error.toStdString();
    // A long list is looked at only up to its first entries, and the box says so.
    QByteArray long_list = "#EXTM3U\n";
    for (int i = 0; i < 100000; ++i) long_list += "local.mp3\n";
    long_list += "http://h/late\n";
    test::WriteBytes(d + "/long.m3u", long_list);
    EXPECT_TRUE(StationFromArgument("long.m3u", d).error.contains("first 100 entries"));
}

// A connection that sends nothing is dropped after the line's time; a player's line is served.
TEST(CommandLineTest, InstanceSocketDropsIdleConnections) {
    test::EnsureApp();
    QTemporaryDir home;
    const QByteArray old_runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString folder = home.path() + "/settings";
    InstanceServer server(folder, nullptr, 300ms);
    QString played;
    QObject::connect(&server, &InstanceServer::playRequested,
                     [&](const QString& url, const QString&) { played = url; });

    const int idle = IdleConnection(InstanceSocketPath(folder));
    EXPECT_TRUE(test::WaitFor([&] { return Closed(idle); }, 2s));
    bool handed = false;
    std::thread later([&] { handed = HandOverToRunningPlayer(folder, "http://h/a", "A"); });
    test::WaitFor([&] { return !played.isEmpty(); }, 5s);
    later.join();
    EXPECT_TRUE(handed);
    EXPECT_EQ(played, "http://h/a");
    ::close(idle);
    qputenv("XDG_RUNTIME_DIR", old_runtime);
}

// The real program: --version answers without a display; a second start with another station
// switches the running player to it and ends, and one player remains.
TEST(CommandLineTest, SecondStartHandsItsStationToTheRunningPlayer) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_CACHE_HOME", home.path() + "/cache");
    env.insert("XDG_RUNTIME_DIR", home.path() + "/run");
    QDir().mkpath(home.path() + "/run");
    QFile::setPermissions(home.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("VELMORA_UPDATE_HOST", "127.0.0.1:9");  // nothing listens: no network
    const QString program = VELMORA_BUILD_DIR "/bin/velmora";

    QProcess version;
    QProcessEnvironment no_display = env;
    no_display.remove("DISPLAY");
    no_display.insert("QT_QPA_PLATFORM", "xcb");  // a window would fail here
    version.setProcessEnvironment(no_display);
    version.start(program, {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_TRUE(version.readAllStandardOutput().startsWith("velmora "));

    test::StreamServer server;
    test::SineSpec spec;
    spec.seconds = 1.0;
    for (const char* path : {"/one", "/two"}) {
        server.AddStream(path, test::IcecastRoute(test::EncodeSine(spec), 16000, 0));
    }
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(program, {QString::fromStdString(server.Url("/one"))});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(server.WaitForConnections(1, 20s));

    // Two thousand idle connections to its socket hold no more than a few descriptors.
    const QString socket_path =
        home.path() + "/run/velmora-" +
        QCryptographicHash::hash(QString(home.path() + "/config/Kestrin/VLR").toUtf8(),
                                 QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    ASSERT_TRUE(test::WaitFor([&] { return QFile::exists(socket_path); }, 10s));
    const int before = Descriptors(first.processId());
    std::vector<int> idle;
    for (int i = 0; i < 2000; ++i) idle.push_back(IdleConnection(socket_path));
    EXPECT_EQ(std::count(idle.begin(), idle.end(), -1), 0);
    EXPECT_TRUE(test::WaitFor([&] { return Closed(idle[1990 - kInstanceConnections]); }, 5s));
    EXPECT_LE(Descriptors(first.processId()), before + kInstanceConnections + 8);

    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(program, {QString::fromStdString(server.Url("/two"))});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(server.WaitForConnections(2, 20s));
    EXPECT_EQ(server.ConnectionsTo("/two").size(), 1u);
    EXPECT_EQ(first.state(), QProcess::Running);

    for (int fd : idle) ::close(fd);
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(20000));
}

}  // namespace
}  // namespace velmora
