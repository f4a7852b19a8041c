// SPDX-License-Identifier: GPL-3.0-or-later
// Recording three minutes of a 320 kbps stream (7.2 MB) in blocks the size the download thread
// hands over, from start to stop, into a real file. Reports the CPU this costs against the three
// minutes it covers, and checks after each run that the file equals the stream, byte for byte.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <ctime>
#include <string>

#include "recording/stream_recorder.h"

namespace {

using velmora::RecordingPlan;
using velmora::RecordingStartError;
using velmora::StreamRecorder;

constexpr double kStreamSeconds = 180.0;
constexpr std::size_t kStreamBytes = 320000 / 8 * 180;  // 7,200,000

const std::string& Stream() {
    static const std::string bytes = [] {
        std::string s(kStreamBytes, '\0');
        std::uint32_t x = 2463534242u;
        for (char& c : s) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = static_cast<char>(x);
        }
        return s;
    }();
    return bytes;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void AppendAll(StreamRecorder& recorder, std::size_t block) {
    const std::string& s = Stream();
    for (std::size_t at = 0; at < s.size(); at += block) {
        const std::size_t n = std::min(block, s.size() - at);
        recorder.Append(s.data() + at, static_cast<std::uint32_t>(n));
    }
}

// One recording of the whole stream per iteration; the argument is the block size.
void BM_RecordThreeMinutes(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    QTemporaryDir docs;
    RecordingPlan plan;
    plan.recordings_folder = docs.path() + "/Velmora Recordings";
    plan.station_folder = plan.recordings_folder + "/Bench FM";
    plan.file_path = plan.station_folder + "/bench.mp3";
    StreamRecorder recorder;
    Stream();
    double cpu = 0;
    for (auto _ : state) {
        const double cpu_start = CpuSeconds();
        if (recorder.Start(plan).error != RecordingStartError::None) {
            state.SkipWithError("recording could not start");
            return;
        }
        AppendAll(recorder, block);
        recorder.Stop();
        cpu += CpuSeconds() - cpu_start;

        state.PauseTiming();
        QFile f(plan.file_path);
        if (!f.open(QIODevice::ReadOnly) || f.readAll().toStdString() != Stream()) {
            state.SkipWithError("the file differs from the stream");
            return;
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
    state.counters["cpu_ms_per_3min"] = cpu * 1000.0 / static_cast<double>(state.iterations());
    state.counters["cpu_percent_of_playing_time"] =
        cpu * 100.0 / kStreamSeconds / static_cast<double>(state.iterations());
}
// A TCP segment, the usual sizes of a socket read, and the largest block the download hands over.
BENCHMARK(BM_RecordThreeMinutes)->Arg(1460)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);

// What the download thread pays for the recorder while nothing is recorded.
void BM_AppendWhileNotRecording(benchmark::State& state) {
    StreamRecorder recorder;
    Stream();
    for (auto _ : state) AppendAll(recorder, 4096);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_AppendWhileNotRecording)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
