// SPDX-License-Identifier: GPL-3.0-or-later
// Reading one of the user's own files (settings, channel list, title history) without trusting what
// is there: only a regular file is read (a FIFO, a device or a folder under the file's name is
// refused without waiting on it), and never more than a bound.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

struct BoundedRead {
    bool missing = false;  // no file by that name (`error` says so, for who needs the file)
    QByteArray bytes;      // at most the bound, from the start of the file
    bool cut = false;      // the file holds more than `bytes`
    // Why nothing was read: the system's reason, or that the name is not a regular file.
    std::optional<QString> error;
};

// Reads up to `limit` bytes of `path`, following a symbolic link.
BoundedRead ReadRegularFile(const QString& path, qint64 limit);

// The reason given for a file above its bound, naming the bound in the user's units.
QString FileTooLargeReason(qint64 limit);

}  // namespace velmora
