// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/title_history.h"

#include <QDir>
#include <QFileInfo>

#include "desktop/bounded_read.h"
#include "i18n/message.h"

namespace velmora {

namespace {

QByteArray Escaped(const QString& field) {
    QByteArray out;
    for (const char c : field.toUtf8()) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Nothing for an escape that is not one of the four written.
std::optional<QString> Unescaped(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return QString::fromUtf8(out);
}

}  // namespace

QByteArray FormatTitleHistory(const QList<TitleHistoryEntry>& entries) {
    QByteArray out;
    for (const TitleHistoryEntry& e : entries) {
        out += e.when.toOffsetFromUtc(e.when.offsetFromUtc()).toString(Qt::ISODate).toLatin1();
        out += e.recorded ? "\tR\t" : "\t-\t";
        out += Escaped(e.station) + '\t' + Escaped(e.title) + '\n';
    }
    return out;
}

QList<TitleHistoryEntry> ParseTitleHistory(const QByteArray& bytes) {
    QList<TitleHistoryEntry> entries;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 4 || (fields[1] != "R" && fields[1] != "-")) continue;
        const QDateTime when = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODate);
        const std::optional<QString> station = Unescaped(fields[2]);
        const std::optional<QString> title = Unescaped(fields[3]);
        if (!when.isValid() || !station || !title || title->trimmed().isEmpty()) continue;
        entries.append({when.toLocalTime(), *station, *title, fields[1] == "R"});
        if (entries.size() == kTitleHistoryLimit) break;
    }
    return entries;
}

bool AddTitle(QList<TitleHistoryEntry>& entries, const TitleHistoryEntry& entry, int limit) {
    if (entry.title.trimmed().isEmpty()) return false;
    if (!entries.isEmpty() && entries.first().station == entry.station &&
        entries.first().title == entry.title) {
        return false;
    }
    entries.prepend(entry);
    while (entries.size() > limit) entries.removeLast();
    return true;
}

bool TitleMatches(const TitleHistoryEntry& entry, const QString& filter) {
    const QString f = filter.trimmed();
    return f.isEmpty() || entry.title.contains(f, Qt::CaseInsensitive) ||
           entry.station.contains(f, Qt::CaseInsensitive);
}

QString TitleHistoryLine(const TitleHistoryEntry& entry) {
    return QStringLiteral("%1  %2  %3")
        .arg(entry.when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")), entry.station,
             entry.title);
}

TitleHistory::TitleHistory(QString path) : path_(std::move(path)) {}

std::optional<QString> TitleHistory::Load() {
    entries_.clear();
    unreadable_ = false;
    BoundedRead read = ReadRegularFile(path_, kTitleHistoryReadLimit);
    if (read.missing) return std::nullopt;
    if (!read.error) {
        const bool blank = read.bytes.trimmed().isEmpty();
        // The newest entries come first; a line the bound cut in two is not one of them.
        if (read.cut) read.bytes.truncate(read.bytes.lastIndexOf('\n') + 1);
        entries_ = ParseTitleHistory(read.bytes);
        // Another file under this name (a link to the user's notes, say) must not be replaced by
        // the history; an empty file is a history without entries.
        if (entries_.isEmpty() && !blank) {
            read.error = Msg("it does not hold a title history");
        }
    }
    if (read.error) {
        unreadable_ = true;
        return *read.error;
    }
    return std::nullopt;
}

std::optional<FileWriteError> TitleHistory::Add(const TitleHistoryEntry& entry) {
    if (!AddTitle(entries_, entry)) return std::nullopt;
    return Write();
}

std::optional<FileWriteError> TitleHistory::MarkRecorded(const QString& station,
                                                         const QString& title) {
    if (entries_.isEmpty() || entries_.first().recorded || entries_.first().station != station ||
        entries_.first().title != title) {
        return std::nullopt;
    }
    entries_.first().recorded = true;
    return Write();
}

std::optional<FileWriteError> TitleHistory::Clear() {
    entries_.clear();
    return Write();
}

std::optional<FileWriteError> TitleHistory::Write() {
    // An unreadable file may hold the user's history: it is left alone.
    if (unreadable_) return std::nullopt;
    // The first title may come before the settings folder has ever been written.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    return ReplaceFileContent(path_, FormatTitleHistory(entries_));
}

}  // namespace velmora
