// SPDX-License-Identifier: GPL-3.0-or-later
// The running recording: a file that the engine's download thread appends stream bytes to while
// the user-interface thread starts and stops it. Everything here may be called from either side;
// the user-interface side never takes a lock that is held during a disk write.
//
// "Active" is the user's recording switch (the blinking button); the file may be gone while it is
// on: after a failed start, after the download ended or after a write error. Bytes are written
// only while both hold, whole blocks in order; a block already being written when the recording
// is stopped is finished (stopping does not wait for it), and nothing follows it.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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

// The file of one recording, fed by the download thread of the stream it was started for. It is
// closed by that stream's end of download, after a failed write, or when the last owner lets go;
// so whoever stops a recording only drops its reference and never waits for a write under way.
class RecordingSession {
  public:
    // Called at most once, on the writing thread, with no lock held.
    using WriteFailedHandler = std::function<void(const RecordingWriteError&)>;

    RecordingSession(int fd, QString path, WriteFailedHandler on_write_failed);
    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Bytes (length > 0) are appended while the file is open; null data closes it.
    void Append(const void* data, std::uint32_t length);
    bool HasFile() const { return has_file_.load(); }
    const QString& Path() const { return path_; }

  private:
    const QString path_;
    const WriteFailedHandler on_write_failed_;
    std::atomic<bool> has_file_{true};
    // --- protected by write_m_, which only writing threads take
    std::mutex write_m_;
    int fd_ = -1;
};

class StreamRecorder {
  public:
    // Called at most once per file, on the thread whose write failed, with no lock held. The
    // window hands it over to the user-interface thread.
    using WriteFailedHandler = std::function<void(const RecordingWriteError&)>;
    using Sink = std::function<void(const void* data, std::uint32_t length)>;

    explicit StreamRecorder(WriteFailedHandler on_write_failed = nullptr);
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Turns recording on (it stays on whatever fails next), creates the recordings folder and the
    // station folder where missing, one level each, and creates the file, replacing one of that
    // name. A file still open from an earlier start is let go first.
    RecordingStartResult Start(const RecordingPlan& plan);
    // Turns recording off and lets the file go. False, changing nothing, when it was already off.
    bool Stop();

    // The download callback's part for the file of the latest Start(): bytes (length > 0) are
    // appended while recording is on and a file is open; null data means the download has ended
    // and closes the file, leaving recording on. A header line (data with length 0) is not the
    // recorder's business.
    void Append(const void* data, std::uint32_t length);
    // The same, bound to the file of the latest Start() alone: a sink for the stream that this
    // recording belongs to, whose end of download then closes no later recording's file.
    Sink SinkForCurrentFile() const;

    // RecordingActive: on from Start() until Stop().
    bool Active() const { return active_.load(); }
    // True while a file is open for writing.
    bool HasFile() const;
    // The file of the current or last recording.
    QString Path() const;

  private:
    std::shared_ptr<RecordingSession> Session() const;

    const WriteFailedHandler on_write_failed_;
    std::atomic<bool> active_{false};

    // --- protected by mutex_; held only to copy or swap the pointers, never while writing
    mutable std::mutex mutex_;
    std::shared_ptr<RecordingSession> session_;
    QString path_;
};

}  // namespace velmora
