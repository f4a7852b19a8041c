// SPDX-License-Identifier: GPL-3.0-or-later
// Rules of the media-key service: how the now-playing texts become track metadata, how a bus
// volume becomes a slider position, and which directory row Next and Previous land on. Plain
// functions; the service only applies them.
#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace velmora {

// The object path that stands for "no track".
inline constexpr const char* kNoTrackPath = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

struct TitleParts {
    QString artist;  // empty when the title names none
    QString title;
};

// Splits a stream title "Artist - Title" at its first " - ". A title without one, or with nothing
// on either side of it, is all title.
TitleParts SplitStreamTitle(const QString& stream_title);

// The metadata map for the station and stream title shown: the station as album, the stream
// title split into artist and title (the station standing in for a missing title), and
// `track_path` as track id. Nothing shown gives only the "no track" id.
QVariantMap NowPlayingMetadata(const QString& station, const QString& stream_title,
                               const QString& track_path);

// The slider position (0..100) for a bus volume, clamped to 0..1; none for a value that is not
// a number.
std::optional<int> SliderPositionForVolume(double volume);

// "Playing", "Paused" or "Stopped": a paused station is still busy (it downloads).
QString MprisPlaybackStatus(bool busy, bool paused);

// Whole seconds to skip for a Seek offset in microseconds, rounded to the nearest; a position
// asked by SetPosition becomes the offset from `position_us`.
int SeekSeconds(qlonglong offset_us);

// The station row `step` rows (+1 or -1) on from `row`, skipping section headers and wrapping
// round at either end of the directory.
int AdjacentStationRow(int row, int step);

}  // namespace velmora
