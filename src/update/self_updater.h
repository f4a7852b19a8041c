// SPDX-License-Identifier: GPL-3.0-or-later
// SelfUpdater: checks the update host for a newer version, asks the user, and either opens a web
// page or downloads the new program and hands it to the upgrader program, which replaces the
// program file once the player has ended and starts it again. The main window owns exactly one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

#include "base/private_folder.h"
#include "update/update_rules.h"

class QTimer;

namespace velmora {

class UpdateTransfer;

// The dialog defaults carried with the component; the check itself reads the information file.
struct UpdateDialogDefaults {
    enum class Method { SelfUpdate = 0, RedirectToUrl = 1 };
    QString DlgCaption = QStringLiteral("My software");
    QString DlgMessage = QStringLiteral(
        "The newer version of this software is available!...\r\nWould you like to upgrade this "
        "program?");
    QString SoftwareURL = QStringLiteral("http://");
    Method UpgradeMethod = Method::SelfUpdate;
};

// What went wrong, for the error box.
enum class UpdateError {
    None,
    Transfer,            // no connection, no file, a broken or incomplete download
    NoVersion,           // the information file names no version
    Older,               // it offers a version older than the running one
    NotWebAddress,       // its "#url=" is not a web address
    Unsigned,            // a download without checksum or signature
    BadSignature,        // a signature that the release key did not make
    NotExecutable,       // the download is not a program for this machine
    ChecksumMismatch,    // the download does not match the signed "#sha256="
    CannotReplace,       // the program file may not be replaced by this user
    UpgraderNotWritten,  // the upgrader program could not be written out
    UpgraderNotStarted,  // the upgrader program would not start
};

// The private per-user folder of the download and the upgrader: $XDG_CACHE_HOME (default
// ~/.cache) + "/velmora/update".
QString UpdateFolder();
// Opens UpdateFolder(), creating what is missing; nullopt with `error` set when a folder on its
// way could be changed by another user (see PrivateFolder).
std::optional<PrivateFolder> OpenUpdateFolder(QString* error);
// Why the current user may not replace `program_file`; empty when the replacement can go ahead.
QString CannotReplaceReason(const QString& program_file);

class SelfUpdater final : public QObject {
    Q_OBJECT
  public:
    using NotifyHandler = std::function<void(SelfUpdater* sender)>;
    using UpgradeHandler = std::function<void(SelfUpdater* sender, int users_served,
                                              bool& show_message_box, bool& can_upgrade)>;
    using ProgressHandler = std::function<void(QObject* sender, qint64 total_size, qint64 read_size,
                                               int read_percents)>;
    using DoneHandler = std::function<void(SelfUpdater* sender, qint64 file_size)>;

    static constexpr int kStartIntervalMs = 5000;

    // Throws std::logic_error "Only ONE SelfUpdater per form!" when `owner` already holds one.
    // Deletes an upgrader left by an earlier update and starts the 5-second start timer.
    explicit SelfUpdater(QObject* owner);
    ~SelfUpdater() override;

    // --- settings
    bool Active = true;
    UpdateDialogDefaults InfoFile;
    QString InfoFileURL;
    QString Username;
    QString Password;
    VersionControl versionControl = VersionControl::ByDate;
    QString VersionDate;  // MM/DD/YYYY, today at creation
    bool VersionDateAutoSet = true;
    QString VersionNumber;
    ProgressHandler OnProgress;
    DoneHandler OnDone;
    NotifyHandler OnError;
    NotifyHandler OnNoUpdateAvailable;
    UpgradeHandler OnUpgrade;
    // Runs once the download has passed its checks, before the upgrader is started (the main
    // window saves the settings and the list there); false keeps the program running and
    // replaces nothing.
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
    // What the upgrader recorded when the last update failed after the player had ended, as the
    // box shows it; empty when nothing failed. Read once: the record is removed at creation.
    QString LastRunFailure() const { return last_run_failure_; }
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
    void CheckFinished(UpdateTransfer* thread);
    void DownloadFinished(UpdateTransfer* thread);
    void RaiseError(UpdateError error, const QString& detail);
    bool WriteUpgrader(QString* error) const;
    bool StartUpgrader(const QString& download_url, QString* error) const;
    void TakeUpgraderRecord();
    void RemoveDownload();

    QString temp_folder_;
    std::optional<PrivateFolder> folder_;  // opened for the download and the upgrader
    QTimer* timer_ = nullptr;
    QPointer<UpdateTransfer> check_thread_;
    QPointer<UpdateTransfer> download_thread_;
    UpdateInfo offered_;  // the information file of the update being downloaded
    UpdateError last_error_ = UpdateError::None;
    QString last_error_detail_;
    bool upgrade_accepted_ = false;
    QString last_run_failure_;
    std::function<bool()> online_;
    std::function<void(const QString&)> open_page_;
    std::function<void()> terminate_;
};

}  // namespace velmora
