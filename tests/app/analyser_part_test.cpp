// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser part draws only while its source has sound: the placeholder line stays until the
// first frame, a start while running keeps the rhythm, and a stop keeps the last frame shown.
#include "app/analyser_part.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <atomic>

#include "support/qt_test_helpers.h"
#include "widgets/analyser_view.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

TEST(AnalyserPart, DrawsOnlyWhatTheSourceGivesAndKeepsTheLastFrame) {
    test::EnsureApp();
    QWidget window;
    auto* view = new AnalyserView(&window);
    view->setGeometry(0, 0, 107, 85);
    auto* placeholder = new QLabel("---", &window);
    auto* timer = new QTimer(&window);
    timer->setInterval(5);
    std::atomic<bool> sounding{false};
    std::atomic<int> asked{0};
    AnalyserPart part(&window, view, placeholder, timer, [&](AnalyserPump::Magnitudes& fft) {
        ++asked;
        fft.fill(0.5f);
        return sounding.load();
    });

    // Nothing sounds yet: ticks ask, and the placeholder stays.
    part.Start();
    EXPECT_TRUE(timer->isActive());
    ASSERT_TRUE(test::WaitFor([&] { return asked >= 2; }, 2s));
    EXPECT_FALSE(placeholder->isHidden());

    // A start while running changes nothing; the first frame with sound hides the placeholder.
    part.Start();
    sounding = true;
    ASSERT_TRUE(test::WaitFor([&] { return placeholder->isHidden(); }, 2s));
    const QImage frame = view->grab().toImage();

    // Stopped: no more asking, and the last frame stays as it was.
    part.Stop();
    EXPECT_FALSE(timer->isActive());
    const int after_stop = asked;
    sounding = false;
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, after_stop);
    EXPECT_EQ(view->grab().toImage(), frame);
}

}  // namespace
}  // namespace velmora
