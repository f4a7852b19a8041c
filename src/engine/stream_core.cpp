// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stream_core.h"

#include "engine/demux_session.h"

namespace engine {

StreamCore::StreamCore() = default;
StreamCore::~StreamCore() = default;

void StreamCore::Kill() {
    dead.store(true, std::memory_order_release);
    Wake();
    const std::shared_ptr<ByteRing> r = Ring();
    if (r) r->Abort();
    pcm.Abort();
}

void StreamCore::Wake() {
    std::shared_ptr<ByteRing> r;
    {
        std::lock_guard lock(ev_m);
        r = ring;
        // The download thread clears `wake` under this lock before it goes away.
        if (wake) wake();
        ev_cv.notify_all();
    }
    if (r) r->Wake();
}

bool StreamCore::TakenForAudio() {
    std::unique_lock lock(ev_m);
    // A decision, a free and a cancel of the creation all notify ev_cv. Keep() decides under
    // this lock after looking at the cancel, so a cancel seen here is one the creation fails on.
    ev_cv.wait(lock, [this] {
        return decision == Decision::Kept || decision == Decision::Reject || !Alive();
    });
    return decision == Decision::Kept;
}

bool StreamCore::Keep() {
    std::lock_guard lock(ev_m);
    // Set first: a cancel from now on no longer ends the transfer of a stream the caller gets.
    created = true;
    decision = cancel && cancel->cancelled() ? Decision::Reject : Decision::Kept;
    ev_cv.notify_all();
    if (wake) wake();
    return decision == Decision::Kept;
}

void StreamCore::ReleaseCallbacks() {
    std::shared_ptr<void> gone = std::move(user);
    std::vector<Sync> gone_syncs;
    {
        std::lock_guard lock(sync_m);
        gone_syncs.swap(syncs);
        syncs_released = true;
    }
    // Destroyed here, after the lock: the last owner may run any code of the caller's.
}

void StreamCore::EndTransferAfterThrow() {
    std::shared_ptr<ByteRing> r;
    {
        std::lock_guard lock(ev_m);
        transfer_ended = true;
        if (failure == ErrorCode::Ok) failure = ErrorCode::Memory;
        r = ring;
        ev_cv.notify_all();
    }
    if (r) r->Finish();
}

void StreamCore::SetMeta(const std::string& text) {
    {
        std::lock_guard lock(tag_m);
        if (has_meta && meta == text) return;
        meta = text;
        has_meta = true;
    }
    RunSyncs(SyncType::Meta, 0);
}

void StreamCore::MarkDecoded(std::uint64_t frames, std::uint64_t position) {
    const std::uint64_t taken = pcm.taken();
    std::lock_guard lock(heard_m);
    while (!heard_marks.empty() && heard_marks.front().first <= taken) {
        heard_at = heard_marks.front().second;
        heard_marks.pop_front();
    }
    heard_marks.emplace_back(frames, position);
}

void StreamCore::ResetHeard(std::uint64_t frames, std::uint64_t position) {
    std::lock_guard lock(heard_m);
    heard_marks.clear();
    heard_marks.emplace_back(frames, position);
}

std::uint64_t StreamCore::HeardPosition() {
    const std::uint64_t taken = pcm.taken();
    std::lock_guard lock(heard_m);
    while (!heard_marks.empty() && heard_marks.front().first <= taken) {
        heard_at = heard_marks.front().second;
        heard_marks.pop_front();
    }
    return heard_at;
}

void StreamCore::TakeTitle(const std::string& text) {
    const std::shared_ptr<ByteRing> r = Ring();
    if (r && r->AddTitle(text))
        FollowHeardTitle();
    else
        SetMeta(text);
}

void StreamCore::FollowHeardTitle() {
    const std::shared_ptr<ByteRing> r = Ring();
    if (!r || !r->shift().on) return;
    const std::string heard = r->TitleAt(HeardPosition());
    if (!heard.empty()) SetMeta(heard);
}

void StreamCore::RunSyncs(SyncType type, std::uint32_t data) {
    std::vector<Sync> copy;
    {
        std::lock_guard lock(sync_m);
        copy = syncs;
    }
    // Called without any lock held: a sync may block on the user-interface thread.
    for (const auto& s : copy) {
        if (!Alive()) return;
        if (s.type == type) s.proc(s.id, handle.load(), data, s.user.get());
    }
}

}  // namespace engine
