// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/analyser_part.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <mutex>

#include "widgets/analyser_view.h"

namespace velmora {

AnalyserPart::AnalyserPart(QWidget* window, AnalyserView* view, QLabel* placeholder, QTimer* timer,
                           AnalyserPump::Source source)
    : window_(window),
      view_(view),
      placeholder_(placeholder),
      timer_(timer),
      source_(std::move(source)),
      spectrum_(view->width(), view->height()),
      pump_(spectrum_, *view, source_, std::chrono::milliseconds(timer->interval())) {
    connect(timer_, &QTimer::timeout, this, &AnalyserPart::OnTimer);
}

AnalyserPart::~AnalyserPart() {
    Stop();
}

// The look is set after drawing, so the first frame of a run still shows the painter's own
// colours.
void AnalyserPart::OnTimer() {
    AnalyserPump::Magnitudes fft{};
    if (!source_(fft)) return;
    placeholder_->hide();
    spectrum_.Render(*view_, fft.data(), 0, -1);
    ApplySystemLook(spectrum_, window_->palette());
    if (view_->HasOwnWindow()) {
        timer_->stop();
        pump_.Start();
    }
}

void AnalyserPart::Start() {
    if (timer_->isActive() || pump_.Running()) return;
    timer_->start();
}

// With nothing sounding a tick would draw nothing; the last frame stays shown.
void AnalyserPart::Stop() {
    timer_->stop();
    pump_.Stop();
}

void AnalyserPart::FollowPalette() {
    // Before the first frame the painter keeps its own colours for it.
    if (!placeholder_->isHidden()) return;
    std::lock_guard lock(view_->FrameLock());
    ApplySystemLook(spectrum_, window_->palette());
}

}  // namespace velmora
