// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_file.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <string>
#include <string_view>

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

ChannelEntry ChannelEntryFromLine(const QString& line) {
    const QStringList p = ParseChannelLine(line);
    ChannelEntry e{p.value(1), p.value(2), p.value(3), p.value(4)};
    const QString fifth = p.value(5);
    if (fifth.startsWith(kDirectoryIdMark)) e.directory_id = fifth.mid(kDirectoryIdMark.size());
    return e;
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
    QString text;
    for (const ChannelEntry& e : entries) {
        text += FormatChannelLine(e);
        text += QLatin1String("\r\n");
    }
    return text.toUtf8();
}

QString ChannelFileError::Message() const {
    const QString native = QDir::toNativeSeparators(path);
    QString text = kind == Kind::CannotOpen ? Msg("Cannot open file \"%1\".").arg(native)
                                            : Msg("Cannot create file \"%1\".").arg(native);
    if (!reason.isEmpty()) text += QLatin1Char(' ') + reason;
    return text;
}

ChannelFileReadResult ReadChannelFile(const QString& path) {
    ChannelFileReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error =
            ChannelFileError{ChannelFileError::Kind::CannotOpen, path, file.errorString()};
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error =
            ChannelFileError{ChannelFileError::Kind::CannotOpen, path, file.errorString()};
        return result;
    }
    const QStringList lines = SplitChannelFileLines(DecodeChannelFileBytes(bytes));
    result.entries.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines) {
        // Doubled line ends (CR CR LF, LF CR) hold nothing; as entries they would play "".
        if (line.isEmpty()) continue;
        result.entries.push_back(ChannelEntryFromLine(line));
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
