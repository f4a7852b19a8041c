// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::WriteBytes;

Settings LoadExisting(const QString& path) {
    const LoadedSettings loaded = LoadSettings(path);
    EXPECT_TRUE(loaded.status.ok());
    EXPECT_TRUE(loaded.settings.has_value());
    return loaded.settings.value_or(Settings{});
}

// The settings folder follows XDG_CONFIG_HOME and falls back to ~/.config.
TEST(Settings, FolderFollowsXdgConfigHome) {
    const QByteArray old_xdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray old_home = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(SettingsFolder(), "/tmp/cfg/Kestrin/VLR");
    EXPECT_EQ(SettingsFilePath(), "/tmp/cfg/Kestrin/VLR/Config-t.ini");
    qputenv("XDG_CONFIG_HOME", "");
    qputenv("HOME", "/home/someone");
    EXPECT_EQ(SettingsFolder(), "/home/someone/.config/Kestrin/VLR");
    qputenv("XDG_CONFIG_HOME", old_xdg);
    qputenv("HOME", old_home);
}

// First run: nothing to load; the first save creates both folder levels and all thirteen keys
// in table order with "Background" empty.
TEST(Settings, FirstRunWritesEveryKeyInOrder) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Kestrin/VLR/Config-t.ini");
    const LoadedSettings first = LoadSettings(path);
    EXPECT_FALSE(first.settings.has_value());
    EXPECT_TRUE(first.status.ok());

    Settings s;
    s.language = "English";
    ASSERT_TRUE(SaveSettings(path, s).ok());
    EXPECT_EQ(ReadBytes(path), QByteArray("[Default]\n"
                                          "Channel=1\n"
                                          "Volume=90\n"
                                          "Proxy=1\n"
                                          "ProxyIP=\n"
                                          "Form=570\n"
                                          "ShowDate=1\n"
                                          "ShowTime=1\n"
                                          "ItemPositionTop=0\n"
                                          "ItemPositionBelow=1\n"
                                          "Language=English\n"
                                          "Channelposition=0\n"
                                          "Background=\n"
                                          "Autocheckoff=0\n"));
    EXPECT_EQ(LoadExisting(path), s);
}

// Every key survives a save and a load with values other than its default.
TEST(Settings, RoundTripKeepsEveryValue) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Config-t.ini");
    Settings s;
    s.channel = -1;
    s.volume = 0;
    s.direct_connection = false;
    s.proxy_ip = QString::fromUtf8("user:p\xc3\xa4ss@proxy.local:3128");
    s.window_width = 407;
    s.show_date = false;
    s.show_time = false;
    s.item_position_top = true;
    s.item_position_below = false;
    s.language = "Russian";
    s.channel_position = 12;
    s.background = "Win7";
    s.autocheckoff = true;
    s.notifications = false;
    s.stay_awake = false;
    s.song_skip_patterns = QString::fromUtf8(
        "Werbung, *jingle*, \xd0\xbd\xd0\xbe\xd0\xb2\xd0\xbe\xd1\x81\xd1\x82\xd0\xb8");
    s.song_cut_before = 0;
    s.song_cut_after = 9;
    s.song_padding = 2;
    s.song_min_seconds = 45;
    s.keep_incomplete_songs = false;
    ASSERT_TRUE(SaveSettings(path, s).ok());
    EXPECT_EQ(LoadExisting(path), s);
}

// Hand-edited values: hexadecimal, out of range, unparsable and "yes" Booleans read as the rules
// say.
TEST(Settings, HandEditedValuesReadAsDefaultsOrNumbers) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Config-t.ini");
    WriteBytes(path,
               "[DEFAULT]\nvolume=0x20\nForm=408\nShowDate=2\nShowTime=yes\nAutocheckoff=yes\n"
               "Channel=-1\nProxy=abc\nChannelposition=$10\n");
    Settings s = LoadExisting(path);
    EXPECT_EQ(s.volume, 32);
    EXPECT_EQ(s.window_width, 408);
    EXPECT_TRUE(s.show_date);
    EXPECT_TRUE(s.show_time);
    EXPECT_FALSE(s.autocheckoff);
    EXPECT_EQ(s.channel, -1);
    EXPECT_TRUE(s.direct_connection);
    EXPECT_EQ(s.channel_position, 16);
    EXPECT_TRUE(s.item_position_below);

    WriteBytes(path, "[Default]\nVolume=250\nForm=407\n");
    s = LoadExisting(path);
    EXPECT_EQ(s.volume, 250);  // the slider clamps it, the file value is kept as read
    EXPECT_EQ(s.window_width, 407);
    WriteBytes(path, "[Default]\nVolume=abc\n");
    EXPECT_EQ(LoadExisting(path).volume, 90);
    // An existing file without the section gives all defaults, unlike a missing file.
    WriteBytes(path, "[Other]\nVolume=3\n");
    EXPECT_EQ(LoadExisting(path), Settings{});
}

// Keys and sections added by hand are neither removed nor reordered by a save.
TEST(Settings, SaveKeepsHandAddedKeysAndSections) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Config-t.ini");
    WriteBytes(path, "[Mine]\nA=1\n[Default]\nHand=made\nvolume=5\n[After]\nB=2\n");
    Settings s;
    s.volume = 70;
    ASSERT_TRUE(SaveSettings(path, s).ok());
    EXPECT_EQ(ReadBytes(path), QByteArray("[Mine]\nA=1\n[Default]\nHand=made\nvolume=70\n"
                                          "Channel=1\nProxy=1\nProxyIP=\nForm=570\nShowDate=1\n"
                                          "ShowTime=1\nItemPositionTop=0\nItemPositionBelow=1\n"
                                          "Language=\nChannelposition=0\nBackground=\n"
                                          "Autocheckoff=0\n[After]\nB=2\n"));
}

// A read-only settings file is refused with a message naming it, and keeps its old content.
TEST(Settings, ReadOnlyFileIsReportedAndUntouched) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Config-t.ini");
    WriteBytes(path, "[Default]\nVolume=20\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    Settings s;
    s.volume = 55;
    const FileStatus status = SaveSettings(path, s);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(status.Message().contains(path)) << status.Message().toStdString();
    EXPECT_EQ(ReadBytes(path), QByteArray("[Default]\nVolume=20\n"));
    EXPECT_EQ(LoadExisting(path).volume, 20);
}

}  // namespace
}  // namespace velmora
