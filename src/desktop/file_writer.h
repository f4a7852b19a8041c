// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program replaces a file (settings, channel list, export): the new content goes
// to a temporary file beside the target, is flushed to the disk, and only then renamed over the
// target. Every failed write, flush, close and rename is reported, and the previous file is left
// byte for byte; a process killed half-way leaves it whole as well.
#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace velmora {

// Why a file could not be replaced.
struct FileWriteError {
    enum class Step { Create, Write, Flush, Close, Rename, ReadOnly };
    Step step;
    int error_number;  // errno of the failed call; 0 for ReadOnly
    // The system's explanation, for the message that names the file.
    QString Reason() const;
};

// Replaces the content of `path` with `bytes`. A symbolic link is followed, so the file it points
// to is replaced; an existing file keeps its permissions. An existing file without write permission
// is refused even for a privileged user, as the user meant it to stay as it is.
std::optional<FileWriteError> ReplaceFileContent(const QString& path, const QByteArray& bytes);

// The system calls the writer goes through. Tests install their own to make a write fail after
// some bytes, a flush or a rename fail, or the process die half-way.
struct FileWriterCalls {
    std::function<ssize_t(int fd, const void* data, size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;
};
// The real calls.
FileWriterCalls SystemFileWriterCalls();
// Installs `calls` (not owned) for every following write; nullptr restores the real calls.
void SetFileWriterCalls(const FileWriterCalls* calls);

}  // namespace velmora
