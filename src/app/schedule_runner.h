// SPDX-License-Identifier: GPL-3.0-or-later
// The scheduled recordings while the player runs, shown or hidden in the tray: a timer that wakes
// at the next start or end (nothing ticks while nothing is ahead), a background recording of each
// due station beside whatever plays, and the file kept up to date with the moment watched, so
// the recordings missed while the player was closed are told at the next start.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "recording/recording_schedule.h"
#include "recording/song_choices.h"

class QTimer;

namespace velmora {

class BackgroundRecording;

class ScheduleRunner final : public QObject {
    Q_OBJECT
  public:
    // Seconds since the epoch; tests give their own.
    using Clock = std::function<std::int64_t()>;
    // `can_record`: whether the engine runs (a second stream needs it).
    ScheduleRunner(QString schedule_path, QString recordings_folder,
                   std::function<bool()> can_record, Clock clock, QObject* parent);
    ~ScheduleRunner() override;

    // Reads the file, reports damaged lines and missed recordings, starts what is due.
    void Start();
    // Ends every running recording and writes the moment watched.
    void Shutdown();

    const std::vector<ScheduledRecording>& Entries() const { return entries_; }
    // Replaces the schedule (the window's Apply), writes it and looks again at what is due. A
    // running recording whose entry is gone or changed is stopped, its files closed whole.
    void SetEntries(std::vector<ScheduledRecording> entries);
    // The stations recording now, for the tray's tooltip.
    QStringList Recording() const;
    // Whether a recording of `entry` runs now.
    bool IsRecording(const ScheduledRecording& entry) const;
    // Asked at each start: whether that recording makes a file per song.
    void SetPerSong(std::function<bool()> per_song) { per_song_ = std::move(per_song); }
    // Asked at each start: the rules of a per-song recording.
    void SetSongChoices(std::function<SongChoices()> songs) { songs_ = std::move(songs); }
    // Milliseconds until the timer wakes; -1 when it sleeps.
    int WakeInMs() const;

  signals:
    void damagedLines(int count);
    void missed(const QStringList& lines);
    void recordingStarted(const QString& station);
    void recordingEnded(const QString& station);
    // A recording could not be made or the file written.
    void problem(const QString& text);

  private:
    void Wake();
    void Save();
    void StartOccurrence(const ScheduledRecording& entry, std::int64_t start);
    void Arm(std::int64_t now);

    struct Running {
        ScheduledRecording entry;  // as it was when the recording started
        QString station;
        std::int64_t end = 0;
        std::unique_ptr<BackgroundRecording> recording;
    };

    const QString path_;
    const QString recordings_folder_;
    const std::function<bool()> can_record_;
    const Clock clock_;
    std::function<bool()> per_song_;
    std::function<SongChoices()> songs_;
    QTimer* timer_;
    std::vector<ScheduledRecording> entries_;
    // Keyed by address and start: an occurrence is started once, also when it failed.
    std::map<std::pair<std::string, std::int64_t>, Running> running_;
    bool loaded_ = false;
    bool unreadable_ = false;  // a file that could not be read is not replaced
};

// One line for a missed recording: its local start, the station and the minutes.
QString MissedLine(const ScheduledRecording& entry, std::int64_t start);

}  // namespace velmora
