// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include "app/about_box.h"

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::EnsureApp;

QStringList Names(const QList<QAction*>& actions) {
    QStringList names;
    for (const QAction* a : actions) names << a->objectName();
    return names;
}

// Every item in order with its picture, the marks and hidden/disabled states it starts with.
TEST(SettingsMenu, ItemsInOrderWithPicturesAndStates) {
    EnsureApp();
    QWidget window;
    const SettingsMenu m = BuildSettingsMenu(&window);
    EXPECT_EQ(m.PopupMenu1->objectName(), "PopupMenu1");
    EXPECT_EQ(Names(m.PopupMenu1->actions()),
              QStringList({"ProxyServer1", "N1", "Background1", "ShowDate1", "ShowTime1", "N2",
                           "SelectLanguage1", "N4", "ChannelListExport1", "ChannelListImport1",
                           "N3", "Checkfornewversion1", "Autocheckoff1", "N6", "Website1", "About1",
                           "N5", "Close1"}));
    EXPECT_EQ(Names(m.BackgroundMenu->actions()),
              QStringList({"Blue1", "Vista1", "Red1", "Black1", "Win71"}));
    EXPECT_EQ(m.Backgrounds[4]->text(), "Win 7");
    EXPECT_EQ(Names(m.LanguageMenu->actions()), QStringList({"English1", "German1", "Russian1"}));
    EXPECT_EQ(m.Checkfornewversion1->text(), "Check for new version...");

    for (QAction* a : {m.ProxyServer1, m.Background1, m.SelectLanguage1, m.English1, m.German1,
                       m.Russian1, m.ChannelListExport1, m.ChannelListImport1,
                       m.Checkfornewversion1, m.Website1, m.About1, m.Close1}) {
        EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->objectName().toStdString();
    }
    for (QAction* a : {m.ShowDate1, m.ShowTime1, m.Autocheckoff1}) EXPECT_TRUE(a->icon().isNull());
    for (QAction* a : {m.N1, m.N2, m.N3, m.N4, m.N5, m.N6}) EXPECT_TRUE(a->isSeparator());

    EXPECT_TRUE(m.ShowDate1->isChecked());
    EXPECT_TRUE(m.ShowTime1->isChecked());
    EXPECT_FALSE(m.Autocheckoff1->isVisible());
    EXPECT_FALSE(m.Autocheckoff1->isChecked());
    for (QAction* a : m.Backgrounds) {
        EXPECT_TRUE(a->isCheckable());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->isEnabled());
    }
    EXPECT_TRUE(m.Website1->isEnabled());
    EXPECT_TRUE(m.About1->isEnabled());
    EXPECT_TRUE(m.Close1->isEnabled());
    // Choosing "Show Date" flips its own mark, which the owner reads to show or hide the date.
    m.ShowDate1->trigger();
    EXPECT_FALSE(m.ShowDate1->isChecked());
}

// The menu opens 250, 170 from the window's outer corner, following the window when it moves.
TEST(SettingsMenu, OpensRelativeToTheWindowFrame) {
    EnsureApp();
    QWidget window;
    window.setGeometry(100, 80, 570, 269);
    window.show();
    const SettingsMenu m = BuildSettingsMenu(&window);
    EXPECT_EQ(SettingsMenuPosition(&window), window.frameGeometry().topLeft() + QPoint(250, 170));
    window.move(40, 30);
    EXPECT_EQ(SettingsMenuPosition(&window), window.frameGeometry().topLeft() + QPoint(250, 170));
    PopupSettingsMenu(m, &window);
    EXPECT_TRUE(m.PopupMenu1->isVisible());
    EXPECT_EQ(m.PopupMenu1->pos(), SettingsMenuPosition(&window));
    m.PopupMenu1->close();
}

}  // namespace
}  // namespace velmora
