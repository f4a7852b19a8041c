// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recording_control.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "app/now_playing.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/player.h"
#include "recording/recording_names.h"
#include "recording/song_recording.h"
#include "recording/stream_recorder.h"

namespace velmora {
namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

RecordingControl::RecordingControl(const Controls& controls, Player* player, const NowPlaying* now,
                                   QObject* parent)
    : QObject(parent), controls_(controls), player_(player), now_(now) {
    // A write error happens on the download thread; the message belongs on the user-interface
    // thread, and only while this control still exists. The guard is read there alone.
    auto guard = std::make_shared<const QPointer<RecordingControl>>(this);
    report_failure_ = [guard](const RecordingWriteError& error) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [guard, error] {
                if (RecordingControl* control = guard->data()) control->OnWriteFailed(error);
            },
            Qt::QueuedConnection);
    };
    recorder_ = std::make_shared<StreamRecorder>(report_failure_);
}

RecordingControl::~RecordingControl() = default;

void RecordingControl::OnRecordClicked() {
    if (!player_->IsPlaying()) return;
    if (recorder_->Active()) {
        StopRecording();
        return;
    }
    if (songs_) {
        StopRecording();
        return;
    }
    // Recording counts as on, and blinks, even when the folders or the file fail below.
    controls_.blink_timer->start();
    if (controls_.per_song && controls_.per_song->isChecked()) {
        StartSongRecording();
        return;
    }
    const RecordingPlan plan = PlanRecording(DocumentsFolder(), now_->StationText(), now_->Title(),
                                             QDateTime::currentDateTime(), now_->ChannelName());
    const RecordingStartResult result = recorder_->Start(plan);
    switch (result.error) {
        case RecordingStartError::None:
            // The file belongs to the playing stream: its end of download closes this file and
            // no other, and a later stream never writes into it.
            player_->AttachRecorder(recorder_->SinkForCurrentFile());
            break;
        case RecordingStartError::Folder:
            dialogs().Error(controls_.owner, Msg("Recording Error!"));
            break;
        case RecordingStartError::File:
            dialogs().Error(controls_.owner, Msg("The file \"%1\" could not be created: %2")
                                                 .arg(Native(result.path), result.reason));
            break;
    }
}

void RecordingControl::StartSongRecording() {
    const QString recordings = RecordingsFolder(DocumentsFolder());
    if (!QDir().mkpath(recordings)) {
        dialogs().Error(controls_.owner, Msg("Recording Error!"));
        return;
    }
    SongFilesPlan plan;
    plan.station_folder =
        QFile::encodeName(StationFolder(recordings, now_->StationText(), now_->ChannelName()))
            .toStdString();
    plan.station = now_->StationName().toStdString();
    plan.address = now_->Choice().url.toStdString();
    plan.rules = song_choices_.rules;
    const auto report = report_failure_;
    songs_ = std::make_unique<SongRecording>(
        plan, SplitOptionsOf(song_choices_), now_->Title().toStdString(),
        [report](SongFiles::Failure failure, const std::string& path, const std::string& reason) {
            // An untagged song is kept; only a lost one is worth a box.
            if (failure != SongFiles::Failure::Tags)
                report({QFile::decodeName(path.c_str()), QString::fromStdString(reason)});
        });
    player_->AttachRecorder(songs_->StreamSink());
}

void RecordingControl::OnBlinkTimer() {
    controls_.record_button->setVisible(controls_.record_button->isHidden());
}

void RecordingControl::OnOpenRecordingsClicked() {
    const QString folder = RecordingsFolder(DocumentsFolder());
    if (QFileInfo(folder).isDir()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        return;
    }
    dialogs().Error(controls_.owner, Msg("There are no audio recordings!"));
}

void RecordingControl::StopRecording() {
    if (songs_) {
        songs_.reset();  // which stops it: its last song is closed on a thread of its own
    } else if (!recorder_->Stop()) {
        return;
    }
    controls_.blink_timer->stop();
    controls_.record_button->show();
}

bool RecordingControl::Active() const {
    return songs_ || recorder_->Active();
}

QString RecordingControl::FilePath() const {
    return recorder_->Path();
}

void RecordingControl::OnWriteFailed(const RecordingWriteError& error) {
    dialogs().Error(
        controls_.owner,
        Msg("The file \"%1\" could not be written: %2").arg(Native(error.path), error.reason));
}

}  // namespace velmora
