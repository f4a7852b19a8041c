// TSelfUpdater: checks the update host for a newer version, asks the user, and either opens a web
// page or downloads the new program and hands it to the upgrader program, which replaces the
// program file once the player has ended and starts it again. The main window owns exactly one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <stdexcept>

#include "update/update_rules.h"

class QTimer;

namespace velmora {

class TSelfUpdaterThread;

// The dialog defaults carried with the component; the check itself reads the information file.
struct TSelfUpdaterInfo {
    enum class Method { umSelfUpdate = 0, umRedirectToURL = 1 };
    QString DlgCaption = QStringLiteral("My software");
    QString DlgMessage = QStringLiteral(
        "The newer version of this software is available!...\r\nWould you like to upgrade this "
        "program?");
    QString SoftwareURL = QStringLiteral("http://");
    Method UpgradeMethod = Method::umSelfUpdate;
};

// What went wrong, for the error box.
enum class UpdateError {
    None,
    Transfer,            // no connection, no file, a broken or incomplete download
    NotExecutable,       // the download is not a program for this machine
    ChecksumMismatch,    // the download does not match "#sha256="
    CannotReplace,       // the program file may not be replaced by this user
    UpgraderNotWritten,  // the upgrader program could not be written out
    UpgraderNotStarted,  // the upgrader program would not start
};

// The private per-user folder of the download and the upgrader: $XDG_CACHE_HOME (default
// ~/.cache) + "/velmora/update".
QString UpdateFolder();
// Creates UpdateFolder() when missing and makes it private (0700); empty with `error` set when it
// cannot be made safe (not a folder of this user).
QString PrepareUpdateFolder(QString* error);
// Why the current user may not replace `program_file`; empty when the replacement can go ahead.
QString CannotReplaceReason(const QString& program_file);

class TSelfUpdater final : public QObject {
    Q_OBJECT
  public:
    using TNotifyEvent = std::function<void(TSelfUpdater* sender)>;
    using TOnUpgradeEvent = std::function<void(TSelfUpdater* sender, int users_served,
                                               bool& show_message_box, bool& can_upgrade)>;
    using TOnProgressEvent = std::function<void(QObject* sender, qint64 total_size,
                                                qint64 read_size, int read_percents)>;
    using TOnDoneEvent = std::function<void(TSelfUpdater* sender, qint64 file_size)>;

    static constexpr int kStartIntervalMs = 5000;

    // Throws std::logic_error "Only ONE SelfUpdater per form!" when `owner` already holds one.
    // Deletes an upgrader left by an earlier update and starts the 5-second start timer.
    explicit TSelfUpdater(QObject* owner);
    ~TSelfUpdater() override;

    // --- settings
    bool Active = true;
    TSelfUpdaterInfo InfoFile;
    QString InfoFileURL;
    QString Username;
    QString Password;
    VersionControl versionControl = VersionControl::byDate;
    QString VersionDate;  // MM/DD/YYYY, today at creation
    bool VersionDateAutoSet = true;
    QString VersionNumber;
    TOnProgressEvent OnProgress;
    TOnDoneEvent OnDone;
    TNotifyEvent OnError;
    TNotifyEvent OnNoUpdateAvailable;
    TOnUpgradeEvent OnUpgrade;
    // Runs just before the program ends for the update (the main window saves the settings and
    // the list there); false keeps the program running and replaces nothing.
    std::function<bool()> OnBeforeEnd;

    // Starts a check of InfoFileURL unless one runs; does not look at Active.
    void StartCheck();
    // Downloads `address` as the new program unless a download runs.
    void StartDownload(const QString& address);

    // Why the last OnError was raised, and the text the error box shows for it.
    UpdateError LastError() const { return last_error_; }
    QString LastErrorDetail() const { return last_error_detail_; }
    QString ErrorMessage() const;
    // True once the user has accepted an offered update in this run.
    bool UpgradeAccepted() const { return upgrade_accepted_; }
    bool Checking() const { return !check_thread_.isNull(); }
    bool Downloading() const { return !download_thread_.isNull(); }
    QTimer* StartTimer() const { return timer_; }
    QString TempFolder() const { return temp_folder_; }

    // --- for distributors and tests
    // The program file to replace; the running program's own file unless set.
    QString ProgramFile;
    void SetStartInterval(int ms);
    // Whether the machine counts as online; by default an address on this machine (loopback)
    // always does, any other needs IsOnline().
    void SetOnlineTest(std::function<bool()> online) { online_ = std::move(online); }
    // Opens the redirect page; OpenUrl unless set.
    void SetPageOpener(std::function<void(const QString&)> open) { open_page_ = std::move(open); }
    // Ends the program after the upgrader started; QCoreApplication::quit unless set.
    void SetTerminate(std::function<void()> terminate) { terminate_ = std::move(terminate); }

  private:
    void TimerTick();
    bool OnlineNow() const;
    void CheckFinished(TSelfUpdaterThread* thread);
    void DownloadFinished(TSelfUpdaterThread* thread);
    void RaiseError(UpdateError error, const QString& detail);
    bool WriteUpgrader(QString* error) const;
    bool StartUpgrader(const QString& download_url, QString* error) const;

    QString temp_folder_;
    QTimer* timer_ = nullptr;
    QPointer<TSelfUpdaterThread> check_thread_;
    QPointer<TSelfUpdaterThread> download_thread_;
    UpdateInfo offered_;  // the information file of the update being downloaded
    UpdateError last_error_ = UpdateError::None;
    QString last_error_detail_;
    bool upgrade_accepted_ = false;
    std::function<bool()> online_;
    std::function<void(const QString&)> open_page_;
    std::function<void()> terminate_;
};

}  // namespace velmora
