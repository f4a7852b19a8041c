// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, showing and saving a big user channel list (10,000 entries, as an imported collection
// might be). Each should stay well under 200 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include "channels/channel_file.h"
#include "channels/channel_list_model.h"

namespace {

using velmora::ChannelEntry;
using velmora::ChannelListModel;

constexpr int kEntries = 10000;

std::vector<ChannelEntry> BigList() {
    std::vector<ChannelEntry> list;
    list.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        if (i % 25 == 24) {
            list.push_back(ChannelEntry::Separator());
            continue;
        }
        const QString n = QString::number(i);
        list.push_back({"Station number " + n,
                        "http://stream" + n + ".radio.example.org:8000/live/high.mp3",
                        i % 2 ? "http://www.radio" + n + ".example.org" : QString(),
                        i % 3 ? "http://www.radio" + n + ".example.org/schedule" : QString()});
    }
    return list;
}

struct Panel {
    Panel() : model(&window) {
        window.resize(153, 193);
        model.View()->setGeometry(8, 16, 137, 152);
    }
    QWidget window;
    ChannelListModel model;
};

// Reading the file and filling the list.
void BM_LoadChannelList(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ChannelList.vlr");
    if (velmora::WriteChannelFile(path, BigList())) state.SkipWithError("cannot write the list");
    Panel panel;
    for (auto _ : state) {
        const velmora::ChannelFileReadResult read = velmora::ReadChannelFile(path);
        panel.model.ReplaceAll(read.entries);
        benchmark::DoNotOptimize(panel.model.Count());
    }
}
BENCHMARK(BM_LoadChannelList)->Unit(benchmark::kMillisecond);

// Showing the filled list: layout of all rows, restoring the scroll position and the first paint.
void BM_ShowChannelList(benchmark::State& state) {
    Panel panel;
    panel.model.ReplaceAll(BigList());
    for (auto _ : state) {
        panel.model.SetTopRow(kEntries / 2);
        panel.window.show();
        QApplication::processEvents();
        panel.model.View()->viewport()->repaint();
        benchmark::DoNotOptimize(panel.model.TopRow());
        state.PauseTiming();
        panel.window.hide();
        panel.model.View()->reset();  // forget the layout, as a fresh start would
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowChannelList)->Unit(benchmark::kMillisecond);

// Writing the list through a temporary file.
void BM_SaveChannelList(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ChannelList.vlr");
    Panel panel;
    panel.model.ReplaceAll(BigList());
    for (auto _ : state) {
        if (velmora::WriteChannelFile(path, panel.model.Entries()))
            state.SkipWithError("cannot write the list");
    }
}
BENCHMARK(BM_SaveChannelList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
