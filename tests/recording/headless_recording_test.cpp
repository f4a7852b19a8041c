// SPDX-License-Identifier: GPL-3.0-or-later
// The real program records a loopback station per song without a window: joined midway, a title
// change early and one late, SIGTERM in the middle of the third song. Whole songs land in the
// station's folder, tagged; the first in incomplete/, the last skipped by the stored settings (its
// title matches a skip pattern); every file decodes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/stream_server.h"
#include "support/test_audio.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

std::string Tone(double frequency, double seconds, double amplitude = 0.5) {
    test::SineSpec spec;
    spec.frequency = frequency;
    spec.seconds = seconds;
    spec.amplitude = amplitude;
    return test::EncodeSine(spec);
}

TEST(HeadlessRecordingTest, PerSongUntilSigterm) {
    // 0-4 s first song, a second of silence, 5-10 s second, silence, 11-17 s third.
    test::StreamRoute route;
    route.audio = Tone(440, 4) + Tone(440, 1, 0) + Tone(660, 5) + Tone(440, 1, 0) + Tone(880, 6);
    route.headers = {"icy-name:Loop FM"};
    route.metaint = 8000;  // a block every half second at 128 kbit/s
    route.titles = {{0, "Alpha - One"}, {5, "Beta - Two"}, {24, "Gamma - Three"}};
    route.bytes_per_second = 64000;
    route.start_offset = 1001;  // joined mid-frame
    test::StreamServer server;
    server.AddStream("/live", route);

    QTemporaryDir dir;
    // The player's stored choices are the command line's defaults: songs of 3 s are whole, and
    // "gamma" titles are not saved.
    QTemporaryDir config;
    ASSERT_TRUE(QDir().mkpath(config.filePath("Kestrin/VLR")));
    QFile settings(config.filePath("Kestrin/VLR/Config-t.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[Default]\nSongMinSeconds=3\nSongSkipPatterns=news, gamma\n");
    settings.close();
    const QByteArray config_home = config.path().toUtf8();
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string url = server.Url("/live");
    const std::string output = dir.path().toStdString();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::unsetenv("DISPLAY");
        ::setenv("XDG_CONFIG_HOME", config_home.constData(), 1);
        const char* program = VELMORA_BUILD_DIR "/bin/velmora";
        ::execl(program, program, "--record", url.c_str(), "--per-song", "--duration", "60s",
                "--output", output.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // In the third song: 14.5 s of audio sent.
    ASSERT_TRUE(server.WaitForAudioSent("/live", 14 * 16000 + 8000, 30s));
    ::kill(pid, SIGTERM);
    std::string printed;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string folder = output + "/Loop FM";
    const std::string expected[] = {folder + "/incomplete/Alpha - One.mp3",
                                    folder + "/Beta - Two.mp3"};
    EXPECT_EQ(printed, expected[0] + "\n" + expected[1] + "\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/incomplete/Gamma - Three.mp3")));
    for (const std::string& path : expected) {
        const test::DecodedFile decoded = test::DecodeFile(path);
        EXPECT_TRUE(decoded.opened) << path;
        EXPECT_EQ(decoded.errors, 0) << path;
    }
    // The whole song runs from one silence (the change came early) into the next (it came late,
    // so the window holds only the silence's second half).
    EXPECT_NEAR(test::DecodeFile(expected[1]).seconds, 6.0, 0.5);
    TagLib::MPEG::File tagged(expected[1].c_str());
    ASSERT_NE(tagged.ID3v2Tag(), nullptr);
    const TagLib::PropertyMap tags = tagged.ID3v2Tag()->properties();
    EXPECT_EQ(tags["ARTIST"].toString().to8Bit(true), "Beta");
    EXPECT_EQ(tags["TITLE"].toString().to8Bit(true), "Two");
    EXPECT_EQ(tags["ALBUM"].toString().to8Bit(true), "Loop FM");
    EXPECT_EQ(tags["COMMENT"].toString().to8Bit(true), url);
    // Nothing half-written is left.
    EXPECT_EQ(QDir(QString::fromStdString(folder))
                  .entryList(QStringList{"*.part"}, QDir::Files | QDir::Hidden)
                  .size(),
              0);
}

}  // namespace
}  // namespace velmora
