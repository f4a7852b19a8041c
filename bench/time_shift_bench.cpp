// SPDX-License-Identifier: GPL-3.0-or-later
// Time-shift figures: resident memory and CPU of the engine over a 30-minute pause of a 320 kbps
// station, beside a normal play. The pause is simulated: the loopback server sends a hundred times
// faster than real time, so half an hour of the station arrives in about 20 seconds while the
// sound stands still, and the CPU it costs is given per second of the station (what a real pause
// costs at the station's pace).
//
//   time_shift_bench [all|pause|play|plain|serve] [--minutes N] [--bound N]
//
// "pause": play a moment, pause, let N minutes (30) of the station arrive, resume. "play": a
// normal play of the same station at its real pace with time-shift on, "plain" with it off, for
// ten seconds. "all" runs each in a process of its own, so resident memory never carries over.
// "serve" only runs a loopback station in real time for trying the player by hand: title A, then
// title B after 25 seconds of sound, until Ctrl+C.
// Exit status 1 when the pause's resident memory ends more than 2 MiB above the normal play's.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/engine.h"
#include "server_process.h"
#include "support/stream_server.h"
#include "support/test_audio.h"

namespace {

using Clock = std::chrono::steady_clock;
using velmora::bench::ServerProcess;

constexpr int kKbps = 320;

struct Options {
    std::string mode = "all";
    int minutes = 30;
    int bound = 60;
};

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return -1;
}

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

velmora::test::StreamRoute Station(std::size_t bytes_per_second) {
    velmora::test::SineSpec spec;
    spec.seconds = 20;
    spec.bit_rate = kKbps * 1000;
    velmora::test::StreamRoute route;
    route.audio = velmora::test::EncodeSine(spec);
    route.loop = true;
    route.burst_bytes = 64 * 1024;
    route.bytes_per_second = bytes_per_second;
    return route;
}

engine::TimeShiftInfo Info(engine::Handle h) {
    engine::TimeShiftInfo info;
    engine::ChannelGetTimeShift(h, &info);
    return info;
}

bool WaitPlaying(engine::Handle h) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (engine::ChannelIsActive(h) != static_cast<int>(engine::ActiveState::Playing)) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Starts the engine with time-shift `seconds` (0: off) in a scratch cache folder.
std::string StartEngine(int seconds) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    char tmpl[] = "/tmp/velmora-shift-bench-XXXXXX";
    if (!mkdtemp(tmpl) || !engine::Init(-1, 44100, 0, nullptr)) {
        std::fprintf(stderr, "engine start failed (%d)\n", engine::ErrorGetCode());
        std::exit(2);
    }
    engine::SetConfig(engine::Config::TimeShift, static_cast<std::uint32_t>(seconds));
    engine::SetConfigPtr(engine::ConfigPtr::TimeShiftFolder, tmpl);
    return tmpl;
}

