// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program's CPU while the main window plays a 128 kbps MP3 station with the analyser
// drawing 30 frames a second, against the same station played by velmora-probe alone, and the
// same window with the analyser's timer stopped, which isolates what the analyser adds.
//
//   analyser_cpu_bench [--seconds N] [--rounds N] [--probe PATH]
//
// A plain program that prints its figures on lines starting with "BM_" (options of Google
// Benchmark, as scripts/run-benchmarks passes them, are ignored). The loopback server runs in a
// child process, so its CPU never counts; the window's CPU is this process's CPU clock, the
// probe's the rusage of its process. Each phase opens the station afresh (an initial burst, then
// real time) and plays it for N seconds in the application's own event loop. With several rounds
// the phases alternate and the medians are printed. Exit status 1 when the analyser costs 1 % of
// one core or more, 2 when a phase could not be run.
#include <QApplication>
#include <QEventLoop>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/main_window.h"
#include "channels/channel_list_model.h"
#include "engine/engine.h"
#include "server_process.h"
#include "support/test_audio.h"
#include "support/window_harness.h"
#include "widgets/picture_button.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace velmora;

struct Options {
    double seconds = 20;
    int rounds = 1;
    std::string probe;
};

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Elapsed(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs the application's event loop for `seconds`, as the program does between user actions.
void RunEventLoop(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

bool PlayingState(engine::Handle h) {
    return engine::ChannelIsActive(h) == static_cast<int>(engine::ActiveState::Playing);
}

struct Phase {
    double wall = 0;      // seconds from the click to the stop
    double cpu = 0;       // process CPU seconds over that time
    double main_cpu = 0;  // of which the user-interface thread
    double percent() const { return cpu * 100 / wall; }
    double main_percent() const { return main_cpu * 100 / wall; }
};

// One phase of the window: a click on the station, `seconds` of playing from the moment the
// stream plays, and a click on Stop. False when the station never played.
bool PlayInWindow(MainWindow& form, bool analyser, double seconds, Phase& out) {
    auto* timer1 = form.findChild<QTimer*>("Timer1");
    auto* stop = form.findChild<PictureButton*>("Image4");
    if (!timer1 || !stop) {
        std::fprintf(stderr, "analyser_cpu_bench: Timer1 or Image4 not found\n");
        return false;
    }
    QListView* list = form.Channels()->View();
    form.Channels()->ClearSelection();

    const auto w0 = Clock::now();
    const double p0 = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double m0 = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
    test::ClickAt(list->viewport(), list->visualRect(form.Channels()->index(0)).center());
    // Waiting for the stream in the event loop, with a check every 10 ms.
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (PlayingState(form.CurrentStream()) || Elapsed(w0) > 10) wait.quit();
    });
    poll.start(10);
    wait.exec();
    poll.stop();
    if (!PlayingState(form.CurrentStream())) {
        std::fprintf(stderr, "analyser_cpu_bench: the station did not play within 10 s\n");
        return false;
    }
    // The window starts its analyser once the stream sounds; the phase without it stops it.
    if (!analyser) timer1->stop();
    RunEventLoop(seconds);
    const bool still_playing = PlayingState(form.CurrentStream());
    test::Click(stop);
    out.cpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
    out.main_cpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - m0;
    out.wall = Elapsed(w0);
    // Let the engine settle before the next phase.
    RunEventLoop(0.5);
    if (!still_playing) {
        std::fprintf(stderr, "analyser_cpu_bench: the stream stopped playing during the phase\n");
        return false;
    }
    return true;
}

// velmora-probe playing the station for `seconds`, its whole life in its own process.
bool PlayInProbe(const std::string& probe, const std::string& url, double seconds, Phase& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string secs = std::to_string(seconds);
    std::vector<char*> argv = {const_cast<char*>(probe.c_str()), const_cast<char*>("--seconds"),
                               const_cast<char*>(secs.c_str()), const_cast<char*>(url.c_str()),
                               nullptr};
    const auto w0 = Clock::now();
    pid_t pid = -1;
    const int err = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        std::fprintf(stderr, "analyser_cpu_bench: cannot run %s: %s\n", probe.c_str(),
                     std::strerror(err));
        return false;
    }
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) != pid) return false;
    out.wall = Elapsed(w0);
    out.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
              static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "analyser_cpu_bench: the probe ended with status %d\n", status);
        return false;
    }
    return true;
}

