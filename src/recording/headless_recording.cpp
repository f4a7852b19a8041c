// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording/headless_recording.h"

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QUrl>
#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/posix_io.h"
#include "engine/engine.h"
#include "engine/playlist.h"
#include "i18n/message.h"
#include "opening/stream_status.h"
#include "recording/recording_names.h"
#include "recording/song_files.h"
#include "recording/song_splitter.h"
#include "text/server_text.h"

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

// What the engine's threads share with the waiting main thread: everything under `m`.
struct Recorder {
    std::mutex m;
    HeadlessRecordingOptions options;
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
    QString recordings_folder;
    std::string content_type;
    std::string station;
    ServerTextDecoder decoder;
    std::unique_ptr<SongFiles> files;
    std::unique_ptr<SongSplitter> splitter;
    std::string pending_title;  // a title that came before the first audio byte
    bool ended = false;         // no more bytes are taken
    int failures = 0;

    void Report(SongFiles::Failure failure, const std::string& path, const std::string& reason) {
        ++failures;
        const QString where = QString::fromStdString(path);
        const QString why = QString::fromStdString(reason);
        QString text;
        switch (failure) {
            case SongFiles::Failure::Create:
                text = Msg("The file \"%1\" could not be created: %2").arg(where, why);
                break;
            case SongFiles::Failure::Write:
                text = Msg("The file \"%1\" could not be written: %2").arg(where, why);
                break;
            case SongFiles::Failure::Tags:
                text = Msg("The tags of \"%1\" could not be written.").arg(where);
                break;
        }
        std::fprintf(err, "velmora: %s\n", text.toLocal8Bit().constData());
        std::fflush(err);
    }

    // On the first audio byte the stream's type and name are known.
    bool Begin() {
        const StreamFormat format = FormatFromContentType(content_type);
        if (format == StreamFormat::Unknown) {
            std::fprintf(err, "velmora: %s\n",
                         Msg("This stream's format (%1) cannot be recorded from the command line.")
                             .arg(QString::fromStdString(content_type))
                             .toLocal8Bit()
                             .constData());
            ++failures;
            ended = true;
            return false;
        }
        SongFilesPlan plan;
        const QString host = QUrl(options.url).host();
        plan.station = station.empty() ? host.toStdString() : station;
        plan.station_folder =
            StationFolder(recordings_folder, QString::fromStdString(station), host).toStdString();
        plan.address = options.url.toStdString();
        plan.format = format;
        plan.per_song = options.per_song;
        plan.rules.min_seconds = options.min_song_seconds;
        files = std::make_unique<SongFiles>(
            plan,
            [this](const std::string& path, SongPlace) {
                std::fprintf(out, "%s\n", PrintableText(path).c_str());
                std::fflush(out);
            },
            [this](SongFiles::Failure f, const std::string& path, const std::string& reason) {
                Report(f, path, reason);
            });
        SongSplitOptions split;
        split.per_song = options.per_song;
        splitter = std::make_unique<SongSplitter>(format, split, *files);
        if (!pending_title.empty()) splitter->TitleChanged(pending_title);
        return true;
    }

    void Title(const std::string& title) {
        if (ended) return;
        if (splitter)
            splitter->TitleChanged(title);
        else
            pending_title = title;
    }

    void End() {
        if (ended) return;
        ended = true;
        if (splitter) splitter->Finish(true);
    }
};

void DownloadProc(const void* buffer, std::uint32_t length, void* user) {
    auto* r = static_cast<Recorder*>(user);
    std::lock_guard lock(r->m);
    if (r->ended) return;
    if (!buffer) {
        // The station ended under the last song: it is incomplete, as after a stop.
        r->End();
        // Wakes the main thread's wait: the station has ended the recording.
        ::kill(::getpid(), SIGUSR1);
        return;
    }
    if (length == 0) {
        const std::string line(static_cast<const char*>(buffer));
        const std::string_view prefix(vle::kMetaLinePrefix);
        if (line.compare(0, prefix.size(), prefix) == 0) {
            if (const auto title = ParseStreamTitle(std::string_view(line).substr(prefix.size())))
                r->Title(r->decoder.DecodeName(*title));
            return;
        }
        if (StartsWithNoCase(line, "content-type:")) r->content_type = HeaderValue(line);
        if (StartsWithNoCase(line, "icy-name:"))
            r->station = r->decoder.DecodeName(HeaderValue(line));
        return;
    }
    if (!r->splitter && !r->Begin()) {
        ::kill(::getpid(), SIGUSR1);
        return;
    }
    r->splitter->Feed(buffer, length);
}

}  // namespace

