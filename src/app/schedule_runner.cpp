// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/schedule_runner.h"

#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "i18n/message.h"
#include "recording/background_recording.h"
#include "recording/schedule_file.h"

namespace velmora {

namespace {
// The timer's clock stands still while the computer sleeps: a long wait is cut into pieces so
// that a start after a resume is late by at most this.
constexpr std::int64_t kLongestWaitSeconds = 5 * 60;
}  // namespace

QString MissedLine(const ScheduledRecording& entry, std::int64_t start) {
    const QString when =
        QDateTime::fromSecsSinceEpoch(start).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString station = entry.station.empty() ? QString::fromStdString(entry.address)
                                                  : QString::fromStdString(entry.station);
    return Msg("%1  %2 (%3 min)").arg(when, station).arg(entry.duration_minutes);
}

ScheduleRunner::ScheduleRunner(QString schedule_path, QString recordings_folder,
                               std::function<bool()> can_record, Clock clock, QObject* parent)
    : QObject(parent),
      path_(std::move(schedule_path)),
      recordings_folder_(std::move(recordings_folder)),
      can_record_(std::move(can_record)),
      clock_(std::move(clock)),
      timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &ScheduleRunner::Wake);
}

ScheduleRunner::~ScheduleRunner() {
    Shutdown();
}

void ScheduleRunner::Start() {
    const LoadedSchedule loaded = LoadSchedule(path_);
    loaded_ = true;
    if (loaded.error) {
        unreadable_ = true;
        emit problem(Msg("The scheduled recordings could not be read from \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path_), *loaded.error));
        return;
    }
    entries_ = loaded.file.entries;
    if (loaded.file.damaged_lines > 0) emit damagedLines(loaded.file.damaged_lines);
    const std::int64_t now = clock_();
    if (loaded.file.watched_until) {
        QStringList lines;
        for (const auto& m : MissedRecordings(entries_, *loaded.file.watched_until, now))
            lines << MissedLine(entries_[m.entry], m.start);
        if (!lines.isEmpty()) emit missed(lines);
    }
    Wake();
}

void ScheduleRunner::Shutdown() {
    timer_->stop();
    for (auto& [key, running] : running_)
        if (running.recording) running.recording->Stop();
    // Each worker ends at once after the stop; the files are closed whole before it returns.
    running_.clear();
    if (loaded_) Save();
}

void ScheduleRunner::SetEntries(std::vector<ScheduledRecording> entries) {
    entries_ = std::move(entries);
    for (auto it = running_.begin(); it != running_.end();) {
        if (std::find(entries_.begin(), entries_.end(), it->second.entry) != entries_.end()) {
            ++it;
            continue;
        }
        const bool was_recording = it->second.recording != nullptr;
        const QString station = it->second.station;
        // The worker ends at once after the stop and closes the last file before it returns.
        if (it->second.recording) it->second.recording->Stop();
        it = running_.erase(it);
        if (was_recording) emit recordingEnded(station);
    }
    loaded_ = true;
    unreadable_ = false;
    Save();
    Wake();
}

QStringList ScheduleRunner::Recording() const {
    QStringList stations;
    for (const auto& [key, running] : running_)
        if (running.recording) stations << running.station;
    return stations;
}

bool ScheduleRunner::IsRecording(const ScheduledRecording& entry) const {
    for (const auto& [key, running] : running_)
        if (running.recording && running.entry == entry) return true;
    return false;
}

int ScheduleRunner::WakeInMs() const {
    return timer_->isActive() ? timer_->remainingTime() : -1;
}

void ScheduleRunner::Save() {
    if (unreadable_) return;
    ScheduleFile file;
    file.entries = entries_;
    file.watched_until = clock_();
    if (const auto error = SaveSchedule(path_, file)) {
        emit problem(Msg("The scheduled recordings could not be saved to \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path_), error->Reason()));
    }
}

void ScheduleRunner::Wake() {
    const std::int64_t now = clock_();
    // Ended occurrences stop; a failed one stays as a key until its end, so it is not retried.
    for (auto it = running_.begin(); it != running_.end();) {
        if (it->second.end > now) {
            ++it;
            continue;
        }
        const bool was_recording = it->second.recording != nullptr;
        const QString station = it->second.station;
        it = running_.erase(it);
        if (was_recording) emit recordingEnded(station);
    }
    for (const auto& due : DueRecordings(entries_, now)) {
        const auto& entry = entries_[due.entry];
        if (!running_.count({entry.address, due.start})) StartOccurrence(entry, due.start);
    }
    if (!running_.empty() || !entries_.empty()) Save();
    Arm(now);
}

void ScheduleRunner::StartOccurrence(const ScheduledRecording& entry, std::int64_t start) {
    Running& running = running_[{entry.address, start}];
    running.entry = entry;
    running.end = start + static_cast<std::int64_t>(entry.duration_minutes) * 60;
    running.station = entry.station.empty() ? QUrl(QString::fromStdString(entry.address)).host()
                                            : QString::fromStdString(entry.station);
    if (!can_record_()) {
        emit problem(Msg("The scheduled recording of %1 could not start: the sound engine is not "
                         "running.")
                         .arg(running.station));
        return;
    }
    DownloadRecordingPlan plan;
    plan.url = QString::fromStdString(entry.address);
    plan.station = QString::fromStdString(entry.station);
    plan.recordings_folder = recordings_folder_;
    plan.per_song = per_song_ && per_song_();
    if (songs_) plan.songs = songs_();
    QDir().mkpath(recordings_folder_);
    QPointer<ScheduleRunner> self(this);
    const QString station = running.station;
    running.recording = std::make_unique<BackgroundRecording>(
        plan, [](const std::string&) {},
        [self](const QString& text) {
            QMetaObject::invokeMethod(self, [self, text] {
                if (self) emit self->problem(text);
            });
        },
        [self, station, key = std::pair(entry.address, start)](bool opened, int code) {
            if (opened) return;
            QMetaObject::invokeMethod(self, [self, station, code, key] {
                if (!self) return;
                // The worker has returned: its end is at hand. The key stays till the end time,
                // so the station is not tried again and again.
                if (const auto it = self->running_.find(key); it != self->running_.end())
                    it->second.recording.reset();
                emit self->problem(
                    Msg("The scheduled recording of %1 could not start: the station could not be "
                        "opened (error %2).")
                        .arg(station)
                        .arg(code));
            });
        });
    emit recordingStarted(station);
}

void ScheduleRunner::Arm(std::int64_t now) {
    std::optional<std::int64_t> next = NextScheduleEvent(entries_, now);
    for (const auto& [key, running] : running_)
        if (!next || running.end < *next) next = running.end;
    if (!next) {
        timer_->stop();
        return;
    }
    const std::int64_t wait = std::clamp<std::int64_t>(*next - now, 0, kLongestWaitSeconds);
    timer_->start(static_cast<int>(wait * 1000));
}

}  // namespace velmora
