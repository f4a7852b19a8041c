// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's self-update: the updater self_updater_, its menu items and the boxes it shows.
#include <QAction>
#include <QCoreApplication>
#include <QTimer>

#include "app/main_window.h"
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

void MainWindow::CreateSelfUpdater() {
    self_updater_ = new SelfUpdater(this);
    self_updater_->setObjectName(QStringLiteral("SelfUpdater1"));
    self_updater_->versionControl = VersionControl::ByNumber;
    self_updater_->VersionNumber = QString::fromLatin1(kProgramVersionNumber);
    self_updater_->VersionDate = QString::fromLatin1(kProgramVersionDate);
    self_updater_->InfoFile.DlgCaption = QStringLiteral("VLR-Updater");
    self_updater_->OnDone = [this](SelfUpdater*, qint64) { OnUpdateDone(); };
    self_updater_->OnError = [this](SelfUpdater*) { OnUpdateError(); };
    self_updater_->OnNoUpdateAvailable = [this](SelfUpdater*) { OnNoUpdateAvailable(); };
    // Ending for an update saves what a normal close saves; a file that cannot be written keeps
    // the program running, and nothing is replaced.
    self_updater_->OnBeforeEnd = [this] { return SaveBeforeClose(); };
    // Hidden once the user has read that the update is on its way, so that the quit does not
    // close and save a second time.
    self_updater_->SetTerminate([this] {
        hide();
        QCoreApplication::quit();
    });
    // Until a language is applied, the shown texts' language has the information file.
    self_updater_->InfoFileURL =
        QString::fromStdString(InfoFileUrl(LanguageOfShownTexts().update_path));

    menu_.CheckForUpdate->setEnabled(true);
    connect(menu_.CheckForUpdate, &QAction::triggered, this, &MainWindow::OnCheckForUpdateClicked);
    // "Auto check off" flips its own mark; the mark is stored at close and counts from the next
    // start (ApplyUpdateSettings).
}

// At the first showing, after the settings and the language: the information address of the
// language, and no automatic check when "Auto check off" is ticked.
void MainWindow::ApplyUpdateSettings() {
    if (!update_info_path_.isEmpty()) {
        self_updater_->InfoFileURL =
            QString::fromStdString(InfoFileUrl(update_info_path_.toStdString()));
    }
    if (menu_.AutoCheckOff->isChecked()) self_updater_->Active = false;
    // A failure the upgrader met after the last run had ended is told once.
    if (const QString failure = self_updater_->LastRunFailure(); !failure.isEmpty()) {
        QTimer::singleShot(0, this, [this, failure] { dialogs().Error(this, failure); });
    }
}

void MainWindow::OnCheckForUpdateClicked() {
    manual_check_ = true;
    self_updater_->StartCheck();
}

void MainWindow::OnUpdateError() {
    // An automatic check fails silently, but not an update the user has accepted.
    if (!manual_check_ && !self_updater_->UpgradeAccepted()) return;
    dialogs().Beep();
    dialogs().Error(this, self_updater_->ErrorMessage());
}

void MainWindow::OnNoUpdateAvailable() {
    if (!manual_check_) return;
    dialogs().Beep();
    dialogs().Message(this, Msg("No update available!"));
}

void MainWindow::OnUpdateDone() {
    dialogs().Message(this, Msg("Upgrade done! Press OK to restart program."));
}

}  // namespace velmora
