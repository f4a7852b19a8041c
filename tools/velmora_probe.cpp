// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-probe: opens a station the way the player does and reports every step, one line per
// event. The tool to diagnose a station that will not play.
//
//   velmora-probe [--seconds N] [--proxy ADDR] [--record FILE] URL
//
// Exit status: 0 played, 1 could not be created, 2 bad arguments.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "base/posix_io.h"
#include "engine/engine.h"
#include "opening/engine_start.h"
#include "opening/stream_opener.h"
#include "opening/stream_status.h"
#include "text/server_text.h"

namespace {

std::mutex g_out_m;

void Line(const std::string& text) {
    std::lock_guard lock(g_out_m);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: velmora-probe [--seconds N] [--proxy ADDR] [--record FILE] URL\n"
                 "  --seconds N    play for N seconds (default 10)\n"
                 "  --proxy ADDR   host:port or user:pass@host:port\n"
                 "  --record FILE  write the raw downloaded audio bytes to FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::string proxy, record, url;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--seconds" || a == "--proxy" || a == "--record") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--seconds") {
                char* end = nullptr;
                seconds = std::strtod(v.c_str(), &end);
                if (end == v.c_str() || *end || seconds < 0) return Usage();
            } else if (a == "--proxy") {
                proxy = v;
            } else {
                record = v;
            }
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else if (url.empty()) {
            url = a;
        } else {
            return Usage();
        }
    }
    if (url.empty()) return Usage();

    std::FILE* rec = nullptr;
    if (!record.empty()) {
        rec = std::fopen(record.c_str(), "wb");
        if (!rec) {
            std::fprintf(stderr, "velmora-probe: cannot create %s: %s\n", record.c_str(),
                         velmora::ErrnoText(errno).c_str());
            return 2;
        }
    }

    // Started as the player starts it.
    const velmora::EngineStart started = velmora::StartEngine();
    if (started == velmora::EngineStart::WrongVersion) {
        Line("error version " + std::to_string(engine::GetVersion()));
        return 1;
    }
    if (started == velmora::EngineStart::NoOutput) {
        const auto code = static_cast<engine::ErrorCode>(engine::ErrorGetCode());
        Line("error " + std::to_string(static_cast<int>(code)) + " " + engine::ErrorName(code));
        return 1;
    }
    engine::SetConfigPtr(engine::ConfigPtr::NetProxy, proxy.empty() ? nullptr : proxy.c_str());

    std::atomic<std::uint64_t> bytes{0};
    std::atomic<int> failure{0};
    std::atomic<bool> failed{false};
    std::mutex rec_m;
    // The station's texts are decoded as the window decodes them: one code page per stream.
    std::mutex text_m;
    velmora::ServerTextDecoder texts;

    velmora::StreamOpener opener(
        [&](const velmora::StatusReport& r) {
            const int code = static_cast<int>(r.code);
            if (r.code == velmora::StreamStatus::Buffering) {
                Line("status 2 " + std::to_string(r.number));
            } else if (r.code == velmora::StreamStatus::CannotPlay) {
                failure = static_cast<int>(r.number);
                failed = true;
                Line("status 1 Can't play the stream");
            } else if (r.code == velmora::StreamStatus::Connecting) {
                Line("status 0 Connecting...");
            } else if (r.code == velmora::StreamStatus::Reconnect) {
                Line(r.number == 1   ? "status 9 Reconnecting..."
                     : r.number == 2 ? "status 9 gave up"
                                     : "status 9 flowing again");
            } else {
                std::string text;
                {
                    std::lock_guard lock(text_m);
                    text = velmora::ReportText(r, texts);
                }
                Line("status " + std::to_string(code) + " " + velmora::PrintableText(text));
            }
        },
        [] { return 100; },
        [&](const void* data, std::uint32_t length) {
            std::lock_guard lock(rec_m);
            if (!data) return;
            bytes += length;
            if (rec) std::fwrite(data, 1, length, rec);
        });

    opener.Start(url);
    while (opener.IsOpening()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (failed || opener.CurrentStream() == 0) {
        const auto code = static_cast<engine::ErrorCode>(failure.load());
        Line("error " + std::to_string(static_cast<int>(code)) + " " + engine::ErrorName(code));
        engine::Free();
        if (rec) std::fclose(rec);
        return 1;
    }

    const engine::Handle h = opener.CurrentStream();
    const auto start = std::chrono::steady_clock::now();
    auto next_fft = start + std::chrono::seconds(1);
    int active = -1;
    bool played = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const int a = engine::ChannelIsActive(h);
        if (a != active) {
            active = a;
            Line("active " + std::to_string(a));
        }
        if (a != 0) played = true;
        if (a == 0 && played) break;  // the station ended the stream
        if (now - start >= std::chrono::duration<double>(seconds)) break;
        if (now >= next_fft) {
            next_fft += std::chrono::seconds(1);
            if (a == 1) {
                float fft[513] = {};
                engine::ChannelGetData(h, fft, engine::kDataFft1024);
                const float peak = *std::max_element(fft, fft + 129);
                char buf[32];
                std::snprintf(buf, sizeof buf, "fft %.4f", peak);
                Line(buf);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    opener.StopAndFree();
    {
        std::lock_guard lock(rec_m);
        Line("bytes " + std::to_string(bytes.load()));
        if (rec) std::fclose(rec);
        rec = nullptr;
    }
    engine::Free();
    return 0;
}
