// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/posix_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora {

int WriteAll(int fd, const void* data, std::size_t size, const WriteCall& write) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write ? write(fd, p, size) : ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

}  // namespace velmora
