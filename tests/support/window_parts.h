// SPDX-License-Identifier: GPL-3.0-or-later
// The program window's parts as the tests reach them: each is looked up by its object name here and
// nowhere else, so a renamed widget is one edit. `StopButton(window)` finds the part below
// `window`; a part that is missing fails the test.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "app/backgrounds.h"
#include "channels/channel_list_model.h"
#include "widgets/picture_button.h"

namespace velmora::test {

template <class T>
struct PartOf {
    const char* name;
    T* operator()(const QObject* window) const {
        T* part = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
};

// clang-format off
// Buttons.
inline constexpr PartOf<PictureButton> PlayButton{"Image1"}, MenuButton{"Image2"},
    StopButton{"Image4"}, HomepageButton{"Image7"}, ProgramsButton{"Image9"},
    OpenPanelButton{"Image10"}, ClosePanelButton{"Image11"}, AddButton{"Image12"},
    DeleteButton{"Image13"}, EditButton{"Image15"}, MoveUpButton{"Image16"},
    RecordButton{"Image19"}, RecordingsButton{"Image21"}, MuteButton{"VolumeOn"},
    UnmuteButton{"VolumeOff"};
// Shown in place of the record button when a stream cannot be recorded.
inline constexpr PartOf<QWidget> CannotRecordPicture{"Image20"};

// Labels; the header strip is "Image3" in the main window and in the about box alike.
inline constexpr PartOf<QLabel> AnalyserPlaceholder{"Label1"}, TitleLabel{"Label3"},
    StationLabel{"Label4"}, RateLabel{"Label5"}, PromptLabel{"Label9"}, DateLabel{"Label10"},
    TimeLabel{"Label11"}, HeaderPicture{"Image3"};
// The about box's and the channel editor's own labels.
inline constexpr PartOf<QLabel> CopyrightLabel{"Copyright"}, AboutWebsiteCaption{"Label1"},
    EditorHeading{"Label1"};

// Controls and boxes.
inline constexpr PartOf<QComboBox> DirectoryCombo{"ComboBox1"};
inline constexpr PartOf<ChannelListView> ChannelList{"ListBox1"};
inline constexpr PartOf<QSlider> VolumeSlider{"TrackBar1"};
inline constexpr PartOf<QWidget> Analyser{"PaintBox1"}, ProxyBox{"Panel1"},
    ProxyOkButton{"BitBtn4"};
inline constexpr PartOf<QGroupBox> PlayingBox{"GroupBox2"};
inline constexpr PartOf<QCheckBox> DirectConnectionBox{"cbDirectConnection"};
inline constexpr PartOf<QLineEdit> ProxyField{"ed_ProxyServer"};
// The channel editor's "Top" and "Bottom" choices for where a new entry goes.
inline constexpr PartOf<QRadioButton> EditorTopChoice{"RadioButton1"},
    EditorBottomChoice{"RadioButton2"};

// Timers, the window's and the player's.
inline constexpr PartOf<QTimer> AnalyserTimer{"Timer1"}, ReplayTimer{"Timer2"},
    ClockTimer{"Timer4"}, BlinkTimer{"Timer5"}, StartWatch{"StartWatch"}, EndWatch{"EndWatch"};

// The settings menu and its items.
inline constexpr PartOf<QMenu> SettingsPopup{"PopupMenu1"};
inline constexpr PartOf<QAction> ProxyItem{"ProxyServer1"}, ShowDateItem{"ShowDate1"},
    ShowTimeItem{"ShowTime1"}, AutoCheckOffItem{"Autocheckoff1"},
    ExportItem{"ChannelListExport1"}, ImportItem{"ChannelListImport1"}, AboutItem{"About1"},
    CloseItem{"Close1"}, LanguageItem{"SelectLanguage1"}, EnglishItem{"English1"},
    GermanItem{"German1"}, RussianItem{"Russian1"}, CheckForUpdateItem{"Checkfornewversion1"},
    NotificationsItem{"Notifications1"}, StayAwakeItem{"StayAwake1"}, TitleHistoryItem{"TitleHistory1"},
    RecordPerSongItem{"RecordPerSong1"}, SongRecordingItem{"SongRecording1"};
// clang-format on

inline QAction* BackgroundItem(const QObject* w, Background b) {
    return PartOf<QAction>{InfoOf(b).item_name}(w);
}
// The hidden picture that holds background `b`.
inline QLabel* BackgroundPicture(const QObject* w, Background b) {
    return PartOf<QLabel>{InfoOf(b).picture}(w);
}
// True when the header strip shows background `b`.
inline bool HeaderShows(const QObject* w, Background b) {
    return HeaderPicture(w)->pixmap().toImage() == BackgroundPicture(w, b)->pixmap().toImage();
}

}  // namespace velmora::test
