// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/self_updater.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cerrno>
#include <mutex>

#include <curl/curl.h>

#include "base/posix_io.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "text/server_text.h"
#include "update/browser.h"
#include "update/detached_start.h"
#include "update/online.h"
#include "update/update_signature.h"
#include "update/update_transfer.h"
#include "update/upgrader_image.h"

namespace velmora {

namespace {

constexpr const char* kUpgraderName = "Upgrader";
constexpr const char* kDownloadName = "Upgrade.tmp";
constexpr const char* kFailureRecordName = "Upgrade.failed";  // written by the upgrader
// What a box shows of the server's texts: the whole question and its buttons fit any screen.
constexpr std::size_t kMessageLines = 20;
constexpr std::size_t kMessageChars = 1500;
constexpr std::size_t kCaptionChars = 100;

QString ServerText(const std::string& bytes, std::size_t max_lines, std::size_t max_chars) {
    return QString::fromStdString(BoundedText(ServerTextToUtf8(bytes), max_lines, max_chars));
}

QString LastErrorText() {
    return QString::fromLocal8Bit(ErrnoText(errno).c_str());
}

// Opens `name` in the opened folder `dir` for reading into `file`, never through a link.
bool OpenAt(int dir, const char* name, QFile& file) {
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return true;
    if (fd >= 0) ::close(fd);
    return false;
}

// Up to `size` bytes of `name` in the opened folder `dir`.
QByteArray FileStartAt(int dir, const char* name, qint64 size) {
    QFile f;
    return OpenAt(dir, name, f) ? f.read(size) : QByteArray();
}

QByteArray Sha256HexAt(int dir, const char* name) {
    QFile f;
    if (!OpenAt(dir, name, f)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f)) return {};
    return hash.result().toHex();
}

UpdateError ErrorOf(UpdateVerdict verdict) {
    switch (verdict) {
        case UpdateVerdict::NoVersion:
            return UpdateError::NoVersion;
        case UpdateVerdict::Older:
            return UpdateError::Older;
        case UpdateVerdict::NotWebAddress:
            return UpdateError::NotWebAddress;
        case UpdateVerdict::Unsigned:
            return UpdateError::Unsigned;
        case UpdateVerdict::BadSignature:
            return UpdateError::BadSignature;
        case UpdateVerdict::Offer:
        case UpdateVerdict::NoUpdate:
            break;
    }
    return UpdateError::None;
}

// A finished transfer's pointer is cleared however its handler returns, so a later one can start.
struct ClearOnLeaving {
    QPointer<UpdateTransfer>& p;
    ~ClearOnLeaving() { p.clear(); }
};

}  // namespace

namespace {

// $XDG_CACHE_HOME, default ~/.cache.
QString CacheHome() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    return cache.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : cache;
}

}  // namespace

QString UpdateFolder() {
    return CacheHome() + QStringLiteral("/velmora/update");
}

std::optional<PrivateFolder> OpenUpdateFolder(QString* error) {
    std::string why;
    // The download and the upgrader are run from here: nobody else may be able to swap them.
    std::optional<PrivateFolder> folder =
        PrivateFolder::Open(CacheHome().toStdString(), {"velmora", "update"}, &why);
    if (!folder) *error = QString::fromStdString(why);
    return folder;
}

QString CannotReplaceReason(const QString& program_file) {
    const QFileInfo info(program_file);
    if (!info.isFile()) return QStringLiteral("%1 is not a file").arg(program_file);
    const QString path = info.absoluteFilePath();
    // Files under /usr belong to the package manager, even for a user allowed to write there.
    if (path.startsWith(QStringLiteral("/usr/")) &&
        !path.startsWith(QStringLiteral("/usr/local/"))) {
        return QStringLiteral("%1 belongs to the system's packages").arg(path);
    }
    if (::access(info.absolutePath().toLocal8Bit().constData(), W_OK | X_OK) != 0) {
        return QStringLiteral("%1: %2").arg(info.absolutePath(), LastErrorText());
    }
    return {};
}

