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
#include "playback/server_text.h"

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

// One line: UTF-8 when it is valid UTF-8, else the reading of the two code pages that older
// installs wrote in which its words are of one script; Windows-1252 when both read as well.
QString DecodeLine(QByteArrayView line, QStringDecoder& cp1251, QStringDecoder& cp1252) {
    const std::string_view bytes(line.data(), static_cast<std::size_t>(line.size()));
    if (IsValidUtf8(bytes)) return QString::fromUtf8(line);
    return PreferredCodePage(bytes) == CodePage::Windows1251 ? cp1251.decode(line)
                                                             : cp1252.decode(line);
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
    QString text;
    text.reserve(all.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= all.size(); ++i) {
        if (i < all.size() && all[i] != '\r' && all[i] != '\n') continue;
        text += DecodeLine(all.sliced(start, i - start), cp1251, cp1252);
        if (i < all.size()) text += QLatin1Char(all[i]);
        start = i + 1;
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
