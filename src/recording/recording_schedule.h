// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of recordings on a schedule, in plain functions on seconds since the epoch: when an
// entry next starts, which entries are due at a moment, and which were missed while the player was
// not running. Starts are wall-clock times of the local zone, so a weekly 20:00 stays at 20:00 on
// either side of a daylight-saving change. The file format of the schedule lives here as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class ScheduleRepeat { Once, Daily, Weekdays, Weekly };

// A calendar date and a wall-clock time in the local zone.
struct LocalDateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    bool operator==(const LocalDateTime&) const = default;
};

// Bits of ScheduledRecording::days, Monday first.
constexpr std::uint8_t kScheduleMonday = 1;
constexpr std::uint8_t kScheduleAllDays = 0x7f;

struct ScheduledRecording {
    std::string station;  // the name shown and used for the recording's folder
    std::string address;  // the station's stream or playlist address
    LocalDateTime start;  // the first start; a repeat starts at its time on later days
    int duration_minutes = 60;
    ScheduleRepeat repeat = ScheduleRepeat::Once;
    std::uint8_t days = 0;  // Weekly: bit 0 Monday .. bit 6 Sunday; none means the start's day
    bool operator==(const ScheduledRecording&) const = default;
};

// The longest recording a schedule entry may ask for: a day.
constexpr int kScheduleMaxMinutes = 24 * 60;

// The first start of `entry` strictly after `after`; nullopt when a single recording has passed.
std::optional<std::int64_t> NextStart(const ScheduledRecording& entry, std::int64_t after);

// The starts of `entry` within [from, to), oldest first. At most `limit` are given.
std::vector<std::int64_t> StartsBetween(const ScheduledRecording& entry, std::int64_t from,
                                        std::int64_t to, std::size_t limit = 1000);

// The start of the occurrence of `entry` running at `now` (start <= now < end), if any.
std::optional<std::int64_t> RunningStart(const ScheduledRecording& entry, std::int64_t now);

// One occurrence of an entry: which (its index in the list) and when it starts.
struct ScheduleOccurrence {
    std::size_t entry = 0;
    std::int64_t start = 0;
    bool operator==(const ScheduleOccurrence&) const = default;
};

// The occurrences running at `now`, in list order.
std::vector<ScheduleOccurrence> DueRecordings(const std::vector<ScheduledRecording>& entries,
                                              std::int64_t now);

// The occurrences that began at or after `from` (the player's last moment of watching) and had
// ended by `now`: nobody recorded them. One still running at `now` is due, not missed. Oldest
// first; at most `limit`.
std::vector<ScheduleOccurrence> MissedRecordings(const std::vector<ScheduledRecording>& entries,
                                                 std::int64_t from, std::int64_t now,
                                                 std::size_t limit = 100);

// The earliest moment after `now` at which a start or an end of some entry falls: when the
// player has next to look; nullopt when nothing is ahead.
std::optional<std::int64_t> NextScheduleEvent(const std::vector<ScheduledRecording>& entries,
                                              std::int64_t now);

// The schedule file: the entries, and the moment up to which the player watched them.
struct ScheduleFile {
    std::vector<ScheduledRecording> entries;
    std::optional<std::int64_t> watched_until;
    int damaged_lines = 0;  // lines skipped on reading
};

// Reads the text; a damaged line is skipped and counted, the rest is kept.
ScheduleFile ParseSchedule(std::string_view text);
// The whole file's text.
std::string FormatSchedule(const ScheduleFile& file);

}  // namespace velmora
