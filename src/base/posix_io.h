// SPDX-License-Identifier: GPL-3.0-or-later
// The system calls every writer of files needs, written once: a whole buffer out through short
// writes and interruptions, and the text of an errno value.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace velmora {

// The write(2) to use; tests give one that fails on cue.
using WriteCall = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// Writes all `size` bytes of `data` to `fd`, going on after short writes and EINTR. 0 when all
// went out, else the errno value of the failed write; a write that makes no progress counts as a
// full disk (ENOSPC).
int WriteAll(int fd, const void* data, std::size_t size, const WriteCall& write = {});

// The system's text of an errno value, in the locale's language and encoding.
std::string ErrnoText(int error);

}  // namespace velmora
