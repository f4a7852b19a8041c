// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_shift_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "base/posix_io.h"

namespace engine {

namespace {
constexpr const char* kPrefix = "timeshift-";
constexpr const char* kSuffix = ".bytes";

// Removes the files no open stream holds: each open file keeps an exclusive lock, which the kernel
// drops when its process dies, so a file that can be locked was left by a run that crashed, even
// when its PID has since been given to another process (or to this one).
void RemoveLeftovers(const velmora::PrivateFolder& folder) {
    const int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        if (TimeShiftFileOwner(e->d_name) <= 0) continue;
        const int file =
            ::openat(folder.fd(), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (file < 0) continue;
        if (::flock(file, LOCK_EX | LOCK_NB) == 0) ::unlinkat(folder.fd(), e->d_name, 0);
        ::close(file);
    }
    ::closedir(dir);
}
}  // namespace

std::string TimeShiftFileName(long pid, unsigned seq) {
    return kPrefix + std::to_string(pid) + "-" + std::to_string(seq) + kSuffix;
}

long TimeShiftFileOwner(const std::string& name) {
    const std::string prefix = kPrefix, suffix = kSuffix;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix))
        return 0;
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || pid <= 0) return 0;
    return pid;
}

std::shared_ptr<velmora::PrivateFolder> TimeShiftFile::OpenFolder(const std::string& base,
                                                                  std::string* error) {
    auto folder = velmora::PrivateFolder::Open(base, {"velmora", "timeshift"}, error);
    if (!folder) return nullptr;
    auto shared = std::make_shared<velmora::PrivateFolder>(std::move(*folder));
    RemoveLeftovers(*shared);
    return shared;
}

std::unique_ptr<TimeShiftFile> TimeShiftFile::Create(std::shared_ptr<velmora::PrivateFolder> folder,
                                                     std::uint64_t capacity, std::string* error) {
    static std::atomic<unsigned> next{1};
    // A name still taken (a locked file of an earlier process that had this PID) is skipped.
    constexpr int kTries = 64;
    for (int i = 0;; ++i) {
        const std::string name = TimeShiftFileName(static_cast<long>(::getpid()), next++);
        const int fd = ::openat(folder->fd(), name.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST && i + 1 < kTries) continue;
        if (fd < 0) {
            *error = folder->path() + "/" + name + ": " + velmora::ErrnoText(errno);
            return nullptr;
        }
        // Held while the file is open; the kernel lets it go when this process dies.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            *error = folder->path() + "/" + name + ": " + velmora::ErrnoText(errno);
            ::unlinkat(folder->fd(), name.c_str(), 0);
            ::close(fd);
            return nullptr;
        }
        return std::unique_ptr<TimeShiftFile>(
            new TimeShiftFile(std::move(folder), fd, name, capacity));
    }
}

TimeShiftFile::~TimeShiftFile() {
    Unlink();
    ::close(fd_);
}

void TimeShiftFile::Unlink() {
    if (linked_.exchange(false)) ::unlinkat(folder_->fd(), name_.c_str(), 0);
}

namespace {
// Runs `io` (pwrite or pread) over `size` bytes at stream position `pos` of a file that holds the
// stream's last `capacity` bytes, in the pieces on either side of the file's end.
template <typename Byte, typename Io>
bool AroundTheFile(std::uint64_t capacity, std::uint64_t pos, Byte* data, std::size_t size, Io io) {
    while (size > 0) {
        const std::uint64_t at = pos % capacity;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, capacity - at));
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = io(data + done, n - done, static_cast<off_t>(at + done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            done += static_cast<std::size_t>(r);
        }
        pos += n;
        data += n;
        size -= n;
    }
    return true;
}
}  // namespace

bool TimeShiftFile::Write(std::uint64_t pos, const std::uint8_t* data, std::size_t size) {
    return AroundTheFile(
        capacity_, pos, data, size,
        [this](const std::uint8_t* p, std::size_t n, off_t at) { return ::pwrite(fd_, p, n, at); });
}

bool TimeShiftFile::Read(std::uint64_t pos, std::uint8_t* data, std::size_t size) const {
    return AroundTheFile(
        capacity_, pos, data, size,
        [this](std::uint8_t* p, std::size_t n, off_t at) { return ::pread(fd_, p, n, at); });
}

std::string TimeShiftFile::path() const {
    return folder_->path() + "/" + name_;
}

}  // namespace engine
