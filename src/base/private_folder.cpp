// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/private_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/posix_io.h"

namespace velmora {

namespace {

std::string Describe(const std::string& path, int error) {
    return path + ": " + ErrnoText(error);
}

// The path with every link resolved, also when its last folders do not exist yet.
std::string ResolvedPath(const std::string& path) {
    std::string head = path, tail;
    while (!head.empty()) {
        char real[PATH_MAX];
        if (::realpath(head.c_str(), real)) return std::string(real) + tail;
        const auto slash = head.find_last_of('/');
        if (slash == std::string::npos) break;
        tail = head.substr(slash) + tail;
        head.resize(slash);
    }
    return path;
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < path.size()) {
        const auto slash = path.find('/', at);
        const std::string part = path.substr(at, slash == std::string::npos ? slash : slash - at);
        if (!part.empty() && part != ".") out.push_back(part);
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return out;
}

}  // namespace

std::string UnsafeFolderReason(const struct stat& st, uid_t me, bool own) {
    if (!S_ISDIR(st.st_mode)) return "is not a folder";
    if (st.st_uid != me && (own || st.st_uid != 0)) return "belongs to another user";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        // Root's sticky folders (/tmp) let nobody rename another user's entries.
        if (own || st.st_uid != 0 || !(st.st_mode & S_ISVTX)) return "can be changed by others";
    }
    return {};
}

std::optional<PrivateFolder> PrivateFolder::Open(const std::string& base,
                                                 const std::vector<std::string>& own,
                                                 std::string* error) {
    const uid_t me = ::getuid();
    const std::string resolved = ResolvedPath(base);
    if (resolved.empty() || resolved.front() != '/') {
        *error = base + ": not an absolute path";
        return std::nullopt;
    }
    std::vector<std::string> parts = Components(resolved);
    const std::size_t first_own = parts.size();
    parts.insert(parts.end(), own.begin(), own.end());

    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path;
    auto fail = [&](const std::string& why) {
        *error = why;
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    };
    if (fd < 0) return fail(Describe("/", errno));
    for (std::size_t i = 0; i <= parts.size(); ++i) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return fail(Describe(path.empty() ? "/" : path, errno));
        const bool is_own = i > first_own;
        if (const std::string why = UnsafeFolderReason(st, me, is_own); !why.empty()) {
            return fail((path.empty() ? std::string("/") : path) + " " + why);
        }
        if (i == parts.size()) break;
        const std::string& name = parts[i];
        path += "/" + name;
        // Folders of the base that are missing are the user's own to create, as are ours.
        if (::mkdirat(fd, name.c_str(), 0700) != 0 && errno != EEXIST) {
            return fail(Describe(path, errno));
        }
        // Never through a link: what was checked is what is used.
        const int next =
            ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            return fail(errno == ELOOP || errno == ENOTDIR ? path + " is not a folder"
                                                           : Describe(path, errno));
        }
        ::close(fd);
        fd = next;
    }
    if (!own.empty() && ::fchmod(fd, 0700) != 0) return fail(Describe(path, errno));
    return PrivateFolder(fd, path);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

PrivateFolder::~PrivateFolder() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace velmora