SelfUpdater::SelfUpdater(QObject* owner) : QObject(owner) {
    if (owner) {
        for (QObject* child : owner->children()) {
            if (child != this && qobject_cast<SelfUpdater*>(child)) {
                throw std::logic_error("Only ONE SelfUpdater per form!");
            }
        }
    }
    static std::once_flag curl_ready;
    std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_ALL); });

    temp_folder_ = UpdateFolder();
    // The upgrader of an earlier update has done its work.
    QFile::remove(temp_folder_ + QLatin1Char('/') + QLatin1String(kUpgraderName));
    TakeUpgraderRecord();

    VersionDate = QDate::currentDate().toString(QStringLiteral("MM'/'dd'/'yyyy"));
    ProgramFile = QCoreApplication::applicationFilePath();
    online_ = [this] { return OnlineNow(); };
    open_page_ = [](const QString& address) { OpenUrl(address); };
    terminate_ = [] { QCoreApplication::quit(); };

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("SelfUpdaterStartTimer"));
    timer_->setInterval(kStartIntervalMs);
    connect(timer_, &QTimer::timeout, this, &SelfUpdater::TimerTick);
    timer_->start();
}

SelfUpdater::~SelfUpdater() {
    // Running transfers are not waited for: they end soon and delete themselves.
    for (UpdateTransfer* t : {check_thread_.data(), download_thread_.data()}) {
        if (!t) continue;
        t->Abort();
        if (t->isFinished()) {
            t->deleteLater();
        } else {
            connect(t, &QThread::finished, t, &QObject::deleteLater);
        }
    }
}

void SelfUpdater::SetStartInterval(int ms) {
    timer_->setInterval(ms);
}

bool SelfUpdater::OnlineNow() const {
    // A host on this machine is reachable whatever the network interfaces say.
    return IsLoopbackHost(QUrl(InfoFileURL).host().toStdString()) || IsOnline();
}

void SelfUpdater::TimerTick() {
    if (!online_() || !Active) return;  // tried again at the next tick
    timer_->stop();
    StartCheck();
}

void SelfUpdater::TakeUpgraderRecord() {
    const QString path = temp_folder_ + QLatin1Char('/') + QLatin1String(kFailureRecordName);
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    const QString record = QString::fromUtf8(f.read(4096)).trimmed();
    f.close();
    QFile::remove(path);  // told once
    const QString kind = record.section(QLatin1Char('\t'), 0, 0);
    const QString reason = record.section(QLatin1Char('\t'), 1);
    if (kind == QLatin1String("start")) {
        last_run_failure_ =
            Msg("The last update was installed, but the new program could not be started:\r\n%1")
                .arg(reason);
    } else if (!record.isEmpty()) {
        last_run_failure_ =
            Msg("The last update could not be installed:\r\n%1\r\nThe program was not changed.")
                .arg(reason);
    }
}

void SelfUpdater::StartCheck() {
    // An offer accepted now would replace the one the running download is checked against.
    if (check_thread_ || download_thread_) return;
    auto* t = new UpdateTransfer(this, InfoFileURL, false, -1, {}, {}, Username, Password, false);
    check_thread_ = t;
    // Deleted only after the handler: its boxes run nested event loops, which would otherwise
    // delete the worker while the handler still reads it.
    connect(t, &QThread::finished, this, [this, t] {
        CheckFinished(t);
        t->deleteLater();
    });
    t->start();
}

void SelfUpdater::StartDownload(const QString& address) {
    if (download_thread_) return;
    QString error;
    folder_ = OpenUpdateFolder(&error);
    if (!folder_) {
        RaiseError(UpdateError::UpgraderNotWritten, error);
        return;
    }
    temp_folder_ = QString::fromStdString(folder_->path());
    auto* t = new UpdateTransfer(this, address, true, folder_->fd(), QLatin1String(kDownloadName),
                                 temp_folder_ + QLatin1Char('/') + QLatin1String(kDownloadName),
                                 Username, Password, static_cast<bool>(OnProgress));
    download_thread_ = t;
    // Blocking: the worker waits until the handler has run, so the handler may touch windows.
    connect(
        t, &UpdateTransfer::Progress, this,
        [this](QObject* sender, qint64 total, qint64 read, int percents) {
            if (OnProgress) OnProgress(sender, total, read, percents);
        },
        Qt::BlockingQueuedConnection);
    connect(t, &QThread::finished, this, [this, t] {
        DownloadFinished(t);
        t->deleteLater();
    });
    t->start();
}

