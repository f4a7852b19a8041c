// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/sleep_timer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

namespace velmora {

int SleepMinutesLeft(std::int64_t left_ms, const SleepTimings& t) {
    if (left_ms <= 0) return 0;
    return static_cast<int>((left_ms + t.minute_ms - 1) / t.minute_ms);
}

double SleepVolumeShare(std::int64_t left_ms, const SleepTimings& t) {
    if (left_ms >= t.fade_ms) return 1.0;
    if (left_ms <= 0) return 0.0;
    return static_cast<double>(left_ms) / static_cast<double>(t.fade_ms);
}

std::int64_t SleepNextTickMs(std::int64_t left_ms, const SleepTimings& t) {
    if (left_ms <= 0) return 0;
    if (left_ms <= t.fade_ms) return std::min<std::int64_t>(t.fade_step_ms, left_ms);
    // The shown minutes change when `left_ms` falls to the next whole minute.
    const std::int64_t to_minute_change = (left_ms - 1) % t.minute_ms + 1;
    return std::min(to_minute_change, left_ms - t.fade_ms);
}

SleepTimer::SleepTimer(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &SleepTimer::Tick);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    clock_ = [started] { return started->elapsed(); };
}

void SleepTimer::SetClock(Clock clock, const SleepTimings& timings) {
    clock_ = std::move(clock);
    timings_ = timings;
}

void SleepTimer::Start(int minutes) {
    minutes = std::clamp(minutes, kSleepMinutesMin, kSleepMinutesMax);
    const bool was_fading = running_ && end_ms_ - clock_() < timings_.fade_ms;
    running_ = true;
    end_ms_ = clock_() + minutes * timings_.minute_ms;
    shown_minutes_ = 0;
    // A restart during the fade gives the full volume back at once.
    if (was_fading) emit volumeShareChanged(1.0);
    Tick();
}

void SleepTimer::Cancel() {
    if (!running_) return;
    Finish();
    emit cancelled();
}

void SleepTimer::Tick() {
    if (!running_) return;
    const std::int64_t left = end_ms_ - clock_();
    if (left <= 0) {
        Finish();
        emit expired();
        return;
    }
    if (const int minutes = SleepMinutesLeft(left, timings_); minutes != shown_minutes_) {
        shown_minutes_ = minutes;
        emit minutesLeftChanged(minutes);
    }
    if (left < timings_.fade_ms) emit volumeShareChanged(SleepVolumeShare(left, timings_));
    timer_->start(static_cast<int>(SleepNextTickMs(left, timings_)));
}

void SleepTimer::Finish() {
    running_ = false;
    timer_->stop();
    shown_minutes_ = 0;
    emit minutesLeftChanged(0);
}

}  // namespace velmora
