// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/recording_schedule.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <charconv>

namespace velmora {

namespace {

constexpr std::int64_t kDaySeconds = 24 * 60 * 60;

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// 0 Monday .. 6 Sunday; 1970-01-01 was a Thursday.
int Weekday(std::int64_t day) {
    return static_cast<int>(((day + 3) % 7 + 7) % 7);
}

// The local calendar day of a moment.
std::int64_t LocalDay(std::int64_t moment) {
    const time_t t = static_cast<time_t>(moment);
    tm local{};
    localtime_r(&t, &local);
    return DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// The moment of a wall-clock time on a local day; the zone's rules decide the offset. A time that
// does not exist (skipped by a change to summer time) falls after the gap.
std::int64_t LocalMoment(std::int64_t day, int hour, int minute) {
    tm local{};
    CivilFromDays(day, local.tm_year, local.tm_mon, local.tm_mday);
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(mktime(&local));
}

std::int64_t StartDay(const ScheduledRecording& e) {
    return DaysFromCivil(e.start.year, e.start.month, e.start.day);
}

bool RunsOn(const ScheduledRecording& e, std::int64_t day) {
    const std::int64_t first = StartDay(e);
    if (day < first) return false;
    switch (e.repeat) {
        case ScheduleRepeat::Once:
            return day == first;
        case ScheduleRepeat::Daily:
            return true;
        case ScheduleRepeat::Weekdays:
            return Weekday(day) < 5;
        case ScheduleRepeat::Weekly: {
            const std::uint8_t days = e.days & kScheduleAllDays
                                          ? e.days & kScheduleAllDays
                                          : static_cast<std::uint8_t>(1u << Weekday(first));
            return (days >> Weekday(day)) & 1u;
        }
    }
    return false;
}

std::int64_t Length(const ScheduledRecording& e) {
    return static_cast<std::int64_t>(std::clamp(e.duration_minutes, 1, kScheduleMaxMinutes)) * 60;
}

constexpr std::array<std::string_view, 7> kDayNames = {"mon", "tue", "wed", "thu",
                                                       "fri", "sat", "sun"};

bool ParseInt(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// "2026-03-29 20:00"
std::optional<LocalDateTime> ParseDateTime(std::string_view text) {
    if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':')
        return std::nullopt;
    LocalDateTime t;
    if (!ParseInt(text.substr(0, 4), t.year) || !ParseInt(text.substr(5, 2), t.month) ||
        !ParseInt(text.substr(8, 2), t.day) || !ParseInt(text.substr(11, 2), t.hour) ||
        !ParseInt(text.substr(14, 2), t.minute))
        return std::nullopt;
    if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59)
        return std::nullopt;
    // A day beyond its month's end (31 April) would turn into another date.
    int y, m, d;
    CivilFromDays(DaysFromCivil(t.year, t.month, t.day), y, m, d);
    if (d != t.day) return std::nullopt;
    return t;
}

bool ParseRepeat(std::string_view text, ScheduledRecording& e) {
    e.days = 0;
    if (text == "once")
        e.repeat = ScheduleRepeat::Once;
    else if (text == "daily")
        e.repeat = ScheduleRepeat::Daily;
    else if (text == "weekdays")
        e.repeat = ScheduleRepeat::Weekdays;
    else if (text == "weekly")
        e.repeat = ScheduleRepeat::Weekly;
    else if (text.starts_with("weekly:")) {
        e.repeat = ScheduleRepeat::Weekly;
        for (const std::string_view name : Split(text.substr(7), ',')) {
            const auto found = std::find(kDayNames.begin(), kDayNames.end(), name);
            if (found == kDayNames.end()) return false;
            e.days |= static_cast<std::uint8_t>(1u << (found - kDayNames.begin()));
        }
    } else {
        return false;
    }
    return true;
}

std::optional<ScheduledRecording> ParseEntry(const std::vector<std::string_view>& fields) {
    if (fields.size() != 6) return std::nullopt;
    ScheduledRecording e;
    const auto start = ParseDateTime(fields[1]);
    if (!start || !ParseInt(fields[2], e.duration_minutes) || e.duration_minutes < 1 ||
        e.duration_minutes > kScheduleMaxMinutes || !ParseRepeat(fields[3], e) || fields[5].empty())
        return std::nullopt;
    e.start = *start;
    e.station = std::string(fields[4]);
    e.address = std::string(fields[5]);
    return e;
}

// A field may not carry the file's separators.
std::string FieldText(const std::string& text) {
    std::string field = text;
    std::replace_if(
        field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
    return field;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

}  // namespace

std::optional<std::int64_t> NextStart(const ScheduledRecording& entry, std::int64_t after) {
    // A day back covers a start that a zone change moved across midnight; eight days ahead
    // cover a week.
    const std::int64_t first = std::max(LocalDay(after) - 1, StartDay(entry));
    for (std::int64_t day = first; day <= first + 8; ++day) {
        if (!RunsOn(entry, day)) continue;
        const std::int64_t start = LocalMoment(day, entry.start.hour, entry.start.minute);
        if (start > after) return start;
    }
    return std::nullopt;
}

std::vector<std::int64_t> StartsBetween(const ScheduledRecording& entry, std::int64_t from,
                                        std::int64_t to, std::size_t limit) {
    std::vector<std::int64_t> starts;
    if (to <= from) return starts;
    const std::int64_t last = LocalDay(to) + 1;
    for (std::int64_t day = std::max(LocalDay(from) - 1, StartDay(entry));
         day <= last && starts.size() < limit; ++day) {
        if (!RunsOn(entry, day)) continue;
        const std::int64_t start = LocalMoment(day, entry.start.hour, entry.start.minute);
        if (start >= from && start < to) starts.push_back(start);
    }
    return starts;
}

std::optional<std::int64_t> RunningStart(const ScheduledRecording& entry, std::int64_t now) {
    const auto starts = StartsBetween(entry, now - Length(entry) + 1, now + 1);
    if (starts.empty()) return std::nullopt;
    return starts.back();
}

std::vector<ScheduleOccurrence> DueRecordings(const std::vector<ScheduledRecording>& entries,
                                              std::int64_t now) {
    std::vector<ScheduleOccurrence> due;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (const auto start = RunningStart(entries[i], now)) due.push_back({i, *start});
    return due;
}

std::vector<ScheduleOccurrence> MissedRecordings(const std::vector<ScheduledRecording>& entries,
                                                 std::int64_t from, std::int64_t now,
                                                 std::size_t limit) {
    std::vector<ScheduleOccurrence> missed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (const std::int64_t start : StartsBetween(entries[i], from, now, limit))
            if (start + Length(entries[i]) <= now) missed.push_back({i, start});
    }
    std::stable_sort(missed.begin(), missed.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
    if (missed.size() > limit) missed.resize(limit);
    return missed;
}

std::optional<std::int64_t> NextScheduleEvent(const std::vector<ScheduledRecording>& entries,
                                              std::int64_t now) {
    std::optional<std::int64_t> next;
    const auto consider = [&next](std::int64_t moment) {
        if (!next || moment < *next) next = moment;
    };
    for (const auto& e : entries) {
        if (const auto start = NextStart(e, now)) consider(*start);
        if (const auto start = RunningStart(e, now)) consider(*start + Length(e));
    }
    return next;
}

ScheduleFile ParseSchedule(std::string_view text) {
    ScheduleFile file;
    for (std::string_view line : Split(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#')
            continue;
        const auto fields = Split(line, '\t');
        if (fields[0] == "watched" && fields.size() == 2) {
            std::int64_t moment = 0;
            const auto [end, error] =
                std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), moment);
            if (error == std::errc() && end == fields[1].data() + fields[1].size()) {
                file.watched_until = moment;
                continue;
            }
        } else if (fields[0] == "recording") {
            if (auto entry = ParseEntry(fields)) {
                file.entries.push_back(std::move(*entry));
                continue;
            }
        }
        ++file.damaged_lines;
    }
    return file;
}

std::string FormatSchedule(const ScheduleFile& file) {
    std::string text =
        "# Velmora's scheduled recordings, one a line, fields separated by tabs:\n"
        "# recording, start (yyyy-mm-dd hh:mm, local time), minutes, repeat (once, daily,\n"
        "# weekdays, weekly or weekly:mon,thu), station, address.\n";
    if (file.watched_until) text += "watched\t" + std::to_string(*file.watched_until) + "\n";
    for (const auto& e : file.entries) {
        std::string repeat;
        switch (e.repeat) {
            case ScheduleRepeat::Once:
                repeat = "once";
                break;
            case ScheduleRepeat::Daily:
                repeat = "daily";
                break;
            case ScheduleRepeat::Weekdays:
                repeat = "weekdays";
                break;
            case ScheduleRepeat::Weekly:
                repeat = "weekly";
                for (std::size_t d = 0; d < kDayNames.size(); ++d) {
                    if (!((e.days >> d) & 1u)) continue;
                    repeat += repeat.size() == 6 ? ':' : ',';
                    repeat += kDayNames[d];
                }
                break;
        }
        text += "recording\t" + std::to_string(e.start.year) + "-" + TwoDigits(e.start.month) +
                "-" + TwoDigits(e.start.day) + " " + TwoDigits(e.start.hour) + ":" +
                TwoDigits(e.start.minute) + "\t" + std::to_string(e.duration_minutes) + "\t" +
                repeat + "\t" + FieldText(e.station) + "\t" + FieldText(e.address) + "\n";
    }
    return text;
}

}  // namespace velmora
