// SPDX-License-Identifier: GPL-3.0-or-later
// The tests' one way to wait for something another thread or the event loop brings about: ask
// again until it holds or the deadline passes. No test sleeps a fixed time hoping it is enough.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace velmora::test {

// Asks `done` until it holds or `timeout` passes, running `between` (a window test's event loop)
// before each short pause; returns the last value of `done`.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                      const std::function<void()>& between = {}) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        if (between) between();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace velmora::test
