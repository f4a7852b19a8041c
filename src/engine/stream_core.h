// SPDX-License-Identifier: GPL-3.0-or-later
// The shared state of one stream. Owned jointly (shared_ptr) by the handle table, the download
// thread, the decoder thread and the output mixer, so that freeing a handle never waits for any of
// them: each lets go when it notices `dead`.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/proxy_address.h"
#include "base/thread_start.h"
#include "engine/byte_ring.h"
#include "engine/engine.h"
#include "engine/pcm_fifo.h"

namespace engine {

// The proxy text's rule is shared with the directory client.
using velmora::ParseProxyAddress;
using velmora::ProxyAddress;

struct DemuxSession;

// The engine's settings a stream is created with (SetConfig, SetConfigPtr, PluginLoad): the engine
// holds one set, each creation copies it once, and its connections keep that copy unchanged.
struct StreamSettings {
    long timeout_ms = 10000;
    long reconnect_ms = 600000;  // how long to try after a drop; 0 = never
    long reconnect_delay_ms = 1000;
    long stall_ms = 10000;
    std::optional<ProxyAddress> proxy;
    bool playlists = true;
    bool prebuffer = false;
    bool allow_asf = false;  // the WMA plug-in is loaded
};

struct StreamCore {
    StreamCore();
    ~StreamCore();

    // --- set before any thread starts, read-only afterwards
    std::string url;
    StreamSettings settings;
    DownloadProc* proc = nullptr;
    bool pass_status = false;
    bool pass_meta = false;  // kStreamMeta
    CancelHandle cancel;
    std::chrono::steady_clock::time_point deadline;

    // --- set before the download thread starts, then the download thread's only: it lets go
    // of it after its last call of `proc` (see ReleaseCallbacks())
    std::shared_ptr<void> user;

    // --- any thread
    std::atomic<Handle> handle{0};
    std::atomic<bool> dead{false};
    std::atomic<bool> created{false};  // creation kept it; the cancel flag no longer applies

    // False once freed, or while still being created with its creation cancelled.
    bool Alive() const {
        if (dead.load(std::memory_order_acquire)) return false;
        if (!created.load(std::memory_order_acquire) && cancel && cancel->cancelled()) return false;
        return true;
    }
    // The download ring, null until the headers are complete. Takes ev_m.
    std::shared_ptr<ByteRing> Ring() {
        std::lock_guard lock(ev_m);
        return ring;
    }
    // Marks the stream dead and wakes every thread that waits for it.
    void Kill();
    // Wakes every thread that waits for the stream, so that it asks Alive() again (a cancelled
    // creation). Takes ev_m, then the ring's lock; call it holding neither.
    void Wake();
    // For a transfer that has ended: waits until the creation has kept or rejected the
    // connection (or the stream is gone) and says whether it was kept, whose caller is owed the
    // one end call. Takes ev_m.
    bool TakenForAudio();
    // The creation's last step: the caller gets the stream, its data and its end call, unless the
    // creation was cancelled meanwhile (false: rejected, kill it). Takes ev_m.
    bool Keep();
    // The download thread's last act: no callback of this stream runs from now on, so the
    // owners of their user data are let go (outside every lock), and later syncs are not kept.
    void ReleaseCallbacks();
    // The last guard of a transfer thread whose own end failed: the transfer counts as ended
    // (out of memory unless a reason is known), so the creator and decoder stop waiting on it.
    void EndTransferAfterThrow();

    // --- connection facts; protected by ev_m, waited for on ev_cv
    // Audio: the demuxer took the body for audio, but the creation may still fail (a cancel, the
    // pre-buffer wait), so its bytes wait in the download's backlog. Kept: the creation returned
    // the handle; only now may the caller see data and an end call.
    enum class Decision { Pending, Audio, Kept, Reject };
    std::mutex ev_m;
    std::condition_variable ev_cv;
    bool headers_done = false;
    bool transfer_ended = false;
    long status = 0;
    std::string content_type;
    long metaint = 0;
    long icy_br = 0;
    int curl_result = 0;
    // Why the download thread itself gave up (a hostile answer, out of memory); Ok otherwise.
    ErrorCode failure = ErrorCode::Ok;
    // The address that answered, after redirects: relative playlist entries resolve against it.
    std::string final_url;
    Decision decision = Decision::Pending;
    // Made when the headers are complete, before creation returns; fixed from then on, so the
    // output thread reads it without the lock once the stream plays.
    std::shared_ptr<ByteRing> ring;
    // Wakes the download thread's network wait (set by the download thread).
    std::function<void()> wake;

