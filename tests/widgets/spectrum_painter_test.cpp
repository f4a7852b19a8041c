// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/spectrum_painter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <array>
#include <cmath>
#include <limits>

namespace velmora {
namespace {

constexpr int kW = 107;
constexpr int kH = 85;

using Fft = std::array<float, 513>;

Fft Flat(float magnitude) {
    Fft f{};
    f.fill(magnitude);
    return f;
}

// Draws one frame the way the window does (y = -1, so the bars stand on row 84).
void Frame(SpectrumPainter& p, const Fft& fft) {
    QImage screen(kW, kH, QImage::Format_RGB32);
    p.Render(&screen, fft.data(), 0, -1);
    ASSERT_EQ(screen, p.Frame());
}

QRgb At(const SpectrumPainter& p, int x, int y) {
    return p.Frame().pixel(x, y) & 0xFFFFFF;
}

// Rows of column x that carry `color`, top to bottom.
std::vector<int> RowsOf(const SpectrumPainter& p, int x, QRgb color) {
    std::vector<int> rows;
    for (int y = 0; y < kH; ++y) {
        if (At(p, x, y) == color) rows.push_back(y);
    }
    return rows;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> r;
    for (int i = from; i <= to; ++i) r.push_back(i);
    return r;
}

constexpr QRgb kBack = 0x102030;
constexpr QRgb kBar = 0x3060C0;
constexpr QRgb kPeak = 0xF0F0F0;

void BarLook(SpectrumPainter& p) {
    p.DrawStyle = SpectrumPainter::kStyleBars;
    p.BackgroundColor = QColor::fromRgb(kBack);
    p.BarColor = QColor::fromRgb(kBar);
    p.PeakColor = QColor::fromRgb(kPeak);
    p.LevelCap = 80;
}

// The first frame uses the construction values: white lines on black, one column per band,
// cap 100, peak dot above each line; the next frames show the lines falling faster than the dots.
TEST(SpectrumPainter, LineStyleWithConstructionValues) {
    SpectrumPainter p(kW, kH);
    Fft fft{};
    fft[0] = 0.05f;   // level 25
    fft[1] = -0.05f;  // magnitudes count by absolute value
    fft[2] = 0.5f;    // 250, capped at 100
    fft[3] = std::numeric_limits<float>::quiet_NaN();
    fft[4] = std::numeric_limits<float>::infinity();
    Frame(p, fft);
    // Line from row 84 up, 25 pixels (84..60), and the peak dot at 84 - 25 = 59.
    EXPECT_EQ(RowsOf(p, 0, 0xFFFFFF), Range(59, 84));
    EXPECT_EQ(RowsOf(p, 1, 0xFFFFFF), Range(59, 84));
    EXPECT_EQ(p.BarLevels[2], 100);
    EXPECT_EQ(RowsOf(p, 2, 0xFFFFFF), Range(0, 84));
    EXPECT_EQ(p.BarLevels[3], 0);
    EXPECT_EQ(p.BarLevels[4], 100);
    // A silent band shows only its peak dot on the base row.
    EXPECT_EQ(RowsOf(p, 5, 0xFFFFFF), std::vector<int>{84});
    EXPECT_EQ(At(p, 106, 0), 0x000000u);

    Frame(p, Flat(0));
    EXPECT_EQ(p.BarLevels[0], 22);
    EXPECT_EQ(p.PeakLevels[0], 24);
    std::vector<int> want{60};  // dot at 84 - 24
    for (int y : Range(63, 84)) want.push_back(y);
    EXPECT_EQ(RowsOf(p, 0, 0xFFFFFF), want);

    p.ShowPeaks = false;
    Frame(p, Flat(0));
    EXPECT_EQ(RowsOf(p, 0, 0xFFFFFF), Range(66, 84));
}

// Bars of width 5 stand 6 apart, end above the base row, and get clipped at the right edge.
TEST(SpectrumPainter, BarGeometryAndClipping) {
    SpectrumPainter p(kW, kH);
    BarLook(p);
    Frame(p, Flat(0.2f));  // level 100, capped at 80
    EXPECT_EQ(p.BarLevels[128], 80);
    for (int x : {0, 4, 6, 10, 102, 106}) {
        EXPECT_EQ(RowsOf(p, x, kBar), Range(4, 83)) << "column " << x;
    }
    for (int x : {5, 11, 101}) {
        EXPECT_EQ(RowsOf(p, x, kBack).size(), static_cast<size_t>(kH)) << "column " << x;
    }
    // The bar reaches its peak line and covers it; the base row stays background.
    EXPECT_TRUE(RowsOf(p, 0, kPeak).empty());
    for (int x = 0; x < kW; ++x) EXPECT_EQ(At(p, x, 84), kBack) << x;

    // A shift moves everything, bars included, and the base follows y.
    SpectrumPainter shifted(kW, kH);
    BarLook(shifted);
    Fft one{};
    one[0] = 0.02f;  // level 10
    QImage screen(kW, kH, QImage::Format_RGB32);
    shifted.Render(&screen, one.data(), 3, -11);
    EXPECT_EQ(RowsOf(shifted, 3, kBar), Range(64, 73));
    EXPECT_EQ(RowsOf(shifted, 2, kBar), std::vector<int>{});
    EXPECT_EQ(RowsOf(shifted, 7, kBar), Range(64, 73));
    EXPECT_EQ(RowsOf(shifted, 8, kBar), std::vector<int>{});
    EXPECT_EQ(RowsOf(shifted, 9, kPeak), std::vector<int>{74});
}

// After a level of 80 the bar sinks 3 and the peak 1 per frame: bar gone on the 27th silent
// frame, peak on the 80th, with the peak line drawn above the falling bar meanwhile.
TEST(SpectrumPainter, DecayOfBarsAndPeaks) {
    SpectrumPainter p(kW, kH);
    BarLook(p);
    Fft loud{};
    loud[0] = 0.2f;  // 100, capped at 80
    Frame(p, loud);
    ASSERT_EQ(p.BarLevels[0], 80);
    const Fft silent = Flat(0);
    for (int frame = 1; frame <= 80; ++frame) {
        Frame(p, silent);
        EXPECT_EQ(p.BarLevels[0], std::max(80 - 3 * frame, 0)) << frame;
        EXPECT_EQ(p.PeakLevels[0], 80 - frame) << frame;
        if (frame == 10) {
            EXPECT_EQ(RowsOf(p, 2, kBar), Range(84 - 50, 83));
            EXPECT_EQ(RowsOf(p, 2, kPeak), std::vector<int>{84 - 70});
        }
        if (frame == 26) {
            EXPECT_EQ(p.BarLevels[0], 2);
        }
    }
    EXPECT_EQ(p.PeakLevels[0], 0);
    // A zero peak lies on the base row; a new louder level lifts both at once.
    EXPECT_EQ(RowsOf(p, 0, kPeak), std::vector<int>{84});
    Frame(p, Flat(0.01f));
    EXPECT_EQ(p.BarLevels[7], 5);
    EXPECT_EQ(p.PeakLevels[7], 5);
}

// Unknown styles draw nothing but still move the levels; the running look follows the palette.
TEST(SpectrumPainter, OtherStylesAndSystemLook) {
    SpectrumPainter p(kW, kH);
    p.DrawStyle = 2;
    Frame(p, Flat(0.1f));
    EXPECT_EQ(p.BarLevels[10], 50);
    EXPECT_EQ(RowsOf(p, 10, 0x000000).size(), static_cast<size_t>(kH));

    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Highlight, QColor(4, 5, 6));
    palette.setColor(QPalette::WindowText, QColor(7, 8, 9));
    ApplySystemLook(p, palette);
    EXPECT_EQ(p.DrawStyle, SpectrumPainter::kStyleBars);
    EXPECT_EQ(p.LevelCap, 80);
    EXPECT_EQ(p.BackgroundColor, QColor(1, 2, 3));
    EXPECT_EQ(p.BarColor, QColor(4, 5, 6));
    EXPECT_EQ(p.PeakColor, QColor(7, 8, 9));
    Frame(p, Flat(0.2f));
    EXPECT_EQ(p.BarLevels[10], 80);
    EXPECT_EQ(At(p, 0, 3), 0x010203u);
    EXPECT_EQ(At(p, 0, 4), 0x040506u);
}

// The changed region holds every pixel that differs from the frame before, so that repainting only
// it shows the new frame; falling bars change a few rows each, and bars at rest nothing.
TEST(SpectrumPainter, ChangedRegionCoversEveryChange) {
    SpectrumPainter p(kW, kH);
    BarLook(p);
    QImage shown = p.Frame().copy();
    Fft fft{};
    long area = 0;
    const auto show = [&] {
        // Drawn as changes to the frame before, a frame must equal one drawn whole.
        SpectrumPainter whole(kW, kH);
        BarLook(whole);
        whole.PeakLevels = p.PeakLevels;
        whole.BarLevels = p.BarLevels;
        Frame(p, fft);
        Frame(whole, fft);
        ASSERT_EQ(whole.Frame(), p.Frame());
        area = 0;
        for (const QRect& r : p.Changed()) {
            QPainter(&shown).drawImage(r.topLeft(), p.Frame(), r);
            area += r.width() * r.height();
        }
        ASSERT_EQ(shown, p.Frame());
    };
    show();  // the colours change everything
    EXPECT_EQ(area, kW * kH);
    for (int frame = 0; frame < 60; ++frame) {
        for (int band = 0; band < 20; ++band) {
            fft[band] = ((band * 7 + frame * 3) % 11 == 0) ? 0.03f * (band % 5 + 1) : 0.0f;
        }
        show();
    }
    fft.fill(0);
    for (int frame = 0; frame < 80; ++frame) {
        show();
        EXPECT_LE(area, kW * 10) << frame;
    }
    show();
    EXPECT_EQ(area, 0);
}

}  // namespace
}  // namespace velmora
