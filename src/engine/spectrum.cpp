// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/spectrum.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>

namespace engine {

namespace {

struct Plan {
    Plan() {
        in = fftwf_alloc_real(1024);
        out = fftwf_alloc_complex(513);
        plan = fftwf_plan_dft_r2c_1d(1024, in, out, FFTW_ESTIMATE);
        for (int i = 0; i < 1024; ++i)
            window[i] = 0.5f * (1.0f - std::cos(2.0f * static_cast<float>(M_PI) * i / 1024.0f));
    }
    float* in;
    fftwf_complex* out;
    fftwf_plan plan;
    float window[1024];
};

// Planning is not thread-safe in FFTW; one plan, guarded, serves every caller.
std::mutex g_plan_m;

Plan& TheFft() {
    static Plan* p = new Plan();
    return *p;
}

}  // namespace

void FftMagnitudes(const std::array<float, 1024>& samples, float* out512) {
    std::lock_guard lock(g_plan_m);
    Plan& p = TheFft();
    for (int i = 0; i < 1024; ++i) p.in[i] = samples[i] * p.window[i];
    fftwf_execute(p.plan);
    // A sine of amplitude A at a bin centre gives A * sum(window) / 2 = A * 256 there.
    constexpr float kScale = 1.0f / 256.0f;
    for (int k = 0; k < 512; ++k)
        out512[k] = std::sqrt(p.out[k][0] * p.out[k][0] + p.out[k][1] * p.out[k][1]) * kScale;
}

}  // namespace engine
