// SPDX-License-Identifier: GPL-3.0-or-later
// The "Find stations" window: a 1,000-station answer from a loopback directory to rows on screen
// (request, parse, table filled and painted), and a 10,000-row table scrolled page by page.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "finding/find_stations_window.h"
#include "finding/found_stations_model.h"
#include "finding/station_search.h"
#include "support/directory_answers.h"

namespace {

using namespace velmora;

std::shared_ptr<DirectoryClient> LocalClient(const std::string& server, const QString& cache) {
    DirectoryConfig config;
    config.servers = {server};
    config.cache_folder = cache.toStdString();
    return std::make_shared<DirectoryClient>(config);
}

void BM_AnswerToRowsOnScreen(benchmark::State& state) {
    test::StreamServer server;
    test::ServeDirectory(server,
                         test::StationList(test::NumberedStations(1000, server.Url("/stream"))));
    QTemporaryDir cache;
    FindStationsWindow window(LocalClient(server.Url(""), cache.path()), QString());
    window.show();
    QApplication::processEvents();
    int round = 0;
    for (auto _ : state) {
        SearchQuery q;
        q.name = "station" + std::to_string(round++);
        q.limit = 1000;
        window.Search()->Search(q);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // The model is reset when the answer arrives; wait for that reset's 1,000 rows.
        bool shown = false;
        const auto connection =
            QObject::connect(window.Search(), &StationSearch::found, [&] { shown = true; });
        while (!shown && std::chrono::steady_clock::now() < until) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QObject::disconnect(connection);
        if (window.Model()->Count() != 1000) state.SkipWithError("the answer did not arrive");
        window.Table()->viewport()->repaint();
    }
}
BENCHMARK(BM_AnswerToRowsOnScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScrollTenThousandRows(benchmark::State& state) {
    QTemporaryDir cache;
    FindStationsWindow window(LocalClient("http://127.0.0.1:1", cache.path()), QString());
    std::vector<FoundStation> stations;
    for (const test::StationFields& f : test::NumberedStations(10000, "http://127.0.0.1:1/s")) {
        FoundStation s;
        s.uuid = f.uuid;
        s.name = f.name;
        s.url = f.url;
        s.tags = f.tags;
        s.countrycode = f.countrycode;
        s.codec = f.codec;
        s.bitrate = f.bitrate;
        s.votes = f.votes;
        stations.push_back(std::move(s));
    }
    const_cast<FoundStationsModel*>(window.Model())->Set(std::move(stations));
    window.show();
    QApplication::processEvents();
    QScrollBar* bar = window.Table()->verticalScrollBar();
    std::int64_t pages = 0;
    for (auto _ : state) {
        // Top to bottom, a page at a time, each page painted.
        bar->setValue(0);
        while (bar->value() < bar->maximum()) {
            bar->setValue(bar->value() + bar->pageStep());
            window.Table()->viewport()->repaint();
            ++pages;
        }
    }
    state.counters["pages"] =
        benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ScrollTenThousandRows)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
