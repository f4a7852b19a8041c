// SPDX-License-Identifier: GPL-3.0-or-later
// What records a stream the engine downloads without playing: its header lines name the format and
// the station, its bytes and titles feed the song splitter, and finished files and problems go to
// the owner's callbacks. Shared by the command line and the scheduled recordings.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "recording/song_choices.h"
#include "recording/song_files.h"
#include "recording/song_splitter.h"
#include "text/server_text.h"

namespace velmora {

struct DownloadRecordingPlan {
    QString url;
    QString station;            // the name for the folder; empty: the server's, else the host
    QString recordings_folder;  // exists
    bool per_song = false;
    SongChoices songs;  // the rules of a per-song recording
};

class DownloadRecording {
  public:
    // On the download thread, under this recording's lock: keep them short.
    using FileDone = std::function<void(const std::string& path)>;
    using Problem = std::function<void(const QString& text)>;
    // The download ended by itself (or the format cannot be recorded).
    using Ended = std::function<void()>;

    DownloadRecording(DownloadRecordingPlan plan, FileDone done, Problem problem, Ended ended);

    // The engine's download callback; `user` is this recording.
    static void DownloadProc(const void* buffer, std::uint32_t length, void* user);

    // Ends the last file (incomplete); nothing is taken after it. Returns the failures counted.
    int Finish();

  private:
    bool Begin();
    void Title(const std::string& title);
    void End();
    void Report(SongFiles::Failure failure, const std::string& path, const std::string& reason);

    std::mutex m_;
    // --- guarded by m_
    const DownloadRecordingPlan plan_;
    const FileDone done_;
    const Problem problem_;
    const Ended ended_callback_;
    std::string content_type_;
    std::string server_station_;
    ServerTextDecoder decoder_;
    std::unique_ptr<SongFiles> files_;
    std::unique_ptr<SongSplitter> splitter_;
    std::string pending_title_;  // a title that came before the first audio byte
    bool ended_ = false;         // no more bytes are taken
    int failures_ = 0;
};

}  // namespace velmora
