#include "recording/recording_names.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace velmora {
namespace {

const QDateTime kStarted(QDate(2009, 11, 1), QTime(14, 3, 27));

// Each forbidden character becomes exactly one blank; inner blanks stay, only the ends go.
TEST(RecordingNames, CleaningTable) {
    struct Row {
        QString in, out;
    };
    const Row rows[] = {
        {"Artist / Song: Live", "Artist   Song  Live"},
        {"a\\b/c:d*e?f\"g<h>i|j", "a b c d e f g h i j"},
        {"/:Radio One|", "Radio One"},
        {"\t\x01  Title  \r\n", "Title"},
        {"In\tner", "In\tner"},
        {"???", ""},
        {"", ""},
        {QString::fromUtf8("Радио: Маяк"), QString::fromUtf8("Радио  Маяк")},
    };
    for (const Row& r : rows) EXPECT_EQ(CleanRecordingName(r.in), r.out) << r.in.toStdString();
}

// At most 70 characters, counted after trimming; a character outside the basic plane is one.
TEST(RecordingNames, SeventyCharactersKept) {
    const QString hundred = QString(30, 'x') + "/" + QString(69, 'y');
    const QString cleaned = CleanRecordingName("  " + hundred);
    EXPECT_EQ(cleaned, QString(30, 'x') + " " + QString(39, 'y'));
    EXPECT_EQ(CleanRecordingName(QString(70, 'z')), QString(70, 'z'));
    EXPECT_EQ(CleanRecordingName(QString(71, 'z')), QString(70, 'z'));

    QString notes;
    for (int i = 0; i < 80; ++i) notes += QString::fromUtf8("\xF0\x9D\x84\x9E");  // U+1D11E
    const QString kept = CleanRecordingName(notes);
    EXPECT_EQ(kept.size(), 140);
    EXPECT_TRUE(kept.back().isLowSurrogate());
}

// The example name; an empty title uses the station, and the folder is the station's.
TEST(RecordingNames, FileNameAndPlan) {
    EXPECT_EQ(RecordingFileName(kStarted, "Morning Show", "Station"),
              "09.11.01_14.03.27 - Morning Show.mp3");
    EXPECT_EQ(RecordingFileName(kStarted, "", " Radio: One "),
              "09.11.01_14.03.27 - Radio  One.mp3");
    EXPECT_EQ(RecordingFileName(QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6)), "A/B", "S"),
              "31.02.03_04.05.06 - A B.mp3");
    const QString title100 = QString(100, 't');
    EXPECT_EQ(RecordingFileName(kStarted, title100, "S"),
              "09.11.01_14.03.27 - " + QString(70, 't') + ".mp3");

    const RecordingPlan plan = PlanRecording("/home/u/Documents", QString(100, 's'), "", kStarted);
    EXPECT_EQ(plan.recordings_folder, "/home/u/Documents/Velmora Recordings");
    EXPECT_EQ(plan.station_folder, plan.recordings_folder + "/" + QString(70, 's'));
    EXPECT_EQ(plan.file_path,
              plan.station_folder + "/09.11.01_14.03.27 - " + QString(70, 's') + ".mp3");

    const RecordingPlan titled = PlanRecording("/d", "AC/DC Radio", "Back: In Black", kStarted);
    EXPECT_EQ(titled.file_path,
              "/d/Velmora Recordings/AC DC Radio/09.11.01_14.03.27 - Back  In Black.mp3");
}

// Names of many multi-byte characters are cut to what a file system takes, and can be created.
TEST(RecordingNames, LongUtf8NamesStillFit) {
    QString wide;
    for (int i = 0; i < 70; ++i) wide += QString::fromUtf8("\xF0\x9F\x8E\xB5");  // U+1F3B5
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const RecordingPlan plan = PlanRecording(dir.path(), wide, wide, kStarted);
    const QString folder_name = QDir(plan.station_folder).dirName();
    const QString file_name = QFileInfo(plan.file_path).fileName();
    EXPECT_LE(QFile::encodeName(folder_name).size(), 255);
    EXPECT_LE(QFile::encodeName(file_name).size(), 255);
    EXPECT_GE(QFile::encodeName(file_name).size(), 250);
    EXPECT_TRUE(file_name.endsWith(".mp3"));
    EXPECT_FALSE(file_name.chopped(4).back().isHighSurrogate());
    ASSERT_TRUE(QDir().mkpath(plan.station_folder));
    QFile f(plan.file_path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << f.errorString().toStdString();
}

}  // namespace
}  // namespace velmora
