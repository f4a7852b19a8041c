// SPDX-License-Identifier: GPL-3.0-or-later
// The titles the player has shown, newest first, with their station and time, kept across runs
// in a small text file beside the settings. One line per title:
//   <local time, ISO 8601 with offset> TAB <"R" when recorded, else "-"> TAB <station> TAB <title>
// where a backslash, tab, line feed or carriage return inside a field is written \\, \t, \n, \r.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "desktop/file_writer.h"

namespace velmora {

inline constexpr const char* kTitleHistoryFileName = "TitleHistory.txt";
inline constexpr int kTitleHistoryLimit = 500;
// What is read of the file: far more than 500 entries of everyday titles take.
inline constexpr qint64 kTitleHistoryReadLimit = 512 * 1024;

struct TitleHistoryEntry {
    QDateTime when;
    QString station;
    QString title;
    bool recorded = false;  // came while a recording ran

    bool operator==(const TitleHistoryEntry&) const = default;
};

QByteArray FormatTitleHistory(const QList<TitleHistoryEntry>& entries);
// Lines that cannot be read (a damaged file, a line cut short) are skipped.
QList<TitleHistoryEntry> ParseTitleHistory(const QByteArray& bytes);

// Puts `entry` first, keeping at most `limit` entries. False, with nothing added, for a blank
// title and for the newest entry's station and title again (a reconnect, or Stop and Play).
bool AddTitle(QList<TitleHistoryEntry>& entries, const TitleHistoryEntry& entry,
              int limit = kTitleHistoryLimit);
// True when `filter` (blank: any) occurs in the station or the title, ignoring case.
bool TitleMatches(const TitleHistoryEntry& entry, const QString& filter);
// The entry as one line of text for the clipboard: time, station, title.
QString TitleHistoryLine(const TitleHistoryEntry& entry);

// The history of one file. Every change is written at once, so a crash loses nothing.
class TitleHistory {
  public:
    explicit TitleHistory(QString path);

    // Reads the file's first kTitleHistoryReadLimit bytes; a missing file is an empty history. A
    // file that cannot be read, is no regular file or holds no history line gives the reason, and
    // is then never written over.
    std::optional<QString> Load();
    const QList<TitleHistoryEntry>& Entries() const { return entries_; }
    QString Path() const { return path_; }

    // Adds and writes; nothing for what AddTitle refuses. A failed write keeps the entry in
    // memory and the previous file as it was.
    std::optional<FileWriteError> Add(const TitleHistoryEntry& entry);
    // The newest entry is marked recorded when it is `station`'s `title` (a recording started
    // during it).
    std::optional<FileWriteError> MarkRecorded(const QString& station, const QString& title);
    std::optional<FileWriteError> Clear();

  private:
    std::optional<FileWriteError> Write();

    const QString path_;
    QList<TitleHistoryEntry> entries_;
    bool unreadable_ = false;
};

}  // namespace velmora