std::string DefaultProbe() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("velmora-probe") : (self.parent_path() / "velmora-probe").string();
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_", 0) == 0) continue;
        if ((a == "--seconds" || a == "--rounds" || a == "--probe") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--seconds") o.seconds = std::atof(v.c_str());
            if (a == "--rounds") o.rounds = std::atoi(v.c_str());
            if (a == "--probe") o.probe = v;
        } else {
            return false;
        }
    }
    return o.seconds > 0 && o.rounds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: analyser_cpu_bench [--seconds N] [--rounds N] [--probe PATH]\n");
        return 2;
    }
    if (o.probe.empty()) o.probe = DefaultProbe();

    // Before any thread exists: the server process is a fork of this one.
    bench::ServerProcess server([] {
        test::SineSpec spec;
        spec.seconds = 30;
        spec.bit_rate = 128000;
        test::StreamRoute route;
        route.audio = test::EncodeSine(spec);
        route.headers = {"icy-name:Bench FM", "icy-br:128"};
        route.burst_bytes = 64000;  // four seconds at once, then real time
        route.bytes_per_second = 16000;
        route.loop = true;
        return route;
    });
    const std::string url = server.Url();

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The window's settings, channel list and documents go to a home folder of the run's own.
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit().constData(), 1);

    QApplication app(argc, argv);
    test::AnsweringDialogs answers;
    SetDialogs(&answers);
    auto* form = new MainWindow;
    if (!form->StartedUp()) {
        std::fprintf(stderr, "analyser_cpu_bench: the window could not start the engine\n");
        return 2;
    }
    form->show();
    form->Channels()->ReplaceAll({{"Bench FM", QString::fromStdString(url), {}, {}}});
    RunEventLoop(0.5);

    std::vector<double> with, without, probe, with_main, without_main;
    for (int r = 0; r < o.rounds; ++r) {
        Phase p, a, n;
        if (!PlayInProbe(o.probe, url, o.seconds, p)) return 2;
        if (!PlayInWindow(*form, true, o.seconds, a)) return 2;
        if (!PlayInWindow(*form, false, o.seconds, n)) return 2;
        std::fprintf(stderr,
                     "round %d: probe %.3f s CPU in %.2f s; window with analyser %.3f s "
                     "(UI thread %.3f s) in %.2f s; without %.3f s (UI thread %.3f s) in %.2f s\n",
                     r + 1, p.cpu, p.wall, a.cpu, a.main_cpu, a.wall, n.cpu, n.main_cpu, n.wall);
        probe.push_back(p.percent());
        with.push_back(a.percent());
        without.push_back(n.percent());
        with_main.push_back(a.main_percent());
        without_main.push_back(n.main_percent());
    }
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetDialogs(nullptr);

    const double w = Median(with), wo = Median(without), pr = Median(probe);
    const double share = w - wo;
    const double ui_share = Median(with_main) - Median(without_main);
    std::printf("BM_AnalyserCpu/window_with_analyser     %7.3f %% of one core\n", w);
    std::printf("BM_AnalyserCpu/window_without_analyser  %7.3f %% of one core\n", wo);
    std::printf("BM_AnalyserCpu/probe_alone              %7.3f %% of one core\n", pr);
    std::printf("BM_AnalyserCpu/window_over_probe        %7.3f %% of one core\n", w - pr);
    std::printf("BM_AnalyserCpu/ui_thread_with_analyser  %7.3f %% of one core\n",
                Median(with_main));
    std::printf("BM_AnalyserCpu/ui_thread_without        %7.3f %% of one core\n",
                Median(without_main));
    std::printf(
        "BM_AnalyserCpu/analyser_share           %7.3f %% of one core "
        "(UI thread alone %.3f %%; target < 1 %%) %s\n",
        share, ui_share, share < 1.0 ? "OK" : "MISS");
    std::printf("(%d round(s) of %.0f s per phase, 128 kbps MP3, analyser every 33 ms)\n", o.rounds,
                o.seconds);
    return share < 1.0 ? 0 : 1;
}
