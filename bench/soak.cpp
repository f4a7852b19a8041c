// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: long playback of a loopback station whose title changes every 30 s and whose server drops
// the connection every 3 minutes, with recording on. The station is reopened after each drop as
// the window's automatic replay would, and the recording goes on across the reopenings.
//
//   velmora_soak            (SOAK_MINUTES, default 60; SOAK_DIR keeps the recording there)
//
// SOAK_TITLE_SECONDS and SOAK_DROP_SECONDS (defaults 30 and 180) shorten the intervals to look
// for memory that grows with each reopening.
//
// Prints resident memory and open descriptors once a minute. Fails (exit 1) when resident memory
// after the first minute strays more than 2 MiB from its first-minute value, when the descriptor
// count grows, or when a part of the recording is not exactly the bytes its connection served
// while recording was on.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "opening/stream_opener.h"
#include "recording/stream_recorder.h"
#include "server_process.h"
#include "support/stream_server.h"
#include "support/test_audio.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kBytesPerSecond = 16000;  // 128 kbps
constexpr std::size_t kMetaint = 8000;
std::size_t EnvSeconds(const char* name, std::size_t fallback) {
    const char* v = std::getenv(name);
    const long n = v ? std::atol(v) : 0;
    return n > 0 ? static_cast<std::size_t>(n) : fallback;
}
const std::size_t kTitleSeconds = EnvSeconds("SOAK_TITLE_SECONDS", 30);
const std::size_t kDropSeconds = EnvSeconds("SOAK_DROP_SECONDS", 180);
constexpr double kAllowedDriftMiB = 2.0;

struct Memory {
    double resident = 0;   // MiB, all resident pages
    double anonymous = 0;  // MiB, resident pages not backed by a file: what a leak grows
    double heap = 0;       // MiB, malloc's blocks in use
};

Memory ReadMemory() {
    Memory m;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long size = 0, resident = 0, shared = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld %ld", &size, &resident, &shared) != 3) resident = shared = 0;
        std::fclose(f);
    }
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    m.resident = static_cast<double>(resident) * page;
    m.anonymous = static_cast<double>(resident - shared) * page;
    const struct mallinfo2 mi = mallinfo2();
    m.heap = static_cast<double>(mi.uordblks + mi.hblkhd) / (1024.0 * 1024.0);
    return m;
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') ++n;
        }
        closedir(d);
        --n;  // the directory stream itself
    }
    return n;
}

velmora::test::StreamRoute SoakRoute() {
    velmora::test::SineSpec spec;
    spec.seconds = 20;
    velmora::test::StreamRoute route;
    route.audio = velmora::test::EncodeSine(spec);
    route.loop = true;
    route.metaint = kMetaint;
    route.headers = {"icy-name:Soak FM", "icy-br:128"};
    route.burst_bytes = 2 * kBytesPerSecond;
    route.bytes_per_second = kBytesPerSecond;
    route.drop_after = kDropSeconds * kBytesPerSecond;
    const std::size_t blocks_per_title = kTitleSeconds * kBytesPerSecond / kMetaint;
    for (std::size_t b = 0, n = 1; b * kMetaint < route.drop_after; b += blocks_per_title, ++n)
        route.titles.push_back({b, "Soak Artist - Song " + std::to_string(n)});
    return route;
}

