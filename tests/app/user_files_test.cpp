// SPDX-License-Identifier: GPL-3.0-or-later
// The user's own files (settings, channel list, title history) when something else is found under
// their names: a link to another file of the user's, a FIFO, a device, a folder, a huge file. Each
// is refused at once, says why, and is never written over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "channels/channel_file.h"
#include "listening/title_history.h"
#include "settings/settings.h"
#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::WriteBytes;

enum class Found { NotesLink, Fifo, DevZero, Folder, Huge, Empty };

void Make(Found found, const QString& path, const QString& notes) {
    const QByteArray p = QFile::encodeName(path);
    switch (found) {
        case Found::NotesLink:
            ASSERT_TRUE(QFile::link(notes, path));
            break;
        case Found::Fifo:
            ASSERT_EQ(::mkfifo(p.constData(), 0600), 0);
            break;
        case Found::DevZero:
            ASSERT_TRUE(QFile::link("/dev/zero", path));
            break;
        case Found::Folder:
            ASSERT_TRUE(QDir().mkpath(path));
            break;
        case Found::Huge:  // 1 GB of zero bytes, sparse on the disk
            WriteBytes(path, {});
            ASSERT_EQ(::truncate(p.constData(), 1LL << 30), 0);
            break;
        case Found::Empty:
            WriteBytes(path, {});
            break;
    }
}

TEST(UserFiles, WhatIsNotTheFileIsRefusedAtOnceAndKept) {
    QTemporaryDir dir;
    const QString notes = dir.filePath("notes.txt");
    const QByteArray kNotes = "buy milk\ncall the landlord\n";
    WriteBytes(notes, kNotes);
    const struct {
        Found found;
        bool refused;
    } rows[] = {{Found::NotesLink, true}, {Found::Fifo, true}, {Found::DevZero, true},
                {Found::Folder, true},    {Found::Huge, true}, {Found::Empty, false}};
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.found));
        const QString history = dir.filePath(QString("history%1").arg(n));
        const QString settings = dir.filePath(QString("settings%1").arg(n));
        const QString list = dir.filePath(QString("list%1").arg(n++));
        for (const QString& path : {history, settings, list}) Make(r.found, path, notes);
        QElapsedTimer clock;
        clock.start();

        TitleHistory h(history);
        const std::optional<QString> history_error = h.Load();
        EXPECT_EQ(history_error.has_value(), r.refused);
        EXPECT_FALSE(h.Add({QDateTime::currentDateTime(), "FM", "Band - Song", false}));
        const LoadedSettings s = LoadSettings(settings);
        EXPECT_EQ(!s.status.ok(), r.refused) << s.status.reason().toStdString();
        // Saving merges into what was read: a refused file is never written.
        if (r.refused) {
            EXPECT_FALSE(SaveSettings(settings, Settings{}).ok());
        }
        const ChannelFileReadResult l = ReadChannelFile(list);
        EXPECT_EQ(l.error.has_value(), r.refused);
        EXPECT_TRUE(l.entries.empty());

        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_EQ(ReadBytes(notes), kNotes);
        if (r.found == Found::Empty) {
            EXPECT_TRUE(ReadBytes(history).startsWith("20"));
        }
    }
}

// A list with an odd line among its entries is still a list; a history above the bound is read up
// to it (the newest entries come first).
TEST(UserFiles, OwnFilesWithSurprisesAreStillRead) {
    QTemporaryDir dir;
    const QString list = dir.filePath("l.vlr");
    WriteBytes(list, "=A=http://a/=\r\nnot an entry\r\n=B=http://b/=\r\n");
    EXPECT_EQ(ReadChannelFile(list).entries.size(), 3u);

    QList<TitleHistoryEntry> entries;
    for (int i = 0; i < kTitleHistoryLimit; ++i) {
        entries.append({QDateTime::currentDateTime(), "FM", QString(2000, QChar('a' + i % 26))});
    }
    const QString history = dir.filePath("h.txt");
    WriteBytes(history, FormatTitleHistory(entries));
    TitleHistory h(history);
    EXPECT_FALSE(h.Load());
    EXPECT_GT(h.Entries().size(), 100);
    EXPECT_LT(h.Entries().size(), kTitleHistoryLimit);
    EXPECT_EQ(h.Entries().first().title, entries.first().title);
}

}  // namespace
}  // namespace velmora
