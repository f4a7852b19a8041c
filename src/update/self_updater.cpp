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
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <curl/curl.h>

#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/server_text.h"
#include "update/browser.h"
#include "update/online.h"
#include "update/self_updater_thread.h"
#include "update/upgrader_image.h"

namespace velmora {

namespace {

constexpr const char* kUpgraderName = "Upgrader";
constexpr const char* kDownloadName = "Upgrade.tmp";

QString ServerText(const std::string& bytes) {
    return QString::fromStdString(ServerTextToUtf8(bytes));
}

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray FileStart(const QString& path, qint64 size) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(size) : QByteArray();
}

QByteArray Sha256Hex(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f)) return {};
    return hash.result().toHex();
}

// A finished transfer's pointer is cleared however its handler returns, so a later one can start.
struct ClearOnLeaving {
    QPointer<TSelfUpdaterThread>& p;
    ~ClearOnLeaving() { p.clear(); }
};

}  // namespace

QString UpdateFolder() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty()) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/velmora/update");
}

QString PrepareUpdateFolder(QString* error) {
    const QString folder = UpdateFolder();
    QDir().mkpath(folder);
    const QByteArray path = folder.toLocal8Bit();
    struct stat st {};
    // The download and the upgrader are run from here: nobody else may be able to swap them.
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        ::chmod(path.constData(), 0700) != 0) {
        *error = QStringLiteral("%1 is not a private folder of this user").arg(folder);
        return {};
    }
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
        return QStringLiteral("%1: %2").arg(info.absolutePath(), ErrnoText());
    }
    return {};
}

TSelfUpdater::TSelfUpdater(QObject* owner) : QObject(owner) {
    if (owner) {
        for (QObject* child : owner->children()) {
            if (child != this && qobject_cast<TSelfUpdater*>(child)) {
                throw std::logic_error("Only ONE SelfUpdater per form!");
            }
        }
    }
    static std::once_flag curl_ready;
    std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_ALL); });

    temp_folder_ = UpdateFolder();
    // The upgrader of an earlier update has done its work.
    QFile::remove(temp_folder_ + QLatin1Char('/') + QLatin1String(kUpgraderName));

    VersionDate = QDate::currentDate().toString(QStringLiteral("MM'/'dd'/'yyyy"));
    ProgramFile = QCoreApplication::applicationFilePath();
    online_ = [this] { return OnlineNow(); };
    open_page_ = [](const QString& address) { OpenUrl(address); };
    terminate_ = [] { QCoreApplication::quit(); };

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("SelfUpdaterStartTimer"));
    timer_->setInterval(kStartIntervalMs);
    connect(timer_, &QTimer::timeout, this, &TSelfUpdater::TimerTick);
    timer_->start();
}

TSelfUpdater::~TSelfUpdater() {
    // Running transfers are not waited for: they end soon and delete themselves.
    for (TSelfUpdaterThread* t : {check_thread_.data(), download_thread_.data()}) {
        if (!t) continue;
        t->Abort();
        if (t->isFinished()) {
            t->deleteLater();
        } else {
            connect(t, &QThread::finished, t, &QObject::deleteLater);
        }
    }
}

void TSelfUpdater::SetStartInterval(int ms) {
    timer_->setInterval(ms);
}

bool TSelfUpdater::OnlineNow() const {
    // A host on this machine is reachable whatever the network interfaces say.
    return IsLoopbackHost(QUrl(InfoFileURL).host().toStdString()) || IsOnline();
}

void TSelfUpdater::TimerTick() {
    if (!online_() || !Active) return;  // tried again at the next tick
    timer_->stop();
    StartCheck();
}

void TSelfUpdater::StartCheck() {
    if (check_thread_) return;
    auto* t = new TSelfUpdaterThread(this, InfoFileURL, false, {}, Username, Password, false);
    check_thread_ = t;
    // Deleted only after the handler: its boxes run nested event loops, which would otherwise
    // delete the worker while the handler still reads it.
    connect(t, &QThread::finished, this, [this, t] {
        CheckFinished(t);
        t->deleteLater();
    });
    t->start();
}

