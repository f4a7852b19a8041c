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
#include "channels/directory.h"
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

// Files of a station's folder that are finished (visible) and those still being written.
std::pair<QStringList, QStringList> StationFiles(const QString& folder) {
    const QDir dir(folder);
    QStringList hidden = dir.entryList(QDir::Files | QDir::Hidden);
    const QStringList shown = dir.entryList(QDir::Files);
    for (const QString& f : shown) hidden.removeAll(f);
    return {shown, hidden};
}

// Removing an entry whose recording runs stops that recording, its file closed whole, and leaves
// the other one running; changing one stops it too, and the changed entry, still due, starts
// again. The window offers the built-in directory's stations and shows a chosen entry's fields.
TEST(ScheduleWindowTest, RemovingOrChangingARunningEntryStopsItsRecording) {
    EnsureApp();
    AnsweringDialogs answers;
    SetDialogs(&answers);
    Player player{nullptr, 10, 20};
    ASSERT_EQ(player.StartEngine(), Player::StartupFailure::None);
    SineSpec spec;
    spec.seconds = 20;
    StreamRoute route;
    route.audio = EncodeSine(spec);
    route.bytes_per_second = 32000;
    route.loop = true;
    StreamServer server;
    server.AddStream("/a", route);
    server.AddStream("/b", route);

    QTemporaryDir dir;
    const QString recordings = dir.path() + "/recordings";
    const std::int64_t t0 = 1765188000;
    std::int64_t now = t0 + 5;
    ScheduleRunner runner(
        ScheduleFilePath(dir.path()), recordings, [&] { return player.Started(); },
        [&] { return now; }, nullptr);
    runner.Start();
    QSignalSpy started(&runner, &ScheduleRunner::recordingStarted);
    QSignalSpy ended(&runner, &ScheduleRunner::recordingEnded);
    runner.SetEntries({{"A FM", server.Url("/a"), Local(t0), 30, ScheduleRepeat::Daily, 0},
                       {"B FM", server.Url("/b"), Local(t0), 30, ScheduleRepeat::Daily, 0}});
    ASSERT_EQ(started.count(), 2);
    ASSERT_TRUE(WaitFor(
        [&] {
            return RecordedBytes(recordings + "/A FM") > 8000 &&
                   RecordedBytes(recordings + "/B FM") > 8000;
        },
        10s));

    ScheduleWindow window(&runner, nullptr, nullptr);
    auto* station = window.findChild<QComboBox*>("ScheduleStation");
    auto* address = window.findChild<QLineEdit*>("ScheduleAddress");
    int first_station = 0;
    while (!IsDirectoryStationRow(first_station)) ++first_station;
    const int offered = station->findData(QString::fromUtf8(DirectoryUrl(first_station)));
    ASSERT_GE(offered, 0);
    // A row the record button refuses is not offered.
    EXPECT_LT(station->findData(QString::fromUtf8(DirectoryUrl(2))), 0);
    station->setCurrentIndex(offered);
    emit station->activated(offered);
    EXPECT_EQ(address->text(), QString::fromUtf8(DirectoryUrl(first_station)));

    auto* list = window.findChild<QListWidget*>("ScheduleList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(1)->text().endsWith("B FM (recording now)"));
    EXPECT_FALSE(window.findChild<QPushButton*>("ScheduleChange")->isEnabled());  // none chosen
    list->setCurrentRow(1);
    EXPECT_EQ(address->text(), QString::fromStdString(server.Url("/b")));
    window.findChild<QPushButton*>("ScheduleRemove")->click();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(runner.Recording(), QStringList{"A FM"});
    // B's recording is over: one finished file, nothing still being written, nothing added later.
    const auto [b_files, b_open] = StationFiles(recordings + "/B FM");
    ASSERT_EQ(b_files.size(), 1);
    EXPECT_TRUE(b_open.isEmpty()) << b_open.join(' ').toStdString();
    const std::string b_path = (recordings + "/B FM/" + b_files[0]).toStdString();
    const qint64 b_bytes = RecordedBytes(recordings + "/B FM");
    EXPECT_EQ(DecodeFile(b_path).errors, 0);

    list->setCurrentRow(0);
    window.findChild<QSpinBox*>("ScheduleMinutes")->setValue(45);
    window.findChild<QPushButton*>("ScheduleChange")->click();
    ASSERT_EQ(runner.Entries().size(), 1u);
    EXPECT_EQ(runner.Entries()[0].duration_minutes, 45);
    EXPECT_EQ(ended.count(), 2);
    EXPECT_EQ(started.count(), 3);  // still due: it starts again as changed
    EXPECT_EQ(runner.Recording(), QStringList{"A FM"});
    EXPECT_EQ(StationFiles(recordings + "/A FM").first.size(), 1);  // the first one, finished
    EXPECT_TRUE(WaitFor([&] { return RecordedBytes(recordings + "/A FM") > 30000; }, 10s));
    EXPECT_EQ(RecordedBytes(recordings + "/B FM"), b_bytes);
    EXPECT_TRUE(answers.errors.isEmpty());
    runner.Shutdown();
    SetDialogs(nullptr);
}

}  // namespace
}  // namespace velmora::test
