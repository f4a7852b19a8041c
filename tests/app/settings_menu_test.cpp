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
    QMenu* menu = SettingsPopup(window_);
    for (const QPoint at : {QPoint(100, 80), QPoint(40, 30)}) {
        window_->move(at);
        Click(MenuButton(window_));
        ASSERT_TRUE(menu->isVisible());
        EXPECT_EQ(menu->pos(), window_->frameGeometry().topLeft() + QPoint(250, 170));
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
    } rows[] = {{ShowDateItem(window_), DateLabel(window_), TimeLabel(window_)},
                {ShowTimeItem(window_), TimeLabel(window_), DateLabel(window_)}};
    for (const auto& r : rows) {
        r.item->trigger();
        EXPECT_FALSE(r.label->isVisible()) << r.label->objectName().toStdString();
        EXPECT_TRUE(r.other->isVisible());
        r.item->trigger();
        EXPECT_TRUE(r.label->isVisible());
        EXPECT_FALSE(r.label->text().isEmpty());
    }
    CloseItem(window_)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window_ = nullptr;
    EXPECT_TRUE(QFile::exists(home_.SettingsFile()));
    EXPECT_TRUE(QFile::exists(home_.ChannelListFile()));
}

// A background item puts its picture into the header, marks itself and cannot be chosen again
// until another one is; the about box then carries that header.
TEST_F(SettingsMenuTest, BackgroundItemsChangeTheHeaderAndTheAboutBox) {
    EXPECT_TRUE(HeaderShows(window_, kInitialBackground));
    for (const BackgroundInfo& chosen : kBackgrounds) {
        BackgroundItem(window_, chosen.id)->trigger();
        EXPECT_TRUE(HeaderShows(window_, chosen.id)) << chosen.item_name;
        for (const BackgroundInfo& b : kBackgrounds) {
            EXPECT_EQ(BackgroundItem(window_, b.id)->isChecked(), b.id == chosen.id) << b.item_name;
            EXPECT_EQ(BackgroundItem(window_, b.id)->isEnabled(), b.id != chosen.id) << b.item_name;
        }
    }
    BackgroundItem(window_, Background::Black)->trigger();

    auto* about = window_->findChild<AboutBox*>();
    ASSERT_NE(about, nullptr);
    QImage shown;
    QTimer::singleShot(0, about, [&] {
        shown = about->Picture()->pixmap().toImage();
        Click(about);
    });
    AboutItem(window_)->trigger();  // returns when the box is closed
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(shown, BackgroundPicture(window_, Background::Black)->pixmap().toImage());
}

// A language item and "Auto check off" take effect at the next start: the language item tells
// the user, ends the program with the choices stored, and the restarted window speaks German.
TEST_F(SettingsMenuTest, LanguageAndUpdateItemsAreStoredForTheRestart) {
    InitMessages(FindProgramFile(QStringLiteral("locale")));  // the catalogues beside the program
    AutoCheckOffItem(window_)->trigger();
    QPointer<MainWindow> window = window_;
    GermanItem(window_)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    window_ = nullptr;
    EXPECT_EQ(answers_.messages, QStringList{"Program has to be restarted to apply the changes."});
    const QByteArray stored = ReadBytes(home_.SettingsFile());
    EXPECT_TRUE(stored.contains("Language=German\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("Autocheckoff=1\n"));

    OpenWindow();
    EXPECT_EQ(PromptLabel(window_)->text(), QString::fromUtf8("Bitte wählen Sie einen Sender"));
    EXPECT_FALSE(GermanItem(window_)->isEnabled());
    EXPECT_TRUE(AutoCheckOffItem(window_)->isChecked());
}

}  // namespace
}  // namespace velmora::test
