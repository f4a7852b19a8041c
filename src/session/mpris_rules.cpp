// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/mpris_rules.h"

#include <QDBusObjectPath>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "channels/directory.h"
#include "desktop/shown_text.h"

namespace velmora {

TitleParts SplitStreamTitle(const QString& stream_title) {
    const QString whole = stream_title.trimmed();
    const qsizetype dash = whole.indexOf(QLatin1String(" - "));
    if (dash < 0) return {{}, whole};
    const QString artist = whole.left(dash).trimmed();
    const QString title = whole.mid(dash + 3).trimmed();
    if (artist.isEmpty() || title.isEmpty()) return {{}, whole};
    return {artist, title};
}

QVariantMap NowPlayingMetadata(const QString& station, const QString& stream_title,
                               const QString& track_path) {
    QVariantMap metadata;
    // Panels show these as they are: one line each, bounded, no turned-around text.
    const QString album = ShownText(station).trimmed();
    const TitleParts parts = SplitStreamTitle(ShownText(stream_title));
    if (album.isEmpty() && parts.title.isEmpty()) {
        metadata.insert("mpris:trackid", QVariant::fromValue(QDBusObjectPath(kNoTrackPath)));
        return metadata;
    }
    metadata.insert("mpris:trackid", QVariant::fromValue(QDBusObjectPath(track_path)));
    if (!album.isEmpty()) metadata.insert("xesam:album", album);
    // Panels show the title first; a station that sends none is named there instead.
    metadata.insert("xesam:title", parts.title.isEmpty() ? album : parts.title);
    if (!parts.artist.isEmpty()) metadata.insert("xesam:artist", QStringList{parts.artist});
    return metadata;
}

std::optional<int> SliderPositionForVolume(double volume) {
    if (std::isnan(volume)) return std::nullopt;
    return static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0));
}

int AdjacentStationRow(int row, int step) {
    // No row at all counts as just outside the end the step comes from.
    const bool in_table = row >= 0 && row < kDirectoryRowCount;
    int next = in_table ? row : (step > 0 ? kDirectoryRowCount - 1 : 0);
    for (int i = 0; i < kDirectoryRowCount; ++i) {
        next = ((next + step) % kDirectoryRowCount + kDirectoryRowCount) % kDirectoryRowCount;
        if (IsDirectoryStationRow(next)) return next;
    }
    return row;
}

QString MprisPlaybackStatus(bool busy, bool paused) {
    if (paused) return QStringLiteral("Paused");
    return busy ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

int SeekSeconds(qlonglong offset_us) {
    // A day either way is beyond any buffer; the clamp keeps the rounding in range.
    const qlonglong day = 86400LL * 1000000;
    const qlonglong clamped = std::clamp(offset_us, -day, day);
    const qlonglong half = clamped < 0 ? -500000 : 500000;
    return static_cast<int>((clamped + half) / 1000000);
}

}  // namespace velmora
