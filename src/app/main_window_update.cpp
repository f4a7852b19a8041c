// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's self-update: the updater selfUpdater_, its menu items and the boxes it shows.
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

// The version this program announces to the update check (byNumber).
constexpr const char* kProgramVersionNumber = "2451";
constexpr const char* kProgramVersionDate = "11/01/2009";

}  // namespace

void MainWindow::CreateSelfUpdater() {
    selfUpdater_ = new SelfUpdater(this);
    selfUpdater_->setObjectName(QStringLiteral("SelfUpdater1"));
    selfUpdater_->versionControl = VersionControl::byNumber;
    selfUpdater_->VersionNumber = QString::fromLatin1(kProgramVersionNumber);
    selfUpdater_->VersionDate = QString::fromLatin1(kProgramVersionDate);
    selfUpdater_->InfoFile.DlgCaption = QStringLiteral("VLR-Updater");
    selfUpdater_->OnDone = [this](SelfUpdater*, qint64) { OnUpdateDone(); };
    selfUpdater_->OnError = [this](SelfUpdater*) { OnUpdateError(); };
    selfUpdater_->OnNoUpdateAvailable = [this](SelfUpdater*) { OnNoUpdateAvailable(); };
    // Ending for an update saves what a normal close saves; a file that cannot be written keeps
    // the program running, and nothing is replaced.
    selfUpdater_->OnBeforeEnd = [this] { return SaveBeforeClose(); };
    // Hidden once the user has read that the update is on its way, so that the quit does not
    // close and save a second time.
    selfUpdater_->SetTerminate([this] {
        hide();
        QCoreApplication::quit();
    });
    // Until a language is applied, the shown texts' language has the information file.
    selfUpdater_->InfoFileURL =
        QString::fromStdString(InfoFileUrl(LanguageOfShownTexts().update_path));

    menu_.CheckForUpdate->setEnabled(true);
    connect(menu_.CheckForUpdate, &QAction::triggered, this, &MainWindow::OnCheckForUpdateClicked);
    // "Auto check off" flips its own mark; the mark is stored at close and counts from the next
    // start (ApplyUpdateSettings).
}

// At the first showing, after the settings and the language: the information address of the
// language, and no automatic check when "Auto check off" is ticked.
void MainWindow::ApplyUpdateSettings() {
    if (!updateInfoPath_.isEmpty()) {
        selfUpdater_->InfoFileURL =
            QString::fromStdString(InfoFileUrl(updateInfoPath_.toStdString()));
    }
    if (menu_.AutoCheckOff->isChecked()) selfUpdater_->Active = false;
    // A failure the upgrader met after the last run had ended is told once.
    if (const QString failure = selfUpdater_->LastRunFailure(); !failure.isEmpty()) {
        QTimer::singleShot(0, this, [this, failure] { dialogs().Error(this, failure); });
    }
}

void MainWindow::OnCheckForUpdateClicked() {
    manual_check_ = true;
    selfUpdater_->StartCheck();
}

void MainWindow::OnUpdateError() {
    // An automatic check fails silently, but not an update the user has accepted.
    if (!manual_check_ && !selfUpdater_->UpgradeAccepted()) return;
    dialogs().Beep();
    dialogs().Error(this, selfUpdater_->ErrorMessage());
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
