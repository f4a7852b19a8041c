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
#include "recording/download_recording.h"
#include "recording/recording_names.h"

namespace velmora {

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

    DownloadRecordingPlan plan;
    plan.url = options.url;
    plan.per_song = options.per_song;
    plan.songs = options.songs;
    plan.recordings_folder = options.output_folder.isEmpty()
                                 ? RecordingsFolder(DocumentsFolder())
                                 : QDir(options.output_folder).absolutePath();
    const QByteArray folder = QFile::encodeName(plan.recordings_folder);
    if (::mkdir(folder.constData(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(err, "velmora: %s\n",
                     Msg("The file \"%1\" could not be created: %2")
                         .arg(plan.recordings_folder, QString::fromStdString(ErrnoText(errno)))
                         .toLocal8Bit()
                         .constData());
        return 1;
    }

    const QByteArray url = options.url.toUtf8();
    // HLS arrives as segments the engine demuxes itself: there is no byte stream to write.
    if (engine::IsHlsAddress(url.toStdString())) {
        std::fprintf(err, "velmora: %s\n",
                     Msg("This stream's format (%1) cannot be recorded from the command line.")
                         .arg(QStringLiteral("HLS"))
                         .toLocal8Bit()
                         .constData());
        return 1;
    }
    auto recorder = std::make_shared<DownloadRecording>(
        plan,
        [out](const std::string& path) {
            std::fprintf(out, "%s\n", PrintableText(path).c_str());
            std::fflush(out);
        },
        [err](const QString& text) {
            std::fprintf(err, "velmora: %s\n", text.toLocal8Bit().constData());
            std::fflush(err);
        },
        // Wakes the main thread's wait: the station has ended the recording.
        [] { ::kill(::getpid(), SIGUSR1); });
    engine::Init(-1, 44100, engine::kInitNoSound, nullptr);
    engine::SetConfig(engine::Config::NetPlaylist, 1);
    engine::SetConfig(engine::Config::NetPrebuf, 0);
    const engine::Handle stream =
        engine::StreamCreateURL(url.constData(), 0, engine::kStreamStatus | engine::kStreamMeta,
                                &DownloadRecording::DownloadProc, recorder);
    if (!stream) {
        std::fprintf(err, "velmora: %s (%s)\n",
                     Msg("The station could not be opened.").toLocal8Bit().constData(),
                     engine::ErrorName(static_cast<engine::ErrorCode>(engine::ErrorGetCode())));
        engine::Free();
        return 1;
    }
    engine::ChannelRecordOnly(stream);

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
    engine::StreamFree(stream);
    const int failures = recorder->Finish();
    engine::Free();
    return failures == 0 ? 0 : 1;
}

}  // namespace velmora
