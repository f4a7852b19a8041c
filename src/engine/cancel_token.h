// SPDX-License-Identifier: GPL-3.0-or-later
// A cancel that wakes whoever waits for it: a wait registers a wake-up (notify its condition
// variable, wake curl) for as long as it waits, and Cancel() runs every registered wake-up, so
// nobody has to poll the flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace engine {

class CancelToken {
  public:
    CancelToken() = default;
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    // Sets the flag, then runs every registered wake-up once. Later calls do nothing.
    void Cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // A registered wake-up, unregistered when destroyed; once the destructor returns, the wake-up
    // is not running and never runs again. A wake-up registered on a token already cancelled runs
    // at once. The wake-up may take the waiter's lock (to notify its condition variable without
    // losing the wake-up), so a waiter must register and unregister outside that lock.
    class Registration {
      public:
        Registration() = default;
        Registration(std::shared_ptr<CancelToken> token, std::function<void()> wake);
        Registration(Registration&& other) noexcept { *this = std::move(other); }
        Registration& operator=(Registration&& other) noexcept;
        ~Registration() { Reset(); }
        void Reset();

      private:
        std::shared_ptr<CancelToken> token_;
        std::uint64_t id_ = 0;
    };

  private:
    std::uint64_t Add(std::function<void()> wake);
    void Remove(std::uint64_t id);

    std::atomic<bool> cancelled_{false};
    // --- protected by m_, which is also held while the wake-ups run: Remove() thereby waits for
    // a wake-up that is running, so its waiter may go away right after.
    std::mutex m_;
    std::uint64_t next_id_ = 1;
    std::vector<std::pair<std::uint64_t, std::function<void()>>> wakes_;
};

}  // namespace engine
