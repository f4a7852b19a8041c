#include "recording/stream_recorder.h"

#include <QFile>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
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

StreamRecorder::StreamRecorder(WriteFailedHandler on_write_failed)
    : on_write_failed_(std::move(on_write_failed)) {}

StreamRecorder::~StreamRecorder() {
    std::lock_guard lock(mutex_);
    CloseLocked();
}

RecordingStartResult StreamRecorder::Start(const RecordingPlan& plan) {
    active_.store(true);
    {
        std::lock_guard lock(mutex_);
        CloseLocked();
        path_ = plan.file_path;
    }
    for (const QString& folder : {plan.recordings_folder, plan.station_folder}) {
        if (const int error = MakeFolder(folder)) {
            return {RecordingStartError::Folder, folder, SystemReason(error)};
        }
    }
    const QByteArray native = QFile::encodeName(plan.file_path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return {RecordingStartError::File, plan.file_path, SystemReason(errno)};

    std::lock_guard lock(mutex_);
    if (!active_.load()) {
        // Stopped from another thread while the file was being created.
        ::close(fd);
    } else {
        CloseLocked();
        fd_ = fd;
    }
    return {RecordingStartError::None, plan.file_path, {}};
}

bool StreamRecorder::Stop() {
    if (!active_.exchange(false)) return false;
    std::lock_guard lock(mutex_);
    CloseLocked();
    return true;
}

void StreamRecorder::Append(const void* data, std::uint32_t length) {
    if (!data) {
        std::lock_guard lock(mutex_);
        CloseLocked();
        return;
    }
    if (length == 0 || !active_.load()) return;

    RecordingWriteError failure;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return;
        const char* p = static_cast<const char*>(data);
        std::size_t left = length;
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failure = {path_, SystemReason(n < 0 ? errno : EIO)};
                CloseLocked();
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (left == 0) return;
    }
    if (on_write_failed_) on_write_failed_(failure);
}

bool StreamRecorder::HasFile() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

QString StreamRecorder::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

void StreamRecorder::CloseLocked() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace velmora
