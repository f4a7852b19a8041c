// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/output.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/thread_start.h"
#include "engine/stream_core.h"

namespace engine {

namespace {
// Volume changes glide over about 10 ms so that they never click.
constexpr float kVolumeStep = 1.0f / 441.0f;
}  // namespace

bool Output::Open(int device, int freq, ErrorCode* error) {
    // The program handles its own signals; SDL's handlers would swallow SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *error = ErrorCode::Driver;
        return false;
    }
    named_device_ = device >= 0;
    device_name_.clear();
    if (named_device_) {
        const char* n = SDL_GetAudioDeviceName(device, 0);
        if (!n) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            *error = ErrorCode::Driver;
            return false;
        }
        device_name_ = n;
    }
    rate_ = freq;
    // Opened now to tell the caller whether there is a usable device. The device thread closes it
    // once the linger has passed: closing waits for SDL's thread, and a station chosen at once
    // plays on it.
    const SDL_AudioDeviceID dev = OpenDevice();
    if (dev == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        *error = ErrorCode::Driver;
        return false;
    }
    SDL_PauseAudioDevice(dev, 0);
    {
        std::lock_guard lock(dev_m_);
        want_open_ = false;
        quit_ = false;
    }
    device_thread_ = velmora::StartThread([this, dev] { DeviceLoop(dev); }, velmora::AbortOnThrow);
    return true;
}

SDL_AudioDeviceID Output::OpenDevice() {
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    // 8192 frames (186 ms at 44.1 kHz) a period: a radio stream buffers seconds anyway. The sound
    // server asks for a period in several pieces, each a wake-up whatever it carries: at 4096
    // frames that was about 90 a second, at 8192 about 30. A Stop or a volume change is heard
    // at most one period later. The analyser finds its place inside the period by the clock.
    want.samples = kPeriodFrames;
    want.callback = &Output::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID dev =
        SDL_OpenAudioDevice(named_device_ ? device_name_.c_str() : nullptr, 0, &want, &have, 0);
    if (dev != 0) period_ = have.samples ? have.samples : kPeriodFrames;
    // Starts paused.
    return dev;
}

void Output::DeviceLoop(SDL_AudioDeviceID dev) {
    std::unique_lock lock(dev_m_);
    for (;;) {
        // Sleeps until the wish changes: an idle player has no thread that wakes.
        dev_cv_.wait(lock, [&] { return quit_ || want_open_ != (dev != 0); });
        if (quit_) break;
        // Lingers before closing: the next station of a change sounds on the open device.
        if (!want_open_ && dev_cv_.wait_for(lock, linger_, [&] { return quit_ || want_open_; }))
            continue;
        const bool open = want_open_;
        lock.unlock();
        if (open) {
            dev = OpenDevice();
            if (dev) SDL_PauseAudioDevice(dev, 0);
        } else {
            SDL_CloseAudioDevice(dev);  // waits for a running callback, which may wait for m_
            dev = 0;
        }
        lock.lock();
        // A device that would not open is tried again by the next stream that plays.
        if (open && !dev && want_open_) want_open_ = false;
    }
    lock.unlock();
    if (dev) SDL_CloseAudioDevice(dev);
}

void Output::Close() {
    if (!device_thread_.joinable()) return;
    {
        std::lock_guard lock(dev_m_);
        quit_ = true;
    }
    dev_cv_.notify_all();
    device_thread_.join();  // closes the device
    {
        std::lock_guard lock(m_);
        playing_.clear();
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Output::Add(const std::shared_ptr<StreamCore>& core) {
    {
        std::lock_guard lock(m_);
        if (std::find(playing_.begin(), playing_.end(), core) == playing_.end())
            playing_.push_back(core);
    }
    UpdateDevice();
}

void Output::Remove(const StreamCore* core) {
    {
        std::lock_guard lock(m_);
        playing_.erase(std::remove_if(playing_.begin(), playing_.end(),
                                      [core](const auto& p) { return p.get() == core; }),
                       playing_.end());
    }
    UpdateDevice();
}

void Output::SetLinger(std::chrono::milliseconds linger) {
    {
        std::lock_guard lock(dev_m_);
        linger_ = linger;
    }
    dev_cv_.notify_all();
}

void Output::UpdateDevice() {
    {
        // Both locks: an Add and a Remove that cross each other leave the wish that matches the
        // list as it ends up. Never the other way round: the callback holds m_ alone.
        std::lock_guard dev_lock(dev_m_);
        std::lock_guard lock(m_);
        want_open_ = !playing_.empty();
    }
    dev_cv_.notify_all();
}

void Output::Callback(void* ud, Uint8* stream, int len) {
    // SDL's thread: nothing may be thrown out of it. A mix that failed plays silence.
    try {
        static_cast<Output*>(ud)->Mix(reinterpret_cast<float*>(stream), len / 8);
    } catch (...) {
        std::memset(stream, 0, static_cast<std::size_t>(len));
    }
}

void Output::Mix(float* out, int frames) {
    const auto now = std::chrono::steady_clock::now();
    const std::size_t count = static_cast<std::size_t>(frames);
    std::vector<std::shared_ptr<StreamCore>> finished;
    bool silent = true;  // `out` holds nothing yet
    {
        std::lock_guard lock(m_);
        scratch_.resize(count * 2);
        for (const auto& core : playing_) {
            if (!core->playing.load() || core->dead.load()) continue;
            // The first stream decodes straight into the device's buffer; others are added.
            float* buf = silent ? out : scratch_.data();
            const std::size_t n = core->pcm.Pop(buf, count, now);
            if (n == 0 && core->decoder_done.load() && core->pcm.size() == 0) {
                core->ended = true;
                finished.push_back(core);
                continue;
            }
            if (n < count) std::fill(buf + 2 * n, buf + 2 * count, 0.0f);
            if (n > 0) {
                core->mix_started = true;
            } else if (core->mix_started && core->ring && !core->decoder_done.load()) {
                // Before the first samples the decoder is merely starting, not starved.
                core->ring->MarkUnderrun();
            }
            const float target = core->volume.load();
            if (!core->mix_volume_set) {
                core->mix_volume = target;
                core->mix_volume_set = true;
            }
            float v = core->mix_volume;
            if (buf == out) {
                if (v != target || v != 1.0f) {
                    for (std::size_t i = 0; i < n; ++i) {
                        if (v != target)
                            v = v < target ? std::min(target, v + kVolumeStep)
                                           : std::max(target, v - kVolumeStep);
                        out[2 * i] *= v;
                        out[2 * i + 1] *= v;
                    }
                }
            } else {
                for (std::size_t i = 0; i < n; ++i) {
                    if (v != target)
                        v = v < target ? std::min(target, v + kVolumeStep)
                                       : std::max(target, v - kVolumeStep);
                    out[2 * i] += scratch_[2 * i] * v;
                    out[2 * i + 1] += scratch_[2 * i + 1] * v;
                }
            }
            core->mix_volume = v;
            silent = false;
        }
        for (const auto& f : finished)
            playing_.erase(std::remove(playing_.begin(), playing_.end(), f), playing_.end());
    }
    if (silent) std::fill(out, out + 2 * count, 0.0f);
    // A stream that ended by itself may have been the last: the device closes then too.
    if (!finished.empty()) UpdateDevice();
    // `finished` may hold the last references: they are released here, outside the lock.
}

}  // namespace engine
