// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/station_argument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <string>

#include "base/web_scheme.h"
#include "desktop/shown_text.h"
#include "engine/playlist.h"
#include "i18n/message.h"

namespace velmora {

namespace {

// A playlist is a few lines; anything larger is not one.
constexpr qint64 kMaxPlaylistBytes = 1 << 20;
constexpr qsizetype kQuotedArgumentLength = 200;

// An argument as the box quotes it: a few lines at most, whatever was given.
QString Quoted(const QString& argument) {
    return ShownText(argument, kQuotedArgumentLength);
}

bool IsWebAddress(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() && IsHttpScheme(url.scheme().toStdString());
}

}  // namespace

bool IsStationAddress(const QString& text) {
    return IsWebAddress(QUrl(text, QUrl::StrictMode));
}

StationArgument StationFromArgument(const QString& argument, const QString& working_folder) {
    const QString text = argument.trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (IsWebAddress(url)) return {text, url.host(), {}};

    QString path = text;
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
        path = url.toLocalFile();
    } else if (!url.scheme().isEmpty() && url.scheme().size() > 1) {
        // Another scheme (ftp:, smb:, ...) is not a station; a one-letter one is no scheme.
        return {{}, {}, Msg("%1 is neither a web address nor a playlist file.").arg(Quoted(text))};
    }
    const QFileInfo info(QDir(working_folder), path);
    QFile file(info.absoluteFilePath());
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return {{}, {}, Msg("%1 is neither a web address nor a playlist file.").arg(Quoted(text))};
    }
    const std::string body = file.read(kMaxPlaylistBytes).toStdString();
    const std::string location =
        QUrl::fromLocalFile(info.absoluteFilePath()).toString().toStdString();
    engine::PlaylistKind kind = engine::PlaylistKindFromUrl(location);
    if (kind == engine::PlaylistKind::None) kind = engine::PlaylistKindFromBody(body);
    // A list of HLS segments plays only from its own address; a list of variants names them.
    const bool segments =
        engine::IsHlsPlaylist(body) && body.find("#EXT-X-STREAM-INF") == std::string::npos;
    bool cut = false;
    if (kind != engine::PlaylistKind::None && !segments) {
        for (const std::string& entry : engine::ParsePlaylist(kind, body, location, &cut)) {
            const QString address = QString::fromStdString(entry);
            if (IsStationAddress(address)) {
                return {address, info.completeBaseName(), {}};
            }
        }
    }
    if (cut) {
        return {{},
                {},
                Msg("The first %1 entries of the playlist %2 name no web address to play.")
                    .arg(engine::kPlaylistEntryLimit)
                    .arg(Quoted(info.fileName()))};
    }
    return {
        {}, {}, Msg("The playlist %1 names no web address to play.").arg(Quoted(info.fileName()))};
}

}  // namespace velmora
