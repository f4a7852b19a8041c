// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory of the built player program, idle and playing a 128 kbps MP3 loopback station
// with the analyser drawing, of velmora-probe playing the same station, and of mpv beside them.
//
//   memory_bench [--seconds N] [--program PATH] [--probe PATH] [--only player|probe|mpv]
//                [--breakdown] [--serve N]
//
// Each program runs as its own process, as a user starts it, with a scratch home folder and
// dummy sound. The player is started with a user channel list that holds the loopback station;
// with an X display in DISPLAY (e.g. Xvfb) and xdotool installed, a click on that row makes it
// play in its visible window, so the analyser really paints; without them the playing figure is
// left out. Figures are taken after N seconds of playing (default 20). --breakdown prints where
// each process's resident pages are (shared libraries, heap, other anonymous mappings) and at
// most how much of them the process used in its last 5 seconds.
// --serve N only serves the station for N seconds and prints its address, for measuring another
// tool by hand (heaptrack, massif). Exit status 1 when a figure misses its target, 2 when a phase
// could not run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "player_process.h"
#include "server_process.h"
#include "support/test_audio.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

// The stretch at the end of a measurement over which the working set is taken.
constexpr double kWorkingSetSeconds = 5;

struct Options {
    double seconds = 20;
    double settle = 5;
    std::string program, probe;
    std::string only;  // empty: all
    bool breakdown = false;
    double serve = 0;
    bool Runs(const std::string& what) const { return only.empty() || only == what; }
    // Long enough to leave the opening out of the working set.
    bool PlayingWorkingSet() const { return breakdown && seconds > kWorkingSetSeconds + 1; }
};

struct Figure {
    std::string name;
    Memory memory;
    double target_mib = 0;  // 0: none
    std::string note;
};

// Resident memory per kind of mapping, from /proc/PID/smaps, and the largest files mapped.
void PrintBreakdown(pid_t pid, const std::string& what, bool working_set) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, long> by_name;
    std::string line, name;
    while (std::getline(in, line)) {
        const std::size_t dash = line.find('-');
        const bool header = dash != std::string::npos && dash > 0 &&
                            line.find_first_not_of("0123456789abcdef") == dash;
        if (header) {
            std::istringstream fields(line);
            std::string f;
            for (int i = 0; i < 5; ++i) fields >> f;
            name.clear();
            std::getline(fields >> std::ws, name);
            if (name.empty()) name = "[anonymous]";
        } else if (line.rfind("Rss:", 0) == 0) {
            by_name[name] += std::atol(line.c_str() + 4);
        }
    }
    long libs = 0, lib_count = 0, heap = 0, anon = 0, stacks = 0, other = 0;
    std::vector<std::pair<long, std::string>> top;
    for (const auto& [n, kb] : by_name) {
        if (n.find(".so") != std::string::npos || n.find("/bin/") != std::string::npos) {
            libs += kb;
            ++lib_count;
            top.emplace_back(kb, n);
        } else if (n == "[heap]") {
            heap += kb;
        } else if (n == "[anonymous]") {
            anon += kb;
        } else if (n == "[stack]") {
            stacks += kb;
        } else {
            other += kb;
            top.emplace_back(kb, n);
        }
    }
    std::printf(
        "  %s: program and %ld libraries %.1f MiB, heap %.1f MiB, other anonymous "
        "(arenas, thread stacks, buffers) %.1f MiB, main stack %.1f MiB, other %.1f MiB\n",
        what.c_str(), lib_count, Mib(libs), Mib(heap), Mib(anon), Mib(stacks), Mib(other));
    const Memory now = ReadMemory(pid);
    if (working_set) {
        // An upper bound: a shared page counts when any process that maps it used it.
        std::printf(
            "  %s: %.1f MiB resident, of which at most %.1f MiB used in the last %.0f s "
            "(less on a quiet machine)\n",
            what.c_str(), Mib(now.rss_kb), Mib(now.referenced_kb), kWorkingSetSeconds);
    }
    std::sort(top.rbegin(), top.rend());
    for (std::size_t i = 0; i < top.size() && i < 20; ++i) {
        std::printf("    %7.2f MiB  %s\n", Mib(top[i].first), top[i].second.c_str());
    }
}

