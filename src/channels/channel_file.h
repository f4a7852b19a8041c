// SPDX-License-Identifier: GPL-3.0-or-later
// The channel-list file: one entry per line, "=" name "=" playlist "=" homepage "=" programs "=".
// The same format serves the user's list, the default list beside the program, export and import.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QByteArray;

namespace velmora {

// The name that marks a separator row: 32 hyphens.
inline const QString kSeparatorName = QStringLiteral("--------------------------------");

// One user channel. The homepage and programs addresses may be empty.
struct ChannelEntry {
    QString name;
    QString playlist;
    QString homepage;
    QString programs;
    // The station's id in the community directory, for a channel added from there; empty
    // otherwise. Kept in the line's fifth field as kDirectoryIdMark + id, which readers that know
    // four fields ignore.
    QString directory_id = {};

    static ChannelEntry Separator() { return {kSeparatorName, {}, {}, {}}; }
    bool IsSeparator() const { return name == kSeparatorName; }
    bool operator==(const ChannelEntry&) const = default;
};

inline const QString kDirectoryIdMark = QStringLiteral("directory:");

// The file line of `e`, without its line end.
QString FormatChannelLine(const ChannelEntry& e);
// The pieces of `line`, cut at every "=": the text before the first "=", the text between each two
// "=" and the text after the last "=" when that is not empty. Piece 0 is not part of the entry.
QStringList ParseChannelLine(const QString& line);
// The entry held by `line`: pieces 1 to 4; missing pieces leave their fields empty; piece 5 is the
// directory id when it carries the mark, further pieces are ignored.
ChannelEntry ChannelEntryFromLine(const QString& line);

// `text` cut into lines at CR LF, LF or CR. A line end at the very end adds no empty line.
QStringList SplitChannelFileLines(const QString& text);
// The file's bytes as text, line by line: a line of valid UTF-8 as UTF-8, else the single-byte code
// page of an older install, Windows-1251 or Windows-1252, whichever gives words of one script.
QString DecodeChannelFileBytes(const QByteArray& bytes);
// The whole file content for `entries`: UTF-8, every line ended by CR LF.
QByteArray EncodeChannelFile(const std::vector<ChannelEntry>& entries);

// A file that could not be read or written, for the message shown to the user.
struct ChannelFileError {
    enum class Kind { CannotOpen, CannotCreate };
    Kind kind;
    QString path;
    QString reason;  // the system's explanation
    // The translated sentence naming the file.
    QString Message() const;
};

// Bounds of a list that is read: far above any list of stations, far below what would stall the
// start.
inline constexpr qint64 kChannelFileMaxBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kChannelFileMaxEntries = 200000;

// The entries of the file at `path`, or why it could not be read. A line with no characters is not
// an entry. A file that is no regular file, is above the bounds, or whose lines mostly do not start
// with "=" (so not a channel list) is refused.
struct ChannelFileReadResult {
    std::vector<ChannelEntry> entries;
    std::optional<ChannelFileError> error;
};
ChannelFileReadResult ReadChannelFile(const QString& path);

// Writes `entries` to `path` through a temporary file renamed into place, so a failure leaves the
// previous file as it was. Returns the error, if any.
std::optional<ChannelFileError> WriteChannelFile(const QString& path,
                                                 const std::vector<ChannelEntry>& entries);

// The file name used in the settings folder and beside the program.
inline const QString kChannelListFileName = QStringLiteral("ChannelList.vlr");

// Reads the user's list at `user_file`; when that file does not exist, the first existing file of
// `default_files` (the list shipped with the program). When none exists, the list is empty.
ChannelFileReadResult ReadStartupChannelList(const QString& user_file,
                                             const QStringList& default_files);
// Where the shipped default list may be: beside the executable, then the installed data folders.
QStringList DefaultChannelListPaths();

}  // namespace velmora