void SelfUpdater::RaiseError(UpdateError error, const QString& detail) {
    last_error_ = error;
    last_error_detail_ = detail;
    if (OnError) OnError(this);
}

QString SelfUpdater::ErrorMessage() const {
    switch (last_error_) {
        case UpdateError::None:
            return {};
        case UpdateError::Transfer:
            return Msg(
                "An error has occurred on upgrading!\r\n\nPossible reasons:\r\n 1. No Internet "
                "connection or connection lost.\r\n 2. Update file not found.");
        case UpdateError::NoVersion:
            return Msg("The update information names no version.\r\nNothing was changed.");
        case UpdateError::Older:
            return Msg("The update server offers version %1, which is older than this version "
                       "(%2).\r\nNothing was changed.")
                .arg(last_error_detail_, VersionNumber);
        case UpdateError::NotWebAddress:
            return Msg("The update's address is not a web address.\r\nNothing was changed.");
        case UpdateError::Unsigned:
            return Msg(
                "The update is not signed by the program's makers.\r\nNothing was "
                "changed.");
        case UpdateError::BadSignature:
            return Msg(
                "The update's signature is not valid: the update was changed on its way "
                "or was not made by the program's makers.\r\nNothing was changed.");
        case UpdateError::NotExecutable:
            return Msg(
                "The downloaded update is not a program for this computer.\r\nNothing was "
                "changed.");
        case UpdateError::ChecksumMismatch:
            return Msg(
                "The downloaded update is damaged: it does not match its checksum.\r\nNothing "
                "was changed.");
        case UpdateError::CannotReplace:
            return Msg("The program file %1 cannot be replaced by this user (for example, it "
                       "was installed by the system's package manager).\r\nNothing was changed.")
                .arg(ProgramFile);
        case UpdateError::UpgraderNotWritten:
            return Msg("The update could not be prepared:\r\n%1\r\nNothing was changed.")
                .arg(last_error_detail_);
        case UpdateError::UpgraderNotStarted:
            return Msg("The upgrader program could not be started:\r\n%1\r\nNothing was "
                       "changed.")
                .arg(last_error_detail_);
    }
    return {};
}

void SelfUpdater::CheckFinished(UpdateTransfer* thread) {
    const ClearOnLeaving clear{check_thread_};

    if (!thread->Success) {
        RaiseError(UpdateError::Transfer, thread->Failure);
        return;
    }
    const UpdateInfo info = ParseUpdateInfo(thread->Received);
    const UpdateVerdict verdict = JudgeUpdate(info, versionControl, VersionNumber.toStdString(),
                                              VersionDate.toStdString(), TrustedReleaseKey());
    if (verdict == UpdateVerdict::NoUpdate) {
        if (OnNoUpdateAvailable) OnNoUpdateAvailable(this);
        return;
    }
    if (verdict != UpdateVerdict::Offer) {
        RaiseError(ErrorOf(verdict), ServerText(info.version, 1, kCaptionChars));
        return;
    }
    bool show_message_box = true;
    if (OnUpgrade) {
        bool can_upgrade = true;
        OnUpgrade(this, UsersServed(info.served), show_message_box, can_upgrade);
        if (!can_upgrade) return;
    }
    if (show_message_box &&
        !dialogs().AskYesNo(qobject_cast<QWidget*>(parent()),
                            ServerText(info.message, kMessageLines, kMessageChars),
                            ServerText(info.caption, 1, kCaptionChars))) {
        return;
    }
    upgrade_accepted_ = true;
    const QString url = QString::fromStdString(ServerTextToUtf8(info.url)).trimmed();
    if (IsRedirect(info)) {
        open_page_(url);
        return;
    }
    QDir::setCurrent(QFileInfo(ProgramFile).absolutePath());  // a failure changes nothing here
    offered_ = info;
    StartDownload(url);
}