// Samples the process once a second for `seconds` and returns the last sample; false when the
// process ended early. With `working_set`, the referenced bits are cleared kWorkingSetSeconds
// before the end.
bool Hold(ChildProcess& child, double seconds, Memory& last, bool working_set) {
    const auto start = std::chrono::steady_clock::now();
    bool cleared = false;
    while (SecondsSince(start) < seconds) {
        const double left = seconds - SecondsSince(start);
        if (working_set && !cleared && left <= kWorkingSetSeconds + 0.5) {
            cleared = ClearReferenced(child.pid());
        }
        Sleep(std::min(1.0, left));
        if (!child.Running()) return false;
        const Memory m = ReadMemory(child.pid());
        if (m.valid()) last = m;
    }
    return last.valid();
}

std::uint32_t Connections(ServerProcess& server) {
    std::uint32_t n = 0;
    server.SentAudio(0, 0, nullptr, &n);
    return n;
}

// The player idle after its start, then playing the station from its user list.
bool MeasurePlayer(const Options& o, ServerProcess& server, std::vector<Figure>& out) {
    ScratchHome home;
    if (!home.valid() || !home.WriteChannelList("Bench FM", server.Url())) return false;
    const char* display_env = std::getenv("DISPLAY");
    const std::string display = display_env ? display_env : "";
    ChildProcess player;
    if (!player.Start({o.program}, home.PlayerEnv(display))) return false;
    Memory idle;
    // The start-up itself must not count in the idle working set.
    const bool idle_working_set = o.breakdown && o.settle > kWorkingSetSeconds + 1;
    if (!Hold(player, o.settle, idle, idle_working_set)) {
        std::fprintf(stderr, "memory_bench: %s ended during its start\n", o.program.c_str());
        return false;
    }
    out.push_back({"player idle", idle, 0, display.empty() ? "offscreen" : "X display " + display});
    if (o.breakdown) PrintBreakdown(player.pid(), "player idle", idle_working_set);

    if (display.empty() || !HaveCommand("xdotool")) {
        out.push_back({"player playing", {}, 60, "needs an X display (DISPLAY) and xdotool"});
        return true;
    }
    const std::uint32_t before = Connections(server);
    if (!ClickInWindow(display, player.pid(), kFirstUserRowX, kFirstUserRowY)) {
        std::fprintf(stderr, "memory_bench: the player's window did not show\n");
        return false;
    }
    const auto click = std::chrono::steady_clock::now();
    while (Connections(server) == before && SecondsSince(click) < 10) Sleep(0.05);
    if (Connections(server) == before) {
        std::fprintf(stderr, "memory_bench: the player did not connect to the station\n");
        return false;
    }
    Memory playing;
    if (!Hold(player, o.seconds, playing, o.PlayingWorkingSet())) {
        std::fprintf(stderr, "memory_bench: the player ended while playing\n");
        return false;
    }
    bool finished = true;
    server.SentAudio(before, 0, &finished);
    if (finished) {
        std::fprintf(stderr, "memory_bench: the player's connection ended while playing\n");
        return false;
    }
    out.push_back({"player playing", playing, 60, "analyser drawing"});
    if (o.breakdown) PrintBreakdown(player.pid(), "player playing", o.PlayingWorkingSet());
    return true;
}