// What the download thread and the worker report, for the main thread.
class Station {
  public:
    // The recorder sees every block, but not the end of each download: the file stays open
    // across reopenings. The file size at each end marks where the next connection's part begins.
    void Data(velmora::StreamRecorder& recorder, const void* data, std::uint32_t length) {
        if (data) {
            recorder.Append(data, length);
            return;
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    void Report(const velmora::StatusReport& r) {
        std::lock_guard lock(mutex_);
        if (r.code == velmora::StreamStatus::Title && r.text != last_title_) {
            last_title_ = r.text;
            ++title_changes_;
        }
        if (r.code == velmora::StreamStatus::CannotPlay) ++failed_openings_;
    }
    // Waits up to `timeout` for the end of the download; true (and clears it) when it came.
    bool WaitEnded(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const bool ended = changed_.wait_for(lock, timeout, [this] { return ended_; });
        ended_ = false;
        return ended;
    }
    int TitleChanges() const {
        std::lock_guard lock(mutex_);
        return title_changes_;
    }
    int FailedOpenings() const {
        std::lock_guard lock(mutex_);
        return failed_openings_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
    std::string last_title_;
    int title_changes_ = 0;
    int failed_openings_ = 0;
};

bool WaitPlaying(const velmora::StreamOpener& opener, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
        if (engine::ChannelIsActive(opener.CurrentStream()) ==
            static_cast<int>(engine::ActiveState::Playing))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// One connection's part of the recording, as file offsets.
struct Part {
    qint64 begin = 0;
    qint64 end = -1;  // -1: recording stopped while the connection was still open
};

// Compares each part with what its connection served. The first part may start anywhere (the
// recording began mid-stream), every later one at the connection's first byte; every part but
// the last runs to the connection's last byte.
int CheckParts(velmora::bench::ServerProcess& server, const std::string& recording,
               const std::vector<Part>& parts) {
    int bad = 0;
    std::uint64_t covered = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const qint64 end = parts[i].end < 0 ? static_cast<qint64>(recording.size()) : parts[i].end;
        const std::string part = recording.substr(static_cast<std::size_t>(parts[i].begin),
                                                  static_cast<std::size_t>(end - parts[i].begin));
        bool finished = false;
        const std::string sent = server.SentAudio(static_cast<std::uint32_t>(i), 5000, &finished);
        bool ok;
        if (i == 0 && parts[i].end >= 0)
            ok = sent.size() >= part.size() &&
                 sent.compare(sent.size() - part.size(), part.size(), part) == 0;
        else if (parts[i].end >= 0)
            ok = part == sent;
        else if (i == 0)
            ok = sent.find(part) != std::string::npos;
        else
            ok = sent.compare(0, part.size(), part) == 0;
        covered += part.size();
        std::printf("soak: part %zu: %zu bytes recorded, %zu served%s: %s\n", i, part.size(),
                    sent.size(), finished ? "" : " (still open)", ok ? "match" : "MISMATCH");
        if (!ok) ++bad;
    }
    std::printf("soak: recording %zu bytes, %llu in parts\n", recording.size(),
                static_cast<unsigned long long>(covered));
    return bad;
}

}  // namespace

int main() {
    const char* minutes_env = std::getenv("SOAK_MINUTES");
    const int minutes = minutes_env ? std::max(1, std::atoi(minutes_env)) : 60;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // Before any thread: the server runs in a child process, so its memory and descriptors
    // never count in the figures of this one.
    velmora::bench::ServerProcess server(SoakRoute);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!engine::Init(-1, 44100, 0, nullptr)) {
        std::fprintf(stderr, "soak: no sound output (code %d)\n", engine::ErrorGetCode());
        return 2;
    }
    engine::SetConfig(engine::Config::NetPlaylist, 1);
    engine::SetConfig(engine::Config::NetPrebuf, 0);

    QTemporaryDir temp;
    const char* keep = std::getenv("SOAK_DIR");
    const QString folder = keep ? QString::fromLocal8Bit(keep) : temp.path();
    velmora::RecordingPlan plan;
    plan.recordings_folder = folder + "/Velmora Recordings";
    plan.station_folder = plan.recordings_folder + "/Soak FM";
    plan.file_path = plan.station_folder + "/soak.mp3";

    velmora::StreamRecorder recorder;
    Station station;
    velmora::StreamOpener opener(
        [&station](const velmora::StatusReport& r) { station.Report(r); }, [] { return 50; },
        [&station, &recorder](const void* d, std::uint32_t n) { station.Data(recorder, d, n); });
    const std::string url = server.Url();
    if (!opener.Start(url) || !WaitPlaying(opener, 15s)) {
        std::fprintf(stderr, "soak: the station did not start playing\n");
        return 2;
    }
    const auto started = recorder.Start(plan);
    if (started.error != velmora::RecordingStartError::None) {
        std::fprintf(stderr, "soak: recording could not start: %s\n", qPrintable(started.reason));
        return 2;
    }
    std::vector<Part> parts(1);

    std::printf("soak: %d minutes, 128 kbps, title every %zu s, drop every %zu s\n", minutes,
                kTitleSeconds, kDropSeconds);
    std::printf(
        "soak: minute  resident_MiB  anonymous_MiB  heap_MiB  descriptors  connections  "
        "title_changes  recorded\n");
    const auto t0 = Clock::now();
    double first_minute_rss = 0;
    int first_minute_fds = 0;
    double worst_drift = 0;
    int worst_fds = 0;
    int reopen_failures = 0;
    for (int minute = 1; minute <= minutes; ++minute) {
        const auto mark = t0 + std::chrono::minutes(minute);
        while (Clock::now() < mark) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(mark - Clock::now());
            if (!station.WaitEnded(std::max(left, 1ms))) continue;
            // The server dropped us: reopen as the automatic replay does.
            parts.back().end = QFile(plan.file_path).size();
            opener.StopAndFree();
            parts.push_back({parts.back().end, -1});
            if (!opener.Start(url) || !WaitPlaying(opener, 15s)) {
                ++reopen_failures;
                std::fprintf(stderr, "soak: reopening failed\n");
            }
        }
        const Memory mem = ReadMemory();
        const double rss = mem.resident;
        const int fds = OpenDescriptors();
        if (minute == 1) {
            first_minute_rss = rss;
            first_minute_fds = fds;
        } else {
            worst_drift = std::max(worst_drift, std::abs(rss - first_minute_rss));
            worst_fds = std::max(worst_fds, fds - first_minute_fds);
        }
        std::printf("soak: %6d  %12.2f  %13.2f  %8.2f  %11d  %11zu  %13d  %8lld\n", minute, rss,
                    mem.anonymous, mem.heap, fds, parts.size(), station.TitleChanges(),
                    static_cast<long long>(QFile(plan.file_path).size()));
    }
    recorder.Stop();
    opener.StopAndFree();

