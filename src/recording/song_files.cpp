// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/song_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "base/posix_io.h"
#include "recording/recording_names.h"
#include "recording/song_tags.h"

namespace velmora {

namespace {

std::string LocalTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

SongFiles::SongFiles(SongFilesPlan plan, Finished finished, Failed failed)
    : plan_(std::move(plan)), finished_(std::move(finished)), failed_(std::move(failed)) {}

SongFiles::~SongFiles() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(part_path_.c_str());
    }
}

void SongFiles::Fail(Failure failure, const std::string& path, const std::string& reason) {
    ++failures_;
    if (failed_) failed_(failure, path, reason);
}

void SongFiles::BeginSong() {
    started_ = LocalTime("%y.%m.%d_%H.%M.%S");
    write_failed_ = false;
    if (::mkdir(plan_.station_folder.c_str(), 0777) != 0 && errno != EEXIST) {
        Fail(Failure::Create, plan_.station_folder, ErrnoText(errno));
        write_failed_ = true;
        return;
    }
    // Created as the user's other files are (0666 less the umask), under a name no one else has.
    std::string name;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        name = plan_.station_folder + "/.velmora-song-" + std::to_string(::getpid()) + "-" +
               std::to_string(++part_counter_) + ".part";
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        Fail(Failure::Create, name, ErrnoText(errno));
        write_failed_ = true;
        return;
    }
    part_path_ = name;
    const std::string room = TagRoom(plan_.format);
    if (!room.empty()) WriteSong(room);
}

void SongFiles::WriteSong(const std::string& bytes) {
    if (fd_ < 0 || write_failed_) return;
    if (WriteAll(fd_, bytes.data(), bytes.size()) != 0) {
        Fail(Failure::Write, part_path_, ErrnoText(errno));
        write_failed_ = true;
    }
}

std::string SongFiles::FreeName(const std::string& folder, const std::string& base) const {
    const std::string extension = std::string(".") + FormatExtension(plan_.format);
    std::string path = folder + "/" + base + extension;
    for (int n = 2; Exists(path); ++n)
        path = folder + "/" + base + " (" + std::to_string(n) + ")" + extension;
    return path;
}

void SongFiles::EndSong(const SongFacts& song) {
    if (fd_ < 0) return;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    const SongPlace place = plan_.per_song ? PlaceSong(song, plan_.rules) : SongPlace::Keep;
    if (!closed || write_failed_ || place == SongPlace::Drop) {
        ::unlink(part_path_.c_str());
        return;
    }
    std::string folder = plan_.station_folder;
    if (place == SongPlace::Incomplete) {
        folder += "/incomplete";
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            Fail(Failure::Create, folder, ErrnoText(errno));
            ::unlink(part_path_.c_str());
            return;
        }
    }
    const std::string shown = song.title.empty() ? plan_.station : song.title;
    QString base = CleanRecordingName(QString::fromStdString(shown));
    if (!plan_.per_song || base.isEmpty())
        base = QString::fromStdString(started_ + " - ") +
               CleanRecordingName(QString::fromStdString(plan_.station));
    const std::string path = FreeName(folder, base.toStdString());
    const SongTags tags =
        TagsForSong(song.title, plan_.station, plan_.address, LocalTime("%Y-%m-%d"));
    // An untagged song is still a song: the failure is told, the file kept.
    if (!WriteSongTags(part_path_, plan_.format, tags)) Fail(Failure::Tags, path);
    if (std::rename(part_path_.c_str(), path.c_str()) != 0) {
        Fail(Failure::Write, path, ErrnoText(errno));
        ::unlink(part_path_.c_str());
        return;
    }
    if (finished_) finished_(path, place);
}

}  // namespace velmora
