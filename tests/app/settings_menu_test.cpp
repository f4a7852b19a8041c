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
    EXPECT_EQ(m.Popup->objectName(), "PopupMenu1");
    QStringList names = Names(m.Popup->actions());
    // The listener items stand after the clock's.
    EXPECT_EQ(names.mid(6, 4),
              QStringList({"TitleHistory1", "Notifications1", "StayAwake1", "N7"}));
    names.remove(6, 4);
    EXPECT_EQ(names, QStringList({"ProxyServer1", "N1", "Background1", "ShowDate1", "ShowTime1",
                                  "N2", "SelectLanguage1", "N4", "ChannelListExport1",
                                  "ChannelListImport1", "N3", "Checkfornewversion1",
                                  "Autocheckoff1", "N6", "Website1", "About1", "N5", "Close1"}));
    EXPECT_EQ(Names(m.BackgroundMenu->actions()),
              QStringList({"Blue1", "Vista1", "Red1", "Black1", "Win71"}));
    EXPECT_EQ(m.Backgrounds[4]->text(), "Win 7");
    EXPECT_EQ(Names(m.LanguageMenu->actions()), QStringList({"English1", "German1", "Russian1"}));
    EXPECT_EQ(m.CheckForUpdate->text(), "Check for new version...");

    for (QAction* a :
         {m.ProxyServer, m.BackgroundItem, m.SelectLanguage, m.English, m.German, m.Russian,
          m.ExportList, m.ImportList, m.CheckForUpdate, m.Website, m.About, m.CloseItem}) {
        EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->objectName().toStdString();
    }
    for (QAction* a : {m.ShowDate, m.ShowTime, m.AutoCheckOff}) EXPECT_TRUE(a->icon().isNull());
    for (QAction* a : {m.ProxySeparator, m.ClockSeparator, m.ListSeparator, m.LanguageSeparator,
                       m.CloseSeparator, m.UpdateSeparator})
        EXPECT_TRUE(a->isSeparator());

    EXPECT_TRUE(m.ShowDate->isChecked());
    EXPECT_TRUE(m.ShowTime->isChecked());
    EXPECT_FALSE(m.AutoCheckOff->isVisible());
    EXPECT_FALSE(m.AutoCheckOff->isChecked());
    EXPECT_TRUE(m.Notifications->isChecked());
    EXPECT_TRUE(m.StayAwake->isChecked());
    for (QAction* a : m.Backgrounds) {
        EXPECT_TRUE(a->isCheckable());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->isEnabled());
    }
    EXPECT_TRUE(m.Website->isEnabled());
    EXPECT_TRUE(m.About->isEnabled());
    EXPECT_TRUE(m.CloseItem->isEnabled());
    // Choosing "Show Date" flips its own mark, which the owner reads to show or hide the date.
    m.ShowDate->trigger();
    EXPECT_FALSE(m.ShowDate->isChecked());
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
    EXPECT_TRUE(m.Popup->isVisible());
    EXPECT_EQ(m.Popup->pos(), SettingsMenuPosition(&window));
    m.Popup->close();
}

}  // namespace
}  // namespace velmora
