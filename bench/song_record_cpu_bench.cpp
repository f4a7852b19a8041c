// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU that recording song by song costs beside a plain recording: the same loopback station
// (ten songs of 40 s of MP3 at 128 kbps, a second of silence after each, the title changing half
// a second after each song begins) recorded without a window, as `velmora --record` does, once
// into one file and once song by song, in each round, the order alternating between rounds.
//
//   song_record_cpu_bench [--rounds N] [--rate BYTES_PER_SECOND]
//
// A plain program that prints its figures on lines starting with "BM_" (options of Google
// Benchmark, as scripts/run-benchmarks passes them, are ignored). The loopback server runs in a
// child process, so its CPU never counts; it paces the stream at --rate (default 32 times real
// time). Two figures per kind: the process's CPU from the opening to the end of the station
// (medians over the rounds), and the CPU the download thread spends in the recorder's callback
// (finding the frames, measuring their level around each change, cutting, writing, tagging). The
// goal: song by song costs at most 10 % more process CPU than the plain recording; "MISS" is
// printed otherwise. Each run is checked: the plain recording is one file, the per-song one the
// first song incomplete, the eight whole songs in the station's folder and the last incomplete.
// Exit status 2 when a run fails or its files are not as expected.
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "recording/download_recording.h"
#include "server_process.h"
#include "support/test_audio.h"

namespace {

using namespace velmora;

constexpr int kSongs = 10;
constexpr double kSongSeconds = 40;
constexpr double kSilenceSeconds = 1;
constexpr int kBytesPerSecond = 16000;  // 128 kbps
constexpr std::size_t kMetaint = kBytesPerSecond / 2;

struct Options {
    // The process CPU of identical rounds spreads by more than the 10 % goal: the median of 15 is
    // steady enough to judge it.
    int rounds = 15;
    std::size_t rate = 32 * kBytesPerSecond;
};

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

test::StreamRoute SongStation(std::size_t rate) {
    test::StreamRoute route;
    for (int i = 0; i < kSongs; ++i) {
        test::SineSpec song;
        song.frequency = 330 + 55 * i;
        song.seconds = kSongSeconds;
        test::SineSpec silence = song;
        silence.seconds = kSilenceSeconds;
        silence.amplitude = 0;
        route.audio += test::EncodeSine(song) + test::EncodeSine(silence);
        // Half a second (one block) after the song's first byte.
        const double begins = i * (kSongSeconds + kSilenceSeconds);
        const std::size_t block =
            i == 0 ? 0 : static_cast<std::size_t>(begins * kBytesPerSecond / kMetaint) + 1;
        route.titles.push_back(
            {block, "Artist " + std::to_string(i + 1) + " - Song " + std::to_string(i + 1)});
    }
    route.headers = {"icy-name:Bench FM", "icy-br:128"};
    route.metaint = kMetaint;
    route.bytes_per_second = rate;
    return route;
}

struct Run {
    double cpu = 0;       // process CPU seconds from the opening to the station's end
    double wall = 0;      // seconds
    double proc_cpu = 0;  // of which in the recorder's callback
    QStringList files;    // relative to the recordings folder
    int failures = 0;
};

// The callback's time, measured on the download thread around the recorder's own.
struct Measured {
    std::shared_ptr<DownloadRecording> recording;
    std::atomic<double> cpu{0};
    std::atomic<std::uint64_t> audio_bytes{0};
};

void MeasuredProc(const void* buffer, std::uint32_t length, void* user) {
    auto* m = static_cast<Measured*>(user);
    const double t0 = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
    DownloadRecording::DownloadProc(buffer, length, m->recording.get());
    m->cpu.store(m->cpu.load() + ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - t0);
    if (buffer && length > 0) m->audio_bytes += length;
}

// Records the station from a fresh server until every byte it sent has reached the recorder: the
// engine would reconnect after the server's end, so the recording is stopped there, as the
// duration stops `velmora --record`.
bool RecordToEnd(bench::ServerProcess& server, bool per_song, Run& out) {
    QTemporaryDir folder;
    if (!folder.isValid()) return false;
    server.Renew();
    const std::string url = server.Url();
    DownloadRecordingPlan plan;
    plan.url = QString::fromStdString(url);
    plan.recordings_folder = folder.path();
    plan.per_song = per_song;
    auto measured = std::make_shared<Measured>();
    measured->recording = std::make_shared<DownloadRecording>(
        plan, [](const std::string&) {},
        [](const QString& text) {
            std::fprintf(stderr, "song_record_cpu_bench: %s\n", text.toLocal8Bit().constData());
        },
        [] {});
    const auto w0 = std::chrono::steady_clock::now();
    const double p0 = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const engine::Handle stream = engine::StreamCreateURL(
        url.c_str(), 0, engine::kStreamStatus | engine::kStreamMeta, &MeasuredProc, measured);
    if (!stream) {
        std::fprintf(stderr, "song_record_cpu_bench: the station did not open (%s)\n",
                     engine::ErrorName(static_cast<engine::ErrorCode>(engine::ErrorGetCode())));
        return false;
    }
    engine::ChannelRecordOnly(stream);
    // Blocks until the server has sent the whole station and closed the connection.
    bool finished = false;
    const std::size_t sent = server.SentAudio(0, 600000, &finished).size();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (measured->audio_bytes.load() < sent && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::uint64_t got = measured->audio_bytes.load();
    engine::StreamFree(stream);
    out.failures = measured->recording->Finish();
    out.cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
    out.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    out.proc_cpu = measured->cpu.load();
    if (!finished || got < sent) {
        std::fprintf(stderr, "song_record_cpu_bench: %llu of %zu bytes reached the recorder\n",
                     static_cast<unsigned long long>(got), sent);
        return false;
    }
    QDirIterator it(folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) out.files << QDir(folder.path()).relativeFilePath(it.next());
    out.files.sort();
    return true;
}

// One file for the plain recording; for the per-song one the first and the last song incomplete
// and every song between them whole, under its title.
bool Verify(const Run& r, bool per_song) {
    QStringList expected;
    if (!per_song) {
        if (r.files.size() == 1 && r.files[0].startsWith("Bench FM/") && r.failures == 0)
            return true;
    } else {
        for (int i = 1; i <= kSongs; ++i) {
            const QString name = QStringLiteral("Artist %1 - Song %1.mp3").arg(i);
            expected << (i == 1 || i == kSongs ? "Bench FM/incomplete/" + name
                                               : "Bench FM/" + name);
        }
        expected.sort();
        if (r.files == expected && r.failures == 0) return true;
    }
    std::fprintf(stderr, "song_record_cpu_bench: %s recording left: %s (%d failures)\n",
                 per_song ? "the per-song" : "the plain",
                 r.files.join(QStringLiteral(", ")).toLocal8Bit().constData(), r.failures);
    return false;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_", 0) == 0) continue;
        if ((a == "--rounds" || a == "--rate") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--rounds") o.rounds = std::atoi(v.c_str());
            if (a == "--rate") o.rate = static_cast<std::size_t>(std::atoll(v.c_str()));
        } else {
            return false;
        }
    }
    return o.rounds > 0 && o.rate > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: song_record_cpu_bench [--rounds N] [--rate BYTES_PER_SECOND]\n");
        return 2;
    }
    // Before any thread exists: the server process is a fork of this one.
    bench::ServerProcess server([&o] { return SongStation(o.rate); });
    if (!engine::Init(-1, 44100, engine::kInitNoSound, nullptr)) {
        std::fprintf(stderr, "song_record_cpu_bench: engine initialisation failed, code %d\n",
                     engine::ErrorGetCode());
        return 2;
    }
    engine::SetConfig(engine::Config::NetPlaylist, 1);
    engine::SetConfig(engine::Config::NetPrebuf, 0);

