// SPDX-License-Identifier: GPL-3.0-or-later
// The time-shift buffer's bytes on disk: one file per stream in a private folder of the user's
// cache, written round like a ring (position % capacity), so however long a pause lasts the file
// never grows beyond its capacity and nothing of it stays in memory. The file is removed when its
// stream goes; files left by a run that crashed are removed by the next one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/private_folder.h"

namespace engine {

class TimeShiftFile {
  public:
    // Opens the private folder `base`/velmora/timeshift (made 0700) and removes the files of
    // runs that no longer exist. Null with `error` set when it is unsafe or cannot be made.
    static std::shared_ptr<velmora::PrivateFolder> OpenFolder(const std::string& base,
                                                              std::string* error);
    // A new file of `capacity` bytes in `folder`; null with `error` set on failure.
    static std::unique_ptr<TimeShiftFile> Create(std::shared_ptr<velmora::PrivateFolder> folder,
                                                 std::uint64_t capacity, std::string* error);
    ~TimeShiftFile();
    TimeShiftFile(const TimeShiftFile&) = delete;
    TimeShiftFile& operator=(const TimeShiftFile&) = delete;

    // Bytes at stream position `pos` and on; false on a write or read error.
    bool Write(std::uint64_t pos, const std::uint8_t* data, std::size_t size);
    bool Read(std::uint64_t pos, std::uint8_t* data, std::size_t size) const;
    std::uint64_t capacity() const { return capacity_; }
    // Removes the file's name at once; readers holding it go on until it is closed.
    void Unlink();
    // The file's path, for messages and tests.
    std::string path() const;

  private:
    TimeShiftFile(std::shared_ptr<velmora::PrivateFolder> folder, int fd, std::string name,
                  std::uint64_t capacity)
        : folder_(std::move(folder)), fd_(fd), name_(std::move(name)), capacity_(capacity) {}
    std::shared_ptr<velmora::PrivateFolder> folder_;
    int fd_;
    std::string name_;
    std::uint64_t capacity_;
    std::atomic<bool> linked_{true};
};

// The name of the file `seq` of process `pid`, and the process a name belongs to (0 for a name
// that is no time-shift file).
std::string TimeShiftFileName(long pid, unsigned seq);
long TimeShiftFileOwner(const std::string& name);

}  // namespace engine
