// SPDX-License-Identifier: GPL-3.0-or-later
// The schedule's file in the settings folder: read with a bound and only from a regular file,
// written whole.
#pragma once

#include <QString>
#include <optional>

#include "desktop/file_writer.h"
#include "recording/recording_schedule.h"

namespace velmora {

// The file of the schedule in `settings_folder`.
QString ScheduleFilePath(const QString& settings_folder);

struct LoadedSchedule {
    ScheduleFile file;  // empty when the file is missing or unreadable
    // Why the file could not be read (not for a missing one, which is an empty schedule).
    std::optional<QString> error;
};

LoadedSchedule LoadSchedule(const QString& path);
// Replaces the file; the folder is made when missing.
std::optional<FileWriteError> SaveSchedule(const QString& path, const ScheduleFile& file);

}  // namespace velmora