    std::vector<double> plain_cpu, song_cpu, plain_proc, song_proc;
    for (int r = 0; r < o.rounds; ++r) {
        Run plain, songs;
        for (const bool per_song : {r % 2 == 1, r % 2 == 0}) {
            Run& run = per_song ? songs : plain;
            if (!RecordToEnd(server, per_song, run) || !Verify(run, per_song)) return 2;
        }
        std::fprintf(stderr,
                     "round %d: plain %.1f ms CPU in %.2f s (callback %.1f ms); per song %.1f ms "
                     "CPU in %.2f s (callback %.1f ms), %lld files\n",
                     r + 1, plain.cpu * 1e3, plain.wall, plain.proc_cpu * 1e3, songs.cpu * 1e3,
                     songs.wall, songs.proc_cpu * 1e3, static_cast<long long>(songs.files.size()));
        plain_cpu.push_back(plain.cpu);
        song_cpu.push_back(songs.cpu);
        plain_proc.push_back(plain.proc_cpu);
        song_proc.push_back(songs.proc_cpu);
    }
    engine::Free();

    const double seconds = kSongs * (kSongSeconds + kSilenceSeconds);
    const double p = Median(plain_cpu), s = Median(song_cpu);
    const double added = (s - p) * 100 / p;
    std::printf("BM_SongRecordCpu/plain_recording     %9.1f ms CPU (callback %.1f ms)\n", p * 1e3,
                Median(plain_proc) * 1e3);
    std::printf("BM_SongRecordCpu/per_song_recording  %9.1f ms CPU (callback %.1f ms)\n", s * 1e3,
                Median(song_proc) * 1e3);
    std::printf(
        "BM_SongRecordCpu/per_song_adds       %+9.1f ms CPU, %+.1f %% (goal: at most +10 %%) %s; "
        "%.3f %% of one core over the %.0f s of audio\n",
        (s - p) * 1e3, added, added <= 10 ? "OK" : "MISS", (s - p) * 100 / seconds, seconds);
    std::printf("(%d round(s), %d songs of 128 kbps MP3 paced at %.1f times real time)\n", o.rounds,
                kSongs, static_cast<double>(o.rate) / kBytesPerSecond);
    return 0;
}
