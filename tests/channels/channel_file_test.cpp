// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::WriteBytes;

std::vector<ChannelEntry> ReadOk(const QString& path) {
    const ChannelFileReadResult r = ReadChannelFile(path);
    EXPECT_FALSE(r.error.has_value()) << (r.error ? r.error->Message().toStdString() : "");
    return r.entries;
}

// Runs `body` in a child process and returns its exit code, so that limits and a changed user
// stay out of the test process.
int RunInChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

const ChannelEntry kFull{"Klassik Radio", "http://stream.example.org/klassik.pls",
                         "http://www.example.org", "http://www.example.org/programm"};
const ChannelEntry kNoPages{"Jazz", "http://jazz.example.org/listen.m3u", "", ""};

// A full entry, one without pages and a separator are written as three CR LF lines in the exact
// layout, and read back unchanged.
TEST(ChannelFile, RoundTripWritesExactLines) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ChannelList.vlr");
    const std::vector<ChannelEntry> list{kFull, kNoPages, ChannelEntry::Separator()};
    ASSERT_FALSE(WriteChannelFile(path, list).has_value());
    EXPECT_EQ(ReadBytes(path),
              QByteArray("=Klassik Radio=http://stream.example.org/klassik.pls="
                         "http://www.example.org=http://www.example.org/programm=\r\n"
                         "=Jazz=http://jazz.example.org/listen.m3u===\r\n"
                         "=--------------------------------====\r\n"));
    const std::vector<ChannelEntry> back = ReadOk(path);
    EXPECT_EQ(back, list);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_TRUE(back[2].IsSeparator());
    EXPECT_FALSE(back[1].IsSeparator());

    // Non-ASCII names are written as UTF-8 and survive the trip.
    const std::vector<ChannelEntry> intl{{"Радио Ёлка – Zürich", "http://a.example/x", "", ""}};
    ASSERT_FALSE(WriteChannelFile(path, intl).has_value());
    EXPECT_EQ(ReadOk(path), intl);

    // An empty list is an empty file, and an empty file an empty list.
    ASSERT_FALSE(WriteChannelFile(path, {}).has_value());
    EXPECT_EQ(ReadBytes(path), QByteArray());
    EXPECT_TRUE(ReadOk(path).empty());
}

// Splitting: piece 0 and pieces past the fourth field are ignored, missing pieces leave empty
// fields, and no line is ever dropped.
TEST(ChannelFile, ParseLineTable) {
    struct Row {
        const char* line;
        ChannelEntry expected;
    };
    const Row rows[] = {
        {"=A=http://a==", {"A", "http://a", "", ""}},
        {"=A=http://a=h=p=extra=more=", {"A", "http://a", "h", "p"}},
        {"junk=A=http://a=h=p=", {"A", "http://a", "h", "p"}},
        {"=A=http://a=h=p", {"A", "http://a", "h", "p"}},  // no closing "="
        {"=A=http://a", {"A", "http://a", "", ""}},
        {"=A", {"A", "", "", ""}},
        {"=", {"", "", "", ""}},
        {"", {"", "", "", ""}},
        {"no separators at all", {"", "", "", ""}},
        {"== =", {"", " ", "", ""}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ChannelEntryFromLine(QString::fromUtf8(r.line)), r.expected) << r.line;

    EXPECT_EQ(ParseChannelLine("=A=B==="), QStringList({"", "A", "B", "", ""}));
    EXPECT_EQ(ParseChannelLine(FormatChannelLine(kNoPages)).size(), 5);
    EXPECT_EQ(ParseChannelLine(FormatChannelLine(ChannelEntry::Separator())).size(), 5);
}

// CR-only, LF-only and mixed line ends all read; a missing final line end loses nothing; a line
// with no characters (doubled line ends, CR CR LF, LF CR) is not an entry.
TEST(ChannelFile, AcceptsEveryLineEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.vlr");
    const std::vector<ChannelEntry> two{{"A", "a", "", ""}, {"B", "b", "hb", ""}};
    for (const char* bytes : {"=A=a===\r=B=b=hb==\r", "=A=a===\n=B=b=hb==\n",
                              "=A=a===\r\n=B=b=hb==", "=A=a===\n=B=b=hb==\r\n"}) {
        WriteBytes(path, bytes);
        EXPECT_EQ(ReadOk(path), two) << bytes;
    }
    for (const char* bytes : {"=A=a===\r\n\r\n=B=b=hb==\r\n", "\r\n=A=a===\r\r\n=B=b=hb==\n\r",
                              "=A=a===\n\n\n=B=b=hb==\r\r"}) {
        WriteBytes(path, bytes);
        EXPECT_EQ(ReadOk(path), two) << bytes;
    }

    EXPECT_EQ(SplitChannelFileLines("a\r\r\nb\n\rc"), QStringList({"a", "", "b", "", "c"}));
    EXPECT_TRUE(SplitChannelFileLines("").isEmpty());
}

// Lists saved by older Windows installs are in a single-byte code page; long ASCII addresses
// must not hide that the names are Cyrillic.
TEST(ChannelFile, ReadsSingleByteCodePages) {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.vlr");

    // Windows-1252: "Münchner Klänge", "Café Olé".
    WriteBytes(path,
               "=M\xFCnchner Kl\xE4nge=http://muenchen.example.de/stream/live/high.pls="
               "http://www.muenchen.example.de==\r\n"
               "=Caf\xE9 Ol\xE9=http://cafe.example.fr/radio.m3u===\r\n");
    std::vector<ChannelEntry> got = ReadOk(path);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, QString::fromUtf8("Münchner Klänge"));
    EXPECT_EQ(got[0].homepage, "http://www.muenchen.example.de");
    EXPECT_EQ(got[1].name, QString::fromUtf8("Café Olé"));

    // Windows-1251: "Радио Рекорд", "Европа Плюс", among plenty of Latin letters.
    WriteBytes(path,
               "=\xD0\xE0\xE4\xE8\xEE \xD0\xE5\xEA\xEE\xF0\xE4=http://radiorecord.example.ru/"
               "live/stream/main/high-quality-aac-plus.m3u=http://www.radiorecord.example.ru="
               "http://www.radiorecord.example.ru/programm/schedule=\r\n"
               "=\xC5\xE2\xF0\xEE\xEF\xE0 \xCF\xEB\xFE\xF1=http://europaplus.example.ru/"
               "stream/europaplus-320.mp3=http://www.europaplus.example.ru==\r\n");
    got = ReadOk(path);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, QString::fromUtf8("Радио Рекорд"));
    EXPECT_EQ(got[0].programs, "http://www.radiorecord.example.ru/programm/schedule");
    EXPECT_EQ(got[1].name, QString::fromUtf8("Европа Плюс"));
    EXPECT_EQ(got[1].playlist, "http://europaplus.example.ru/stream/europaplus-320.mp3");

    // A UTF-8 file with a byte-order mark: the mark is not part of the first line.
    WriteBytes(path, "\xEF\xBB\xBF=\xC3\x9C=u===\r\n");
    got = ReadOk(path);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, QString::fromUtf8("Ü"));
}

