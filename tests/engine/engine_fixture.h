// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the engine tests: one initialised engine per process, a recorder for the
// download callback, a recorder for the metadata sync, and small waiting and FFT helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "engine/engine.h"
#include "support/socket_io.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/wait.h"

namespace velmora::test {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__)
inline constexpr bool kUnderTsan = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kUnderTsan = true;
#else
inline constexpr bool kUnderTsan = false;
#endif
#else
inline constexpr bool kUnderTsan = false;
#endif

// Everything is several times slower under the race detector.
inline std::chrono::milliseconds Scaled(std::chrono::milliseconds ms) {
    return kUnderTsan ? ms * 4 : ms;
}

// Everything the download callback was given, thread-safe.
class DownloadRecorder {
  public:
    static void Proc(const void* buffer, std::uint32_t length, void* user);

    std::vector<std::string> HeaderLines() const;
    std::string Audio() const;
    int EndCalls() const;
    // The length of every call that carried audio, in order.
    std::vector<std::size_t> AudioCallSizes() const;
    // True when a length-0 call came after the first audio bytes.
    bool HeaderAfterAudio() const;
    bool WaitForEnd(std::chrono::milliseconds timeout) const;
    bool WaitForAudio(std::size_t bytes, std::chrono::milliseconds timeout) const;

    // Makes every later audio call block until Release(); for free-while-in-callback tests.
    void BlockAudioCalls();
    void Release();
    bool WaitUntilBlocked(std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> headers_;
    std::string audio_;
    int end_calls_ = 0;
    std::vector<std::size_t> audio_call_sizes_;
    bool header_after_audio_ = false;
    bool block_ = false;
    bool blocked_ = false;
};

// Collects the META text at every metadata sync.
class MetaRecorder {
  public:
    static void Proc(engine::SyncHandle sync, engine::Handle stream, std::uint32_t data,
                     void* user);
    std::vector<std::string> Texts() const;
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> texts_;
};

// The zero-terminated lines of an ICY or HTTP tag block, up to the empty one.
std::vector<std::string> TagLines(const char* tags);
// Index of the strongest FFT bin (1..511) of what the stream is playing, -1 on failure.
int PeakBin(engine::Handle stream, float* magnitude = nullptr);
// A loopback port with nothing listening on it.
std::uint16_t RefusedPort();

// Waits until the engine has let go of `user`: it keeps its callbacks' data until the stream's
// last call, so a count read afterwards is final. Only the caller's own reference may be left.
template <class T>
bool WaitUntilReleased(const std::shared_ptr<T>& user, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return user.use_count() == 1; }, timeout);
}

class EngineTest : public ::testing::Test {
  protected:
    // Initialises the engine once per process and restores the defaults tests may change.
    void SetUp() override;
    void TearDown() override;
    // Tracks a handle so that TearDown frees it.
    engine::Handle Track(engine::Handle stream);
    // The engine keeps `recorder` for as long as it may call it.
    engine::Handle Create(const std::string& url,
                          std::shared_ptr<DownloadRecorder> recorder = nullptr,
                          engine::CancelHandle cancel = nullptr);
    // Waits until the stream plays and its spectrum peaks at `bin`.
    void ExpectPlaysBin(engine::Handle stream, int bin);

    StreamServer server_;
    std::vector<engine::Handle> tracked_;
};

// --- definitions

namespace detail {

class EngineEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { engine::Free(); }
};

inline ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace detail

inline void DownloadRecorder::Proc(const void* buffer, std::uint32_t length, void* user) {
    auto* self = static_cast<DownloadRecorder*>(user);
    std::unique_lock lock(self->mutex_);
    if (!buffer) {
        ++self->end_calls_;
    } else if (length == 0) {
        if (!self->audio_.empty()) self->header_after_audio_ = true;
        self->headers_.emplace_back(static_cast<const char*>(buffer));
    } else {
        self->audio_.append(static_cast<const char*>(buffer), length);
        self->audio_call_sizes_.push_back(length);
        if (self->block_) {
            self->blocked_ = true;
            self->changed_.notify_all();
            self->changed_.wait(lock, [self] { return !self->block_; });
            self->blocked_ = false;
        }
    }
    self->changed_.notify_all();
}

inline std::vector<std::size_t> DownloadRecorder::AudioCallSizes() const {
    std::lock_guard lock(mutex_);
    return audio_call_sizes_;
}

inline std::vector<std::string> DownloadRecorder::HeaderLines() const {
    std::lock_guard lock(mutex_);
    return headers_;
}

