// SPDX-License-Identifier: GPL-3.0-or-later
// Upgrader: the small program the player writes out and starts to replace itself.
//
//   Upgrader PROGRAM NEW_FILE [DOWNLOAD_NAME]
//
// Started in the program's folder while the player still runs. It waits until the player (the
// process VELMORA_PLAYER_PID names) has ended, puts NEW_FILE in place of PROGRAM atomically (a copy
// in the same folder renamed over it, with the old file's mode), deletes NEW_FILE and starts the
// program again in its place. Nothing is replaced when anything before the rename fails, and then
// the old program is started again.
// A failure is written to "Upgrade.failed" beside NEW_FILE ("replace" or "start", a tab and the
// reason), where the next start of the player finds it and tells the user once: by then the
// player has ended and nobody reads this program's stderr.
// DOWNLOAD_NAME, the file name of the download address, is informational only.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

std::string g_report;  // the failure record's path

// `kind` is "replace" (nothing was replaced) or "start" (replaced, but not started).
int Fail(const char* kind, const char* what, const std::string& subject) {
    const std::string reason = std::string(what) + " " + subject + ": " + std::strerror(errno);
    std::fprintf(stderr, "Upgrader: %s\n", reason.c_str());
    if (!g_report.empty()) {
        const int fd =
            ::open(g_report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const std::string line = std::string(kind) + "\t" + reason + "\n";
            [[maybe_unused]] const ssize_t w = ::write(fd, line.data(), line.size());
            ::close(fd);
        }
    }
    return 1;
}

// Once the player has ended, a failure must not leave the user without it: the old program, still
// whole, is started again.
[[noreturn]] void FailAndRestart(const char* what, const std::string& subject,
                                 const std::string& program) {
    Fail("replace", what, subject);
    ::unsetenv("VELMORA_PLAYER_PID");
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    Fail("start", "cannot start", program);
    std::_Exit(1);
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Returns once the process has ended. The player starts this program only when everything is
// ready and ends after the user has read its last box, however long that takes.
void WaitForEnd(pid_t pid) {
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
        return;
    }
    if (errno == ESRCH) return;
#endif
    // Kernels without pidfd: look every 50 ms.
    while (Alive(pid)) {
        const timespec step{0, 50 * 1000 * 1000};
        ::nanosleep(&step, nullptr);
    }
}

bool CopyAll(int from, int to) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM NEW_FILE [DOWNLOAD_NAME]\n", argv[0]);
        return 2;
    }
    std::string program = argv[1];
    const std::string new_file = argv[2];
    if (const auto slash = new_file.rfind('/'); slash != std::string::npos) {
        g_report = new_file.substr(0, slash + 1) + "Upgrade.failed";
    }
    if (program.find('/') == std::string::npos) {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd)) {
            return Fail("replace", "cannot read the working folder for", program);
        }
        program = std::string(cwd) + "/" + program;
    }

    if (const char* env = std::getenv("VELMORA_PLAYER_PID")) {
        const long pid = std::strtol(env, nullptr, 10);
        if (pid > 0) WaitForEnd(static_cast<pid_t>(pid));
    }

    struct stat old_stat {};
    if (::stat(program.c_str(), &old_stat) != 0 || !S_ISREG(old_stat.st_mode)) {
        return Fail("replace", "cannot replace", program);
    }
    const int in = ::open(new_file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) FailAndRestart("cannot read", new_file, program);

    // A copy beside the program, so that the rename is atomic: the program file is at every
    // moment either the old one or the new one, whole.
    const auto slash = program.rfind('/');
    std::string temp =
        program.substr(0, slash + 1) + "." + program.substr(slash + 1) + ".new-XXXXXX";
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        ::close(in);
        FailAndRestart("cannot create a file beside", program, program);
    }
    const bool written =
        CopyAll(in, out) && ::fchmod(out, old_stat.st_mode & 07777) == 0 && ::fsync(out) == 0;
    ::close(in);
    if (::close(out) != 0 || !written || ::rename(temp.c_str(), program.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        errno = e;
        FailAndRestart("cannot replace", program, program);
    }
    ::unlink(new_file.c_str());

    ::unsetenv("VELMORA_PLAYER_PID");
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    return Fail("start", "replaced, but cannot start", program);
}
