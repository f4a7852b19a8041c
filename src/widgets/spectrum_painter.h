// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser painter: turns the lowest 129 FFT bands into falling bars (or lines) with peak
// marks, composed off-screen in one of two images created once. Between frames only a few rows of
// each bar change, so only those are drawn, and the window receives only those.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <array>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;
class QPalette;

namespace velmora {

class AnalyserView;

class SpectrumPainter {
  public:
    static constexpr int kBands = 129;
    static constexpr int kStyleLines = 0;
    static constexpr int kStyleBars = 1;

    SpectrumPainter(int width, int height);

    // Draws one frame from `fft` (at least 129 magnitudes, band 0 first) into the frame image and
    // copies the whole image to `target` at (0, 0). x and y shift the drawing inside the image; the
    // bars stand on the line y + height, and anything outside the image is clipped.
    void Render(QPainter& target, const float* fft, int x, int y);
    void Render(QPaintDevice* target, const float* fft, int x, int y);
    // The same for the analyser's widget, which is given the changed rows to show.
    void Render(AnalyserView& target, const float* fft, int x, int y);

    // Only draws the frame, for a caller that shows it itself.
    void Compose(const float* fft, int x, int y);

    // The last composed frame, and where it differs from the one before: disjoint rectangles,
    // top to bottom.
    const QImage& Frame() const { return frames_[current_]; }
    const std::vector<QRect>& ChangedRects() const { return changed_; }
    QRegion Changed() const;

    // Settings, set directly by the owner.
    QColor BackgroundColor{0, 0, 0};
    int LevelCap = 100;
    QColor BarColor{255, 255, 255};
    QColor PeakColor{255, 255, 0};
    int DrawStyle = kStyleLines;
    int PeakDecay = 1;
    int BarDecay = 3;
    int BarWidth = 5;
    bool ShowPeaks = true;

    // Carried from frame to frame and from stream to stream; nothing resets them.
    std::array<int, kBands> PeakLevels{};
    std::array<int, kBands> BarLevels{};

  private:
    // What a frame was drawn with. A frame drawn the same way as the one before is drawn as
    // changes only: each bar's rows that differ, found from the levels without looking at pixels.
    struct Look {
        int x = 0;
        int y = 0;
        QRgb background = 0;
        QRgb bar = 0;
        QRgb peak = 0;
        int bar_width = 0;
        bool peaks = false;
        bool operator==(const Look&) const = default;
    };
    // The look of a frame that can be drawn as changes: opaque bars; none otherwise.
    std::optional<Look> ChangesLook(int x, int y) const;
    void ComposeWhole(int x, int y);
    void ComposeChanges(const Look& look);
    void FindChanges(const QImage& before, const QImage& after);

    // The frame shown and the one composed next, swapped after each frame.
    std::array<QImage, 2> frames_;
    int current_ = 0;
    std::vector<QRect> changed_;
    // The look and the levels the shown frame was drawn with, when it can be drawn on by changes.
    std::optional<Look> drawn_look_;
    std::array<int, kBands> drawn_bars_{};
    std::array<int, kBands> drawn_peaks_{};
};

// What the analyser looks like once running: bars in the desktop's colours (button face behind,
// highlight bars, window-text peaks) with levels capped at 80 pixels. Applied after each frame
// so the colours follow a changed colour scheme.
void ApplySystemLook(SpectrumPainter& painter, const QPalette& palette);

// The region the rectangles cover.
QRegion RegionOf(const std::vector<QRect>& rects);

}  // namespace velmora
