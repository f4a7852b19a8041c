// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/background_recording.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/thread_start.h"
#include "engine/cancel_token.h"
#include "engine/engine.h"

namespace velmora {

struct BackgroundRecording::State {
    engine::CancelHandle cancel = std::make_shared<engine::CancelToken>();
    std::shared_ptr<DownloadRecording> recording;
    Ended ended;
    std::mutex m;
    std::condition_variable wake;
    // --- guarded by m
    bool stop = false;
    bool station_ended = false;
    std::thread worker;
};

BackgroundRecording::BackgroundRecording(DownloadRecordingPlan plan,
                                         DownloadRecording::FileDone done,
                                         DownloadRecording::Problem problem, Ended ended)
    : state_(std::make_shared<State>()) {
    state_->ended = std::move(ended);
    const QByteArray url = plan.url.toUtf8();
    // The download thread's end call may come after this object is gone: it holds the state
    // only weakly.
    std::weak_ptr<State> weak = state_;
    state_->recording = std::make_shared<DownloadRecording>(
        std::move(plan), std::move(done), std::move(problem), [weak] {
            if (const auto state = weak.lock()) {
                std::lock_guard lock(state->m);
                state->station_ended = true;
                state->wake.notify_all();
            }
        });
    std::lock_guard lock(state_->m);
    state_->worker = StartThread(
        [state = state_, url] {
            const engine::Handle stream = engine::StreamCreateURL(
                url.constData(), 0, engine::kStreamStatus | engine::kStreamMeta,
                &DownloadRecording::DownloadProc, state->recording, state->cancel);
            if (!stream) {
                const int code = engine::ErrorGetCode();
                state->recording->Finish();
                state->ended(false, code);
                return;
            }
            engine::ChannelRecordOnly(stream);
            {
                std::unique_lock lock(state->m);
                state->wake.wait(lock, [&] { return state->stop || state->station_ended; });
            }
            // Freed first, so no byte arrives after the last file is closed.
            engine::StreamFree(stream);
            state->recording->Finish();
            state->ended(true, 0);
        },
        AbortOnThrow);
}

BackgroundRecording::~BackgroundRecording() {
    Stop();
    std::thread worker;
    {
        std::lock_guard lock(state_->m);
        worker = std::move(state_->worker);
    }
    if (worker.joinable()) worker.join();
}

void BackgroundRecording::Stop() {
    state_->cancel->Cancel();
    std::lock_guard lock(state_->m);
    state_->stop = true;
    state_->wake.notify_all();
}

}  // namespace velmora
