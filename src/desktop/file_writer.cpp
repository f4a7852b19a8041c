// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>

#include "base/posix_io.h"
#include "i18n/message.h"

namespace velmora {

namespace {

const FileWriterCalls* g_calls = nullptr;

const FileWriterCalls& Calls() {
    static const FileWriterCalls kSystem = SystemFileWriterCalls();
    return g_calls ? *g_calls : kSystem;
}

// A new, hidden file beside `target`; -1 with errno set when none could be made.
int CreateTemporary(const QByteArray& target, mode_t mode, QByteArray& temp_path) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray dir = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path =
            dir + '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(temp_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Makes the rename itself survive a power cut. Some file systems cannot sync a folder; the file is
// in place by then, so this is not worth a failure.
void SyncFolder(const QByteArray& target) {
    const QByteArray dir = target.left(std::max<qsizetype>(target.lastIndexOf('/'), 1));
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

QString FileWriteError::Reason() const {
    if (step == Step::ReadOnly) return Msg("the file is read-only");
    return QString::fromLocal8Bit(ErrnoText(error_number).c_str());
}

FileWriterCalls SystemFileWriterCalls() {
    return {[](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
            [](int fd) { return ::fsync(fd); },
            [](const char* from, const char* to) { return ::rename(from, to); }};
}

void SetFileWriterCalls(const FileWriterCalls* calls) {
    g_calls = calls;
}

std::optional<FileWriteError> ReplaceFileContent(const QString& path, const QByteArray& bytes) {
    using Step = FileWriteError::Step;
    const QFileInfo info(path);
    // Replacing a link would cut it; the file it names is what the user keeps.
    const QString resolved =
        info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QByteArray target = QFile::encodeName(resolved);

    mode_t mode = 0666;  // narrowed by the umask, as for any new file
    struct stat st {};
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && S_ISREG(st.st_mode)) {
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || !info.isWritable()) {
            return FileWriteError{Step::ReadOnly, 0};
        }
        mode = st.st_mode & 07777;
    }

    QByteArray temp;
    const int fd = CreateTemporary(target, mode, temp);
    if (fd < 0) return FileWriteError{Step::Create, errno};
    const auto fail = [&](Step step, bool close_file) {
        const int error = errno;
        if (close_file) ::close(fd);
        ::unlink(temp.constData());
        return FileWriteError{step, error};
    };
    // The umask may have narrowed the mode the existing file has.
    if (exists && S_ISREG(st.st_mode)) ::fchmod(fd, mode);
    if (const int error = WriteAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()),
                                   Calls().write)) {
        errno = error;
        return fail(Step::Write, true);
    }
    // Small files sit in the system's cache until here; a full disk often shows only now.
    if (Calls().fsync(fd) != 0) return fail(Step::Flush, true);
    if (::close(fd) != 0) return fail(Step::Close, false);
    if (Calls().rename(temp.constData(), target.constData()) != 0) {
        return fail(Step::Rename, false);
    }
    SyncFolder(target);
    return std::nullopt;
}

}  // namespace velmora
