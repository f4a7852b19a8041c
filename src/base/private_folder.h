// SPDX-License-Identifier: GPL-3.0-or-later
// A private per-user folder: the update is downloaded to one and the upgrader started from it; the
// time-shift buffer of a paused station lives in another. Other users must not be able to swap
// anything in it, so every folder on its path is opened and checked from the root down, and the
// files in it are used through the opened folder only.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Why a folder with status `st` is unsafe for user `me`; empty when it is safe. A folder on the
// way may belong to root: then it may be writable by others only when it is sticky (as /tmp is),
// so that nobody can rename what belongs to `me` in it. A folder of the program's own
// (`own` = true) must belong to `me` and be writable by nobody else.
std::string UnsafeFolderReason(const struct stat& st, uid_t me, bool own);

class PrivateFolder {
  public:
    // Opens `base` + "/" + each of `own` in turn, creating what is missing with mode 0700; the
    // last folder is made 0700. nullopt with `error` set when a folder is unsafe or cannot be
    // made.
    static std::optional<PrivateFolder> Open(const std::string& base,
                                             const std::vector<std::string>& own,
                                             std::string* error);

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) noexcept;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();

    // The opened folder, for the *at() calls; valid while this object lives.
    int fd() const { return fd_; }
    // Its path, for messages and for the upgrader's arguments.
    const std::string& path() const { return path_; }

  private:
    PrivateFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

}  // namespace velmora