void TSelfUpdater::StartDownload(const QString& address) {
    if (download_thread_) return;
    QString error;
    const QString folder = PrepareUpdateFolder(&error);
    if (folder.isEmpty()) {
        RaiseError(UpdateError::UpgraderNotWritten, error);
        return;
    }
    temp_folder_ = folder;
    auto* t = new TSelfUpdaterThread(this, address, true,
                                     folder + QLatin1Char('/') + QLatin1String(kDownloadName),
                                     Username, Password, static_cast<bool>(OnProgress));
    download_thread_ = t;
    // Blocking: the worker waits until the handler has run, so the handler may touch windows.
    connect(
        t, &TSelfUpdaterThread::Progress, this,
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

void TSelfUpdater::RaiseError(UpdateError error, const QString& detail) {
    last_error_ = error;
    last_error_detail_ = detail;
    if (OnError) OnError(this);
}

QString TSelfUpdater::ErrorMessage() const {
    switch (last_error_) {
        case UpdateError::None:
            return {};
        case UpdateError::Transfer:
            return Msg(
                "An error has occurred on upgrading!\r\n\nPossible reasons:\r\n 1. No Internet "
                "connection or connection lost.\r\n 2. Update file not found.");
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
            return Msg("The upgrader program could not be started.\r\nNothing was changed.");
    }
    return {};
}

void TSelfUpdater::CheckFinished(TSelfUpdaterThread* thread) {
    const ClearOnLeaving clear{check_thread_};

    if (!thread->Success) {
        RaiseError(UpdateError::Transfer, thread->Failure);
        return;
    }
    const UpdateInfo info = ParseUpdateInfo(thread->Received);
    if (!info.is_info_file || !IsNewerVersion(versionControl, info, VersionNumber.toStdString(),
                                              VersionDate.toStdString())) {
        if (OnNoUpdateAvailable) OnNoUpdateAvailable(this);
        return;
    }
    bool show_message_box = true;
    if (OnUpgrade) {
        bool can_upgrade = true;
        OnUpgrade(this, UsersServed(info.served), show_message_box, can_upgrade);
        if (!can_upgrade) return;
    }
    if (show_message_box &&
        !dialogs().AskYesNo(qobject_cast<QWidget*>(parent()), ServerText(info.message),
                            ServerText(info.caption))) {
        return;
    }
    upgrade_accepted_ = true;
    const QString url = ServerText(info.url);
    if (IsRedirect(info)) {
        open_page_(url);
        return;
    }
    QDir::setCurrent(QFileInfo(ProgramFile).absolutePath());  // a failure changes nothing here
    offered_ = info;
    StartDownload(url);
}

void TSelfUpdater::DownloadFinished(TSelfUpdaterThread* thread) {
    const ClearOnLeaving clear{download_thread_};

    if (!thread->Success) {
        RaiseError(UpdateError::Transfer, thread->Failure);
        return;
    }
    // Nothing is replaced by a file that could not run here, or that is not the one announced.
    const QString download = thread->FilePath;
    const QByteArray own = FileStart(QStringLiteral("/proc/self/exe"), 64);
    if (!SameExecutableKind(FileStart(download, 64).toStdString(), own.toStdString())) {
        RaiseError(UpdateError::NotExecutable, download);
        return;
    }
    if (!offered_.sha256.empty() &&
        !Sha256Matches(offered_.sha256, Sha256Hex(download).toStdString())) {
        RaiseError(UpdateError::ChecksumMismatch, download);
        return;
    }
    if (const QString reason = CannotReplaceReason(ProgramFile); !reason.isEmpty()) {
        RaiseError(UpdateError::CannotReplace, reason);
        return;
    }
    QString error;
    if (!WriteUpgrader(&error)) {
        RaiseError(UpdateError::UpgraderNotWritten, error);
        return;
    }
    if (OnDone) OnDone(this, thread->TotalSize);
    QDir::setCurrent(QFileInfo(ProgramFile).absolutePath());
    if (OnBeforeEnd && !OnBeforeEnd()) return;
    if (!StartUpgrader(thread->Url, &error)) {
        RaiseError(UpdateError::UpgraderNotStarted, error);
        return;
    }
    terminate_();
}

bool TSelfUpdater::WriteUpgrader(QString* error) const {
    const QString path = temp_folder_ + QLatin1Char('/') + QLatin1String(kUpgraderName);
    const QByteArray native = path.toLocal8Bit();
    const std::string_view image = UpgraderImage();
    ::unlink(native.constData());  // a running old copy stays intact; a planted link goes
    const int fd =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
    bool ok = fd >= 0 && ::fchmod(fd, 0755) == 0;
    for (std::size_t done = 0; ok && done < image.size();) {
        const ssize_t w = ::write(fd, image.data() + done, image.size() - done);
        if (w < 0 && errno == EINTR) continue;
        ok = w > 0;
        if (ok) done += static_cast<std::size_t>(w);
    }
    if (!ok) *error = QStringLiteral("%1: %2").arg(path, ErrnoText());
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        *error = QStringLiteral("%1: %2").arg(path, ErrnoText());
    }
    if (!ok) ::unlink(native.constData());
    return ok;
}

bool TSelfUpdater::StartUpgrader(const QString& download_url, QString* error) const {
    const QFileInfo program(ProgramFile);
    QProcess p;
    p.setProgram(temp_folder_ + QLatin1Char('/') + QLatin1String(kUpgraderName));
    p.setArguments({program.fileName(),
                    temp_folder_ + QLatin1Char('/') + QLatin1String(kDownloadName),
                    QString::fromStdString(UrlFileName(download_url.toStdString()))});
    p.setWorkingDirectory(program.absolutePath());
    // The upgrader waits for this process to end before it touches the program file.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_PLAYER_PID"),
               QString::number(QCoreApplication::applicationPid()));
    p.setProcessEnvironment(env);
    if (p.startDetached()) return true;
    *error = p.errorString();
    return false;
}

}  // namespace velmora
