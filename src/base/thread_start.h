// SPDX-License-Identifier: GPL-3.0-or-later
// The one way a worker thread starts: its body runs behind a last guard, so that whatever escapes
// it ends that worker's job the way its owner chose, never the process by accident.
#pragma once

#include <exception>
#include <thread>
#include <utility>

namespace velmora {

// Runs `body()` on a new thread; anything it throws goes to `on_throw()`, on that thread. The
// caller joins or detaches the result.
template <typename Body, typename OnThrow>
std::thread StartThread(Body body, OnThrow on_throw) {
    return std::thread([body = std::move(body), on_throw = std::move(on_throw)]() mutable {
        try {
            body();
        } catch (...) {
            on_throw();
        }
    });
}

// For a worker that must never throw: a throw is a bug, and ends the process where it happened.
inline void AbortOnThrow() {
    std::terminate();
}

}  // namespace velmora
