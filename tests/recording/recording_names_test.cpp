// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/recording_names.h"

#include <gtest/gtest.h>

#include <QFile>

namespace velmora {
namespace {

const QDateTime kStarted(QDate(2009, 11, 1), QTime(14, 3, 27));

// Each forbidden or control character becomes exactly one blank; inner blanks stay, only the ends
// go, and 70 characters are kept after trimming (a character outside the basic plane counts as
// one).
TEST(RecordingNames, Cleaning) {
    struct Row {
        QString in, out;
    };
    const Row rows[] = {
        {"Artist / Song: Live", "Artist   Song  Live"},
        {"a\\b/c:d*e?f\"g<h>i|j", "a b c d e f g h i j"},
        {"\t\x01 /:Radio\tOne| \r\n", "Radio One"},  // control characters become blanks
        {"  " + QString(30, 'x') + "/" + QString(69, 'y'),
         QString(30, 'x') + " " + QString(39, 'y')},
        {QString(71, 'z'), QString(70, 'z')},
    };
    for (const Row& r : rows) EXPECT_EQ(CleanRecordingName(r.in), r.out) << r.in.toStdString();
    const QString note = QString::fromUtf8("\xF0\x9D\x84\x9E");
    EXPECT_EQ(CleanRecordingName(note.repeated(80)), note.repeated(70));
}

// The file is named after the start and the title, or the station when the title is empty, and
// filed in the station's folder; names of many multi-byte characters still fit a file system.
TEST(RecordingNames, FileNameAndPlan) {
    EXPECT_EQ(RecordingFileName(kStarted, "Morning Show", "Station"),
              "09.11.01_14.03.27 - Morning Show.mp3");
    EXPECT_EQ(RecordingFileName(kStarted, QString(100, 't'), "S"),
              "09.11.01_14.03.27 - " + QString(70, 't') + ".mp3");

    const RecordingPlan plan =
        PlanRecording("/home/u/Documents", "AC/DC: " + QString(100, 's'), "", kStarted);
    const QString station = "AC DC  " + QString(63, 's');
    EXPECT_EQ(plan.recordings_folder, "/home/u/Documents/Velmora Recordings");
    EXPECT_EQ(plan.station_folder, plan.recordings_folder + "/" + station);
    EXPECT_EQ(plan.file_path, plan.station_folder + "/09.11.01_14.03.27 - " + station + ".mp3");

    // 70 four-byte characters would make a name of 304 bytes; 57 of them fit into 255.
    const QString note = QString::fromUtf8("\xF0\x9F\x8E\xB5");
    const RecordingPlan fit = PlanRecording("/d", note.repeated(70), note.repeated(70), kStarted);
    EXPECT_EQ(fit.file_path.section('/', -1), "09.11.01_14.03.27 - " + note.repeated(57) + ".mp3");
    EXPECT_EQ(fit.station_folder.section('/', -1), note.repeated(63));
}

// Whatever a server calls itself, the recording lands one level below the recordings folder:
// names that clean to nothing, "." or ".." give way to the channel's name, then to a fixed one.
TEST(RecordingNames, StationFolderStaysInTheRecordingsFolder) {
    struct Row {
        QString station, channel, folder;
    };
    const Row rows[] = {
        {"Jazz FM", "My Jazz", "Jazz FM"},
        {"", "My Jazz", "My Jazz"},
        {" \t ", "My Jazz", "My Jazz"},
        {"..", "My Jazz", "My Jazz"},
        {" . ", "My Jazz", "My Jazz"},
        {"../..", "My Jazz", ".. .."},  // no longer a path
        {"...", "My Jazz", "..."},
        {"A\nB\x7f", "My Jazz", "A B"},
        {"Buffering... 81%", "My Jazz", "Buffering... 81%"},  // the label text is a name like any
        {"..", "..", "Velmora"},
        {"", "", "Velmora"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(StationFolderName(r.station, r.channel), r.folder) << r.station.toStdString();
        const RecordingPlan plan = PlanRecording("/d", r.station, "", kStarted, r.channel);
        EXPECT_EQ(plan.station_folder, "/d/Velmora Recordings/" + r.folder);
        EXPECT_EQ(plan.file_path.section('/', -1), "09.11.01_14.03.27 - " + r.folder + ".mp3");
    }
    // 255 bytes at most for a folder named after a long server name of multi-byte characters.
    const QString wide = QString::fromUtf8("\xE2\x82\xAC").repeated(100);
    EXPECT_LE(StationFolderName(wide, "x").toUtf8().size(), 255);
}

}  // namespace
}  // namespace velmora
