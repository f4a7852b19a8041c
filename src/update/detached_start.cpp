// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/detached_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/posix_io.h"

extern char** environ;

namespace velmora {

namespace {

// Reports errno to the waiting parent and ends the child; only async-signal-safe calls.
[[noreturn]] void ChildFailed(int report_fd) {
    const int e = errno;
    [[maybe_unused]] const ssize_t w = ::write(report_fd, &e, sizeof e);
    ::_exit(127);
}

}  // namespace

bool StartDetached(int folder_fd, const std::string& name, const std::vector<std::string>& args,
                   const std::string& working_folder, const std::vector<std::string>& extra_env,
                   std::string* error) {
    const int exe = ::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (exe < 0) {
        *error = name + ": " + ErrnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(exe, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        ::close(exe);
        *error = name + ": not a program file of this user";
        return false;
    }
    // Everything the child needs is made before the fork: a forked child of a threaded process
    // may not allocate.
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (const std::string& e : extra_env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    // The exec closes the report pipe: end of file without a number means the program runs.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = ErrnoText(errno);
        ::close(exe);
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        if (::setsid() < 0) ChildFailed(report[1]);
        const pid_t grandchild = ::fork();
        if (grandchild < 0) ChildFailed(report[1]);
        if (grandchild > 0) ::_exit(0);  // the grandchild is nobody's child: init reaps it
        if (::chdir(working_folder.c_str()) != 0) ChildFailed(report[1]);
        ::fexecve(exe, argv.data(), envp.data());
        ChildFailed(report[1]);
    }
    const int fork_error = errno;
    ::close(report[1]);
    ::close(exe);
    if (child < 0) {
        ::close(report[0]);
        *error = ErrnoText(fork_error);
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int child_errno = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &child_errno, sizeof child_errno);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof child_errno)) {
        *error = ErrnoText(child_errno);
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = "the upgrader's start was interrupted";
        return false;
    }
    return true;
}

}  // namespace velmora
