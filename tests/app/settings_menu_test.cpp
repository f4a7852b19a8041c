// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings menu's items do in the window.
#include <QFile>
#include <QPointer>

#include "app/about_box.h"
#include "desktop/program_files.h"
#include "i18n/message.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using SettingsMenuTest = WindowTest;

// The menu button opens the menu 250, 170 from the window's outer corner, also after the window
// moved, with every shown item usable.
TEST_F(SettingsMenuTest, OpensBesideTheWindowWithEveryItemUsable) {
    QMenu* menu = SettingsPopup(form_);
    for (const QPoint at : {QPoint(100, 80), QPoint(40, 30)}) {
        form_->move(at);
        Click(MenuButton(form_));
        ASSERT_TRUE(menu->isVisible());
        EXPECT_EQ(menu->pos(), form_->frameGeometry().topLeft() + QPoint(250, 170));
        menu->close();
    }
    // "Close to tray" waits for a tray, which this test has none of.
    for (QAction* item : menu->actions()) {
        if (item->objectName() == "CloseToTray1") continue;
        EXPECT_TRUE(item->isEnabled() || !item->isVisible()) << item->text().toStdString();
    }
}

// "Show Date" and "Show Time" hide and show their own label only; "Close" goes through the
// normal close, which writes the settings and the list.
TEST_F(SettingsMenuTest, ClockItemsSwitchTheirLabelAndCloseSaves) {
    const struct {
        QAction* item;
        QLabel* label;
        QLabel* other;
    } rows[] = {{ShowDateItem(form_), DateLabel(form_), TimeLabel(form_)},
                {ShowTimeItem(form_), TimeLabel(form_), DateLabel(form_)}};
    for (const auto& r : rows) {
        r.item->trigger();
        EXPECT_FALSE(r.label->isVisible()) << r.label->objectName().toStdString();
        EXPECT_TRUE(r.other->isVisible());
        r.item->trigger();
        EXPECT_TRUE(r.label->isVisible());
        EXPECT_FALSE(r.label->text().isEmpty());
    }
    CloseItem(form_)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form_ = nullptr;
    EXPECT_TRUE(QFile::exists(home_.SettingsFile()));
    EXPECT_TRUE(QFile::exists(home_.ChannelListFile()));
}

// A background item puts its picture into the header, marks itself and cannot be chosen again
// until another one is; the about box then carries that header.
TEST_F(SettingsMenuTest, BackgroundItemsChangeTheHeaderAndTheAboutBox) {
    EXPECT_TRUE(HeaderShows(form_, kInitialBackground));
    for (const BackgroundInfo& chosen : kBackgrounds) {
        BackgroundItem(form_, chosen.id)->trigger();
        EXPECT_TRUE(HeaderShows(form_, chosen.id)) << chosen.item_name;
        for (const BackgroundInfo& b : kBackgrounds) {
            EXPECT_EQ(BackgroundItem(form_, b.id)->isChecked(), b.id == chosen.id) << b.item_name;
            EXPECT_EQ(BackgroundItem(form_, b.id)->isEnabled(), b.id != chosen.id) << b.item_name;
        }
    }
    BackgroundItem(form_, Background::Black)->trigger();

    auto* about = form_->findChild<AboutBox*>();
    ASSERT_NE(about, nullptr);
    QImage shown;
    QTimer::singleShot(0, about, [&] {
        shown = about->Picture()->pixmap().toImage();
        Click(about);
    });
    AboutItem(form_)->trigger();  // returns when the box is closed
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(shown, BackgroundPicture(form_, Background::Black)->pixmap().toImage());
}

// A language item and "Auto check off" take effect at the next start: the language item tells
// the user, ends the program with the choices stored, and the restarted window speaks German.
TEST_F(SettingsMenuTest, LanguageAndUpdateItemsAreStoredForTheRestart) {
    InitMessages(FindProgramFile(QStringLiteral("locale")));  // the catalogues beside the program
    AutoCheckOffItem(form_)->trigger();
    QPointer<MainWindow> window = form_;
    GermanItem(form_)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    form_ = nullptr;
    EXPECT_EQ(answers_.messages, QStringList{"Program has to be restarted to apply the changes."});
    const QByteArray stored = ReadBytes(home_.SettingsFile());
    EXPECT_TRUE(stored.contains("Language=German\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("Autocheckoff=1\n"));

    OpenWindow();
    EXPECT_EQ(PromptLabel(form_)->text(), QString::fromUtf8("Bitte wählen Sie einen Sender"));
    EXPECT_FALSE(GermanItem(form_)->isEnabled());
    EXPECT_TRUE(AutoCheckOffItem(form_)->isChecked());
}

}  // namespace
}  // namespace velmora::test
