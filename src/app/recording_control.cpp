#include "app/recording_control.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <mutex>
#include <vector>

#include "app/dialogs.h"
#include "i18n/message.h"
#include "recording/recording_names.h"
#include "recording/stream_recorder.h"

namespace velmora {
namespace {

// Recorders stay alive until the process ends: the engine does not wait for its callbacks when a
// stream is freed, so a late block may still arrive after the window has gone.
void KeepForProcess(std::shared_ptr<StreamRecorder> recorder) {
    static std::mutex mutex;
    static auto* kept = new std::vector<std::shared_ptr<StreamRecorder>>;
    std::lock_guard lock(mutex);
    kept->push_back(std::move(recorder));
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

RecordingControl::RecordingControl(const Controls& controls, StreamSource current_stream,
                                   QObject* parent)
    : QObject(parent), controls_(controls), current_stream_(std::move(current_stream)) {
    // A write error happens on the download thread; the message belongs on the user-interface
    // thread, and only while this control still exists. The guard is read there alone.
    auto guard = std::make_shared<const QPointer<RecordingControl>>(this);
    recorder_ = std::make_shared<StreamRecorder>([guard](const RecordingWriteError& error) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [guard, error] {
                if (RecordingControl* control = guard->data()) control->OnWriteFailed(error);
            },
            Qt::QueuedConnection);
    });
    KeepForProcess(recorder_);
}

StreamOpener::DataSink RecordingControl::DataSink() const {
    return [recorder = recorder_](const void* data, std::uint32_t length) {
        recorder->Append(data, length);
    };
}

void RecordingControl::Image19Click() {
    if (vle::ChannelIsActive(current_stream_()) != static_cast<int>(vle::ActiveState::Playing)) {
        return;
    }
    if (recorder_->Active()) {
        StopRecording();
        return;
    }
    // Recording counts as on, and blinks, even when the folders or the file fail below.
    controls_.Timer5->start();
    const RecordingPlan plan = PlanRecording(DocumentsFolder(), controls_.station->text(),
                                             controls_.title->text(), QDateTime::currentDateTime());
    const RecordingStartResult result = recorder_->Start(plan);
    switch (result.error) {
        case RecordingStartError::None:
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

void RecordingControl::Timer5Timer() {
    controls_.Image19->setVisible(controls_.Image19->isHidden());
}

void RecordingControl::Image21Click() {
    const QString folder = RecordingsFolder(DocumentsFolder());
    if (QFileInfo(folder).isDir()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        return;
    }
    dialogs().Error(controls_.owner, Msg("There are no audio recordings!"));
}

void RecordingControl::StopRecording() {
    if (!recorder_->Stop()) return;
    controls_.Timer5->stop();
    controls_.Image19->show();
}

bool RecordingControl::Active() const {
    return recorder_->Active();
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
