// SPDX-License-Identifier: GPL-3.0-or-later
// What the built player costs while nothing plays: CPU clock ticks and wake-ups (context
// switches) of every thread over a stretch of idle time.
//
//   idle_bench [--seconds N] [--settle N] [--program PATH] [--no-after-stop]
//
// The player runs as its own process with a scratch home folder and dummy sound, offscreen, or
// on the X display in DISPLAY (e.g. Xvfb). First it is measured idle after its start. Then, with
// an X display and xdotool, it plays a loopback station from its user list for a few seconds, is
// stopped by a click on Stop, and is measured again: timers and the sound device must have gone
// quiet after playing too. Each phase waits --settle seconds (default 5) before it samples
// /proc/PID/task/*/stat and status once a second for N seconds (default 30). Exit status 1 when
// a phase misses a target (at most 2 ticks in 30 s, at most 5 wake-ups a second), 2 when a phase
// could not run.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player_process.h"
#include "server_process.h"
#include "support/test_audio.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr double kTicksPer30s = 2;
constexpr double kWakeupsPerSecond = 5;

struct Options {
    double seconds = 30;
    double settle = 5;
    std::string program;
    bool after_stop = true;
};

struct ThreadFigures {
    std::string name;
    long ticks = 0;
    long switches = 0;
};

// Samples the process for `seconds`, once a second so that threads that end meanwhile still
// count with what they did until their last sample. Prints the figures; false on a miss.
bool MeasureIdle(ChildProcess& player, const std::string& phase, double seconds, bool& ran) {
    const pid_t pid = player.pid();
    std::map<int, ThreadSample> first = ReadThreads(pid), last = first;
    const long ticks0 = ProcessTicks(pid);
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) < seconds) {
        Sleep(std::min(1.0, seconds - SecondsSince(start)));
        if (!player.Running()) {
            std::fprintf(stderr, "idle_bench: the player ended during the %s phase\n",
                         phase.c_str());
            ran = false;
            return false;
        }
        for (const auto& [tid, s] : ReadThreads(pid)) last[tid] = s;
    }
    const double wall = SecondsSince(start);
    const long ticks = ProcessTicks(pid) - ticks0;

    std::vector<ThreadFigures> threads;
    long switches = 0;
    for (const auto& [tid, s] : last) {
        const auto was = first.find(tid);
        ThreadFigures t{s.name + " (" + std::to_string(tid) + ")", s.ticks, s.switches};
        if (was != first.end()) {
            t.ticks -= was->second.ticks;
            t.switches -= was->second.switches;
        } else {
            t.name += ", new";
        }
        switches += t.switches;
        threads.push_back(t);
    }
    const double ticks30 = static_cast<double>(ticks) * 30 / wall;
    const double wakeups = static_cast<double>(switches) / wall;
    const bool ticks_ok = ticks30 <= kTicksPer30s;
    const bool wakeups_ok = wakeups <= kWakeupsPerSecond;
    std::printf(
        "idle: %-12s %5.1f ticks in 30 s (target <= %.0f) %s; %6.1f wake-ups/s (target <= "
        "%.0f) %s; %zu threads\n",
        (phase + ":").c_str(), ticks30, kTicksPer30s, ticks_ok ? "ok" : "MISS", wakeups,
        kWakeupsPerSecond, wakeups_ok ? "ok" : "MISS", threads.size());
    for (const ThreadFigures& t : threads) {
        std::printf("idle:   %-32s %5.1f ticks in 30 s %7.1f wake-ups/s\n", t.name.c_str(),
                    static_cast<double>(t.ticks) * 30 / wall,
                    static_cast<double>(t.switches) / wall);
    }
    ran = true;
    return ticks_ok && wakeups_ok;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_", 0) == 0) continue;
        if (a == "--no-after-stop") {
            o.after_stop = false;
        } else if ((a == "--seconds" || a == "--settle" || a == "--program") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--seconds") o.seconds = std::atof(v.c_str());
            if (a == "--settle") o.settle = std::atof(v.c_str());
            if (a == "--program") o.program = v;
        } else {
            return false;
        }
    }
    return o.seconds > 0 && o.settle >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: idle_bench [--seconds N] [--settle N] [--program PATH] "
                     "[--no-after-stop]\n");
        return 2;
    }
    if (o.program.empty()) o.program = Beside("velmora");
    const char* display_env = std::getenv("DISPLAY");
    const std::string display = display_env ? display_env : "";
    const bool can_click = !display.empty() && HaveCommand("xdotool");

    // Before any thread exists: the server process is a fork of this one.
    std::unique_ptr<ServerProcess> server;
    if (o.after_stop && can_click) {
        server = std::make_unique<ServerProcess>([] {
            test::SineSpec spec;
            spec.seconds = 10;
            spec.frequency = test::BinFrequency(6);  // among the bands the analyser shows
            test::StreamRoute route;
            route.audio = test::EncodeSine(spec);
            route.headers = {"icy-name:Bench FM", "icy-br:128"};
            route.burst_bytes = 64000;
            route.bytes_per_second = 16000;
            route.loop = true;
            return route;
        });
    }

    ScratchHome home;
    if (!home.valid()) return 2;
    if (server && !home.WriteChannelList("Bench FM", server->Url())) return 2;
    ChildProcess player;
    if (!player.Start({o.program}, home.PlayerEnv(display))) return 2;
    std::printf("idle: %s, %s, dummy sound, %.0f s per phase\n", o.program.c_str(),
                display.empty() ? "offscreen" : ("X display " + display).c_str(), o.seconds);
    Sleep(o.settle);
    bool ran = false;
    bool ok = MeasureIdle(player, "after start", o.seconds, ran);
    if (!ran) return 2;

    if (!o.after_stop) return ok ? 0 : 1;
    if (!server) {
        std::printf("idle: after stop: needs an X display (DISPLAY) and xdotool\n");
        return ok ? 0 : 1;
    }
    std::uint32_t connections = 0;
    if (!ClickInWindow(display, player.pid(), kFirstUserRowX, kFirstUserRowY)) {
        std::fprintf(stderr, "idle_bench: the player's window did not show\n");
        return 2;
    }
    const auto click = std::chrono::steady_clock::now();
    while (connections == 0 && SecondsSince(click) < 10) {
        Sleep(0.05);
        server->SentAudio(0, 0, nullptr, &connections);
    }
    if (connections == 0) {
        std::fprintf(stderr, "idle_bench: the player did not connect to the station\n");
        return 2;
    }
    Sleep(3);
    ClickInWindow(display, player.pid(), kStopButtonX, kStopButtonY);
    bool finished = false;
    server->SentAudio(0, 5000, &finished);
    if (!finished) {
        std::fprintf(stderr, "idle_bench: Stop did not end the player's connection\n");
        return 2;
    }
    Sleep(o.settle);
    ok = MeasureIdle(player, "after stop", o.seconds, ran) && ok;
    if (!ran) return 2;
    return ok ? 0 : 1;
}
