// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/download_recording.h"

#include <QUrl>
#include <cctype>

#include "engine/engine.h"
#include "i18n/message.h"
#include "opening/stream_status.h"
#include "recording/recording_names.h"

namespace velmora {

namespace {

bool StartsWithNoCase(const std::string& line, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    if (line.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != prefix[i]) return false;
    return true;
}

std::string HeaderValue(const std::string& line) {
    std::string value = line.substr(line.find(':') + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value;
}

}  // namespace

DownloadRecording::DownloadRecording(DownloadRecordingPlan plan, FileDone done, Problem problem,
                                     Ended ended)
    : plan_(std::move(plan)),
      done_(std::move(done)),
      problem_(std::move(problem)),
      ended_callback_(std::move(ended)) {}

void DownloadRecording::Report(SongFiles::Failure failure, const std::string& path,
                               const std::string& reason) {
    ++failures_;
    const QString where = QString::fromStdString(path);
    const QString why = QString::fromStdString(reason);
    switch (failure) {
        case SongFiles::Failure::Create:
            problem_(Msg("The file \"%1\" could not be created: %2").arg(where, why));
            break;
        case SongFiles::Failure::Write:
            problem_(Msg("The file \"%1\" could not be written: %2").arg(where, why));
            break;
        case SongFiles::Failure::Tags:
            problem_(Msg("The tags of \"%1\" could not be written.").arg(where));
            break;
    }
}

// On the first audio byte the stream's type and name are known.
bool DownloadRecording::Begin() {
    const StreamFormat format = FormatFromContentType(content_type_);
    if (format == StreamFormat::Unknown) {
        problem_(Msg("This stream's format (%1) cannot be recorded from the command line.")
                     .arg(QString::fromStdString(content_type_)));
        ++failures_;
        ended_ = true;
        return false;
    }
    SongFilesPlan plan;
    const QString host = QUrl(plan_.url).host();
    const QString station =
        plan_.station.isEmpty() ? QString::fromStdString(server_station_) : plan_.station;
    plan.station = station.isEmpty() ? host.toStdString() : station.toStdString();
    plan.station_folder = StationFolder(plan_.recordings_folder, station, host).toStdString();
    plan.address = plan_.url.toStdString();
    plan.format = format;
    plan.per_song = plan_.per_song;
    plan.rules = plan_.songs.rules;
    files_ = std::make_unique<SongFiles>(
        plan, [this](const std::string& path, SongPlace) { done_(path); },
        [this](SongFiles::Failure f, const std::string& path, const std::string& reason) {
            Report(f, path, reason);
        });
    SongSplitOptions split = SplitOptionsOf(plan_.songs);
    split.per_song = plan_.per_song;
    splitter_ = std::make_unique<SongSplitter>(format, split, *files_);
    if (!pending_title_.empty()) splitter_->TitleChanged(pending_title_);
    return true;
}

void DownloadRecording::Title(const std::string& title) {
    if (ended_) return;
    if (splitter_)
        splitter_->TitleChanged(title);
    else
        pending_title_ = title;
}

void DownloadRecording::End() {
    if (ended_) return;
    ended_ = true;
    if (splitter_) splitter_->Finish(true);
}

int DownloadRecording::Finish() {
    std::lock_guard lock(m_);
    End();
    return failures_;
}

void DownloadRecording::DownloadProc(const void* buffer, std::uint32_t length, void* user) {
    auto* r = static_cast<DownloadRecording*>(user);
    std::lock_guard lock(r->m_);
    if (r->ended_) return;
    if (!buffer) {
        // The station ended under the last song: it is incomplete, as after a stop.
        r->End();
        r->ended_callback_();
        return;
    }
    if (length == 0) {
        const std::string line(static_cast<const char*>(buffer));
        const std::string_view prefix(engine::kMetaLinePrefix);
        if (line.compare(0, prefix.size(), prefix) == 0) {
            if (const auto title = ParseStreamTitle(std::string_view(line).substr(prefix.size())))
                r->Title(r->decoder_.DecodeName(*title));
            return;
        }
        if (StartsWithNoCase(line, "content-type:")) r->content_type_ = HeaderValue(line);
        if (StartsWithNoCase(line, "icy-name:"))
            r->server_station_ = r->decoder_.DecodeName(HeaderValue(line));
        return;
    }
    if (!r->splitter_ && !r->Begin()) {
        r->ended_callback_();
        return;
    }
    r->splitter_->Feed(buffer, length);
}

}  // namespace velmora
