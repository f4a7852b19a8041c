// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/analyser_pump.h"

#include "base/thread_start.h"
#include "widgets/analyser_view.h"
#include "widgets/spectrum_painter.h"

namespace velmora {

AnalyserPump::AnalyserPump(SpectrumPainter& painter, AnalyserView& view, Source source,
                           std::chrono::milliseconds interval)
    : painter_(painter), view_(view), source_(std::move(source)), interval_(interval) {}

AnalyserPump::~AnalyserPump() {
    Stop();
}

void AnalyserPump::Start() {
    if (Running()) return;
    if (thread_.joinable()) thread_.join();  // one that ended by throwing
    stop_ = false;
    ended_ = false;
    // A frame that throws ends the run of frames; the last one stays shown and the sound plays on.
    thread_ = StartThread(
        [this] {
            Run();
            ended_ = true;
        },
        [this] { ended_ = true; });
}

void AnalyserPump::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void AnalyserPump::Run() {
    using Clock = std::chrono::steady_clock;
    Magnitudes fft{};
    auto next = Clock::now();
    for (;;) {
        next += interval_;
        {
            std::unique_lock lock(m_);
            if (wake_.wait_until(lock, next, [this] { return stop_.load(); })) return;
        }
        // After a stall (a suspended machine) the rhythm starts again from now, without a burst
        // of frames to catch up.
        if (Clock::now() > next + interval_) next = Clock::now();
        if (!source_(fft)) continue;
        std::lock_guard frame(view_.FrameLock());
        painter_.Compose(fft.data(), 0, -1);
        view_.SendFrame(painter_.Frame(), painter_.ChangedRects());
    }
}

}  // namespace velmora
