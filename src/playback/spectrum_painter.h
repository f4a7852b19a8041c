// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser painter: turns the lowest 129 FFT bands into falling bars (or lines) with peak
// marks, composed off-screen in one of two images created once. Between frames only a few rows of
// each bar change, so the widget repaints (and the X server receives) only those.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QWidget>
#include <array>

class QPainter;
class QPaintDevice;
class QPalette;

namespace velmora {

class SpectrumPainter;

// PaintBox1, the analyser's surface: shows the painter's last frame and keeps it until the next
// one; before the first frame it draws nothing, so the window shows through. From the first frame
// on it covers its whole area, so nothing under it is painted again.
class AnalyserView final : public QWidget {
  public:
    explicit AnalyserView(QWidget* parent = nullptr);
    // The frame to show from now on (the painter's image, which outlives this widget's use of it);
    // `changed` is where it differs from the frame shown before.
    void ShowFrame(const QImage* frame, const QRegion& changed);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool CopyToWindow(const QRegion& changed);

    const QImage* frame_ = nullptr;
};

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
    // The same for the analyser's widget, which copies the image when it next paints.
    void Render(AnalyserView& target, const float* fft, int x, int y);

    // The last composed frame, and where it differs from the one before.
    const QImage& Frame() const { return frames_[current_]; }
    const QRegion& Changed() const { return changed_; }

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
    void Compose(const float* fft, int x, int y);
    void FindChanges(const QImage& before, const QImage& after);

    // The frame shown and the one composed next, swapped after each frame.
    std::array<QImage, 2> frames_;
    int current_ = 0;
    QRegion changed_;
};

// What the analyser looks like once running: bars in the desktop's colours (button face behind,
// highlight bars, window-text peaks) with levels capped at 80 pixels. Applied after each frame
// so the colours follow a changed colour scheme.
void ApplySystemLook(SpectrumPainter& painter, const QPalette& palette);

}  // namespace velmora
