// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/stream_recorder.h"

#include <QFile>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/posix_io.h"

namespace velmora {
namespace {

QString SystemReason(int error) {
    return QString::fromLocal8Bit(ErrnoText(error).c_str());
}

// Creates `folder` unless it is there already; its parent is never created. 0 or an errno value.
int MakeFolder(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0777) == 0) return 0;
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return error;
}

}  // namespace

RecordingSession::RecordingSession(int fd, QString path, WriteFailedHandler on_write_failed)
    : path_(std::move(path)), on_write_failed_(std::move(on_write_failed)), fd_(fd) {}

RecordingSession::~RecordingSession() {
    if (fd_ >= 0) ::close(fd_);
}

void RecordingSession::Append(const void* data, std::uint32_t length) {
    RecordingWriteError failure;
    {
        std::lock_guard lock(write_m_);
        if (fd_ < 0) return;
        if (!data) {
            ::close(fd_);
            fd_ = -1;
            has_file_ = false;
            return;
        }
        const int error = WriteAll(fd_, data, length);
        if (error == 0) return;
        failure = {path_, SystemReason(error)};
        ::close(fd_);
        fd_ = -1;
        has_file_ = false;
    }
    if (on_write_failed_) on_write_failed_(failure);
}

StreamRecorder::StreamRecorder(WriteFailedHandler on_write_failed)
    : on_write_failed_(std::move(on_write_failed)) {}

StreamRecorder::~StreamRecorder() = default;

RecordingStartResult StreamRecorder::Start(const RecordingPlan& plan) {
    active_.store(true);
    std::shared_ptr<RecordingSession> earlier;  // let go outside the lock
    {
        std::lock_guard lock(mutex_);
        earlier.swap(session_);
        path_ = plan.file_path;
    }
    earlier.reset();
    for (const QString& folder : {plan.recordings_folder, plan.station_folder}) {
        if (const int error = MakeFolder(folder)) {
            return {RecordingStartError::Folder, folder, SystemReason(error)};
        }
    }
    const QByteArray native = QFile::encodeName(plan.file_path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return {RecordingStartError::File, plan.file_path, SystemReason(errno)};

    auto session = std::make_shared<RecordingSession>(fd, plan.file_path, on_write_failed_);
    {
        std::lock_guard lock(mutex_);
        // Stopped from another thread while the file was being created: the file is let go.
        if (active_.load()) session_.swap(session);
    }
    return {RecordingStartError::None, plan.file_path, {}};
}

bool StreamRecorder::Stop() {
    if (!active_.exchange(false)) return false;
    std::shared_ptr<RecordingSession> gone;
    {
        std::lock_guard lock(mutex_);
        gone.swap(session_);
    }
    // A write under way holds its own reference and closes the file when it is done.
    return true;
}

void StreamRecorder::Append(const void* data, std::uint32_t length) {
    if (data && (length == 0 || !active_.load())) return;
    if (const std::shared_ptr<RecordingSession> session = Session()) session->Append(data, length);
}

StreamRecorder::Sink StreamRecorder::SinkForCurrentFile() const {
    return [weak = std::weak_ptr<RecordingSession>(Session())](const void* data,
                                                               std::uint32_t length) {
        if (data && length == 0) return;
        if (const std::shared_ptr<RecordingSession> session = weak.lock()) {
            session->Append(data, length);
        }
    };
}

bool StreamRecorder::HasFile() const {
    const std::shared_ptr<RecordingSession> session = Session();
    return session && session->HasFile();
}

QString StreamRecorder::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::shared_ptr<RecordingSession> StreamRecorder::Session() const {
    std::lock_guard lock(mutex_);
    return session_;
}

}  // namespace velmora