// Each line is decoded on its own: UTF-8 when valid, else Windows-1251 or Windows-1252, whichever
// gives words of one script, so files mixing lines of different origins read right.
TEST(ChannelFile, DecodesEachLineByItself) {
    const struct {
        const char* bytes;
        const char* text;  // UTF-8
    } rows[] = {
        {"\xD6"
         "1",
         "Ö1"},
        {"=\xD6"
         "1=http://oe1.example.at/live.m3u===",
         "=Ö1=http://oe1.example.at/live.m3u==="},
        {"\xD0\xE0\xE4\xE8\xEE", "Радио"},
        {"\xD2\xC2 \xD6\xE5\xED\xF2\xF0", "ТВ Центр"},
        {"\xD1"
         "and\xFA \xC4rger \xD6sterreich",
         "Ñandú Ärger Österreich"},
        // A file whose lines mix the two code pages.
        {"=\xD6"
         "1=a===\r\n=\xD0\xE0\xE4\xE8\xEE=b===\r\n=M\xFC"
         "nchner Kl\xE4nge=c===\r\n",
         "=Ö1=a===\r\n=Радио=b===\r\n=Münchner Klänge=c===\r\n"},
        // A UTF-8 file with one line pasted in Windows-1252.
        {"\xEF\xBB\xBF=\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE=a===\n=Caf\xE9 Ol\xE9=b===\n"
         "=\xC3\x96"
         "1=c===\n",
         "=Радио=a===\n=Café Olé=b===\n=Ö1=c===\n"},
        // A line of accented capitals reads plausibly either way: it follows the rest of the
        // file, German names here ("ÄÖÜ Radio", once read as "ДЦЬ Radio" and saved so) ...
        {"=M\xFC"
         "nchen=a===\r\n=\xC4\xD6\xDC Radio=b===\r\n=Caf\xE9=c===\r\n",
         "=München=a===\r\n=ÄÖÜ Radio=b===\r\n=Café=c===\r\n"},
        // ... and Russian ones here, while on its own it stays Cyrillic as before.
        {"=\xD0\xE0\xE4\xE8\xEE=a===\r\n=\xD0\xC0\xC4\xC8\xCE=b===\r\n",
         "=Радио=a===\r\n=РАДИО=b===\r\n"},
        {"\xD0\xC0\xC4\xC8\xCE", "РАДИО"},
        // A byte Windows-1252 leaves undefined keeps its value, a control character.
        {"M\xFC"
         "nchen Caf\xE9 \x81",
         "München Café \xC2\x81"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DecodeChannelFileBytes(QByteArray(row.bytes)), QString::fromUtf8(row.text))
            << row.text;
    }
}

