// SPDX-License-Identifier: GPL-3.0-or-later
// Recording a station without a window, a display or a sound device: the engine downloads the
// stream without playing it, and the songs (or one file) go to the station's folder.
#pragma once

#include <QString>
#include <cstdio>
#include <optional>

#include "recording/song_choices.h"

namespace velmora {

struct HeadlessRecordingOptions {
    QString url;
    double duration_seconds = 0;  // 0: until SIGINT or SIGTERM, or the station ends
    bool per_song = false;
    QString output_folder;  // the recordings folder; empty: the documents folder's
    SongChoices songs;      // the user's stored choices, --min-song applied
};

// "90", "150s", "90m", "2h", "1.5h" in seconds; nullopt for anything else.
std::optional<double> ParseDurationSeconds(const QString& text);

// Records until the duration has passed, SIGINT or SIGTERM arrives, or the station ends, printing
// each finished file's path on `out` and problems on `err`; every file is closed whole. The exit
// status: 0 when the recording ran, 1 when the station could not be opened or a file failed.
// Call it before any other thread exists: it blocks SIGINT and SIGTERM to wait for them.
int RunHeadlessRecording(const HeadlessRecordingOptions& options, std::FILE* out, std::FILE* err);

}  // namespace velmora