    QFile file(plan.file_path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "soak: cannot read the recording\n");
        return 2;
    }
    const std::string recording = file.readAll().toStdString();
    const int bad_parts = CheckParts(server, recording, parts);
    engine::Free();

    const int expected_titles = minutes * 60 / static_cast<int>(kTitleSeconds);
    const bool memory_ok = worst_drift <= kAllowedDriftMiB;
    const bool fds_ok = worst_fds <= 0;
    // A title is shown when its audio plays, some seconds after it arrived: with drops much
    // closer than the default, the later titles of a connection are never heard.
    const bool titles_checked = kDropSeconds >= 60;
    const bool titles_ok = !titles_checked || station.TitleChanges() >= expected_titles - 1;
    std::printf("soak: resident drift after the first minute %.2f MiB (limit %.1f): %s\n",
                worst_drift, kAllowedDriftMiB, memory_ok ? "ok" : "FAILED");
    std::printf("soak: descriptors grew by at most %d: %s\n", worst_fds, fds_ok ? "ok" : "FAILED");
    std::printf("soak: %d title changes seen, %d expected: %s\n", station.TitleChanges(),
                expected_titles,
                titles_checked ? (titles_ok ? "ok" : "FAILED") : "not checked at this drop rate");
    std::printf("soak: %zu connections, %d reopenings failed, %d openings reported failure\n",
                parts.size(), reopen_failures, station.FailedOpenings());
    std::printf("soak: recording %s\n", bad_parts == 0 ? "holds every served byte" : "FAILED");
    const bool ok = memory_ok && fds_ok && titles_ok && bad_parts == 0 && reopen_failures == 0;
    std::printf("soak: %s\n", ok ? "PASSED" : "FAILED");
    return ok ? 0 : 1;
}
