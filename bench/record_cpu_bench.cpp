// SPDX-License-Identifier: GPL-3.0-or-later
// The CPU that recording adds to playing: a 320 kbps MP3 station opened through StreamOpener, its
// downloaded bytes handed to a StreamRecorder as the window does, played to its end once without
// and once with a recording of three minutes in each round, the order alternating between rounds.
// Each recording is then compared with the audio bytes the server sent: the file must be exactly
// the tail of the stream from the moment the recording started, with no byte lost, added or
// reordered.
//
//   record_cpu_bench [--rounds N] [--rate BYTES_PER_SECOND]
//
// A plain program that prints its figures on lines starting with "BM_" (options of Google
// Benchmark, as scripts/run-benchmarks passes them, are ignored). The loopback server runs in a
// child process, so its CPU never counts. The sound goes to SDL's disk driver writing to
// /dev/null with 1 ms per period, so the engine plays faster than real time, and the server
// paces the stream at --rate (default 16 times real time) after a burst. Two figures of the
// recording's cost: the difference of the process's CPU between the two kinds of run (medians
// over the rounds, noisy at this size), and the CPU the download thread spends inside
// StreamRecorder::Append, measured around each call. Exit status 2 when a run fails or a file
// differs from the stream.
#include <QDateTime>
#include <QFile>
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
#include "opening/stream_opener.h"
#include "recording/recording_names.h"
#include "recording/stream_recorder.h"
#include "server_process.h"
#include "support/test_audio.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace velmora;

constexpr int kBitRate = 320000;
constexpr double kLeadSeconds = 5;      // played before the recording starts
constexpr double kRecordSeconds = 180;  // recorded at least, up to the end of the stream
constexpr std::size_t kLeadBytes = static_cast<std::size_t>(kLeadSeconds * kBitRate / 8);

