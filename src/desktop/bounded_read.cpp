// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "base/posix_io.h"
#include "i18n/message.h"

namespace velmora {

namespace {

QString SystemReason(int error) {
    return QString::fromLocal8Bit(ErrnoText(error).c_str());
}

}  // namespace

BoundedRead ReadRegularFile(const QString& path, qint64 limit) {
    BoundedRead out;
    // Non-blocking, so that a FIFO under the file's name neither blocks the open nor a read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.missing = errno == ENOENT;
        out.error = SystemReason(errno);
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.error = SystemReason(errno);
    } else if (!S_ISREG(st.st_mode)) {
        out.error = Msg("it is not a regular file");
    } else {
        // One byte more than the bound tells whether the file goes on.
        out.bytes.resize(static_cast<qsizetype>(std::min<qint64>(st.st_size, limit) + 1));
        qsizetype got = 0;
        while (got < out.bytes.size()) {
            const ssize_t n = ::read(fd, out.bytes.data() + got,
                                     static_cast<std::size_t>(out.bytes.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                out.error = SystemReason(errno);
                break;
            }
            if (n == 0) break;
            got += n;
        }
        out.cut = got > limit;
        out.bytes.resize(std::min<qsizetype>(got, limit));
        if (out.error) out.bytes.clear();
    }
    ::close(fd);
    return out;
}

QString FileTooLargeReason(qint64 limit) {
    return Msg("it is larger than %1 MB, too large for this kind of file")
        .arg(QString::number(static_cast<double>(limit) / (1024 * 1024), 'g', 3));
}

}  // namespace velmora
