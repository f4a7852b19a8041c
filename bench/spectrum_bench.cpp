// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one analyser frame at the window's size, in the look it has while a stream plays.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <array>
#include <cmath>

#include "widgets/spectrum_painter.h"

namespace {

void BM_RenderFrame(benchmark::State& state) {
    velmora::SpectrumPainter painter(107, 85);
    painter.DrawStyle = velmora::SpectrumPainter::kStyleBars;
    painter.LevelCap = 80;
    painter.BackgroundColor = QColor(239, 239, 239);
    painter.BarColor = QColor(48, 140, 198);
    painter.PeakColor = QColor(0, 0, 0);
    QImage screen(107, 85, QImage::Format_RGB32);
    // Music-like magnitudes: falling with frequency, changing each frame so levels and peaks move.
    std::array<std::array<float, 513>, 16> frames{};
    for (size_t f = 0; f < frames.size(); ++f) {
        for (size_t i = 0; i < frames[f].size(); ++i) {
            frames[f][i] = 0.25f / (1.0f + 0.2f * i) * (0.5f + 0.5f * std::sin(0.7f * (f + i)));
        }
    }
    size_t n = 0;
    for (auto _ : state) {
        painter.Render(&screen, frames[n++ % frames.size()].data(), 0, -1);
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
