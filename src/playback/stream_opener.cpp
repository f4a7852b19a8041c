#include "playback/stream_opener.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

struct StreamOpener::State {
    Reporter reporter;
    VolumeSource volume;
    DataSink data;

    // Written by the worker, read by the owner's thread (stop, volume, timers, analyser).
    std::atomic<vle::Handle> current{0};

    // --- protected by m; never held while reporting
    std::mutex m;
    std::uint64_t generation = 0;  // of the opening that may still start playing; 0 = none
    std::uint64_t last_generation = 0;
    vle::CancelFlag cancel;

    // Set when the opener is gone: late engine callbacks then find a live state that does nothing.
    std::atomic<bool> retired{false};

    void Report(const StatusReport& r) {
        if (reporter && !retired.load()) reporter(r);
    }

    void ShowStreamTitle() {
        const vle::Handle h = current.load();
        const char* meta = vle::ChannelGetTags(h, vle::TagKind::Meta);
        if (!meta) return;
        const auto title = ParseStreamTitle(meta);
        if (!title) return;
        Report({StreamStatus::Title, 0, *title});
    }

    static void DownloadProc(const void* buffer, std::uint32_t length, void* user) {
        auto* s = static_cast<State*>(user);
        if (buffer && length == 0) {
            s->Report({StreamStatus::ServerLine, 0, std::string(static_cast<const char*>(buffer))});
            return;
        }
        if (s->data && !s->retired.load()) s->data(buffer, length);
    }

    static void MetaSyncProc(vle::SyncHandle, vle::Handle, std::uint32_t, void* user) {
        static_cast<State*>(user)->ShowStreamTitle();
    }

    void Run(const std::string& url, std::uint64_t gen, const vle::CancelFlag& cancel);
};

void StreamOpener::State::Run(const std::string& url, std::uint64_t gen,
                              const vle::CancelFlag& cancel) {
    // Ends this opening: the marker is cleared only if no newer opening replaced it.
    const auto finish = [&] {
        std::lock_guard lock(m);
        if (generation == gen) generation = 0;
    };
    // Frees what this opening created when the owner abandoned it meanwhile.
    const auto abandoned = [&](vle::Handle h) {
        if (!cancel->load()) return false;
        vle::ChannelStop(h);
        vle::StreamFree(h);
        vle::Handle expected = h;
        current.compare_exchange_strong(expected, 0);
        return true;
    };

    vle::StreamFree(current.load());
    if (cancel->load()) return finish();
    Report({StreamStatus::Connecting, 0, {}});

    const vle::Handle h = vle::StreamCreateURL(url.c_str(), 0, vle::kStreamStatus,
                                               &State::DownloadProc, this, cancel);
    if (h == 0) {
        if (cancel->load()) return finish();
        current = 0;
        // The engine's error code rides along for diagnostics; the window shows only the text.
        Report({StreamStatus::CannotPlay, vle::ErrorGetCode(), {}});
        return finish();
    }
    if (abandoned(h)) return finish();
    current = h;

    // Buffering wait until the buffer is more than three quarters full.
    for (;;) {
        const std::uint64_t end = vle::StreamGetFilePosition(h, vle::FilePos::End);
        if (end == vle::kPosFailed) break;
        const std::uint32_t pct =
            BufferingPercent(end, vle::StreamGetFilePosition(h, vle::FilePos::Download),
                             vle::StreamGetFilePosition(h, vle::FilePos::Current));
        Report({StreamStatus::Buffering, static_cast<std::int32_t>(pct), {}});
        if (BufferingDone(pct)) break;
        if (abandoned(h)) return finish();
        // The reports pace the loop; this pause keeps a slow station from flooding the window.
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    if (abandoned(h)) return finish();

    const char* tags = vle::ChannelGetTags(h, vle::TagKind::Icy);
    if (!tags) tags = vle::ChannelGetTags(h, vle::TagKind::Http);
    WalkStationTags(tags, [&](const StatusReport& r) { Report(r); });
    const char* meta_before = vle::ChannelGetTags(h, vle::TagKind::Meta);
    const std::string shown = meta_before ? meta_before : "";
    ShowStreamTitle();
    vle::ChannelSetSync(h, vle::SyncType::Meta, 0, &State::MetaSyncProc, this);
    // A title that changed between the first look and the sync's registration has no sync call.
    const char* meta_after = vle::ChannelGetTags(h, vle::TagKind::Meta);
    if (meta_after && shown != meta_after) ShowStreamTitle();
    if (abandoned(h)) return finish();
    const int vol = volume ? volume() : 100;
    vle::ChannelSetAttribute(h, vle::Attribute::Volume, static_cast<float>(vol) / 100.0f);
    vle::ChannelPlay(h, false);
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
    const vle::Handle h = state_->current.load();
    vle::ChannelStop(h);
    vle::StreamFree(h);
    state_->retired = true;
    // The engine may still call back into the state after the free (the end of the download),
    // and holds only a plain pointer: the state is kept, silenced, until the process ends.
    static auto* retired = new std::vector<std::shared_ptr<State>>();
    static std::mutex retired_m;
    std::lock_guard lock(retired_m);
    retired->push_back(state_);
}

bool StreamOpener::Start(const std::string& url) {
    std::uint64_t gen;
    vle::CancelFlag cancel = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(state_->m);
        if (state_->generation != 0) return false;
        gen = ++state_->last_generation;
        state_->generation = gen;
        state_->cancel = cancel;
    }
    std::thread([state = state_, url, gen, cancel] { state->Run(url, gen, cancel); }).detach();
    return true;
}

void StreamOpener::Cancel() {
    std::lock_guard lock(state_->m);
    if (state_->generation == 0) return;
    if (state_->cancel) state_->cancel->store(true);
    state_->generation = 0;
}

void StreamOpener::StopAndFree() {
    Cancel();
    const vle::Handle h = state_->current.load();
    vle::ChannelStop(h);
    vle::StreamFree(h);
}

bool StreamOpener::IsOpening() const {
    std::lock_guard lock(state_->m);
    return state_->generation != 0;
}

vle::Handle StreamOpener::CurrentStream() const {
    return state_->current.load();
}

void StreamOpener::ShowStreamTitle() {
    state_->ShowStreamTitle();
}

}  // namespace velmora
