// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/update_part.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include "desktop/dialogs.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "update/self_updater.h"

namespace velmora {

namespace {

// The version this program announces to the update check (ByNumber).
constexpr const char* kProgramVersionNumber = "2451";
constexpr const char* kProgramVersionDate = "11/01/2009";

}  // namespace

UpdatePart::UpdatePart(QWidget* window, QAction* check_item, std::function<bool()> save_before_end)
    : QObject(window), window_(window), updater_(new SelfUpdater(this)) {
    updater_->setObjectName(QStringLiteral("SelfUpdater1"));
    updater_->versionControl = VersionControl::ByNumber;
    updater_->VersionNumber = QString::fromLatin1(kProgramVersionNumber);
    updater_->VersionDate = QString::fromLatin1(kProgramVersionDate);
    updater_->InfoFile.DlgCaption = QStringLiteral("VLR-Updater");
    updater_->OnDone = [this](SelfUpdater*, qint64) { OnDone(); };
    updater_->OnError = [this](SelfUpdater*) { OnError(); };
    updater_->OnNoUpdateAvailable = [this](SelfUpdater*) { OnNoUpdateAvailable(); };
    // Ending for an update saves what a normal close saves; a file that cannot be written keeps
    // the program running, and nothing is replaced.
    updater_->OnBeforeEnd = std::move(save_before_end);
    // Hidden once the user has read that the update is on its way, so that the quit does not
    // close and save a second time.
    updater_->SetTerminate([this] {
        window_->hide();
        QCoreApplication::quit();
    });
    // Until a language is applied, the shown texts' language has the information file.
    updater_->InfoFileURL = QString::fromStdString(InfoFileUrl(LanguageOfShownTexts().update_path));

    check_item->setEnabled(true);
    connect(check_item, &QAction::triggered, this, &UpdatePart::CheckNow);
}

void UpdatePart::Apply(const QString& info_path, bool auto_check_off) {
    if (!info_path.isEmpty()) {
        updater_->InfoFileURL = QString::fromStdString(InfoFileUrl(info_path.toStdString()));
    }
    if (auto_check_off) updater_->Active = false;
    // A failure the upgrader met after the last run had ended is told once.
    if (const QString failure = updater_->LastRunFailure(); !failure.isEmpty()) {
        QTimer::singleShot(0, this, [this, failure] { dialogs().Error(window_, failure); });
    }
}

void UpdatePart::CheckNow() {
    manual_check_ = true;
    updater_->StartCheck();
}

void UpdatePart::OnError() {
    // An automatic check fails silently, but not an update the user has accepted.
    if (!manual_check_ && !updater_->UpgradeAccepted()) return;
    dialogs().Beep();
    dialogs().Error(window_, updater_->ErrorMessage());
}

void UpdatePart::OnNoUpdateAvailable() {
    if (!manual_check_) return;
    dialogs().Beep();
    dialogs().Message(window_, Msg("No update available!"));
}

void UpdatePart::OnDone() {
    dialogs().Message(window_, Msg("Upgrade done! Press OK to restart program."));
}

}  // namespace velmora
