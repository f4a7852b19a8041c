// SPDX-License-Identifier: GPL-3.0-or-later
// One GET from the station directory (or a station's icon) over curl: bounded in size and time,
// http(s) only (redirects too), through the user's proxy, and cancellable at once from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "finder/directory_error.h"

namespace velmora {

// A cancel that wakes the transfers that wait for it: Cancel() sets the flag and wakes every
// running transfer's poll, so nothing polls the flag on a timer.
class FetchCancel {
  public:
    void Cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Used by the transfers: a woken poll; false when already cancelled.
    bool Attach(void* multi);
    void Detach(void* multi);

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex m_;  // guards multis_; held while waking, so a detached handle is never woken
    std::vector<void*> multis_;
};

struct FetchSettings {
    std::string user_agent = "Velmora";
    // The user's proxy: "host:port" or "user:pass@host:port"; empty: a direct connection.
    std::string proxy;
    long connect_timeout_ms = 8000;
    long total_timeout_ms = 20000;
    std::size_t max_bytes = 8u << 20;
};

struct FetchResult {
    std::string body;
    long status = 0;
    DirectoryError error;
};

// GETs `url`. A body that passes max_bytes ends the transfer at once with TooLarge.
FetchResult Fetch(const std::string& url, const FetchSettings& settings,
                  const std::shared_ptr<FetchCancel>& cancel);

}  // namespace velmora