inline std::string DownloadRecorder::Audio() const {
    std::lock_guard lock(mutex_);
    return audio_;
}

inline int DownloadRecorder::EndCalls() const {
    std::lock_guard lock(mutex_);
    return end_calls_;
}

inline bool DownloadRecorder::HeaderAfterAudio() const {
    std::lock_guard lock(mutex_);
    return header_after_audio_;
}

inline bool DownloadRecorder::WaitForEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return end_calls_ > 0; });
}

inline bool DownloadRecorder::WaitForAudio(std::size_t bytes,
                                           std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return audio_.size() >= bytes; });
}

inline void DownloadRecorder::BlockAudioCalls() {
    std::lock_guard lock(mutex_);
    block_ = true;
}

inline void DownloadRecorder::Release() {
    {
        std::lock_guard lock(mutex_);
        block_ = false;
    }
    changed_.notify_all();
}

inline bool DownloadRecorder::WaitUntilBlocked(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return blocked_; });
}

inline void MetaRecorder::Proc(engine::SyncHandle, engine::Handle stream, std::uint32_t,
                               void* user) {
    auto* self = static_cast<MetaRecorder*>(user);
    const char* meta = engine::ChannelGetTags(stream, engine::TagKind::Meta);
    {
        std::lock_guard lock(self->mutex_);
        self->texts_.emplace_back(meta ? meta : "<null>");
    }
    self->changed_.notify_all();
}

inline std::vector<std::string> MetaRecorder::Texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

inline bool MetaRecorder::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return texts_.size() >= count; });
}

inline std::vector<std::string> TagLines(const char* tags) {
    std::vector<std::string> lines;
    for (const char* p = tags; p && *p; p += std::strlen(p) + 1) lines.emplace_back(p);
    return lines;
}

inline int PeakBin(engine::Handle stream, float* magnitude) {
    float fft[512] = {};
    if (engine::ChannelGetData(stream, fft, engine::kDataFft1024) < 0) return -1;
    int best = 1;
    for (int i = 2; i < 512; ++i)
        if (fft[i] > fft[best]) best = i;
    if (magnitude) *magnitude = fft[best];
    return best;
}

inline std::uint16_t RefusedPort() {
    std::uint16_t port = 0;
    int fd = ListenLoopback(0, &port);
    ::close(fd);
    return port;
}

inline void EngineTest::SetUp() {
    static const bool initialised = [] {
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);
        const bool ok = engine::Init(-1, 44100, 0, nullptr);
        engine::SetConfig(engine::Config::NetPlaylist, 1);
        engine::SetConfig(engine::Config::NetPrebuf, 0);
        return ok;
    }();
    ASSERT_TRUE(initialised) << "engine initialisation failed, code " << engine::ErrorGetCode();
    engine::SetConfigPtr(engine::ConfigPtr::NetProxy, nullptr);
    engine::SetConfig(engine::Config::NetTimeout, 10000);
    // Most tests follow one connection to its end; the reconnection tests turn reconnecting on.
    engine::SetConfig(engine::Config::NetReconnect, 0);
}

inline void EngineTest::TearDown() {
    for (engine::Handle h : tracked_) engine::StreamFree(h);
    tracked_.clear();
}

inline engine::Handle EngineTest::Track(engine::Handle stream) {
    if (stream) tracked_.push_back(stream);
    return stream;
}

inline engine::Handle EngineTest::Create(const std::string& url,
                                         std::shared_ptr<DownloadRecorder> recorder,
                                         engine::CancelHandle cancel) {
    engine::DownloadProc* const proc = recorder ? &DownloadRecorder::Proc : nullptr;
    return Track(engine::StreamCreateURL(url.c_str(), 0, engine::kStreamStatus, proc,
                                         std::move(recorder), std::move(cancel)));
}

inline void EngineTest::ExpectPlaysBin(engine::Handle stream, int bin) {
    ASSERT_TRUE(WaitUntil([&] { return engine::ChannelIsActive(stream) == 1; }, Scaled(3000ms)))
        << "is-active " << engine::ChannelIsActive(stream);
    // The analyser's window fills with decoded sound: until it is full, the peak is weaker.
    float magnitude = 0;
    int peak = -1;
    WaitUntil(
        [&] {
            peak = PeakBin(stream, &magnitude);
            return peak == bin && magnitude > 0.3f;
        },
        Scaled(2500ms));
    EXPECT_EQ(peak, bin);
    // A half-scale sine at a bin centre, before volume: about 0.5.
    EXPECT_GT(magnitude, 0.3f);
    EXPECT_LT(magnitude, 0.7f);
}

}  // namespace velmora::test