// A save that cannot complete leaves the previous list byte for byte and names the file: into a
// folder the user may not write to, and when the disk refuses the data half-way.
TEST(ChannelFile, FailedWriteKeepsOldFile) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("VLR");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/ChannelList.vlr";
    ASSERT_FALSE(WriteChannelFile(path, {kFull}).has_value());
    const QByteArray old_bytes = ReadBytes(path);
    std::vector<ChannelEntry> big(500, kNoPages);

    // Read-only folder. Root may write anywhere, so the writer drops to an unprivileged user.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const int readonly_result = RunInChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
        const auto error = WriteChannelFile(path, big);
        if (!error) return 1;
        return error->Message().contains(QDir::toNativeSeparators(path)) ? 0 : 2;
    });
    EXPECT_EQ(readonly_result, 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_EQ(ReadBytes(path), old_bytes);

    // The file-size limit makes the write fail after some bytes were written; a small list fails
    // only when the buffered bytes reach the disk.
    for (const auto& list : {big, std::vector<ChannelEntry>{kNoPages}}) {
        const int full_disk_result = RunInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{20, 20};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
            const auto error = WriteChannelFile(path, list);
            if (!error) return 1;
            return error->Message().contains(QDir::toNativeSeparators(path)) ? 0 : 2;
        });
        EXPECT_EQ(full_disk_result, 0) << list.size();
        EXPECT_EQ(ReadBytes(path), old_bytes) << list.size();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"ChannelList.vlr"}));
}

// Start-up reads the user's list when there is one, else the shipped default, else starts empty;
// a file that cannot be read is reported with its name.
TEST(ChannelFile, StartupPrefersUserList) {
    QTemporaryDir dir;
    const QString user = dir.filePath("user.vlr");
    const QString shipped = dir.filePath("ChannelList.vlr");
    WriteBytes(shipped, "=Default=d===\r\n");
    EXPECT_EQ(ReadStartupChannelList(user, {dir.filePath("none.vlr"), shipped}).entries,
              std::vector<ChannelEntry>({{"Default", "d", "", ""}}));
    WriteBytes(user, "");  // an emptied list stays empty; the default is not read again
    const ChannelFileReadResult r = ReadStartupChannelList(user, {shipped});
    EXPECT_FALSE(r.error.has_value());
    EXPECT_TRUE(r.entries.empty());

    // Neither list: an empty list, not an error. A list that exists but cannot be read is one.
    const ChannelFileReadResult none =
        ReadStartupChannelList(dir.filePath("a.vlr"), {dir.filePath("b.vlr")});
    EXPECT_FALSE(none.error.has_value());
    EXPECT_TRUE(none.entries.empty());
    ASSERT_TRUE(QDir().mkpath(dir.filePath("b.vlr")));
    const ChannelFileReadResult unreadable =
        ReadStartupChannelList(dir.filePath("a.vlr"), {dir.filePath("b.vlr")});
    ASSERT_TRUE(unreadable.error.has_value());
    EXPECT_TRUE(unreadable.error->Message().contains(dir.filePath("b.vlr")));
}

// The list shipped beside the program is in the exact line format, with groups of real channels.
TEST(ChannelFile, ShippedDefaultListIsWellFormed) {
    const QString path = QFileInfo(__FILE__).dir().filePath("../../data/ChannelList.vlr");
    const QByteArray bytes = ReadBytes(path);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));
    EXPECT_EQ(bytes.count("\r"), bytes.count("\r\n"));

    int channels = 0, separators = 0;
    for (const QString& line : SplitChannelFileLines(QString::fromUtf8(bytes))) {
        const QStringList pieces = ParseChannelLine(line);
        ASSERT_EQ(pieces.size(), 5) << line.toStdString();
        EXPECT_TRUE(pieces[0].isEmpty());
        const ChannelEntry e = ChannelEntryFromLine(line);
        if (e.IsSeparator()) {
            ++separators;
            EXPECT_EQ(e, ChannelEntry::Separator());
            continue;
        }
        ++channels;
        EXPECT_LE(e.name.size(), 40);
        EXPECT_TRUE(e.playlist.startsWith("http://") || e.playlist.startsWith("https://"))
            << line.toStdString();
        EXPECT_LE(e.homepage.size(), 150);
    }
    EXPECT_GE(channels, 12);
    EXPECT_GE(separators, 2);
}

}  // namespace
}  // namespace velmora
