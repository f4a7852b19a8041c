// SPDX-License-Identifier: GPL-3.0-or-later
// The analyser's frames on a real X server: what the server holds in the window after frames sent
// as changes is the painter's frame, wherever the analyser sits in its window. This program makes
// its own display and toolkit, so it has a test of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "widgets/analyser_pump.h"
#include "widgets/analyser_view.h"
#include "widgets/spectrum_painter.h"
#include "widgets/x11_image_push.h"

namespace velmora {
namespace {

// A virtual X display for the rest of the program's life.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        if (!xvfb_.waitForStarted(5000) || !xvfb_.waitForReadyRead(5000)) return;
        const QByteArray number = xvfb_.readLine().trimmed();
        setenv("DISPLAY", (":" + number).constData(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        ok_ = !number.isEmpty();
    }
    ~VirtualDisplay() {
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }
    bool ok() const { return ok_; }

  private:
    QProcess xvfb_;
    bool ok_ = false;
};

QImage OnScreen(QWidget& top, const QRect& area) {
    return top.screen()
        ->grabWindow(top.winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool WaitExposed(QWidget& top) {
    QElapsedTimer clock;
    clock.start();
    while (!(top.windowHandle() && top.windowHandle()->isExposed()) && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return top.windowHandle() && top.windowHandle()->isExposed();
}

TEST(AnalyserOnX, TheWindowHoldsEveryFrame) {
    VirtualDisplay display;
    ASSERT_TRUE(display.ok()) << "Xvfb is needed";
    int argc = 1;
    char name[] = "x11_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");

    QWidget top;
    top.resize(220, 160);
    auto* view = new AnalyserView(&top);
    const QRect place(13, 21, 107, 85);
    view->setGeometry(place);
    auto* sibling = new QWidget(&top);
    sibling->setGeometry(130, 21, 40, 40);
    top.show();
    ASSERT_TRUE(WaitExposed(top));

    // Straight to the window: rectangles at an offset, and nothing sent for a foreign layout.
    QImage pattern(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x) pattern.setPixel(x, y, qRgb(x * 6, y * 8, 77));
    X11ImagePush push;
    ASSERT_TRUE(push.Push(top.winId(), pattern, {QRect(0, 0, 40, 10), QRect(5, 10, 35, 20)},
                          QPoint(150, 100)));
    const QImage sent = OnScreen(top, QRect(150, 100, 40, 30));
    EXPECT_EQ(sent.copy(0, 0, 40, 10), pattern.copy(0, 0, 40, 10));
    EXPECT_EQ(sent.copy(5, 10, 35, 20), pattern.copy(5, 10, 35, 20));
    EXPECT_FALSE(push.Push(top.winId(), pattern.convertToFormat(QImage::Format_RGB888),
                           {QRect(0, 0, 4, 4)}, QPoint()));

    // The analyser's own frames, rising and falling, as the window draws them.
    SpectrumPainter painter(place.width(), place.height());
    ApplySystemLook(painter, top.palette());
    // What the window shows once the server has had the requests: its own window is mapped, and
    // first drawn on its exposure, a moment after the first frame.
    QElapsedTimer settle;
    const auto shown = [&] {
        settle.restart();
        while (OnScreen(top, place) != painter.Frame() && settle.elapsed() < 3000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return OnScreen(top, place);
    };

    std::array<float, 513> fft{};
    for (int frame = 0; frame < 60; ++frame) {
        for (int band = 0; band < 20; ++band)
            fft[band] = frame < 40 && (band * 5 + frame) % 7 == 0 ? 0.02f * (band % 4 + 1) : 0.0f;
        painter.Render(*view, fft.data(), 0, -1);
        QApplication::processEvents();
        if (frame % 10 == 9) {
            ASSERT_EQ(shown(), painter.Frame()) << "frame " << frame;
        }
    }
    // The analyser has a window of its own, its neighbours do not; uncovered, it shows the last
    // frame again without a new one.
    EXPECT_NE(view->internalWinId(), 0u);
    EXPECT_EQ(sibling->internalWinId(), 0u);
    top.hide();
    QApplication::processEvents();
    top.show();
    ASSERT_TRUE(WaitExposed(top));
    EXPECT_EQ(shown(), painter.Frame());

    // Frames drawn on the pump's thread reach the window as well; while it is hidden they are not
    // sent, and shown again it is right; once nothing sounds, the last one stays.
    std::atomic<int> asked{0};
    AnalyserPump pump(
        painter, *view,
        [&](AnalyserPump::Magnitudes& m) {
            const int n = asked++;
            for (int band = 0; band < 20; ++band) m[band] = (band * 3 + n) % 5 == 0 ? 0.05f : 0.0f;
            return n < 60;
        },
        std::chrono::milliseconds(2));
    const auto wait_asked = [&](int count) {
        settle.restart();
        while (asked < count && settle.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        return asked >= count;
    };
    pump.Start();
    ASSERT_TRUE(wait_asked(15));
    EXPECT_GT(view->FramesSent(), 0);
    top.hide();
    settle.restart();
    while (top.windowHandle()->isExposed() && settle.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(wait_asked(asked + 2));  // a frame under way when it went
    const int sent_before = view->FramesSent();
    ASSERT_TRUE(wait_asked(asked + 15));
    EXPECT_EQ(view->FramesSent(), sent_before) << "nothing is sent while nothing can be seen";
    top.show();
    ASSERT_TRUE(WaitExposed(top));
    ASSERT_TRUE(wait_asked(70));
    pump.Stop();
    EXPECT_FALSE(pump.Running());
    EXPECT_EQ(shown(), painter.Frame());
}

}  // namespace
}  // namespace velmora
