// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/spectrum_painter.h"

#include <QPainter>
#include <QPalette>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "widgets/analyser_view.h"

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

// Changed rows of one column strip, in ascending order, joined into runs less than kNearRows
// apart: fewer rectangles cost less to send than the few unchanged pixels they take in.
class RowRuns {
  public:
    static constexpr int kNearRows = 4;
    // `close(top, bottom)` receives each finished run.
    template <typename Close>
    void Add(int row, Close&& close) {
        if (bottom_ >= 0 && row - bottom_ > kNearRows) Finish(close);
        if (top_ < 0) top_ = row;
        bottom_ = row;
    }
    template <typename Close>
    void Finish(Close&& close) {
        if (bottom_ >= 0) close(top_, bottom_);
        top_ = bottom_ = -1;
    }

  private:
    int top_ = -1;
    int bottom_ = -1;
};

// Top to bottom, left to right: the order in which a region takes rectangles fastest, and in
// which the X server draws them.
void SortRects(std::vector<QRect>& rects) {
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
}

}  // namespace

SpectrumPainter::SpectrumPainter(int width, int height)
    : frames_{QImage(width, height, QImage::Format_RGB32),
              QImage(width, height, QImage::Format_RGB32)} {
    for (QImage& f : frames_) f.fill(BackgroundColor);
}

std::optional<SpectrumPainter::Look> SpectrumPainter::ChangesLook(int x, int y) const {
    if (DrawStyle != kStyleBars || BarWidth <= 0 || BackgroundColor.alpha() != 255 ||
        BarColor.alpha() != 255 || PeakColor.alpha() != 255) {
        return std::nullopt;
    }
    return Look{x,        y,        BackgroundColor.rgba(), BarColor.rgba(), PeakColor.rgba(),
                BarWidth, ShowPeaks};
}

void SpectrumPainter::Compose(const float* fft, int x, int y) {
    for (int i = 0; i < kBands; ++i) {
        const int level = LevelOf(fft[i], LevelCap);
        int& peak = PeakLevels[i];
        int& bar = BarLevels[i];
        peak = level >= peak ? level : peak - PeakDecay;
        bar = level >= bar ? level : bar - BarDecay;
        if (peak < 0) peak = 0;
        if (bar < 0) bar = 0;
    }
    const std::optional<Look> look = ChangesLook(x, y);
    if (look && drawn_look_ == look) {
        ComposeChanges(*look);
    } else {
        ComposeWhole(x, y);
        drawn_look_ = look;
    }
    drawn_bars_ = BarLevels;
    drawn_peaks_ = PeakLevels;
}

void SpectrumPainter::ComposeWhole(int x, int y) {
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
        const int peak = PeakLevels[i];
        const int bar = BarLevels[i];
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

// Bars in the shown frame, redrawn where their rows change: a row's colour follows from the bar
// and peak levels alone (the bar wins over the peak mark, as it is drawn over it). Its changed rows
// are joined into runs as the search over pixels joins them.
void SpectrumPainter::ComposeChanges(const Look& look) {
    QImage& frame = frames_[current_];
    const int width = frame.width();
    const int height = frame.height();
    const int base = look.y + height;
    uchar* const bits = frame.bits();
    const qsizetype stride = frame.bytesPerLine();
    const auto colour_at = [&](int row, int bar, int peak) {
        if (bar > 0 && row >= base - bar && row < base) return look.bar;
        if (look.peaks && row == base - peak) return look.peak;
        return look.background;
    };
    std::vector<QRect>& runs = changed_;
    runs.clear();
    for (int i = 0; i < kBands; ++i) {
        const int left = look.x + i * (look.bar_width + 1);
        if (left >= width) break;
        const int from = std::max(left, 0);
        const int to = std::min(left + look.bar_width, width);
        if (from >= to) continue;
        const int old_bar = drawn_bars_[i], old_peak = drawn_peaks_[i];
        const int bar = BarLevels[i], peak = PeakLevels[i];
        if (old_bar == bar && old_peak == peak) continue;
        const int top = std::max(0, base - std::max({old_bar, old_peak, bar, peak}));
        const int bottom = std::min(base, height - 1);
        RowRuns changes;
        const auto close = [&](int run_top, int run_bottom) {
            runs.push_back(QRect(from, run_top, to - from, run_bottom - run_top + 1));
        };
        for (int row = top; row <= bottom; ++row) {
            const QRgb now = colour_at(row, bar, peak);
            if (now == colour_at(row, old_bar, old_peak)) continue;
            std::fill_n(reinterpret_cast<QRgb*>(bits + row * stride) + from, to - from, now);
            changes.Add(row, close);
        }
        changes.Finish(close);
    }
    SortRects(runs);
}

// Per strip of columns, the runs of changed rows: a falling bar changes a few rows at its top and
// its peak mark one, so the changed area is a small part of the frame.
void SpectrumPainter::FindChanges(const QImage& before, const QImage& after) {
    const int width = after.width();
    const int strips = (width + kStripWidth - 1) / kStripWidth;
    QVarLengthArray<RowRuns, 32> changes(strips);
    std::vector<QRect>& runs = changed_;
    runs.clear();
    const auto close_in = [&](int s) {
        const int from = s * kStripWidth;
        return [&runs, from, n = std::min(kStripWidth, width - from)](int top, int bottom) {
            runs.push_back(QRect(from, top, n, bottom - top + 1));
        };
    };
    for (int row = 0; row < after.height(); ++row) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(row));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(row));
        if (std::memcmp(a, b, sizeof(QRgb) * width) == 0) continue;
        for (int s = 0; s < strips; ++s) {
            const int from = s * kStripWidth;
            const int n = std::min(kStripWidth, width - from);
            if (std::memcmp(a + from, b + from, sizeof(QRgb) * n) == 0) continue;
            changes[s].Add(row, close_in(s));
        }
    }
    for (int s = 0; s < strips; ++s) changes[s].Finish(close_in(s));
    SortRects(runs);
}

QRegion RegionOf(const std::vector<QRect>& rects) {
    QRegion region;
    for (const QRect& r : rects) region += r;
    return region;
}

QRegion SpectrumPainter::Changed() const {
    return RegionOf(changed_);
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
