// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/recording_names.h"

#include <QStandardPaths>

namespace velmora {
namespace {

// Longest file or folder name the usual Linux file systems take, in bytes.
constexpr int kNameMaxBytes = 255;

// Blanks on the ends are trimmed; control characters became blanks before.
bool IsTrimmed(QChar c) {
    return c.unicode() <= u' ';
}

// ".", ".." and the empty name lead out of or onto the recordings folder itself.
bool IsUsableFolderName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u"..";
}

// The first `count` characters, a surrogate pair counting as one character.
QString LeftCharacters(const QString& text, int count) {
    qsizetype end = 0;
    for (int taken = 0; taken < count && end < text.size(); ++taken) {
        end += (text[end].isHighSurrogate() && end + 1 < text.size()) ? 2 : 1;
    }
    return text.left(end);
}

// Drops whole characters from the end of `text` until it and `fixed_bytes` more fit one name;
// only text with many multi-byte characters gets here, and such a name could not be created.
QString FitName(QString text, qsizetype fixed_bytes) {
    while (!text.isEmpty() && fixed_bytes + text.toUtf8().size() > kNameMaxBytes) {
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    }
    return text;
}

}  // namespace

QString CleanRecordingName(const QString& text) {
    QString s = text;
    for (QChar c : {u'\\', u'/', u':', u'*', u'?', u'"', u'<', u'>', u'|'}) s.replace(c, u' ');
    for (QChar& c : s) {
        if (c.unicode() < u' ' || c.category() == QChar::Other_Control) c = u' ';
    }
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsTrimmed(s[begin])) ++begin;
    while (end > begin && IsTrimmed(s[end - 1])) --end;
    return LeftCharacters(s.mid(begin, end - begin), kRecordingNameMaxLength);
}

QString StationFolderName(const QString& station, const QString& channel) {
    for (const QString& candidate : {station, channel}) {
        const QString name = FitName(CleanRecordingName(candidate), 0);
        if (IsUsableFolderName(name)) return name;
    }
    return QStringLiteral("Velmora");
}

QString RecordingFileName(const QDateTime& started, const QString& title, const QString& station) {
    const QString name = title.isEmpty() ? CleanRecordingName(station) : CleanRecordingName(title);
    const QString prefix =
        started.toString(QStringLiteral("yy.MM.dd_HH.mm.ss")) + QStringLiteral(" - ");
    const QString suffix = QStringLiteral(".mp3");
    return prefix + FitName(name, prefix.toUtf8().size() + suffix.toUtf8().size()) + suffix;
}

QString DocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString RecordingsFolder(const QString& documents) {
    return documents + u'/' + QLatin1StringView(kRecordingsFolderName);
}

QString StationFolder(const QString& recordings_folder, const QString& station,
                      const QString& channel) {
    return recordings_folder + u'/' + StationFolderName(station, channel);
}

RecordingPlan PlanRecording(const QString& documents, const QString& station, const QString& title,
                            const QDateTime& started, const QString& channel) {
    RecordingPlan plan;
    plan.recordings_folder = RecordingsFolder(documents);
    const QString folder = StationFolderName(station, channel);
    plan.station_folder = plan.recordings_folder + u'/' + folder;
    plan.file_path = plan.station_folder + u'/' + RecordingFileName(started, title, folder);
    return plan;
}

}  // namespace velmora
