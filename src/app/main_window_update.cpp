// TForm1's self-update: the updater SelfUpdater1, its menu items and the boxes it shows.
#include <QAction>

#include "app/main_window.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "update/self_updater.h"

namespace velmora {

namespace {

// The version this program announces to the update check (byNumber).
constexpr const char* kProgramVersionNumber = "2451";
constexpr const char* kProgramVersionDate = "11/01/2009";

}  // namespace

void TForm1::CreateSelfUpdater() {
    SelfUpdater1 = new TSelfUpdater(this);
    SelfUpdater1->setObjectName(QStringLiteral("SelfUpdater1"));
    SelfUpdater1->versionControl = VersionControl::byNumber;
    SelfUpdater1->VersionNumber = QString::fromLatin1(kProgramVersionNumber);
    SelfUpdater1->VersionDate = QString::fromLatin1(kProgramVersionDate);
    SelfUpdater1->InfoFile.DlgCaption = QStringLiteral("VLR-Updater");
    SelfUpdater1->OnDone = [this](TSelfUpdater*, qint64) { SelfUpdater1Done(); };
    SelfUpdater1->OnError = [this](TSelfUpdater*) { SelfUpdater1Error(); };
    SelfUpdater1->OnNoUpdateAvailable = [this](TSelfUpdater*) { SelfUpdater1NoUpdateAvailable(); };
    // Ending for an update saves what a normal close saves; a file that cannot be written keeps
    // the program running, and nothing is replaced.
    // Hidden once saved, so that the quit that follows does not close and save a second time.
    SelfUpdater1->OnBeforeEnd = [this] {
        if (!FormClose()) return false;
        hide();
        return true;
    };

    menu_.Checkfornewversion1->setEnabled(true);
    connect(menu_.Checkfornewversion1, &QAction::triggered, this,
            &TForm1::Checkfornewversion1Click);
    // "Auto check off" flips its own mark; the mark is stored at close and counts from the next
    // start (ApplyUpdateSettings).
}

// At the first showing, after the settings and the language: the information address of the
// language, and no automatic check when "Auto check off" is ticked.
void TForm1::ApplyUpdateSettings() {
    SelfUpdater1->InfoFileURL = QString::fromStdString(InfoFileUrl(updateInfoPath_.toStdString()));
    if (menu_.Autocheckoff1->isChecked()) SelfUpdater1->Active = false;
}

void TForm1::Checkfornewversion1Click() {
    manual_check_ = true;
    SelfUpdater1->StartCheck();
}

void TForm1::SelfUpdater1Error() {
    // An automatic check fails silently, but not an update the user has accepted.
    if (!manual_check_ && !SelfUpdater1->UpgradeAccepted()) return;
    dialogs().Beep();
    dialogs().Error(this, SelfUpdater1->ErrorMessage());
}

void TForm1::SelfUpdater1NoUpdateAvailable() {
    if (!manual_check_) return;
    dialogs().Beep();
    dialogs().Message(this, Msg("No update available!"));
}

void TForm1::SelfUpdater1Done() {
    dialogs().Message(this, Msg("Upgrade done! Press OK to restart program."));
}

}  // namespace velmora
