// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the analyser's frames on a thread of its own once its view has a window of its own: the
// interface thread then no longer wakes 30 times a second for them. While it runs it alone draws
// with the painter; the view's frame lock keeps its repaints out of a frame being drawn.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

class AnalyserView;
class SpectrumPainter;

class AnalyserPump {
  public:
    // The magnitudes of one frame's bins, as the engine's analyser gives them.
    using Magnitudes = std::array<float, 512>;
    // One frame's data; false while nothing sounds, when the frame is skipped. Called on the
    // pump's thread.
    using Source = std::function<bool(Magnitudes&)>;

    AnalyserPump(SpectrumPainter& painter, AnalyserView& view, Source source,
                 std::chrono::milliseconds interval);
    ~AnalyserPump();
    AnalyserPump(const AnalyserPump&) = delete;
    AnalyserPump& operator=(const AnalyserPump&) = delete;

    // Start does nothing while running; Stop returns once no frame is being drawn any more.
    void Start();
    void Stop();
    bool Running() const { return thread_.joinable() && !ended_; }

  private:
    void Run();

    SpectrumPainter& painter_;
    AnalyserView& view_;
    Source source_;
    std::chrono::milliseconds interval_;
    std::mutex m_;
    std::condition_variable wake_;
    std::atomic<bool> stop_ = false;  // also read by the wait's predicate
    std::atomic<bool> ended_ = false;
    std::thread thread_;
};

}  // namespace velmora
