// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's settings menu PopupMenu1: every item in order with its picture, marks and
// enabled state. Handlers are wired by the owner; only "Website" is complete on its own.
#pragma once

#include <QPoint>
#include <array>

class QAction;
class QMenu;
class QWidget;

namespace velmora {

// Offset of the menu from the main window's outer top-left corner, wherever the button is.
inline constexpr QPoint kSettingsMenuOffset{250, 170};

struct SettingsMenu {
    QMenu* PopupMenu1 = nullptr;
    QAction* ProxyServer1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Background1 = nullptr;  // opens BackgroundMenu
    QMenu* BackgroundMenu = nullptr;
    std::array<QAction*, 5> Backgrounds{};  // Blue1, Vista1, Red1, Black1, Win71
    QAction* ShowDate1 = nullptr;
    QAction* ShowTime1 = nullptr;
    QAction* N2 = nullptr;
    QAction* SelectLanguage1 = nullptr;  // opens LanguageMenu
    QMenu* LanguageMenu = nullptr;
    QAction* English1 = nullptr;
    QAction* German1 = nullptr;
    QAction* Russian1 = nullptr;
    QAction* N4 = nullptr;
    QAction* ChannelListExport1 = nullptr;
    QAction* ChannelListImport1 = nullptr;
    QAction* N3 = nullptr;
    QAction* Checkfornewversion1 = nullptr;
    QAction* Autocheckoff1 = nullptr;
    QAction* N6 = nullptr;
    QAction* Website1 = nullptr;
    QAction* About1 = nullptr;
    QAction* N5 = nullptr;
    QAction* Close1 = nullptr;
};

// Builds the menu as a child of `parent`. "Show Date" and "Show Time" are marked; the background
// items are checkable, unmarked and enabled; "Auto check off" is hidden and unmarked. The proxy,
// language and update-check items are disabled until their features exist.
SettingsMenu BuildSettingsMenu(QWidget* parent);

// Screen position where the menu opens for `window`: its outer top-left corner plus 250, 170.
QPoint SettingsMenuPosition(const QWidget* window);
// Opens the menu there (returns at once; the chosen item's handler runs later).
void PopupSettingsMenu(const SettingsMenu& menu, const QWidget* window);

}  // namespace velmora