// A command-line player (the probe, mpv) playing the station for the same time.
bool MeasureTool(const Options& o, const std::string& name, const std::vector<std::string>& argv,
                 double target, ServerProcess& server, std::vector<Figure>& out) {
    ScratchHome home;
    if (!home.valid()) return false;
    const std::uint32_t before = Connections(server);
    ChildProcess tool;
    if (!tool.Start(argv, home.PlayerEnv(""))) return false;
    Memory m;
    const bool ran = Hold(tool, o.seconds, m, o.PlayingWorkingSet());
    if (!ran || Connections(server) == before) {
        std::fprintf(stderr, "memory_bench: %s did not play the station\n", name.c_str());
        return false;
    }
    out.push_back({name, m, target, ""});
    if (o.breakdown) PrintBreakdown(tool.pid(), name, o.PlayingWorkingSet());
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_", 0) == 0) continue;
        if (a == "--breakdown") {
            o.breakdown = true;
        } else if ((a == "--seconds" || a == "--program" || a == "--probe" || a == "--only" ||
                    a == "--serve") &&
                   i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--serve") o.serve = std::atof(v.c_str());
            if (a == "--only") o.only = v;
            if (a == "--seconds") o.seconds = std::atof(v.c_str());
            if (a == "--program") o.program = v;
            if (a == "--probe") o.probe = v;
        } else {
            return false;
        }
    }
    return o.seconds > 0 &&
           (o.only.empty() || o.only == "player" || o.only == "probe" || o.only == "mpv");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: memory_bench [--seconds N] [--program PATH] [--probe PATH] "
                     "[--breakdown]\n");
        return 2;
    }
    if (o.program.empty()) o.program = Beside("velmora");
    if (o.probe.empty()) {
        o.probe = (std::filesystem::path(o.program).parent_path() / "velmora-probe").string();
    }

    // Before any thread exists: the server process is a fork of this one.
    ServerProcess server([] {
        test::SineSpec spec;
        spec.seconds = 30;
        spec.bit_rate = 128000;
        spec.frequency = test::BinFrequency(6);  // among the bands the analyser shows
        test::StreamRoute route;
        route.audio = test::EncodeSine(spec);
        route.headers = {"icy-name:Bench FM", "icy-br:128"};
        route.metaint = 16000;
        route.titles = {{0, "Bench Artist - Bench Title"}};
        route.burst_bytes = 64000;  // four seconds at once, then real time
        route.bytes_per_second = 16000;
        route.loop = true;
        return route;
    });
    const std::string url = server.Url();
    if (o.serve > 0) {
        std::printf("%s\n", url.c_str());
        std::fflush(stdout);
        Sleep(o.serve);
        return 0;
    }

    std::vector<Figure> figures;
    if (o.Runs("player") && !MeasurePlayer(o, server, figures)) return 2;
    const std::string secs = std::to_string(o.seconds + 10);
    if (o.Runs("probe") &&
        !MeasureTool(o, "velmora-probe", {o.probe, "--seconds", secs, url}, 40, server, figures)) {
        return 2;
    }
    if (!o.Runs("mpv")) {
    } else if (HaveCommand("mpv")) {
        if (!MeasureTool(o, "mpv", {"mpv", "--no-video", "--ao=null", "--really-quiet", url}, 0,
                         server, figures)) {
            return 2;
        }
    } else {
        figures.push_back({"mpv", {}, 0, "not installed"});
    }

    bool missed = false;
    std::printf("memory: %s, after %.0f s of playing a 128 kbps MP3 loopback station\n",
                o.program.c_str(), o.seconds);
    std::printf("memory: %-16s %9s %9s %9s\n", "", "RSS MiB", "PSS MiB", "anon MiB");
    for (const Figure& f : figures) {
        if (!f.memory.valid()) {
            std::printf("memory: %-16s %s\n", (f.name + ":").c_str(), f.note.c_str());
            continue;
        }
        std::string verdict;
        if (f.target_mib > 0) {
            const bool ok = Mib(f.memory.rss_kb) < f.target_mib;
            missed |= !ok;
            char buf[48];
            std::snprintf(buf, sizeof buf, "  (target < %.0f MiB) %s", f.target_mib,
                          ok ? "ok" : "MISS");
            verdict = buf;
        }
        std::printf("memory: %-16s %9.1f %9.1f %9.1f%s%s%s\n", (f.name + ":").c_str(),
                    Mib(f.memory.rss_kb), Mib(f.memory.pss_kb), Mib(f.memory.anon_kb),
                    verdict.c_str(), f.note.empty() ? "" : "  ", f.note.c_str());
    }
    return missed ? 1 : 0;
}
