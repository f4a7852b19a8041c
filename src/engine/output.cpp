#include "engine/output.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/stream_core.h"

namespace vle {

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
    SDL_AudioSpec want{};
    want.freq = freq;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    // 4096 frames (93 ms) a period: a radio stream buffers seconds anyway, and each period costs
    // the system a wake-up whatever it carries. The analyser finds its place inside the period by
    // the clock.
    want.samples = kPeriodFrames;
    want.callback = &Output::Callback;
    want.userdata = this;
    const char* name = nullptr;
    std::string chosen;
    if (device >= 0) {
        const char* n = SDL_GetAudioDeviceName(device, 0);
        if (!n) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            *error = ErrorCode::Driver;
            return false;
        }
        chosen = n;
        name = chosen.c_str();
    }
    SDL_AudioSpec have{};
    dev_ = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (dev_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        *error = ErrorCode::Driver;
        return false;
    }
    rate_ = freq;
    period_ = have.samples ? have.samples : kPeriodFrames;
    // Starts paused; it runs only while something plays, so an idle player mixes nothing.
    return true;
}

void Output::Close() {
    if (!dev_) return;
    SDL_CloseAudioDevice(dev_);  // waits for a running callback to return
    dev_ = 0;
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
    // Outside m_: pausing waits for a running callback, which may be waiting for m_.
    if (dev_) SDL_PauseAudioDevice(dev_, 0);
}

void Output::Remove(const StreamCore* core) {
    bool empty;
    {
        std::lock_guard lock(m_);
        playing_.erase(std::remove_if(playing_.begin(), playing_.end(),
                                      [core](const auto& p) { return p.get() == core; }),
                       playing_.end());
        empty = playing_.empty();
    }
    if (empty && dev_) SDL_PauseAudioDevice(dev_, 1);
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
    // `finished` may hold the last references: they are released here, outside the lock.
}

}  // namespace vle
