// SPDX-License-Identifier: GPL-3.0-or-later
// Where a recording goes and what it is called: the recordings folder in the documents folder, one
// folder per station, and a file named after the start time and the title. Plain functions.
#pragma once

#include <QDateTime>
#include <QString>

namespace velmora {

inline constexpr const char* kRecordingsFolderName = "Velmora Recordings";
// Characters a cleaned name keeps at most.
inline constexpr int kRecordingNameMaxLength = 70;

// A label text made fit for a folder or file name: each of \ / : * ? " < > | and each control
// character becomes one blank, blanks are trimmed from both ends (inner ones stay), and the first
// 70 characters are kept.
QString CleanRecordingName(const QString& text);

// The cleaned station text as a folder name. A server may send anything: a name that cleans to
// nothing, "." or ".." would file the recording elsewhere, so the channel's own name is used
// instead, and a fixed name when that is no better.
QString StationFolderName(const QString& station, const QString& channel);

// "yy.mm.dd_hh.nn.ss - <name>.mp3": the cleaned title, or the cleaned station text when the title
// is empty. The name is shortened further only when it would not fit a file name of 255 bytes.
QString RecordingFileName(const QDateTime& started, const QString& title, const QString& station);

// The user's documents folder; empty when the system names none.
QString DocumentsFolder();
// "<documents>/Velmora Recordings".
QString RecordingsFolder(const QString& documents);
// "<recordings folder>/<station folder name>".
QString StationFolder(const QString& recordings_folder, const QString& station,
                      const QString& channel = {});

// The folders and the file of one recording, built from the labels' texts at the moment of the
// press. The recorder creates the two folders one level each, never the documents folder.
struct RecordingPlan {
    QString recordings_folder;
    QString station_folder;
    QString file_path;
};
// `channel` is the channel's own name, standing in for a station text unfit for a folder.
RecordingPlan PlanRecording(const QString& documents, const QString& station, const QString& title,
                            const QDateTime& started, const QString& channel = {});

}  // namespace velmora
