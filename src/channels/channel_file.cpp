// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_file.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <string>
#include <string_view>

#include "desktop/bounded_read.h"
#include "desktop/file_writer.h"
#include "desktop/program_files.h"
#include "i18n/message.h"
#include "text/server_text.h"

namespace velmora {

QString FormatChannelLine(const ChannelEntry& e) {
    return QLatin1Char('=') + e.name + QLatin1Char('=') + e.playlist + QLatin1Char('=') +
           e.homepage + QLatin1Char('=') + e.programs + QLatin1Char('=') +
           (e.directory_id.isEmpty() ? QString()
                                     : kDirectoryIdMark + e.directory_id + QLatin1Char('='));
}

QStringList ParseChannelLine(const QString& line) {
    QStringList pieces = line.split(QLatin1Char('='));
    // A "=" at the very end closes the last field and adds no piece of its own.
    if (pieces.size() > 1 && pieces.last().isEmpty()) pieces.removeLast();
    return pieces;
}

namespace {

// Pieces 1 to 5 of a line, found without cutting the rest of it: a line of a million "=" costs no
// more than any other.
template <typename View, typename Make>
ChannelEntry EntryFromPieces(View line, Make make) {
    QString fields[5];
    auto at = line.find('=');
    for (int i = 0; i < 5 && at != View::npos; ++i) {
        const auto next = line.find('=', at + 1);
        fields[i] = make(line.substr(at + 1, next == View::npos ? View::npos : next - at - 1));
        at = next;
    }
    ChannelEntry e{fields[0], fields[1], fields[2], fields[3]};
    if (fields[4].startsWith(kDirectoryIdMark))
        e.directory_id = fields[4].mid(kDirectoryIdMark.size());
    return e;
}

}  // namespace

ChannelEntry ChannelEntryFromLine(const QString& line) {
    const std::u16string_view view(reinterpret_cast<const char16_t*>(line.utf16()),
                                   static_cast<std::size_t>(line.size()));
    return EntryFromPieces(view, [](std::u16string_view piece) {
        return QString(reinterpret_cast<const QChar*>(piece.data()),
                       static_cast<qsizetype>(piece.size()));
    });
}

QStringList SplitChannelFileLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < n) lines.append(text.mid(start));
    return lines;
}

QString DecodeChannelFileBytes(const QByteArray& bytes) {
    return QString::fromStdString(ChannelListToUtf8(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

QByteArray EncodeChannelFile(const std::vector<ChannelEntry>& entries) {
    // Line by line into UTF-8: no copy of the whole list as UTF-16 text on the way.
    QByteArray out;
    for (const ChannelEntry& e : entries) {
        out += FormatChannelLine(e).toUtf8();
        out += "\r\n";
    }
    return out;
}

QString ChannelFileError::Message() const {
    const QString native = QDir::toNativeSeparators(path);
    QString text = kind == Kind::CannotOpen ? Msg("Cannot open file \"%1\".").arg(native)
                                            : Msg("Cannot create file \"%1\".").arg(native);
    // The reason follows a sentence of its own.
    if (!reason.isEmpty()) text += QLatin1Char(' ') + reason.front().toUpper() + reason.mid(1);
    return text;
}

ChannelFileReadResult ReadChannelFile(const QString& path) {
    ChannelFileReadResult result;
    const auto refuse = [&](const QString& reason) {
        result.error = ChannelFileError{ChannelFileError::Kind::CannotOpen, path, reason};
        return result;
    };
    BoundedRead read = ReadRegularFile(path, kChannelFileMaxBytes);
    if (read.error) return refuse(*read.error);
    if (read.cut) return refuse(FileTooLargeReason(kChannelFileMaxBytes));
    std::string text = ChannelListToUtf8(
        std::string_view(read.bytes.constData(), static_cast<std::size_t>(read.bytes.size())));
    read.bytes.clear();

    // Lines are taken straight from the decoded text; no list of them is made.
    std::size_t lines = 0, entry_lines = 0;
    const std::string_view all(text);
    // Growing the list by doubling would hold two copies of it at once.
    result.entries.reserve(std::min<std::size_t>(
        static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1,
        kChannelFileMaxEntries));
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view line = all.substr(start, end - start);
        start = end + (all.substr(end, 2) == "\r\n" ? 2 : 1);
        // Doubled line ends (CR CR LF, LF CR) hold nothing; as entries they would play "".
        if (line.empty()) continue;
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            ++lines;
            if (line.front() == '=') ++entry_lines;
        }
        if (result.entries.size() == kChannelFileMaxEntries) {
            result.entries.clear();
            return refuse(Msg("it holds more than %1 channels").arg(kChannelFileMaxEntries));
        }
        result.entries.push_back(EntryFromPieces(line, [](std::string_view piece) {
            return QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()));
        }));
    }
    // Every line this program writes starts with "="; a file of other text under the list's name
    // (a link to the user's notes, say) must not be replaced by the list.
    if (entry_lines * 2 < lines) {
        result.entries.clear();
        return refuse(Msg("it does not hold a channel list"));
    }
    return result;
}

std::optional<ChannelFileError> WriteChannelFile(const QString& path,
                                                 const std::vector<ChannelEntry>& entries) {
    if (const auto error = ReplaceFileContent(path, EncodeChannelFile(entries))) {
        return ChannelFileError{ChannelFileError::Kind::CannotCreate, path, error->Reason()};
    }
    return std::nullopt;
}

ChannelFileReadResult ReadStartupChannelList(const QString& user_file,
                                             const QStringList& default_files) {
    if (QFileInfo::exists(user_file)) return ReadChannelFile(user_file);
    for (const QString& candidate : default_files)
        if (QFileInfo::exists(candidate)) return ReadChannelFile(candidate);
    return {};  // nothing to read: the user starts with an empty list
}

QStringList DefaultChannelListPaths() {
    QStringList paths;
    for (const QString& dir : ProgramDataFolders())
        paths.append(dir + QLatin1Char('/') + kChannelListFileName);
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
        paths.append(dir + QLatin1Char('/') + kChannelListFileName);
    return paths;
}

}  // namespace velmora
