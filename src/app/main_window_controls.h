// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls as its layout builds them, children of the window. Each keeps its
// designer name as its objectName, which tests look for.
#pragma once

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QTimer;

namespace velmora {

class AnalyserView;
class ChannelListModel;
class PictureButton;
class ProxyPanel;
class VolumeTrackBar;

struct MainWindowControls {
    // The header.
    QLabel* header_image = nullptr;
    QLabel* logo_image = nullptr;
    QLabel* analyser_bezel = nullptr;
    QLabel* slogan_label = nullptr;
    QLabel* date_label = nullptr;
    QLabel* time_label = nullptr;
    AnalyserView* analyser_box = nullptr;
    QLabel* analyser_placeholder = nullptr;
    // The directory and transport.
    QGroupBox* channel_box = nullptr;
    QLabel* channel_prompt = nullptr;
    QComboBox* directory_combo = nullptr;
    PictureButton* play_button = nullptr;
    PictureButton* stop_button = nullptr;
    PictureButton* record_button = nullptr;
    QLabel* cannot_record_image = nullptr;
    PictureButton* recordings_button = nullptr;
    VolumeTrackBar* volume_slider = nullptr;
    PictureButton* mute_button = nullptr;
    PictureButton* unmute_button = nullptr;
    PictureButton* menu_button = nullptr;
    PictureButton* open_panel_button = nullptr;
    PictureButton* close_panel_button = nullptr;
    // What plays.
    QGroupBox* playing_box = nullptr;
    QLabel* title_label = nullptr;
    QLabel* station_label = nullptr;
    QLabel* rate_label = nullptr;
    PictureButton* homepage_button = nullptr;
    PictureButton* programs_button = nullptr;
    ProxyPanel* proxy_panel = nullptr;
    // The user's channels.
    QGroupBox* user_panel = nullptr;
    ChannelListModel* channels = nullptr;
    // The user panel's buttons, in the order they stand.
    enum ListButton {
        kAdd,
        kDelete,
        kEdit,
        kDeleteAll,
        kMoveUp,
        kMoveDown,
        kDetails,
        kListButtons
    };
    std::array<PictureButton*, kListButtons> list_buttons{};
    // The analyser's frames, the header clock and the record button's blinking.
    QTimer* analyser_timer = nullptr;
    QTimer* clock_timer = nullptr;
    QTimer* blink_timer = nullptr;
};

}  // namespace velmora
