// SPDX-License-Identifier: GPL-3.0-or-later
// What the idle and memory benchmarks share: running a built program as a child process with a
// scratch home folder, reading its memory and its threads' CPU and context switches from /proc,
// and clicking in its window through xdotool when an X display is given.
#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::bench {

// A file beside the running benchmark (the build's bin folder).
inline std::string Beside(const std::string& file) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? file : (self.parent_path() / file).string();
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The value in kB after "key:" in a /proc status-like text, or -1.
inline long FieldKb(const std::string& text, const std::string& key) {
    std::size_t from = 0;
    if (text.rfind(key + ":", 0) != 0) {
        const std::size_t at = text.find("\n" + key + ":");
        if (at == std::string::npos) return -1;
        from = at + 1;
    }
    return std::strtol(text.c_str() + from + key.size() + 1, nullptr, 10);
}

inline double Mib(long kb) {
    return static_cast<double>(kb) / 1024.0;
}

struct Memory {
    long rss_kb = -1;   // VmRSS: every resident page mapped, shared library pages included
    long pss_kb = -1;   // shared pages divided among the processes that map them
    long anon_kb = -1;  // anonymous pages: heap, arenas, stacks, relocated library data
    // Pages used since the last ClearReferenced: the working set, as opposed to pages touched
    // once (loading, start-up) that stay resident until the kernel needs the memory. A page of a
    // shared library also counts when another process used it meanwhile.
    long referenced_kb = -1;
    bool valid() const { return rss_kb >= 0; }
};

inline Memory ReadMemory(pid_t pid) {
    const std::string rollup = ReadText("/proc/" + std::to_string(pid) + "/smaps_rollup");
    Memory m;
    m.rss_kb = FieldKb(rollup, "Rss");
    m.pss_kb = FieldKb(rollup, "Pss");
    m.anon_kb = FieldKb(rollup, "Anonymous");
    m.referenced_kb = FieldKb(rollup, "Referenced");
    return m;
}

// Clears the process's page-referenced bits (as the owner of the process may).
inline bool ClearReferenced(pid_t pid) {
    std::ofstream out("/proc/" + std::to_string(pid) + "/clear_refs");
    out << "1";
    out.flush();
    return static_cast<bool>(out);
}

// utime + stime of a /proc stat line, in clock ticks; -1 when unreadable.
inline long StatTicks(const std::string& stat) {
    // The name in parentheses may hold blanks; the fields count from after its ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return in ? utime + stime : -1;
}

// The whole process's ticks, threads that already ended included.
inline long ProcessTicks(pid_t pid) {
    return StatTicks(ReadText("/proc/" + std::to_string(pid) + "/stat"));
}

struct ThreadSample {
    std::string name;
    long ticks = 0;
    long switches = 0;  // voluntary + nonvoluntary: each one is a wake-up or a preemption
};

inline std::map<int, ThreadSample> ReadThreads(pid_t pid) {
    std::map<int, ThreadSample> out;
    std::error_code ec;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string task = e.path().string();
        const std::string status = ReadText(task + "/status");
        const long vol = FieldKb(status, "voluntary_ctxt_switches");
        const long invol = FieldKb(status, "nonvoluntary_ctxt_switches");
        const long ticks = StatTicks(ReadText(task + "/stat"));
        if (vol < 0 || invol < 0 || ticks < 0) continue;  // ended while being read
        ThreadSample s;
        s.name = ReadText(task + "/comm");
        if (!s.name.empty() && s.name.back() == '\n') s.name.pop_back();
        s.ticks = ticks;
        s.switches = vol + invol;
        out[std::atoi(e.path().filename().c_str())] = s;
    }
    return out;
}

