#include "recording/recording_names.h"

#include <QStandardPaths>

namespace velmora {
namespace {

// Longest file or folder name the usual Linux file systems take, in bytes.
constexpr int kNameMaxBytes = 255;

bool IsTrimmed(QChar c) {
    return c.unicode() <= u' ' || c.category() == QChar::Other_Control;
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
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsTrimmed(s[begin])) ++begin;
    while (end > begin && IsTrimmed(s[end - 1])) --end;
    return LeftCharacters(s.mid(begin, end - begin), kRecordingNameMaxLength);
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

QString StationFolder(const QString& recordings_folder, const QString& station) {
    return recordings_folder + u'/' + FitName(CleanRecordingName(station), 0);
}

RecordingPlan PlanRecording(const QString& documents, const QString& station, const QString& title,
                            const QDateTime& started) {
    RecordingPlan plan;
    plan.recordings_folder = RecordingsFolder(documents);
    plan.station_folder = StationFolder(plan.recordings_folder, station);
    plan.file_path = plan.station_folder + u'/' + RecordingFileName(started, title, station);
    return plan;
}

}  // namespace velmora
