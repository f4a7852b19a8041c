// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/schedule_file.h"

#include <QDir>
#include <QFileInfo>

#include "desktop/bounded_read.h"

namespace velmora {

namespace {
// Far above any schedule a person keeps (some thousand entries).
constexpr qint64 kScheduleMaxBytes = 1024 * 1024;
}  // namespace

QString ScheduleFilePath(const QString& settings_folder) {
    return settings_folder + QStringLiteral("/ScheduledRecordings.txt");
}

LoadedSchedule LoadSchedule(const QString& path) {
    LoadedSchedule loaded;
    const BoundedRead read = ReadRegularFile(path, kScheduleMaxBytes);
    if (read.missing) return loaded;
    if (read.error) {
        loaded.error = read.error;
        return loaded;
    }
    if (read.cut) {
        loaded.error = FileTooLargeReason(kScheduleMaxBytes);
        return loaded;
    }
    loaded.file = ParseSchedule(std::string_view(read.bytes.constData(), read.bytes.size()));
    return loaded;
}

std::optional<FileWriteError> SaveSchedule(const QString& path, const ScheduleFile& file) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const std::string text = FormatSchedule(file);
    return ReplaceFileContent(path, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace velmora
