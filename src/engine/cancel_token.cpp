// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cancel_token.h"

#include <algorithm>

namespace engine {

void CancelToken::Cancel() {
    std::lock_guard lock(m_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    for (const auto& w : wakes_) w.second();
}

std::uint64_t CancelToken::Add(std::function<void()> wake) {
    std::lock_guard lock(m_);
    if (cancelled()) {
        wake();
        return 0;
    }
    const std::uint64_t id = next_id_++;
    wakes_.emplace_back(id, std::move(wake));
    return id;
}

void CancelToken::Remove(std::uint64_t id) {
    std::function<void()> gone;  // destroyed outside the lock: it may own what it wakes
    std::lock_guard lock(m_);
    const auto it =
        std::find_if(wakes_.begin(), wakes_.end(), [id](const auto& w) { return w.first == id; });
    if (it == wakes_.end()) return;
    gone = std::move(it->second);
    wakes_.erase(it);
}

CancelToken::Registration::Registration(std::shared_ptr<CancelToken> token,
                                        std::function<void()> wake)
    : token_(std::move(token)) {
    if (token_) id_ = token_->Add(std::move(wake));
}

CancelToken::Registration& CancelToken::Registration::operator=(Registration&& other) noexcept {
    if (this != &other) {
        Reset();
        token_ = std::move(other.token_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void CancelToken::Registration::Reset() {
    if (token_ && id_ != 0) token_->Remove(id_);
    token_.reset();
    id_ = 0;
}

}  // namespace engine
