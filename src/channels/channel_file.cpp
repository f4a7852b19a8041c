#include "channels/channel_file.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <string>
#include <string_view>

#include "app/file_writer.h"
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

QString DecodeChannelFileBytes(const QByteArray& bytes) {
    const std::string_view all(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (IsValidUtf8(all)) {
        QString text = QString::fromUtf8(bytes);
        if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
        return text;
    }
    // A single-byte file. The code page is guessed from the fields that hold non-ASCII bytes only:
    // the ASCII letters of the addresses would otherwise outweigh a Cyrillic name. Those fields are
    // converted together, joined by LF, so that they all get the same code page; a single-byte code
    // page turns each byte into one character, so the LFs split the result back into the fields.
    struct Span {
        std::size_t begin, end;
    };
    std::vector<Span> spans;
    std::string sample;
    std::size_t start = 0;
    bool high = false;
    for (std::size_t i = 0; i <= all.size(); ++i) {
        const char c = i < all.size() ? all[i] : '\n';
        if (c == '=' || c == '\r' || c == '\n') {
            if (high) {
                spans.push_back({start, i});
                sample.append(all.substr(start, i - start));
                sample.push_back('\n');
            }
            start = i + 1;
            high = false;
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            high = true;
        }
    }
    const QStringList converted =
        QString::fromUtf8(QByteArray::fromStdString(ServerTextToUtf8(sample)))
            .split(QLatin1Char('\n'));

    QString text;
    text.reserve(bytes.size());
    std::size_t pos = 0;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        text += QLatin1StringView(all.data() + pos, static_cast<qsizetype>(spans[k].begin - pos));
        text += converted.value(static_cast<qsizetype>(k));
        pos = spans[k].end;
    }
    text += QLatin1StringView(all.data() + pos, static_cast<qsizetype>(all.size() - pos));
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
    for (const QString& line : lines) result.entries.push_back(ChannelEntryFromLine(line));
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
    QStringList paths{QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                      kChannelListFileName};
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
        paths.append(dir + QLatin1Char('/') + kChannelListFileName);
    return paths;
}

}  // namespace velmora
