// SPDX-License-Identifier: GPL-3.0-or-later
#include "opening/stream_opener.h"

#include <cstring>
#include <mutex>

#include "base/thread_start.h"

namespace velmora {

// One opening and the stream it created. The engine owns it as the user data of the stream's
// callbacks until the last of them has run.
struct StreamOpener::Opening {
    std::uint64_t id = 0;
    // Weak: the opener's state refers to its current opening; a callback after the opener is
    // gone finds no owner and does nothing.
    std::weak_ptr<State> owner;
    std::atomic<engine::Handle> handle{0};
    // Between a lost connection and the stream's flowing again: the new connection's header
    // lines are not shown, "Reconnecting..." is.
    std::atomic<bool> reconnecting{false};

    // --- protected by sink_m; held only to swap or copy the pointer, never while calling it
    std::mutex sink_m;
    std::shared_ptr<const DataSink> sink;

    std::shared_ptr<const DataSink> Sink() {
        std::lock_guard lock(sink_m);
        return sink;
    }
    void SetSink(DataSink s) {
        auto next = s ? std::make_shared<const DataSink>(std::move(s)) : nullptr;
        std::lock_guard lock(sink_m);
        sink.swap(next);
    }
};

namespace {

using Opening = StreamOpener::Opening;

std::atomic<std::uint64_t> g_last_opening{0};

}  // namespace

struct StreamOpener::State {
    Reporter reporter;
    VolumeSource volume;
    DataSink data;

    // Written by the worker, read by the owner's thread (stop, volume, timers, analyser).
    std::atomic<engine::Handle> current{0};

    // --- protected by m; never held while reporting
    std::mutex m;
    std::uint64_t running = 0;  // the opening that may still start playing; 0 = none
    engine::CancelHandle cancel;
    std::shared_ptr<Opening> current_opening;  // the opening of `current`

    // Set when the opener is gone: a worker still running then reports nothing.
    std::atomic<bool> retired{false};

    void Report(StatusReport r, std::uint64_t opening) {
        r.opening = opening;
        if (reporter && !retired.load()) reporter(r);
    }

    void ShowStreamTitle(engine::Handle h, std::uint64_t opening) {
        const char* meta = engine::ChannelGetTags(h, engine::TagKind::Meta);
        if (!meta) return;
        const auto title = ParseStreamTitle(meta);
        if (!title) return;
        Report({StreamStatus::Title, 0, *title}, opening);
    }

    // `user` is the Opening, kept alive by the engine for as long as it may call back.
    static void DownloadProc(const void* buffer, std::uint32_t length, void* user) {
        Opening* o = static_cast<Opening*>(user);
        const std::shared_ptr<State> s = o->owner.lock();
        if (s && buffer && length == 0 &&
            std::strncmp(static_cast<const char*>(buffer), engine::kMetaLinePrefix,
                         std::strlen(engine::kMetaLinePrefix)) != 0) {
            if (o->reconnecting.load()) return;
            s->Report({StreamStatus::ServerLine, 0, std::string(static_cast<const char*>(buffer))},
                      o->id);
            return;
        }
        const std::shared_ptr<const DataSink> sink = o->Sink();
        if (s && sink && !s->retired.load()) (*sink)(buffer, length);
    }

    static void MetaSyncProc(engine::SyncHandle, engine::Handle stream, std::uint32_t, void* user) {
        Opening* o = static_cast<Opening*>(user);
        if (const std::shared_ptr<State> s = o->owner.lock()) s->ShowStreamTitle(stream, o->id);
    }

    static void ReconnectSyncProc(engine::SyncHandle, engine::Handle, std::uint32_t data,
                                  void* user) {
        Opening* o = static_cast<Opening*>(user);
        o->reconnecting = data == 1;
        if (const std::shared_ptr<State> s = o->owner.lock())
            s->Report(
                {StreamStatus::Reconnect, data <= 2 ? static_cast<std::int32_t>(data) : 0, {}},
                o->id);
    }

