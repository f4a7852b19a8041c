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
    QMenu* Popup = nullptr;
    QAction* ProxyServer = nullptr;
    QAction* ProxySeparator = nullptr;
    QAction* BackgroundItem = nullptr;  // opens BackgroundMenu
    QMenu* BackgroundMenu = nullptr;
    std::array<QAction*, 5> Backgrounds{};  // Blue1, Vista1, Red1, Black1, Win71
    QAction* ShowDate = nullptr;
    QAction* ShowTime = nullptr;
    QAction* ClockSeparator = nullptr;
    QAction* FindStations = nullptr;  // Ctrl+F: the community station directory
    QAction* TitleHistory = nullptr;
    QAction* Notifications = nullptr;  // checkable
    QAction* StayAwake = nullptr;      // checkable
    QAction* RecordPerSong = nullptr;  // checkable: recordings are made song by song
    QAction* SongRecording = nullptr;  // opens the rules of recording song by song
    QAction* ScheduledRecordings = nullptr;
    QAction* ListeningSeparator = nullptr;
    QAction* SelectLanguage = nullptr;  // opens LanguageMenu
    QMenu* LanguageMenu = nullptr;
    QAction* English = nullptr;
    QAction* German = nullptr;
    QAction* Russian = nullptr;
    QAction* LanguageSeparator = nullptr;
    QAction* ExportList = nullptr;
    QAction* ImportList = nullptr;
    QAction* ListSeparator = nullptr;
    QAction* CheckForUpdate = nullptr;
    QAction* AutoCheckOff = nullptr;
    QAction* UpdateSeparator = nullptr;
    // Beyond the designed menu: the listener's items.
    QAction* SleepTimerItem = nullptr;  // opens SleepTimerMenu, which the tray shares
    QMenu* SleepTimerMenu = nullptr;
    std::array<QAction*, 5> SleepMinutes{};  // kSleepTimerChoices
    QAction* SleepOther = nullptr;           // asks for the minutes
    QAction* SleepCancel = nullptr;          // enabled while the timer runs
    QAction* CloseToTray = nullptr;          // checkable; enabled while there is a tray
    QAction* ListenerSeparator = nullptr;
    QAction* Website = nullptr;
    QAction* About = nullptr;
    QAction* CloseSeparator = nullptr;
    QAction* CloseItem = nullptr;
};

// Builds the menu as a child of `parent`. "Show Date" and "Show Time" are marked; the background
// items are checkable, unmarked and enabled; "Auto check off" is hidden and unmarked. The proxy,
// language and update-check items are disabled until their features exist. "Close to tray" is
// unmarked and disabled until a tray is found; "Cancel sleep timer" is disabled.
SettingsMenu BuildSettingsMenu(QWidget* parent);

// Screen position where the menu opens for `window`: its outer top-left corner plus 250, 170.
QPoint SettingsMenuPosition(const QWidget* window);
// Opens the menu there (returns at once; the chosen item's handler runs later).
void PopupSettingsMenu(const SettingsMenu& menu, const QWidget* window);

}  // namespace velmora