    // --- tags; protected by tag_m
    std::mutex tag_m;
    std::string tags_icy;  // "line\0line\0\0", empty when absent
    std::string tags_http;
    std::string meta;
    bool has_meta = false;

    // --- syncs; protected by sync_m
    struct Sync {
        SyncType type;
        SyncHandle id;
        SyncProc* proc;
        std::shared_ptr<void> user;
    };
    std::mutex sync_m;
    std::vector<Sync> syncs;
    bool syncs_released = false;  // no sync can run any more

    // --- decoding: the creating thread, then the decoder thread only
    std::unique_ptr<DemuxSession> session;

    // --- playback
    // 4 s, refilled from 0.5 s: every wake-up of the decoder costs it its caches, so it works in
    // batches of seconds. The analyser reads what was played from it, before the volume. The
    // output takes a whole period at a time, and the time it took the last one tells which frames
    // sound now; 16384 kept frames cover a period and an FFT window.
    PcmFifo pcm{176400, 22050, 16384};
    std::atomic<float> volume{1.0f};
    std::atomic<bool> playing{false};
    std::atomic<bool> record_only{false};  // ChannelRecordOnly(): never decoded
    std::atomic<bool> decoder_started{false};
    std::atomic<bool> decoder_done{false};
    std::atomic<bool> ended{false};
    // Why the decoder gave up on a stream that played (nothing opened after a skip, nor at the
    // live edge); Ok when the stream simply ran out.
    std::atomic<ErrorCode> end_error{ErrorCode::Ok};

    // --- time-shift
    std::atomic<bool> paused{
        false};  // ChannelPause(): the output takes nothing, the download goes on
    // Where the sound heard now lies in the stream: the decoder marks each packet with the frames
    // committed before its sound; the mark the output has reached is what is heard. The marks
    // cover what the PCM FIFO holds, so they stay few. Protected by heard_m.
    std::mutex heard_m;
    std::deque<std::pair<std::uint64_t, std::uint64_t>> heard_marks;  // (frames, position)
    std::uint64_t heard_at = 0;
    // How far the heard sound lagged behind the download when it was last at the live edge;
    // negative until the stream leaves it. Protected by heard_m.
    double live_lag = -1;

    // Decoder thread.
    void MarkDecoded(std::uint64_t frames, std::uint64_t position);
    void ResetHeard(std::uint64_t frames, std::uint64_t position);
    // Any thread.
    std::uint64_t HeardPosition();
    // A title of the stream (download thread): with time-shift it is kept at its place and shown
    // when the sound gets there, else at once.
    void TakeTitle(const std::string& text);
    // Download thread: the META text becomes the title of what is heard now.
    void FollowHeardTitle();

    // Access from the output thread only.
    float mix_volume = 1.0f;
    bool mix_volume_set = false;
    bool mix_started = false;

    // Replaces the META text and runs the syncs when it changed. Download thread.
    void SetMeta(const std::string& text);
    // Runs the syncs of `type`, without any lock held. Download thread.
    void RunSyncs(SyncType type, std::uint32_t data);
};

// Runs a transfer (a download, an HLS feed) on a detached thread of its own. Its Run() catches
// what the transfer throws; this is the last guard, so that a failed end of the transfer ends the
// stream rather than the process. The thread's last act lets go of the callbacks' user data.
template <typename Transfer>
void StartTransferThread(const std::shared_ptr<StreamCore>& core) {
    velmora::StartThread(
        [core] {
            {
                Transfer transfer(core);
                transfer.Run();
            }
            core->ReleaseCallbacks();
        },
        [core] {
            core->EndTransferAfterThrow();
            core->ReleaseCallbacks();
        })
        .detach();
}

}  // namespace engine