    void Run(const std::string& url, const std::shared_ptr<Opening>& opening,
             const engine::CancelHandle& cancel);
};

void StreamOpener::State::Run(const std::string& url, const std::shared_ptr<Opening>& opening,
                              const engine::CancelHandle& cancel) {
    const std::uint64_t id = opening->id;
    // Ends this opening: the marker is cleared only if no newer opening replaced it.
    const auto finish = [&] {
        std::lock_guard lock(m);
        if (running == id) running = 0;
    };
    // Frees what this opening created when the owner abandoned it meanwhile.
    const auto abandoned = [&](engine::Handle h) {
        if (!cancel->cancelled()) return false;
        engine::ChannelStop(h);
        engine::StreamFree(h);
        engine::Handle expected = h;
        current.compare_exchange_strong(expected, 0);
        return true;
    };

    engine::StreamFree(current.load());
    if (cancel->cancelled()) return finish();
    Report({StreamStatus::Connecting, 0, {}}, id);

    // Titles also come in place between the bytes, for a recording made song by song.
    const engine::Handle h =
        engine::StreamCreateURL(url.c_str(), 0, engine::kStreamStatus | engine::kStreamMeta,
                                &State::DownloadProc, opening, cancel);
    if (h == 0) {
        if (cancel->cancelled()) return finish();
        current = 0;
        // The engine's error code rides along for diagnostics; the window shows only the text.
        Report({StreamStatus::CannotPlay, engine::ErrorGetCode(), {}}, id);
        return finish();
    }
    opening->handle = h;
    if (abandoned(h)) return finish();
    {
        std::lock_guard lock(m);
        current_opening = opening;
    }
    current = h;
    engine::ChannelSetSync(h, engine::SyncType::Reconnect, 0, &State::ReconnectSyncProc, opening);

    // Buffering wait until the buffer is more than three quarters full, one report per percent
    // gained: the engine wakes the wait when the next percent's bytes are in, the download ends,
    // the stream goes or the opening is cancelled.
    for (;;) {
        const std::uint64_t end = engine::StreamGetFilePosition(h, engine::FilePos::End);
        if (end == engine::kPosFailed) break;
        const std::uint32_t pct =
            BufferingPercent(end, engine::StreamGetFilePosition(h, engine::FilePos::Download),
                             engine::StreamGetFilePosition(h, engine::FilePos::Current));
        Report({StreamStatus::Buffering, static_cast<std::int32_t>(pct), {}}, id);
        if (BufferingDone(pct)) break;
        if (abandoned(h)) return finish();
        if (!engine::StreamWaitBuffer(h, BufferingBytesFor(pct + 1, end), cancel) &&
            engine::ErrorGetCode() == static_cast<int>(engine::ErrorCode::Handle))
            break;
    }
    if (abandoned(h)) return finish();

    const char* tags = engine::ChannelGetTags(h, engine::TagKind::Icy);
    if (!tags) tags = engine::ChannelGetTags(h, engine::TagKind::Http);
    WalkStationTags(tags, [&](const StatusReport& r) { Report(r, id); });
    const char* meta_before = engine::ChannelGetTags(h, engine::TagKind::Meta);
    const std::string shown = meta_before ? meta_before : "";
    ShowStreamTitle(h, id);
    engine::ChannelSetSync(h, engine::SyncType::Meta, 0, &State::MetaSyncProc, opening);
    // A title that changed between the first look and the sync's registration has no sync call.
    const char* meta_after = engine::ChannelGetTags(h, engine::TagKind::Meta);
    if (meta_after && shown != meta_after) ShowStreamTitle(h, id);
    if (abandoned(h)) return finish();
    const int vol = volume ? volume() : 100;
    engine::ChannelSetAttribute(h, engine::Attribute::Volume, static_cast<float>(vol) / 100.0f);
    engine::ChannelPlay(h, false);
    abandoned(h);
    finish();
}

StreamOpener::StreamOpener(Reporter reporter, VolumeSource volume, DataSink data)
    : state_(std::make_shared<State>()) {
    state_->reporter = std::move(reporter);
    state_->volume = std::move(volume);
    state_->data = std::move(data);
}

StreamOpener::~StreamOpener() {
    Cancel();
    const engine::Handle h = state_->current.load();
    engine::ChannelStop(h);
    engine::StreamFree(h);
    // A worker still running keeps the state; it reports nothing from now on.
    state_->retired = true;
}

std::uint64_t StreamOpener::Start(const std::string& url) {
    auto opening = std::make_shared<Opening>();
    opening->id = ++g_last_opening;
    opening->owner = state_;
    if (state_->data) opening->SetSink(state_->data);
    engine::CancelHandle cancel = std::make_shared<engine::CancelToken>();
    {
        std::lock_guard lock(state_->m);
        if (state_->running != 0) return 0;
        state_->running = opening->id;
        state_->cancel = cancel;
    }
    StartThread([state = state_, url, opening, cancel] { state->Run(url, opening, cancel); },
                AbortOnThrow)
        .detach();
    return opening->id;
}

void StreamOpener::Cancel() {
    engine::CancelHandle cancel;
    {
        std::lock_guard lock(state_->m);
        if (state_->running == 0) return;
        cancel = state_->cancel;
        state_->running = 0;
    }
    // Wakes the worker's creation wherever it waits, at once; outside m, as nothing else needs it.
    if (cancel) cancel->Cancel();
}

void StreamOpener::StopAndFree() {
    Cancel();
    const engine::Handle h = state_->current.load();
    engine::ChannelStop(h);
    engine::StreamFree(h);
}

bool StreamOpener::IsOpening() const {
    std::lock_guard lock(state_->m);
    return state_->running != 0;
}

engine::Handle StreamOpener::CurrentStream() const {
    return state_->current.load();
}

void StreamOpener::ShowStreamTitle() {
    std::shared_ptr<Opening> opening;
    {
        std::lock_guard lock(state_->m);
        opening = state_->current_opening;
    }
    const engine::Handle h = state_->current.load();
    state_->ShowStreamTitle(h, opening && opening->handle == h ? opening->id : 0);
}

bool StreamOpener::AttachSink(DataSink sink) {
    std::shared_ptr<Opening> opening;
    {
        std::lock_guard lock(state_->m);
        opening = state_->current_opening;
    }
    const engine::Handle h = state_->current.load();
    if (!opening || h == 0 || opening->handle != h) return false;
    opening->SetSink(std::move(sink));
    return true;
}

}  // namespace velmora
