// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_file.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <string>
#include <string_view>

#include "desktop/file_writer.h"
#include "desktop/program_files.h"
#include "i18n/message.h"
#include "text/server_text.h"

namespace velmora {

QString FormatChannelLine(const ChannelEntry& e) {
    return QLatin1Char('=') + e.name + QLatin1Char('=') + e.playlist + QLatin1Char('=') +
           e.homepage + QLatin1Char('=') + e.programs + QLatin1Char('=');
}

QStringList ParseChannelLine(const QString& line) {
    QStringList pieces = line.split(QLatin1Char('='));
    // A "=" at the very end closes the last field and adds no piece of its own.
    if (pieces.size() > 1 && pieces.last().isEmpty()) pieces.removeLast();
    return pieces;
}

ChannelEntry ChannelEntryFromLine(const QString& line) {
    const QStringList p = ParseChannelLine(line);
    return {p.value(1), p.value(2), p.value(3), p.value(4)};
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

namespace {

std::string_view Bytes(QByteArrayView line) {
    return {line.data(), static_cast<std::size_t>(line.size())};
}

// One line: UTF-8 when it is valid UTF-8, else the reading of the two code pages that older
// installs wrote in which its words are of one script; a line that both leave plausible is read
// as the rest of the file, else as Windows-1252.
QString DecodeLine(QByteArrayView line, std::optional<CodePage> file_page, QStringDecoder& cp1251,
                   QStringDecoder& cp1252) {
    if (IsValidUtf8(Bytes(line))) return QString::fromUtf8(line);
    return PreferredCodePage(Bytes(line), file_page) == CodePage::Windows1251 ? cp1251.decode(line)
                                                                              : cp1252.decode(line);
}

// The code page most of the file's clearly decided lines were written in; nullopt for none or a
// tie.
std::optional<CodePage> FilePage(const QList<QByteArrayView>& lines) {
    int cyrillic = 0, western = 0;
    for (QByteArrayView line : lines) {
        if (IsValidUtf8(Bytes(line))) continue;
        if (const auto page = ClearCodePage(Bytes(line))) {
            (*page == CodePage::Windows1251 ? cyrillic : western) += 1;
        }
    }
    if (cyrillic == western) return std::nullopt;
    return cyrillic > western ? CodePage::Windows1251 : CodePage::Windows1252;
}

}  // namespace

QString DecodeChannelFileBytes(const QByteArray& bytes) {
    QByteArrayView all(bytes);
    if (all.startsWith("\xEF\xBB\xBF")) all = all.sliced(3);
    // Debian's Qt converts code pages through ICU, which knows both.
    QStringDecoder cp1251("windows-1251");
    QStringDecoder cp1252("windows-1252");
    // Files mix lines of different origins (an old list with names pasted from elsewhere), so
    // each line is decoded on its own. CR and LF are the same byte in all three encodings.
    QList<QByteArrayView> lines;
    QByteArray breaks;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= all.size(); ++i) {
        if (i < all.size() && all[i] != '\r' && all[i] != '\n') continue;
        lines << all.sliced(start, i - start);
        if (i < all.size()) breaks += all[i];
        start = i + 1;
    }
    const std::optional<CodePage> file_page = FilePage(lines);
    QString text;
    text.reserve(all.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        text += DecodeLine(lines[i], file_page, cp1251, cp1252);
        if (i < breaks.size()) text += QLatin1Char(breaks[i]);
    }
    return text;
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
