// SPDX-License-Identifier: GPL-3.0-or-later
// Carries the stored choices between the Settings record and the controls that show them: the
// directory row, the slider, the proxy switch and field, the window width, the menu marks, the
// editor's position buttons, the list's scroll position and the two named choices.
#pragma once

#include <QString>
#include <functional>

#include "recording/song_choices.h"
#include "settings/settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSlider;
class QWidget;

namespace velmora {

class ChannelListModel;

// Widths a stored "Form" value is held within, so a hand-edited file cannot hide the controls or
// open a window wider than any screen.
inline constexpr int kNarrowestClientWidth = 407;
inline constexpr int kWidestClientWidth = 2000;
inline constexpr int kOpenPanelClientWidth = 570;

struct SettingsControls {
    QWidget* window = nullptr;  // its client width is "Form"
    QComboBox* Directory = nullptr;
    QSlider* Volume = nullptr;
    QCheckBox* DirectConnection = nullptr;
    QLineEdit* ProxyField = nullptr;
    QAction* ShowDate = nullptr;
    QAction* ShowTime = nullptr;
    QRadioButton* InsertAtTop = nullptr;     // the editor's "Top"
    QRadioButton* InsertAtBottom = nullptr;  // the editor's "Bottom"
    QString* LanguageName = nullptr;
    ChannelListModel* channels = nullptr;  // "Channelposition" scrolls its ListBox1
    QString* BackgroundName = nullptr;
    QAction* AutoCheckOff = nullptr;
    QAction* CloseToTray = nullptr;
    QAction* Notifications = nullptr;
    QAction* StayAwake = nullptr;
    // The minutes a station keeps for pausing: the Player holds them.
    std::function<int()> TimeShiftMinutes;
    std::function<void(int)> SetTimeShiftMinutes;
    QAction* RecordPerSong = nullptr;
    SongChoices* SongRecording = nullptr;  // the per-song rules the recordings follow
};

// The client width a stored "Form" value gives.
int ClientWidthFromSetting(int form);
// Sets the fixed client width of the main window, keeping its height.
void SetClientWidth(QWidget* window, int width);

// The per-song choices the stored values give, held within their limits.
SongChoices SongChoicesOf(const Settings& settings);
// Writes `choices` into the values of `settings`.
void StoreSongChoices(const SongChoices& choices, Settings* settings);

// Applies every value, in the order of the file's keys. A directory row outside the list (-1
// included) leaves no row selected; the slider clamps the volume.
void ApplySettings(const Settings& settings, const SettingsControls& controls);
// The values the controls hold now; "Channel" is -1 when no directory row is selected.
Settings CollectSettings(const SettingsControls& controls);

}  // namespace velmora
