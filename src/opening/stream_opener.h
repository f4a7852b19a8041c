// SPDX-License-Identifier: GPL-3.0-or-later
// The stream-opening worker: opens one station at a time on a thread of its own and reports each
// step synchronously through the reporter. Shared by the main window and the command-line probe.
//
// Threads: Start(), Cancel(), StopAndFree() and the accessors are called on the owner's thread;
// the worker and the engine's download thread call the reporter and the data sinks. The owner
// never waits for the worker: Cancel() marks the opening abandoned, and the worker frees whatever
// it created when it notices. Each opening is the user data of its stream's callbacks, owned by
// the engine until the last of them; it holds the opener only weakly, so a callback that arrives
// after the opener is gone does nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "opening/stream_status.h"

namespace velmora {

class StreamOpener {
  public:
    // Called synchronously from the worker and the engine's threads; must copy what it keeps.
    using Reporter = std::function<void(const StatusReport&)>;
    // One stream's raw downloaded bytes (length > 0) and the end of its download (null data), on
    // that stream's download thread.
    using DataSink = std::function<void(const void* data, std::uint32_t length)>;
    // The volume slider's position, 0..100, read by the worker before playback starts.
    using VolumeSource = std::function<int()>;

    // `data`, when given, is attached to every stream this opener creates.
    StreamOpener(Reporter reporter, VolumeSource volume, DataSink data = nullptr);
    ~StreamOpener();
    StreamOpener(const StreamOpener&) = delete;
    StreamOpener& operator=(const StreamOpener&) = delete;

    // Starts a worker for `url` and returns the number of this opening, which its reports carry.
    // 0, doing nothing, while another opening runs (the caller beeps).
    std::uint64_t Start(const std::string& url);
    // Abandons a running opening: it is aborted, and nothing it created starts playing.
    void Cancel();
    // Stop: cancels a running opening, then stops and frees the current stream.
    void StopAndFree();
    // True from Start() until the worker has finished (or Cancel()).
    bool IsOpening() const;
    // The stream being played, 0 before the first opening and after a failed one.
    engine::Handle CurrentStream() const;
    // Reads the metadata of the current stream and reports its title (status 7).
    void ShowStreamTitle();
    // Hands the current stream's bytes, and the end of its download, to `sink` instead of the
    // sink it had; that stream's end reaches no other stream's sink. False when there is no
    // current stream.
    bool AttachSink(DataSink sink);

    struct State;
    struct Opening;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace velmora