std::optional<double> ParseDurationSeconds(const QString& text) {
    QString number = text.trimmed().toLower();
    double unit = 1;
    if (number.endsWith('h')) unit = 3600;
    if (number.endsWith('m')) unit = 60;
    if (unit != 1 || number.endsWith('s')) number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    // Ten years is beyond any recording; also keeps the deadline's arithmetic in range.
    if (!ok || !std::isfinite(value) || value < 0 || value * unit > 3.2e8) return std::nullopt;
    return value * unit;
}

int RunHeadlessRecording(const HeadlessRecordingOptions& options, std::FILE* out, std::FILE* err) {
    // Blocked before the engine starts its threads, so they inherit it and the signals wait
    // for this thread's sigtimedwait alone.
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &wanted, nullptr);

    auto recorder = std::make_shared<Recorder>();
    recorder->options = options;
    recorder->out = out;
    recorder->err = err;
    recorder->recordings_folder = options.output_folder.isEmpty()
                                      ? RecordingsFolder(DocumentsFolder())
                                      : QDir(options.output_folder).absolutePath();
    const QByteArray folder = QFile::encodeName(recorder->recordings_folder);
    if (::mkdir(folder.constData(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(err, "velmora: %s\n",
                     Msg("The file \"%1\" could not be created: %2")
                         .arg(recorder->recordings_folder, QString::fromStdString(ErrnoText(errno)))
                         .toLocal8Bit()
                         .constData());
        return 1;
    }

    const QByteArray url = options.url.toUtf8();
    // HLS arrives as segments the engine demuxes itself: there is no byte stream to write.
    if (vle::IsHlsAddress(url.toStdString())) {
        std::fprintf(err, "velmora: %s\n",
                     Msg("This stream's format (%1) cannot be recorded from the command line.")
                         .arg(QStringLiteral("HLS"))
                         .toLocal8Bit()
                         .constData());
        return 1;
    }
    vle::Init(-1, 44100, vle::kInitNoSound, nullptr);
    vle::SetConfig(vle::Config::NetPlaylist, 1);
    vle::SetConfig(vle::Config::NetPrebuf, 0);
    const vle::Handle stream = vle::StreamCreateURL(
        url.constData(), 0, vle::kStreamStatus | vle::kStreamMeta, &DownloadProc, recorder);
    if (!stream) {
        std::fprintf(err, "velmora: %s (%s)\n",
                     Msg("The station could not be opened.").toLocal8Bit().constData(),
                     vle::ErrorName(static_cast<vle::ErrorCode>(vle::ErrorGetCode())));
        vle::Free();
        return 1;
    }
    vle::ChannelRecordOnly(stream);

    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    const double duration = options.duration_seconds > 0 ? options.duration_seconds : 1e9;
    until.tv_sec += static_cast<time_t>(duration);
    until.tv_nsec += static_cast<long>((duration - std::floor(duration)) * 1e9);
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{until.tv_sec - now.tv_sec, until.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_sec -= 1;
            left.tv_nsec += 1000000000L;
        }
        if (left.tv_sec < 0) break;
        const int signal = sigtimedwait(&wanted, nullptr, &left);
        if (signal == SIGINT || signal == SIGTERM || signal == SIGUSR1) break;
        if (signal < 0 && errno == EAGAIN) break;
    }
    // Freed first, so no byte arrives after the last song is closed.
    vle::StreamFree(stream);
    int failures;
    {
        std::lock_guard lock(recorder->m);
        recorder->End();
        failures = recorder->failures;
    }
    vle::Free();
    return failures == 0 ? 0 : 1;
}

}  // namespace velmora