struct Options {
    int rounds = 3;
    std::size_t rate = 16 * kBitRate / 8;
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

struct Run {
    double cpu = 0;  // process CPU seconds from the opening to the end of playing
    double wall = 0;
    double append_cpu = 0;  // of which inside StreamRecorder::Append
    std::uint64_t sink_bytes = 0;
    std::uint64_t calls = 0;
    // Recording runs: bytes the sink had finished handing over just before and just after the
    // recording started, and the file.
    std::uint64_t before_start = 0, after_start = 0;
    std::string recorded;
};

bool Wait(const auto& done, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Plays the station to its end; with `record`, a recording starts once kLeadBytes have come in.
bool PlayToEnd(const std::string& url, bool record, const QString& documents, Run& out) {
    StreamRecorder recorder;
    std::atomic<std::uint64_t> bytes{0}, calls{0};
    std::atomic<double> append_cpu{0};
    std::atomic<int> failed{0};
    {
        StreamOpener opener(
            [&failed](const StatusReport& r) {
                if (r.code == StreamStatus::CannotPlay) failed = 1;
            },
            [] { return 100; },
            [&](const void* data, std::uint32_t length) {
                const double t0 = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
                recorder.Append(data, length);
                const double spent = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;
                append_cpu.store(append_cpu.load() + spent);  // one download thread writes it
                ++calls;
                if (data) bytes += length;  // counted once handed over
            });

        const auto w0 = Clock::now();
        const double p0 = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
        if (!opener.Start(url)) return false;
        if (!Wait([&] { return !opener.IsOpening(); }, 15) || failed ||
            opener.CurrentStream() == 0) {
            std::fprintf(stderr, "record_cpu_bench: the station did not open\n");
            return false;
        }
        const engine::Handle h = opener.CurrentStream();
        if (record) {
            if (!Wait([&] { return bytes.load() >= kLeadBytes; }, 15)) return false;
            const RecordingPlan plan =
                PlanRecording(documents, "Bench FM", "Three minutes", QDateTime::currentDateTime());
            out.before_start = bytes.load();
            const RecordingStartResult started = recorder.Start(plan);
            out.after_start = bytes.load();
            if (started.error != RecordingStartError::None) {
                std::fprintf(stderr, "record_cpu_bench: the recording did not start: %s\n",
                             started.reason.toLocal8Bit().constData());
                return false;
            }
        }
        bool played = false;
        const bool ended = Wait(
            [&] {
                const int a = engine::ChannelIsActive(h);
                if (a != 0) played = true;
                return played && a == 0;
            },
            600);
        out.cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
        out.wall = std::chrono::duration<double>(Clock::now() - w0).count();
        if (!ended) {
            std::fprintf(stderr, "record_cpu_bench: the stream did not end\n");
            return false;
        }
        // The end of the download (null data) has closed the file; the switch is still on.
        Wait([&] { return !recorder.HasFile(); }, 5);
        opener.StopAndFree();
    }
    if (record) {
        if (!recorder.Stop()) return false;
        QFile f(recorder.Path());
        if (!f.open(QIODevice::ReadOnly)) return false;
        out.recorded = f.readAll().toStdString();
        f.remove();
    }
    out.append_cpu = append_cpu.load();
    out.sink_bytes = bytes.load();
    out.calls = calls.load();
    return true;
}

// The file must be the stream's tail from a start point the sink's counts bracket.
bool Verify(const Run& r, const std::string& sent) {
    if (r.sink_bytes != sent.size()) {
        std::fprintf(stderr, "record_cpu_bench: the download handed over %llu of %zu sent bytes\n",
                     static_cast<unsigned long long>(r.sink_bytes), sent.size());
        return false;
    }
    if (r.recorded.size() > sent.size()) return false;
    const std::size_t offset = sent.size() - r.recorded.size();
    if (offset < r.before_start || offset > r.after_start) {
        std::fprintf(stderr,
                     "record_cpu_bench: the recording starts at byte %zu, outside [%llu, %llu]\n",
                     offset, static_cast<unsigned long long>(r.before_start),
                     static_cast<unsigned long long>(r.after_start));
        return false;
    }
    if (sent.compare(offset, std::string::npos, r.recorded) != 0) {
        std::size_t i = 0;
        while (i < r.recorded.size() && r.recorded[i] == sent[offset + i]) ++i;
        std::fprintf(stderr, "record_cpu_bench: the file differs from the stream at byte %zu\n", i);
        return false;
    }
    return true;
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
    return o.rounds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: record_cpu_bench [--rounds N] [--rate BYTES_PER_SECOND]\n");
        return 2;
    }
    // Before any thread exists: the server process is a fork of this one.
    bench::ServerProcess server([&o] {
        test::SineSpec spec;
        spec.seconds = kLeadSeconds + kRecordSeconds + 1;  // at least 180 s recorded
        spec.bit_rate = kBitRate;
        test::StreamRoute route;
        route.audio = test::EncodeSine(spec);
        route.headers = {"icy-name:Bench FM", "icy-br:320"};
        route.burst_bytes = 160000;  // four seconds at once
        route.bytes_per_second = o.rate;
        return route;
    });
    const std::string url = server.Url();

    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    QTemporaryDir documents;
    if (!documents.isValid()) return 2;
    engine::PluginLoad(engine::kWmaPlugin, 0);
    if (!engine::Init(-1, 44100, 0, nullptr)) {
        std::fprintf(stderr, "record_cpu_bench: engine initialisation failed, code %d\n",
                     engine::ErrorGetCode());
        return 2;
    }
    engine::SetConfig(engine::Config::NetPlaylist, 1);
    engine::SetConfig(engine::Config::NetPrebuf, 0);

    std::vector<double> play_cpu, record_cpu, play_append, record_append;
    std::uint32_t connection = 0;
    std::size_t recorded_bytes = 0, stream_bytes = 0;
    for (int r = 0; r < o.rounds; ++r) {
        // The order alternates between rounds, so that neither kind always runs first.
        Run play, rec;
        std::string sent;
        for (const bool record : {r % 2 == 1, r % 2 == 0}) {
            if (!PlayToEnd(url, record, documents.path(), record ? rec : play)) return 2;
            bool finished = false;
            std::string s = server.SentAudio(connection++, 10000, &finished);
            if (record) {
                if (!finished || !Verify(rec, s)) return 2;
                sent = std::move(s);
            } else if (play.sink_bytes != s.size()) {
                std::fprintf(stderr, "record_cpu_bench: playing handed over %llu of %zu bytes\n",
                             static_cast<unsigned long long>(play.sink_bytes), s.size());
                return 2;
            }
        }
        recorded_bytes = rec.recorded.size();
        stream_bytes = sent.size();
        std::fprintf(stderr,
                     "round %d: playing %.1f ms CPU in %.2f s (Append %.2f ms, %llu calls); "
                     "recording %.1f ms CPU in %.2f s (Append %.2f ms, %llu calls), "
                     "%zu bytes recorded from byte %zu, identical to the stream\n",
                     r + 1, play.cpu * 1e3, play.wall, play.append_cpu * 1e3,
                     static_cast<unsigned long long>(play.calls), rec.cpu * 1e3, rec.wall,
                     rec.append_cpu * 1e3, static_cast<unsigned long long>(rec.calls),
                     rec.recorded.size(), sent.size() - rec.recorded.size());
        play_cpu.push_back(play.cpu);
        record_cpu.push_back(rec.cpu);
        play_append.push_back(play.append_cpu);
        record_append.push_back(rec.append_cpu);
    }
    engine::Free();

    const double recorded_seconds = static_cast<double>(recorded_bytes) * 8 / kBitRate;
    const double p = Median(play_cpu), r = Median(record_cpu);
    const double added = r - p;
    const double append_added = Median(record_append) - Median(play_append);
    std::printf("BM_RecordCpu/playing_only           %9.1f ms CPU\n", p * 1e3);
    std::printf("BM_RecordCpu/playing_and_recording  %9.1f ms CPU\n", r * 1e3);
    std::printf(
        "BM_RecordCpu/recording_adds         %9.1f ms CPU, %+.2f %% of playing's CPU, "
        "%.4f %% of one core over the %.1f s recorded\n",
        added * 1e3, added * 100 / p, added * 100 / recorded_seconds, recorded_seconds);
    std::printf(
        "BM_RecordCpu/append_while_recording %9.2f ms CPU (%.2f ms while only playing), "
        "adds %.4f %% of one core over the %.1f s recorded\n",
        Median(record_append) * 1e3, Median(play_append) * 1e3,
        append_added * 100 / recorded_seconds, recorded_seconds);
    std::printf(
        "BM_RecordCpu/recorded_file          %zu bytes (the stream's last %zu of %zu), "
        "identical to the bytes sent: OK\n",
        recorded_bytes, recorded_bytes, stream_bytes);
    std::printf("(%d round(s), 320 kbps MP3 paced at %.1f times real time)\n", o.rounds,
                static_cast<double>(o.rate) * 8 / kBitRate);
    return 0;
}