int RunPause(const Options& o) {
    // A hundred times real time: half an hour in about 20 s, slow enough to watch the memory
    // on the way (the loopback alone goes some thousand times faster).
    ServerProcess server([] { return Station(kKbps * 125 * 100); });
    const std::string folder = StartEngine(o.bound * 60);
    const engine::Handle h = engine::StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
    // Paused as soon as it sounds: played on, the download would run ahead at the loopback's pace
    // and the "live edge" with it.
    if (!h || !engine::ChannelPlay(h, false) || !WaitPlaying(h)) return 2;
    if (!engine::ChannelPause(h)) return 2;
    const long rss_before = StatusKb("VmRSS:");
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    const double start = Info(h).buffered;
    const double target = o.minutes * 60.0;
    double next_mark = 5 * 60;
    long rss_peak = rss_before;
    for (;;) {
        const engine::TimeShiftInfo info = Info(h);
        const long rss = StatusKb("VmRSS:");
        rss_peak = std::max(rss_peak, rss);
        if (info.behind >= next_mark || info.behind >= target) {
            std::printf(
                "  %5.1f min behind live: VmRSS %ld KiB, RssAnon %ld KiB, kept %.1f min%s\n",
                info.behind / 60, rss, StatusKb("RssAnon:"), info.buffered / 60,
                info.drops ? " (bound reached, oldest dropped)" : "");
            std::fflush(stdout);
            next_mark += 5 * 60;
        }
        if (info.behind >= target) break;
        if (Clock::now() - wall0 > std::chrono::minutes(10)) {
            std::printf("  gave up after 10 minutes (%.0f s behind, %.0f s more kept)\n",
                        info.behind, info.buffered - start);
            return 2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const long rss_end = StatusKb("VmRSS:");
    const std::string file = engine::ChannelTimeShiftPath(h);
    std::ifstream f(file, std::ios::binary | std::ios::ate);
    const double file_mb = f ? static_cast<double>(f.tellg()) / 1e6 : 0;
    // Resumes where it paused: the sound goes on.
    const bool resumed = engine::ChannelPlay(h, false) && WaitPlaying(h);
    std::printf(
        "pause: %d min of %d kbps arrived in %.1f s (%.0f times real time); file %.1f MB\n"
        "  CPU %.2f s for %d min of the station = %.3f %% of a core at its real pace\n"
        "  VmRSS %ld KiB at the pause, %ld KiB after it (peak %ld), change %+ld KiB\n"
        "  resumed: %s\n",
        o.minutes, kKbps, wall, o.minutes * 60 / wall, file_mb, cpu, o.minutes,
        100 * cpu / (o.minutes * 60.0), rss_before, rss_end, rss_peak, rss_end - rss_before,
        resumed ? "yes" : "NO");
    std::printf("RESULT pause_rss_kb=%ld\n", rss_end);
    engine::StreamFree(h);
    engine::Free();
    std::system(("rm -rf '" + folder + "'").c_str());
    return resumed ? 0 : 1;
}

int RunPlay(const Options& o, bool shift) {
    // Real time: 40000 bytes a second is 320 kbps.
    ServerProcess server([] { return Station(kKbps * 125); });
    const std::string folder = StartEngine(shift ? o.bound * 60 : 0);
    const engine::Handle h = engine::StreamCreateURL(server.Url().c_str(), 0, 0, nullptr, nullptr);
    if (!h || !engine::ChannelPlay(h, false) || !WaitPlaying(h)) return 2;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const long rss = StatusKb("VmRSS:");
    std::printf(
        "%s: %.0f s of normal play: CPU %.2f %% of a core, VmRSS %ld KiB, RssAnon %ld KiB\n",
        shift ? "play (time-shift on)" : "plain (time-shift off)", wall, 100 * cpu / wall, rss,
        StatusKb("RssAnon:"));
    std::printf("RESULT %s_rss_kb=%ld\n", shift ? "play" : "plain", rss);
    engine::StreamFree(h);
    engine::Free();
    std::system(("rm -rf '" + folder + "'").c_str());
    return 0;
}

// Runs this program with `mode` in a child process and returns the figure its RESULT line gave.
long RunChild(const char* self, const std::string& mode, const Options& o) {
    const std::string cmd = std::string(self) + " " + mode + " --minutes " +
                            std::to_string(o.minutes) + " --bound " + std::to_string(o.bound);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char line[512];
    long value = -1;
    while (std::fgets(line, sizeof line, p)) {
        const char* r = std::strstr(line, "RESULT ");
        if (r) {
            value = std::atol(std::strchr(r, '=') + 1);
            continue;
        }
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    pclose(p);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc) {
            o.minutes = std::atoi(argv[++i]);
        } else if (a == "--bound" && i + 1 < argc) {
            o.bound = std::atoi(argv[++i]);
        } else {
            o.mode = a;
        }
    }
    if (o.mode == "serve") {
        velmora::test::StreamServer server;
        velmora::test::SineSpec spec;
        spec.seconds = 20;
        velmora::test::StreamRoute route;
        route.audio = velmora::test::EncodeSine(spec);
        route.loop = true;
        route.metaint = 16000;  // a second of 128 kbps
        route.titles = {{0, "Loopback Band - Title A"}, {24, "Loopback Band - Title B"}};
        route.headers = {"icy-name:Loopback FM"};
        route.burst_bytes = 16000;
        route.bytes_per_second = 16000;
        server.AddStream("/live", route);
        std::printf("%s\n", server.Url("/live").c_str());
        std::fflush(stdout);
        pause();
        return 0;
    }
    if (o.mode == "pause") return RunPause(o);
    if (o.mode == "play") return RunPlay(o, true);
    if (o.mode == "plain") return RunPlay(o, false);
    const long plain = RunChild(argv[0], "plain", o);
    const long play = RunChild(argv[0], "play", o);
    const long pause = RunChild(argv[0], "pause", o);
    if (plain < 0 || play < 0 || pause < 0) return 2;
    std::printf(
        "\nresident memory after a %d-minute pause: %+ld KiB against a normal play with "
        "time-shift, %+ld KiB against one without (target: within 2048 KiB)\n",
        o.minutes, pause - play, pause - plain);
    return pause - play <= 2048 ? 0 : 1;
}
