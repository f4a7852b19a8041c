// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow, the main window: the header, the directory and transport controls, the now-playing
// box and the user channel panel. It builds the layout and wires the parts that do the work:
// NowPlaying (what plays), PlaybackControl (Play, Stop, replay), VolumeControl, RecordingControl,
// WindowFiles (the list and settings files), AnalyserPart, HeaderPart, UpdatePart, ListeningPart
// and StationChoicePart. The rules live in playback/ and channels/; everything about streams goes
// through the Player.
#pragma once

#include <QWidget>
#include <memory>

#include "app/backgrounds.h"
#include "app/main_window_controls.h"
#include "app/now_playing.h"
#include "app/settings_menu.h"
#include "channels/channel_operations.h"

class QCloseEvent;

namespace velmora {

class MprisService;
class Player;
class RecordingControl;
class ScheduleRunner;
class AboutBox;
class HeaderPart;
class ChannelEditor;
class AnalyserPart;
class PlaybackControl;
class UpdatePart;
class ListeningPart;
class StationChoicePart;
class TimeShiftPart;
class StationFinding;
class VolumeControl;
class WindowFiles;
struct LanguageInfo;
struct SettingsControls;

inline constexpr int kDesignedClientWidth = 568;
inline constexpr int kDesignedClientHeight = 269;

class MainWindow final : public QWidget, private ChannelListHost {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when the engine could not be used; the program then ends without showing the window.
    bool StartedUp() const { return started_up_; }

    // The stream being played, 0 before the first opening and after a failed one.
    unsigned CurrentStream() const;
    // True while a stream-opening worker runs.
    bool IsOpening() const;
    // Automatic replays since the last reset (RetryCount).
    int RetryCount() const;
    ChannelListModel* Channels() const { return ui_.channels; }
    // What plays, for anything that shows or follows it.
    NowPlaying* Now() const { return now_; }
    // Path of the update information file for the applied language; empty when none applies.
    QString UpdateInfoPath() const { return update_info_path_; }
    // Plays `url` as a station of its own, shown as `name` until its server names it; the user's
    // list is left as it is. Only http(s) addresses are opened.
    void PlayStation(const QString& url, const QString& name);
    // Brings the window to the front, also from the minimised state.
    void RaiseWindow();
    // The about box and the channel editor, created after this window and owned by it. Any not
    // given by the first showing is created then.
    void SetSecondaryWindows(AboutBox* about_box, ChannelEditor* channel_editor);

  public slots:
    // Opens the title history window (also from the tray).
    void ShowTitleHistory();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Layout and keyboard (main_window_layout.cpp).
    void CreateControls();
    // Parts and wiring.
    void CreateParts();
    void ShowNowPlaying();
    void WireMenu();
    void WireUserPanel();
    void CreateKeyboard();
    void EnsureSecondaryWindows();
    void StartUp();

    // First showing, in this order.
    void LoadOnFirstShow();
    void LayoutByWidth();
    void ApplyLanguage();
    void ApplyLanguageOf(const LanguageInfo& language);

    // False, after telling the user, when a file could not be written; the close is abandoned.
    bool SaveBeforeClose();
    SettingsControls BoundControls();

    // Once per opening, when its stream starts to sound.
    void ApplyStartFixes();
    void ChooseLanguage(const char* language_name);
    // User panel.
    void OnOpenPanelClicked();
    void OnClosePanelClicked();
    // Media keys and panel widgets, through the session bus when there is one.
    void CreateMediaKeys();
    // ChannelListHost, for deleting a channel.
    void StopAndReleaseStream() override;
    void ResetNowPlaying() override;

    bool started_up_ = false;
    bool shown_once_ = false;

    // --- parts; user-interface thread
    // Created first and deleted first: its signals never reach a window half torn down.
    Player* player_ = nullptr;
    NowPlaying* now_ = nullptr;
    PlaybackControl* playback_ = nullptr;
    VolumeControl* volume_ = nullptr;
    RecordingControl* recording_ = nullptr;
    ScheduleRunner* schedule_ = nullptr;  // recordings on a schedule, beside what plays
    std::unique_ptr<WindowFiles> files_;
    StationChoicePart* choice_ = nullptr;     // owned as a child
    std::unique_ptr<AnalyserPart> analyser_;  // once the engine has started
    QString language_name_;
    QString update_info_path_;                 // set by ApplyLanguage
    AboutBox* about_box_ = nullptr;            // owned as a child
    ChannelEditor* channel_editor_ = nullptr;  // owned as a child

    MainWindowControls ui_;  // built by the layout
    // The settings menu and its items.
    SettingsMenu menu_;
    HeaderPart* header_ = nullptr;         // owned as a child
    UpdatePart* update_ = nullptr;         // owned as a child
    MprisService* mpris_ = nullptr;        // owned as a child
    ListeningPart* listening_ = nullptr;   // owned as a child
    StationFinding* finding_ = nullptr;    // the "Find stations" window's part, a child
    TimeShiftPart* time_shift_ = nullptr;  // pause, skips and live; a child
};

}  // namespace velmora
