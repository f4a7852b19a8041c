// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::WriteBytes;

// Integers: decimal with sign, "$" and "0x" hexadecimal as 32 bits, everything else refused.
TEST(IniInteger, ParsesTheProfileFormsAndRefusesTheRest) {
    const struct {
        const char* text;
        std::optional<int> want;
    } rows[] = {
        {"90", 90},
        {" 42\t", 42},
        {"-1", -1},
        {"+5", 5},
        {"0x20", 32},
        {"0X1f", 31},
        {"$20", 32},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT_MIN},
        {"-2147483648", INT_MIN},
        {"2147483647", INT_MAX},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"1.5", std::nullopt},
        {"-", std::nullopt},
        {"0x1g", std::nullopt},
        {"yes", std::nullopt},
        {"00", 0},
        {"$-1", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseIniInteger(QString::fromLatin1(row.text)), row.want) << row.text;
    }
}

// Names match without case, the first of duplicates wins, comments and other sections are not read.
TEST(IniFile, ReadsCaseInsensitivelyWithDefaultsAndLengthLimit) {
    IniFile ini;
    const QString long_value(3000, u'x');
    ini.SetText(QStringLiteral("Volume=1\n"
                               "[Other]\nVolume=2\n"
                               "[ default ]\n; Volume=3\n  VOLUME = 250 \nvolume=4\n"
                               "Proxy=yes\nShow=2\nEmpty=\nLong=") +
                long_value + QStringLiteral("\n[DEFAULT]\nLate=7\n"));
    EXPECT_EQ(ini.ReadInteger("Default", "Volume", 90), 250);
    EXPECT_EQ(ini.ReadInteger("OTHER", "volume", 90), 2);
    EXPECT_TRUE(ini.ReadBool("Default", "Proxy", true));
    EXPECT_FALSE(ini.ReadBool("Default", "Proxy", false));
    EXPECT_TRUE(ini.ReadBool("Default", "Show", false));
    EXPECT_EQ(ini.ReadInteger("Default", "Empty", 570), 570);
    EXPECT_EQ(ini.ReadString("Default", "Empty", "fallback"), QString());
    EXPECT_EQ(ini.ReadString("Default", "Missing"), QString());
    EXPECT_EQ(ini.ReadString("Default", "Long").size(), kIniMaxValueLength);
    // Only the first section of a name is read.
    EXPECT_FALSE(ini.HasKey("Default", "Late"));
    EXPECT_EQ(ini.ReadInteger("Nowhere", "Volume", 90), 90);
}

// Writing changes only the written values: everything else stays where it was, byte for byte.
TEST(IniFile, WritesInPlaceAppendsMissingKeysAndSections) {
    IniFile ini;
    ini.SetText(
        QStringLiteral("; kept comment\n"
                       "[Other]\nVolume=5\n"
                       "\n"
                       "[default]\n"
                       "VOLUME = 20\n"
                       "Hand=made\n"
                       "\n"
                       "[Tail]\nx=1\n"));
    ini.WriteInteger("Default", "Volume", 90);
    ini.WriteBool("Default", "Proxy", true);
    ini.WriteString("Default", "ProxyIP", "a\nb");
    ini.WriteString("Fresh", "Key", "v");
    EXPECT_EQ(ini.Text(), QStringLiteral("; kept comment\n"
                                         "[Other]\nVolume=5\n"
                                         "\n"
                                         "[default]\n"
                                         "VOLUME =90\n"
                                         "Hand=made\n"
                                         "Proxy=1\n"
                                         "ProxyIP=a b\n"
                                         "\n"
                                         "[Tail]\nx=1\n"
                                         "\n"
                                         "[Fresh]\nKey=v\n"));

    IniFile empty;
    empty.WriteInteger("Default", "Channel", -1);
    EXPECT_EQ(empty.Text(), QStringLiteral("[Default]\nChannel=-1\n"));
}

// Files keep their line ends, lose no last line without a newline, and single-byte text decodes.
TEST(IniFile, LoadsRealFilesInTheirEncodingAndLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    WriteBytes(path, "[Default]\r\nProxyIP=caf\xe9\r\nLast=9");
    IniFile ini;
    ASSERT_TRUE(ini.Load(path).ok());
    EXPECT_EQ(ini.ReadString("Default", "ProxyIP"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(ini.ReadInteger("Default", "Last", 0), 9);
    ini.WriteInteger("Default", "Last", 10);
    ASSERT_TRUE(ini.Save(path).ok());
    EXPECT_EQ(ReadBytes(path), QByteArray("[Default]\r\nProxyIP=caf\xc3\xa9\r\nLast=10\r\n"));

    // Lone CRs end lines too, and stay the file's line ends.
    WriteBytes(path, "[Default]\rVolume=40\rLanguage=German\r");
    ASSERT_TRUE(ini.Load(path).ok());
    EXPECT_EQ(ini.ReadInteger("Default", "Volume", 90), 40);
    EXPECT_EQ(ini.ReadString("Default", "Language"), "German");
    ini.WriteInteger("Default", "Channel", 3);
    ASSERT_TRUE(ini.Save(path).ok());
    EXPECT_EQ(ReadBytes(path), QByteArray("[Default]\rVolume=40\rLanguage=German\rChannel=3\r"));

    IniFile missing;
    EXPECT_TRUE(missing.Load(dir.filePath("none.ini")).ok());
    EXPECT_EQ(missing.Text(), QString());
}

// A refused write names the file and leaves the previous file whole; no temporary file remains.
TEST(IniFile, FailedSaveNamesTheFileAndKeepsTheOldOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.ini");
    WriteBytes(path, "[Default]\nVolume=20\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    IniFile ini;
    ASSERT_TRUE(ini.Load(path).ok());
    ini.WriteInteger("Default", "Volume", 90);
    const FileStatus status = ini.Save(path);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.path(), path);
    EXPECT_TRUE(status.Message().contains(path)) << status.Message().toStdString();
    EXPECT_EQ(ReadBytes(path), QByteArray("[Default]\nVolume=20\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ro.ini"});

    // The folder cannot be created because a plain file stands in its place.
    WriteBytes(dir.filePath("blocker"), "x");
    const QString blocked = dir.filePath("blocker/sub/c.ini");
    const FileStatus blocked_status = ini.Save(blocked);
    EXPECT_FALSE(blocked_status.ok());
    EXPECT_TRUE(blocked_status.Message().contains(blocked));
}

}  // namespace
}  // namespace velmora
