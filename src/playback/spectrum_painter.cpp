// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/spectrum_painter.h"

#include <QPainter>
#include <QPalette>
#include <cmath>

namespace velmora {

namespace {

// Band magnitude to pixels; NaN and huge values must not reach the integer conversion.
int LevelOf(float magnitude, int cap) {
    const float scaled = std::fabs(magnitude) * 500.0f;
    if (!(scaled >= 0.0f)) return 0;
    if (scaled >= static_cast<float>(cap)) return cap;
    return static_cast<int>(scaled);
}

}  // namespace

AnalyserView::AnalyserView(QWidget* parent) : QWidget(parent) {}

void AnalyserView::ShowFrame(const QImage* frame) {
    frame_ = frame;
    update();
}

void AnalyserView::paintEvent(QPaintEvent*) {
    if (!frame_) return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), *frame_);
}

SpectrumPainter::SpectrumPainter(int width, int height)
    : frame_(width, height, QImage::Format_RGB32) {
    frame_.fill(BackgroundColor);
}

void SpectrumPainter::Compose(const float* fft, int x, int y) {
    const int base = y + frame_.height();
    // Filled rectangles address whole pixels: QRect(left, top, w, h) covers columns left..left+w-1
    // and rows top..top+h-1, which gives the "end point not included" edges without pen rules.
    QPainter p(&frame_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(frame_.rect(), BackgroundColor);
    const QRect area = frame_.rect();
    // Shapes wholly outside the image would be clipped away; skipping them saves most of the
    // frame's time, since only the first 18 of 129 bars fit a 107-pixel-wide analyser.
    const auto fill = [&](const QRect& r, const QColor& c) {
        if (r.intersects(area)) p.fillRect(r, c);
    };
    for (int i = 0; i < kBands; ++i) {
        const int level = LevelOf(fft[i], LevelCap);
        int& peak = PeakLevels[i];
        int& bar = BarLevels[i];
        peak = level >= peak ? level : peak - PeakDecay;
        bar = level >= bar ? level : bar - BarDecay;
        if (peak < 0) peak = 0;
        if (bar < 0) bar = 0;

        if (DrawStyle == kStyleLines) {
            // From the base row upward, `bar` pixels; the top end point is left out.
            if (bar > 0) fill(QRect(x + i, base - bar + 1, 1, bar), BarColor);
            if (ShowPeaks) fill(QRect(x + i, base - peak, 1, 1), BarColor);
        } else if (DrawStyle == kStyleBars) {
            const int left = x + i * (BarWidth + 1);
            if (ShowPeaks && BarWidth > 0) fill(QRect(left, base - peak, BarWidth, 1), PeakColor);
            // Rows base - bar .. base - 1: the base row itself stays uncovered.
            if (bar > 0 && BarWidth > 0) fill(QRect(left, base - bar, BarWidth, bar), BarColor);
        }
    }
}

void SpectrumPainter::Render(QPainter& target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    target.drawImage(QPoint(0, 0), frame_);
}

void SpectrumPainter::Render(QPaintDevice* target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    QPainter p(target);
    p.drawImage(QPoint(0, 0), frame_);
}

void SpectrumPainter::Render(AnalyserView& target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    target.ShowFrame(&frame_);
}

void ApplySystemLook(SpectrumPainter& painter, const QPalette& palette) {
    painter.DrawStyle = SpectrumPainter::kStyleBars;
    painter.BackgroundColor = palette.color(QPalette::Button);
    painter.BarColor = palette.color(QPalette::Highlight);
    painter.PeakColor = palette.color(QPalette::WindowText);
    painter.LevelCap = 80;
}

}  // namespace velmora
