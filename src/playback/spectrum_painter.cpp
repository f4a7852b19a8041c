// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/spectrum_painter.h"

#include <QBackingStore>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QVarLengthArray>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

// Band magnitude to pixels; NaN and huge values must not reach the integer conversion.
int LevelOf(float magnitude, int cap) {
    const float scaled = std::fabs(magnitude) * 500.0f;
    if (!(scaled >= 0.0f)) return 0;
    if (scaled >= static_cast<float>(cap)) return cap;
    return static_cast<int>(scaled);
}

// The width of the strips in which changes are looked for: one bar and its gap at the default
// bar width, so that a strip's changed rows are one bar's.
constexpr int kStripWidth = 6;

}  // namespace

AnalyserView::AnalyserView(QWidget* parent) : QWidget(parent) {}

void AnalyserView::ShowFrame(const QImage* frame, const QRegion& changed) {
    const bool first = !frame_;
    frame_ = frame;
    if (first) {
        // From now on every pixel is the frame's: what lies beneath need not be painted first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        update();
    } else if (!changed.isEmpty() && !CopyToWindow(changed)) {
        // At once rather than on a later pass of the event loop: one wake-up per frame.
        repaint(changed);
    }
}

// The changed pixels straight into the window's backing store, then shown: the toolkit's repaint
// would walk the widget tree and open a painter for a few rows of pixels. Only where nothing
// covers this widget, and only for a surface that takes the frame's pixels as they are.
bool AnalyserView::CopyToWindow(const QRegion& changed) {
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    if (!isVisible() || !handle || !handle->isExposed() || !store || !frame_ ||
        frame_->format() != QImage::Format_RGB32) {
        return false;
    }
    const QPoint offset = mapTo(top, QPoint(0, 0));
    const QRegion target = (changed & visibleRegion()).translated(offset);
    if (target.isEmpty()) return true;
    store->beginPaint(target);
    QPaintDevice* device = store->paintDevice();
    auto* surface =
        device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    const bool plain = surface && surface->devicePixelRatio() == 1.0 &&
                       (surface->format() == QImage::Format_RGB32 ||
                        surface->format() == QImage::Format_ARGB32_Premultiplied) &&
                       surface->rect().contains(target.boundingRect());
    if (plain) {
        for (const QRect& r : target) {
            const QPoint from = r.topLeft() - offset;
            for (int row = 0; row < r.height(); ++row) {
                std::memcpy(surface->scanLine(r.top() + row) + r.left() * sizeof(QRgb),
                            frame_->constScanLine(from.y() + row) + from.x() * sizeof(QRgb),
                            r.width() * sizeof(QRgb));
            }
        }
    }
    store->endPaint();
    if (!plain) return false;
    store->flush(target, handle);
    return true;
}

void AnalyserView::paintEvent(QPaintEvent* event) {
    if (!frame_) return;
    QPainter p(this);
    for (const QRect& r : event->region()) p.drawImage(r.topLeft(), *frame_, r);
}

SpectrumPainter::SpectrumPainter(int width, int height)
    : frames_{QImage(width, height, QImage::Format_RGB32),
              QImage(width, height, QImage::Format_RGB32)} {
    for (QImage& f : frames_) f.fill(BackgroundColor);
}

void SpectrumPainter::Compose(const float* fft, int x, int y) {
    QImage& frame = frames_[1 - current_];
    const int base = y + frame.height();
    const QRect area = frame.rect();
    // Opaque colours are written straight into the pixels, as QPainter would store them; a
    // translucent one is left to QPainter, which blends it.
    const bool opaque =
        BackgroundColor.alpha() == 255 && BarColor.alpha() == 255 && PeakColor.alpha() == 255;
    std::optional<QPainter> painter;
    if (!opaque) {
        painter.emplace(&frame);
        painter->setRenderHint(QPainter::Antialiasing, false);
    }
    uchar* const bits = frame.bits();
    const qsizetype stride = frame.bytesPerLine();
    // Filled rectangles address whole pixels: QRect(left, top, w, h) covers columns left..left+w-1
    // and rows top..top+h-1, which gives the "end point not included" edges without pen rules.
    // Shapes wholly outside the image are skipped: only the first 18 of 129 bars fit a
    // 107-pixel-wide analyser.
    const auto fill = [&](const QRect& shape, const QColor& c) {
        const QRect r = shape & area;
        if (r.isEmpty()) return;
        if (painter) {
            painter->fillRect(r, c);
            return;
        }
        const QRgb pixel = c.rgba();
        for (int row = r.top(); row <= r.bottom(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(bits + row * stride) + r.left();
            std::fill_n(line, r.width(), pixel);
        }
    };
    if (painter) {
        fill(area, BackgroundColor);
    } else {
        frame.fill(BackgroundColor.rgba());  // the toolkit's vectorised fill
    }
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
    painter.reset();
    FindChanges(frames_[current_], frame);
    current_ = 1 - current_;
}

// Per strip of columns, the runs of changed rows: a falling bar changes a few rows at its top and
// its peak mark one, so the changed area is a small part of the frame. Runs less than kNearRows
// apart are joined: fewer rectangles cost less to repaint than the few pixels they take in.
void SpectrumPainter::FindChanges(const QImage& before, const QImage& after) {
    constexpr int kNearRows = 4;
    const int width = after.width();
    const int strips = (width + kStripWidth - 1) / kStripWidth;
    QVarLengthArray<int, 32> top(strips), bottom(strips);
    std::fill(bottom.begin(), bottom.end(), -1);
    QVarLengthArray<QRect, 64> runs;
    const auto close_run = [&](int s) {
        const int from = s * kStripWidth;
        runs.append(
            QRect(from, top[s], std::min(kStripWidth, width - from), bottom[s] - top[s] + 1));
        bottom[s] = -1;
    };
    for (int row = 0; row < after.height(); ++row) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(row));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(row));
        if (std::memcmp(a, b, sizeof(QRgb) * width) == 0) continue;
        for (int s = 0; s < strips; ++s) {
            const int from = s * kStripWidth;
            const int n = std::min(kStripWidth, width - from);
            if (std::memcmp(a + from, b + from, sizeof(QRgb) * n) == 0) continue;
            if (bottom[s] >= 0 && row - bottom[s] > kNearRows) close_run(s);
            if (bottom[s] < 0) top[s] = row;
            bottom[s] = row;
        }
    }
    for (int s = 0; s < strips; ++s) {
        if (bottom[s] >= 0) close_run(s);
    }
    // Top to bottom, left to right: the order in which a region takes rectangles fastest.
    std::sort(runs.begin(), runs.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    changed_ = QRegion();
    for (const QRect& r : runs) changed_ += r;
}

void SpectrumPainter::Render(QPainter& target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    target.drawImage(QPoint(0, 0), Frame());
}

void SpectrumPainter::Render(QPaintDevice* target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    QPainter p(target);
    p.drawImage(QPoint(0, 0), Frame());
}

void SpectrumPainter::Render(AnalyserView& target, const float* fft, int x, int y) {
    Compose(fft, x, y);
    target.ShowFrame(&Frame(), changed_);
}

void ApplySystemLook(SpectrumPainter& painter, const QPalette& palette) {
    painter.DrawStyle = SpectrumPainter::kStyleBars;
    painter.BackgroundColor = palette.color(QPalette::Button);
    painter.BarColor = palette.color(QPalette::Highlight);
    painter.PeakColor = palette.color(QPalette::WindowText);
    painter.LevelCap = 80;
}

}  // namespace velmora