void SelfUpdater::RemoveDownload() {
    if (folder_) ::unlinkat(folder_->fd(), kDownloadName, 0);
}

void SelfUpdater::DownloadFinished(UpdateTransfer* thread) {
    const ClearOnLeaving clear{download_thread_};

    // Whatever fails from here on replaces nothing, and leaves no download behind.
    auto refuse = [this](UpdateError error, const QString& detail) {
        RemoveDownload();
        RaiseError(error, detail);
    };
    if (!thread->Success) {
        refuse(UpdateError::Transfer, thread->Failure);
        return;
    }
    // Nothing is replaced by a file that could not run here, or that is not the one signed.
    const QString download = thread->FilePath;
    const int dir = folder_->fd();
    QFile self(QStringLiteral("/proc/self/exe"));
    const QByteArray own = self.open(QIODevice::ReadOnly) ? self.read(64) : QByteArray();
    if (!SameExecutableKind(FileStartAt(dir, kDownloadName, 64).toStdString(), own.toStdString())) {
        refuse(UpdateError::NotExecutable, download);
        return;
    }
    if (!Sha256Matches(offered_.sha256, Sha256HexAt(dir, kDownloadName).toStdString())) {
        refuse(UpdateError::ChecksumMismatch, download);
        return;
    }
    if (const QString reason = CannotReplaceReason(ProgramFile); !reason.isEmpty()) {
        refuse(UpdateError::CannotReplace, reason);
        return;
    }
    // Saved first: the upgrader may only run once nothing of the user's is left unwritten. A
    // failed save has shown its own box.
    if (OnBeforeEnd && !OnBeforeEnd()) {
        RemoveDownload();
        return;
    }
    QString error;
    if (!WriteUpgrader(&error)) {
        refuse(UpdateError::UpgraderNotWritten, error);
        return;
    }
    if (!StartUpgrader(thread->Url, &error)) {
        ::unlinkat(dir, kUpgraderName, 0);
        refuse(UpdateError::UpgraderNotStarted, error);
        return;
    }
    // Only now is the update on its way; the upgrader waits for this program to end.
    if (OnDone) OnDone(this, thread->TotalSize);
    terminate_();
}

bool SelfUpdater::WriteUpgrader(QString* error) const {
    const QString path = temp_folder_ + QLatin1Char('/') + QLatin1String(kUpgraderName);
    const int dir = folder_->fd();
    const std::string_view image = UpgraderImage();
    ::unlinkat(dir, kUpgraderName, 0);  // a running old copy stays intact; a planted link goes
    const int fd =
        ::openat(dir, kUpgraderName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
    bool ok = fd >= 0 && ::fchmod(fd, 0755) == 0;
    if (ok) {
        if (const int e = WriteAll(fd, image.data(), image.size())) {
            ok = false;
            errno = e;
        }
    }
    if (!ok) *error = QStringLiteral("%1: %2").arg(path, LastErrorText());
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        *error = QStringLiteral("%1: %2").arg(path, LastErrorText());
    }
    if (!ok) ::unlinkat(dir, kUpgraderName, 0);
    return ok;
}

bool SelfUpdater::StartUpgrader(const QString& download_url, QString* error) const {
    const QFileInfo program(ProgramFile);
    const std::string folder = folder_->path();
    std::string why;
    // Started from the opened folder, not by its path: what runs is what was written.
    const bool started = StartDetached(
        folder_->fd(), kUpgraderName,
        {folder + "/" + kUpgraderName, program.fileName().toStdString(),
         folder + "/" + kDownloadName, UrlFileName(download_url.toStdString())},
        program.absolutePath().toStdString(),
        // The upgrader waits for this process to end before it touches the program file.
        {"VELMORA_PLAYER_PID=" + std::to_string(QCoreApplication::applicationPid())}, &why);
    if (!started) *error = QString::fromStdString(why);
    return started;
}

}  // namespace velmora
