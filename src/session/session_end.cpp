// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session_end.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace velmora {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler on whichever thread the signal lands; only write() is used there, the
// one thing a signal handler may safely do to reach the event loop.
std::atomic<int> g_write_fd{-1};

void OnSignal(int signal_number) {
    const int saved_errno = errno;
    const char byte = static_cast<char>(signal_number);
    const int fd = g_write_fd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        // A full socket already holds a pending request, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t n = write(fd, &byte, 1);
    }
    errno = saved_errno;
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) sigaction(s, &action, nullptr);
}

}  // namespace

SessionEnd::SessionEnd(QWidget* window) : QObject(window), window_(window) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) == 0) {
        notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &SessionEnd::OnSignalBytes);
        g_write_fd.store(fds_[1]);
        SetHandler(OnSignal);
    }
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::OnCommitData);
#endif
    // An exit that bypasses the window's close (a quit from elsewhere) still saves.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (window_ && window_->isVisible()) CloseWindow();
    });
}

SessionEnd::~SessionEnd() {
    if (fds_[0] < 0) return;
    SetHandler(SIG_DFL);
    g_write_fd.store(-1);
    close(fds_[0]);
    close(fds_[1]);
}

void SessionEnd::OnSignalBytes() {
    char bytes[64];
    while (read(fds_[0], bytes, sizeof bytes) > 0) {
    }
    CloseWindow();
}

#ifndef QT_NO_SESSIONMANAGER
void SessionEnd::OnCommitData(QSessionManager& manager) {
    CloseWindow();
    // The window refused (its files could not be written): the session should not end over it.
    if (window_ && window_->isVisible()) manager.cancel();
}
#endif

void SessionEnd::CloseWindow() {
    if (closing_) {
        again_ = true;
    }
    // Each close of a box ends its own event loop; a box that refuses to close ends the search.
    for (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window_;) {
        modal->close();
        QWidget* next = QApplication::activeModalWidget();
        if (next == modal) break;
        modal = next;
    }
    if (closing_) return;
    closing_ = true;
    do {
        again_ = false;
        if (window_) window_->close();
    } while (again_ && window_ && window_->isVisible());
    closing_ = false;
}

}  // namespace velmora
