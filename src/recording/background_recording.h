// SPDX-License-Identifier: GPL-3.0-or-later
// A recording of a station beside whatever plays: a second stream of the running engine, only
// downloaded, never decoded to the sound output. Its worker opens the station and waits for the
// stop; nothing here blocks the caller.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "recording/download_recording.h"

namespace velmora {

class BackgroundRecording {
  public:
    // The callbacks run on the worker or the download thread. `ended` comes once: after Stop(),
    // when the station ended, or when it could not be opened (`opened` false, with the engine's
    // error code).
    using Ended = std::function<void(bool opened, int error_code)>;

    // Starts at once; the engine must be running.
    BackgroundRecording(DownloadRecordingPlan plan, DownloadRecording::FileDone done,
                        DownloadRecording::Problem problem, Ended ended);
    // Stops and waits for the worker, which the stop wakes at once.
    ~BackgroundRecording();
    BackgroundRecording(const BackgroundRecording&) = delete;
    BackgroundRecording& operator=(const BackgroundRecording&) = delete;

    // Ends the recording: an opening under way is abandoned, the last file closed whole.
    void Stop();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace velmora
