// The running recording: a file that the engine's download thread appends stream bytes to while
// the user-interface thread starts and stops it. Everything here may be called from either side.
//
// "Active" is the user's recording switch (the blinking button); the file may be gone while it is
// on: after a failed start, after the download ended or after a write error. Bytes are written
// only while both hold, so the file holds exactly the blocks appended between its creation and the
// close, in order.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "recording/recording_names.h"

namespace velmora {

enum class RecordingStartError {
    None,
    Folder,  // the recordings or the station folder could not be created ("Recording Error!")
    File,    // the file could not be created; `path` names it
};

struct RecordingStartResult {
    RecordingStartError error = RecordingStartError::None;
    QString path;    // the folder or file that failed, or the file created
    QString reason;  // the system's wording of the failure
};

// A write that failed: the recording has lost its file and writes nothing more.
struct RecordingWriteError {
    QString path;
    QString reason;
};

class StreamRecorder {
  public:
    // Called at most once per file, on the thread whose write failed, with no lock held. The
    // window hands it over to the user-interface thread.
    using WriteFailedHandler = std::function<void(const RecordingWriteError&)>;

    explicit StreamRecorder(WriteFailedHandler on_write_failed = nullptr);
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Turns recording on (it stays on whatever fails next), creates the recordings folder and the
    // station folder where missing, one level each, and creates the file, replacing one of that
    // name. A file still open from an earlier start is closed first.
    RecordingStartResult Start(const RecordingPlan& plan);
    // Turns recording off and closes the file. False, changing nothing, when it was already off.
    bool Stop();

    // The download callback's part: bytes (length > 0) are appended while recording is on and a
    // file is open; null data means the download has ended and closes the file, leaving recording
    // on. A header line (data with length 0) is not the recorder's business.
    void Append(const void* data, std::uint32_t length);

    // RecordingActive: on from Start() until Stop().
    bool Active() const { return active_.load(); }
    // True while a file is open for writing.
    bool HasFile() const;
    // The file of the current or last recording.
    QString Path() const;

  private:
    // Closes the file if one is open; the caller holds mutex_.
    void CloseLocked();

    const WriteFailedHandler on_write_failed_;
    std::atomic<bool> active_{false};

    // --- protected by mutex_; never held while calling out
    mutable std::mutex mutex_;
    int fd_ = -1;
    QString path_;
};

}  // namespace velmora
