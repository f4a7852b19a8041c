// SPDX-License-Identifier: GPL-3.0-or-later
// The sleep timer: after the chosen minutes playback ends by itself. Over its last seconds the
// volume fades out; the window then stops the station and any recording and sets the volume back.
// The clock is handed in, so tests can move time instead of waiting for it.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>

class QTimer;

namespace velmora {

// The durations the menus offer, and the range of a typed one.
inline constexpr std::array<int, 5> kSleepTimerChoices = {15, 30, 45, 60, 90};
inline constexpr int kSleepMinutesMin = 1;
inline constexpr int kSleepMinutesMax = 600;

struct SleepTimings {
    std::int64_t minute_ms = 60'000;
    std::int64_t fade_ms = 30'000;  // the fade takes the last this many milliseconds
    int fade_step_ms = 250;         // how often the volume is lowered while fading
};

// Whole minutes shown for `left_ms`, rounded up: the last minute shows as 1 until the end.
int SleepMinutesLeft(std::int64_t left_ms, const SleepTimings& timings = {});
// The share of the volume heard with `left_ms` to go: 1 before the fade, falling evenly to 0.
double SleepVolumeShare(std::int64_t left_ms, const SleepTimings& timings = {});
// Milliseconds until the timer next has something to change: the fade's next step, else the
// next change of the shown minutes or the fade's start, whichever comes first.
std::int64_t SleepNextTickMs(std::int64_t left_ms, const SleepTimings& timings = {});

class SleepTimer final : public QObject {
    Q_OBJECT
  public:
    // Milliseconds of a monotonic clock.
    using Clock = std::function<std::int64_t()>;

    explicit SleepTimer(QObject* parent = nullptr);

    // For tests: another clock and other lengths. A running timer keeps its end on the old clock.
    void SetClock(Clock clock, const SleepTimings& timings);

    // Starts (or restarts) the timer for `minutes`.
    void Start(int minutes);
    // Stops the timer early; `cancelled` tells the window to set the volume back.
    void Cancel();
    bool Running() const { return running_; }
    // Minutes left as shown; 0 when the timer does not run.
    int MinutesLeft() const { return running_ ? shown_minutes_ : 0; }

  public slots:
    // Reads the clock and reports what changed; the timer calls it, a test may too.
    void Tick();

  signals:
    // The shown minutes changed; 0 when the timer ended or was cancelled.
    void minutesLeftChanged(int minutes);
    // While fading: the share (0..1) of the user's volume to play at.
    void volumeShareChanged(double share);
    // The time is up: playback and recording are to stop, the volume to be set back.
    void expired();
    void cancelled();

  private:
    void Finish();

    Clock clock_;
    SleepTimings timings_;
    QTimer* timer_ = nullptr;
    bool running_ = false;
    std::int64_t end_ms_ = 0;
    int shown_minutes_ = 0;
};

}  // namespace velmora
