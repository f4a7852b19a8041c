// SPDX-License-Identifier: GPL-3.0-or-later
// Main-window figures: from the window's creation to its first paint, and from choosing a
// loopback station to the first audible sample, with the engine's own create-to-playing time
// measured in the same process beside it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/main_window.h"
#include "channels/channel_list_model.h"
#include "engine/engine.h"
#include "support/stream_server.h"
#include "support/test_audio.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace velmora;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <class Done>
bool PumpUntil(Done done, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

class PaintWatch final : public QObject {
  public:
    bool painted = false;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

bool Audible(engine::Handle h) {
    float fft[512];
    return engine::ChannelGetData(h, fft, engine::kDataFft1024) > 0 &&
           *std::max_element(fft + 1, fft + 512) > 0.05f;
}

void Close(MainWindow* form) {
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BM_WindowCreateToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        PaintWatch watch;
        const auto t0 = Clock::now();
        auto* form = new MainWindow;
        form->installEventFilter(&watch);
        form->show();
        if (!PumpUntil([&] { return watch.painted; }, std::chrono::seconds(5))) {
            state.SkipWithError("the window never painted");
            Close(form);
            break;
        }
        state.SetIterationTime(Ms(Clock::now() - t0) / 1000.0);
        Close(form);
    }
}
BENCHMARK(BM_WindowCreateToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PlayToFirstAudibleSample(benchmark::State& state) {
    test::StreamServer server;
    test::StreamRoute route;
    route.audio = test::EncodeSine({});
    route.headers = {"icy-name:Bench FM", "icy-br:128"};
    route.burst_bytes = 80000;  // five seconds at once, then real time, as servers greet
    route.bytes_per_second = 16000;
    route.loop = true;
    server.AddStream("/live", route);
    const std::string url = server.Url("/live");

    auto* form = new MainWindow;
    form->show();
    form->Channels()->ReplaceAll({{"Bench FM", QString::fromStdString(url), {}, {}}});
    QListView* list = form->Channels()->View();
    const QPointF at(list->visualRect(form->Channels()->index(0)).center());
    double engine_total = 0;
    int engine_runs = 0;

    for (auto _ : state) {
        const auto t0 = Clock::now();
        form->Channels()->ClearSelection();
        QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &press);
        QApplication::sendEvent(list->viewport(), &release);
        if (!PumpUntil([&] { return Audible(form->CurrentStream()); }, std::chrono::seconds(5))) {
            state.SkipWithError("no sound within 5 s");
            break;
        }
        state.SetIterationTime(Ms(Clock::now() - t0) / 1000.0);

        // The engine alone, same server and process: creation to playing.
        state.PauseTiming();
        const auto e0 = Clock::now();
        const engine::Handle h = engine::StreamCreateURL(
            url.c_str(), 0, engine::kStreamStatus, [](const void*, std::uint32_t, void*) {},
            nullptr);
        engine::ChannelPlay(h, false);
        while (h && engine::ChannelIsActive(h) != 1) std::this_thread::yield();
        engine_total += Ms(Clock::now() - e0);
        ++engine_runs;
        engine::StreamFree(h);
        state.ResumeTiming();
    }
    state.counters["engine_create_to_playing_ms"] = engine_runs ? engine_total / engine_runs : 0.0;
    Close(form);
}
BENCHMARK(BM_PlayToFirstAudibleSample)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
