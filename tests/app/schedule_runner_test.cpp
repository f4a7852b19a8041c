// SPDX-License-Identifier: GPL-3.0-or-later
// Scheduled recordings on an injected clock over the real engine: a due station is recorded on a
// second stream while another plays untouched, ended at its end; the recordings missed while the
// player was closed and the damaged lines are told once at the start.
#include "app/schedule_runner.h"

#include <time.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

#include "app/schedule_window.h"
#include "desktop/dialogs.h"
#include "playback/player.h"
#include "recording/schedule_file.h"
#include "support/qt_test_helpers.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_harness.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

LocalDateTime Local(std::int64_t moment) {
    const time_t t = static_cast<time_t>(moment);
    tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

qint64 RecordedBytes(const QString& folder) {
    qint64 bytes = 0;
    // A file being written is hidden until it is whole.
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) bytes += it.nextFileInfo().size();
    return bytes;
}

TEST(ScheduleRunnerTest, RecordsBesideWhatPlaysAndTellsMissed) {
    EnsureApp();
    Player player{nullptr, 10, 20};
    ASSERT_EQ(player.StartEngine(), Player::StartupFailure::None);
    SineSpec spec;
    spec.seconds = 20;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.bytes_per_second = 16000;
    route.loop = true;
    StreamServer server;
    server.AddStream("/playing", route);
    server.AddStream("/recorded", route);
    ASSERT_NE(player.Play(server.Url("/playing")), 0u);
    ASSERT_TRUE(WaitFor([&] { return player.IsPlaying(); }, 10s));
    const unsigned playing = player.CurrentStream();

    QTemporaryDir dir;
    const QString path = ScheduleFilePath(dir.path());
    const QString recordings = dir.path() + "/recordings";
    const std::int64_t t0 = 1765188000;  // a whole hour
    ScheduleFile file;
    file.watched_until = t0 - 3600;
    file.entries = {
        {"Loop FM", server.Url("/recorded"), Local(t0), 1, ScheduleRepeat::Daily, 0},
        {"Gone FM", server.Url("/gone"), Local(t0 - 1800), 10, ScheduleRepeat::Once, 0}};
    ASSERT_FALSE(SaveSchedule(path, file));
    WriteBytes(path, ReadBytes(path) + "recording\tbroken\n");

    std::int64_t now = t0 + 5;  // started a little late: still due
    ScheduleRunner runner(
        path, recordings, [&] { return player.Started(); }, [&] { return now; }, nullptr);
    QSignalSpy missed(&runner, &ScheduleRunner::missed);
    QSignalSpy damaged(&runner, &ScheduleRunner::damagedLines);
    QSignalSpy started(&runner, &ScheduleRunner::recordingStarted);
    QSignalSpy ended(&runner, &ScheduleRunner::recordingEnded);
    QSignalSpy problems(&runner, &ScheduleRunner::problem);
    runner.Start();
    ASSERT_EQ(missed.count(), 1);
    EXPECT_EQ(missed.at(0).at(0).toStringList().size(), 1);
    EXPECT_TRUE(missed.at(0).at(0).toStringList().at(0).contains("Gone FM"));
    ASSERT_EQ(damaged.count(), 1);
    EXPECT_EQ(damaged.at(0).at(0).toInt(), 1);
    ASSERT_EQ(started.count(), 1);
    EXPECT_EQ(runner.Recording(), QStringList{"Loop FM"});
    // The timer wakes at the recording's end, not on a tick.
    EXPECT_NEAR(runner.WakeInMs(), 55000, 1000);

    const bool recorded = WaitFor([&] { return RecordedBytes(recordings) > 20000; }, 10s);
    for (const auto& p : problems) ADD_FAILURE() << p.at(0).toString().toStdString();
    ASSERT_TRUE(recorded) << RecordedBytes(recordings);
    EXPECT_EQ(player.CurrentStream(), playing);
    EXPECT_TRUE(player.IsPlaying());

    now = t0 + 60;
    runner.SetEntries(runner.Entries());  // what the timer would do at the end
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(runner.Recording().isEmpty());
    const qint64 closed = RecordedBytes(recordings);
    EXPECT_GT(closed, 20000);
    EXPECT_EQ(QDir(recordings + "/Loop FM").entryList({"*.mp3"}, QDir::Files).size(), 1);
    // Tomorrow's start is next.
    EXPECT_NEAR(runner.WakeInMs(), 300000, 1000);
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_TRUE(player.IsPlaying());

    // The damaged line is gone from the file written whole, and the watched moment is kept: a
    // restart tells nothing twice.
    runner.Shutdown();
    const LoadedSchedule again = LoadSchedule(path);
    EXPECT_EQ(again.file.damaged_lines, 0);
    EXPECT_EQ(again.file.entries.size(), 2u);
    EXPECT_EQ(again.file.watched_until, t0 + 60);
    EXPECT_EQ(RecordedBytes(recordings), closed);
    player.Stop();
}