// A child process started with extra environment, its output sent to a log file.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Terminate(); }

    bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& log = "/dev/null") {
        std::map<std::string, std::string> all;
        for (char** e = environ; *e; ++e) {
            const std::string kv = *e;
            const std::size_t eq = kv.find('=');
            if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
        for (const auto& [k, v] : env) {
            if (v.empty()) {
                all.erase(k);
            } else {
                all[k] = v;
            }
        }
        std::vector<std::string> env_text;
        for (const auto& [k, v] : all) env_text.push_back(k + "=" + v);
        std::vector<char*> envp, args;
        for (auto& s : env_text) envp.push_back(s.data());
        envp.push_back(nullptr);
        std::vector<std::string> argv_copy = argv;
        for (auto& s : argv_copy) args.push_back(s.data());
        args.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int err = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (err != 0) {
            std::fprintf(stderr, "cannot run %s: %s\n", argv[0].c_str(), std::strerror(err));
            pid_ = -1;
            return false;
        }
        return true;
    }

    pid_t pid() const { return pid_; }

    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // SIGTERM (the player closes as the user would), then SIGKILL after `grace`.
    void Terminate(std::chrono::milliseconds grace = std::chrono::seconds(5)) {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        const auto until = std::chrono::steady_clock::now() + grace;
        while (std::chrono::steady_clock::now() < until) {
            if (!Running()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// A home folder of the run's own, so that no user file is read or written; removed at the end.
class ScratchHome {
  public:
    ScratchHome() {
        std::string templ =
            (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
        if (mkdtemp(templ.data())) path_ = templ;
    }
    ~ScratchHome() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    bool valid() const { return !path_.empty(); }
    std::string ConfigHome() const { return path_ + "/.config"; }

    // The user channel list holds one station; it is the list's first row.
    bool WriteChannelList(const std::string& name, const std::string& url) const {
        const std::string folder = ConfigHome() + "/Kestrin/VLR";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        std::ofstream out(folder + "/ChannelList.vlr");
        out << "=" << name << "=" << url << "===\n";
        return static_cast<bool>(out);
    }

    // The environment of a player run: this home, dummy sound, the given display or none.
    std::map<std::string, std::string> PlayerEnv(const std::string& display) const {
        std::map<std::string, std::string> env = {{"HOME", path_},
                                                  {"XDG_CONFIG_HOME", ConfigHome()},
                                                  {"XDG_CACHE_HOME", path_ + "/.cache"},
                                                  {"XDG_DATA_HOME", path_ + "/.local/share"},
                                                  {"SDL_AUDIODRIVER", "dummy"}};
        if (display.empty()) {
            env["QT_QPA_PLATFORM"] = "offscreen";
            env["DISPLAY"] = "";
        } else {
            env["QT_QPA_PLATFORM"] = "xcb";
            env["DISPLAY"] = display;
        }
        return env;
    }

  private:
    std::string path_;
};

// The standard output of a command run to its end; empty when it could not be run.
inline std::string RunCapture(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (auto& s : copy) args.push_back(s.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    if (err == 0) {
        char buf[512];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        waitpid(pid, nullptr, 0);
    }
    close(fds[0]);
    return out;
}

inline bool HaveCommand(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Clicks in the top-level window of process `pid` on `display`, at window coordinates. The
// window is found by its process id, waiting up to `wait` for it to be mapped.
inline bool ClickInWindow(const std::string& display, pid_t pid, int x, int y,
                          std::chrono::seconds wait = std::chrono::seconds(10)) {
    setenv("DISPLAY", display.c_str(), 1);
    std::string window;
    const auto until = std::chrono::steady_clock::now() + wait;
    while (window.empty() && std::chrono::steady_clock::now() < until) {
        const std::string found =
            RunCapture({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
        window = found.substr(0, found.find('\n'));
        if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (window.empty()) return false;
    RunCapture({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y),
                "click", "1"});
    return true;
}

// Window coordinates of the controls the benchmarks press (the window lays them out at fixed
// places): the first row of the open user channel list, which starts that station, and Stop.
inline constexpr int kFirstUserRowX = 440, kFirstUserRowY = 86;
inline constexpr int kStopButtonX = 184, kStopButtonY = 143;

inline double SecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

inline void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace velmora::bench
