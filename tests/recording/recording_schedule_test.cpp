// SPDX-License-Identifier: GPL-3.0-or-later
// The schedule's rules: next starts in local time across daylight-saving changes, what is due and
// what was missed, and the file read tolerantly and written whole.
#include "recording/recording_schedule.h"

#include <gtest/gtest.h>
#include <time.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "recording/schedule_file.h"

namespace velmora {
namespace {

// The expected moments are written in UTC, so they do not depend on the code under test.
std::int64_t Utc(int y, int mo, int d, int h, int mi) {
    tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    return static_cast<std::int64_t>(timegm(&t));
}

ScheduledRecording Entry(LocalDateTime start, int minutes, ScheduleRepeat repeat,
                         std::uint8_t days = 0) {
    return {"Station", "http://127.0.0.1/stream", start, minutes, repeat, days};
}

// Berlin changes to summer time on 2026-03-29 and back on 2026-10-25.
class ScheduleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        old_tz_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (old_tz_)
            setenv("TZ", old_tz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> old_tz_;
};

TEST_F(ScheduleTest, NextStartKeepsLocalTimeAcrossDaylightSaving) {
    constexpr std::uint8_t kMon = 1, kThu = 8, kSun = 64;
    const struct {
        ScheduledRecording entry;
        std::int64_t after;
        std::optional<std::int64_t> next;
    } rows[] = {
        // Sunday 20:00 in winter (19:00 UTC), then in summer (18:00 UTC); strictly after a start.
        {Entry({2026, 3, 22, 20, 0}, 60, ScheduleRepeat::Weekly, kSun), Utc(2026, 3, 22, 19, 0),
         Utc(2026, 3, 29, 18, 0)},
        // And back to winter time in October.
        {Entry({2026, 3, 22, 20, 0}, 60, ScheduleRepeat::Weekly, kSun), Utc(2026, 10, 18, 18, 30),
         Utc(2026, 10, 25, 19, 0)},
        // No days chosen: the start's own weekday (Sunday).
        {Entry({2026, 3, 22, 20, 0}, 60, ScheduleRepeat::Weekly), Utc(2026, 3, 23, 0, 0),
         Utc(2026, 3, 29, 18, 0)},
        // Monday and Thursday: from Monday evening to Thursday.
        {Entry({2026, 12, 7, 8, 15}, 30, ScheduleRepeat::Weekly, kMon | kThu),
         Utc(2026, 12, 7, 9, 0), Utc(2026, 12, 10, 7, 15)},
        // Weekdays: Friday's start passed, next Monday.
        {Entry({2026, 12, 1, 9, 0}, 30, ScheduleRepeat::Weekdays), Utc(2026, 12, 11, 8, 0),
         Utc(2026, 12, 14, 8, 0)},
        // Daily across the night of the change: 01:30 both days, one hour less in UTC after.
        {Entry({2026, 3, 1, 1, 30}, 30, ScheduleRepeat::Daily), Utc(2026, 3, 28, 1, 0),
         Utc(2026, 3, 29, 0, 30)},
        {Entry({2026, 3, 1, 1, 30}, 30, ScheduleRepeat::Daily), Utc(2026, 3, 29, 1, 0),
         Utc(2026, 3, 29, 23, 30)},
        // Not before the first start, even for a repeat.
        {Entry({2026, 12, 20, 6, 0}, 30, ScheduleRepeat::Daily), Utc(2026, 12, 1, 0, 0),
         Utc(2026, 12, 20, 5, 0)},
        {Entry({2026, 12, 20, 6, 0}, 30, ScheduleRepeat::Once), Utc(2026, 12, 20, 4, 59),
         Utc(2026, 12, 20, 5, 0)},
        {Entry({2026, 12, 20, 6, 0}, 30, ScheduleRepeat::Once), Utc(2026, 12, 20, 5, 0),
         std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(NextStart(r.entry, r.after), r.next) << r.after;
}

TEST_F(ScheduleTest, DueAndMissedRecordings) {
    const std::vector<ScheduledRecording> entries = {
        Entry({2026, 12, 8, 10, 0}, 60, ScheduleRepeat::Once),    // 09:00-10:00 UTC
        Entry({2026, 12, 1, 11, 30}, 30, ScheduleRepeat::Daily),  // 10:30-11:00 UTC
        Entry({2026, 12, 1, 23, 0}, 120, ScheduleRepeat::Daily),  // over midnight
    };
    const struct {
        std::int64_t from, now;
        std::vector<ScheduleOccurrence> missed, due;
    } rows[] = {
        // Player closed from Monday noon to Tuesday 11:45: Monday's late show, Tuesday's single
        // recording missed; the daily 11:30 still runs and is due, not missed.
        {Utc(2026, 12, 7, 11, 0),
         Utc(2026, 12, 8, 10, 45),
         {{2, Utc(2026, 12, 7, 22, 0)}, {0, Utc(2026, 12, 8, 9, 0)}},
         {{1, Utc(2026, 12, 8, 10, 30)}}},
        // Its end exactly now: missed, no longer due.
        {Utc(2026, 12, 8, 10, 0), Utc(2026, 12, 8, 11, 0), {{1, Utc(2026, 12, 8, 10, 30)}}, {}},
        // A start exactly at the last moment watched counts; one before it was handled then.
        {Utc(2026, 12, 8, 9, 0), Utc(2026, 12, 8, 10, 0), {{0, Utc(2026, 12, 8, 9, 0)}}, {}},
        {Utc(2026, 12, 8, 9, 1), Utc(2026, 12, 8, 10, 0), {}, {}},
        // The over-midnight recording runs past midnight.
        {Utc(2026, 12, 8, 23, 30), Utc(2026, 12, 8, 23, 30), {}, {{2, Utc(2026, 12, 8, 22, 0)}}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(MissedRecordings(entries, r.from, r.now), r.missed) << r.now;
        EXPECT_EQ(DueRecordings(entries, r.now), r.due) << r.now;
    }
    // A player closed for months reports a bounded list, oldest first.
    const auto many = MissedRecordings(entries, Utc(2026, 1, 1, 0, 0), Utc(2027, 6, 1, 0, 0), 5);
    ASSERT_EQ(many.size(), 5u);
    EXPECT_EQ(many.front(), (ScheduleOccurrence{1, Utc(2026, 12, 1, 10, 30)}));
    // The next wake-up: the end of the running recording, then the next start.
    EXPECT_EQ(NextScheduleEvent(entries, Utc(2026, 12, 8, 10, 45)), Utc(2026, 12, 8, 11, 0));
    EXPECT_EQ(NextScheduleEvent(entries, Utc(2026, 12, 8, 11, 0)), Utc(2026, 12, 8, 22, 0));
}

TEST(ScheduleFileTest, DamagedLinesAreSkippedAndCounted) {
    const struct {
        const char* line;
        bool damaged;
    } rows[] = {
        {"recording\t2026-12-08 20:00\t60\tonce\tRadio One\thttp://a/1", false},
        {"recording\t2026-12-08 20:00\t60\tweekly:mon,sun\t\thttp://a/2", false},  // no name
        {"# a comment\r", false},
        {"   ", false},
        {"recording\t2026-02-30 20:00\t60\tonce\tX\thttp://a", true},  // no such day
        {"recording\t2026-12-08 24:00\t60\tonce\tX\thttp://a", true},
        {"recording\t2026-12-08 20:00\t0\tonce\tX\thttp://a", true},
        {"recording\t2026-12-08 20:00\t1441\tonce\tX\thttp://a", true},
        {"recording\t2026-12-08 20:00\t60\tweekly:mon,xyz\tX\thttp://a", true},
        {"recording\t2026-12-08 20:00\t60\tmonthly\tX\thttp://a", true},
        {"recording\t2026-12-08 20:00\t60\tonce\tX\t", true},  // no address
        {"recording\t2026-12-08 20:00\t60\tonce\tX", true},    // cut short
        {"watched\t12x", true},
        {"\x01garbage", true},
    };
    std::string text;
    int damaged = 0;
    for (const auto& r : rows) {
        text += std::string(r.line) + "\n";
        damaged += r.damaged;
        EXPECT_EQ(ParseSchedule(r.line).damaged_lines, r.damaged ? 1 : 0) << r.line;
    }
    const ScheduleFile file = ParseSchedule(text + "watched\t1765000000");
    EXPECT_EQ(file.damaged_lines, damaged);
    ASSERT_EQ(file.entries.size(), 2u);
    EXPECT_EQ(file.entries[1].days, 1 | 64);
    EXPECT_EQ(file.watched_until, 1765000000);

    // Written whole and read back the same; separators inside a name do not split its line.
    QTemporaryDir dir;
    ScheduleFile written = file;
    written.entries[0].station = "Tab\there\nand there";
    written.entries.push_back(Entry({2027, 1, 2, 3, 4}, 1440, ScheduleRepeat::Weekdays));
    const QString path = ScheduleFilePath(dir.path() + "/settings");
    ASSERT_FALSE(SaveSchedule(path, written));
    const LoadedSchedule loaded = LoadSchedule(path);
    ASSERT_FALSE(loaded.error);
    EXPECT_EQ(loaded.file.damaged_lines, 0);
    written.entries[0].station = "Tab here and there";
    EXPECT_EQ(loaded.file.entries, written.entries);
    EXPECT_EQ(loaded.file.watched_until, written.watched_until);
    // A folder under the file's name is refused, not read.
    EXPECT_TRUE(LoadSchedule(dir.path()).error);
    EXPECT_FALSE(LoadSchedule(dir.path() + "/none").error);
}

}  // namespace
}  // namespace velmora