// The window's fields make the entry the runner keeps and writes; an entry without an address is
// refused with a message, and Remove takes the chosen row.
TEST(ScheduleWindowTest, AddsAndRemovesEntries) {
    EnsureApp();
    AnsweringDialogs answers;
    SetDialogs(&answers);
    QTemporaryDir dir;
    const QString path = ScheduleFilePath(dir.path());
    ScheduleRunner runner(
        path, dir.path(), [] { return false; }, [] { return 1765188000; }, nullptr);
    runner.Start();
    ScheduleWindow window(&runner, nullptr, nullptr);
    const auto child = [&window](const char* name) {
        return window.findChild<QWidget*>(QString::fromLatin1(name));
    };
    auto* add = static_cast<QPushButton*>(child("ScheduleAdd"));
    add->click();
    EXPECT_EQ(answers.errors.size(), 1);
    EXPECT_TRUE(runner.Entries().empty());

    static_cast<QComboBox*>(child("ScheduleStation"))->setEditText("Jazz Night");
    static_cast<QLineEdit*>(child("ScheduleAddress"))->setText(" http://127.0.0.1:9/jazz ");
    static_cast<QDateTimeEdit*>(child("ScheduleStart"))
        ->setDateTime(QDateTime(QDate(2026, 12, 12), QTime(20, 0)));
    static_cast<QSpinBox*>(child("ScheduleMinutes"))->setValue(120);
    static_cast<QComboBox*>(child("ScheduleRepeat"))->setCurrentIndex(3);
    static_cast<QCheckBox*>(child("ScheduleDay6"))->setChecked(true);
    static_cast<QCheckBox*>(child("ScheduleDay7"))->setChecked(true);
    add->click();
    const ScheduledRecording expected{"Jazz Night",           "http://127.0.0.1:9/jazz",
                                      {2026, 12, 12, 20, 0},  120,
                                      ScheduleRepeat::Weekly, 32 | 64};
    ASSERT_EQ(runner.Entries().size(), 1u);
    EXPECT_EQ(runner.Entries()[0], expected);
    EXPECT_EQ(LoadSchedule(path).file.entries, runner.Entries());
    // Days belong to a weekly repeat only.
    static_cast<QComboBox*>(child("ScheduleRepeat"))->setCurrentIndex(1);
    add->click();
    ASSERT_EQ(runner.Entries().size(), 2u);
    EXPECT_EQ(runner.Entries()[1].days, 0);

    auto* list = static_cast<QListWidget*>(child("ScheduleList"));
    ASSERT_EQ(list->count(), 2);
    list->setCurrentRow(0);
    static_cast<QPushButton*>(child("ScheduleRemove"))->click();
    ASSERT_EQ(runner.Entries().size(), 1u);
    EXPECT_EQ(runner.Entries()[0].repeat, ScheduleRepeat::Daily);
    EXPECT_EQ(LoadSchedule(path).file.entries.size(), 1u);
    SetDialogs(nullptr);
}

}  // namespace
}  // namespace velmora::test
