// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow, the main window: the header, the directory and transport controls, the now-playing
// box and the user channel panel. It builds the layout and wires the parts that do the work:
// NowPlaying (what plays), PlaybackControl (Play, Stop, replay), VolumeControl, RecordingControl,
// WindowFiles (the list and settings files), AnalyserPart, HeaderPart and UpdatePart. The rules
// live in playback/ and channels/; everything about streams goes through the Player.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/backgrounds.h"
#include "app/now_playing_state.h"
#include "app/settings_menu.h"
#include "channels/channel_operations.h"
#include "listening/recent_stations.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QCloseEvent;

namespace velmora {

class ChannelListModel;
class MprisService;
class PictureButton;
class Player;
class ProxyPanel;
class RecordingControl;
class ScheduleRunner;
class AboutBox;
class HeaderPart;
class ChannelEditor;
class AnalyserView;
class AnalyserPart;
class PlaybackControl;
class UpdatePart;
class SleepTimer;
class SleepTimerLabel;
class TrayIcon;
class SleepInhibitor;
class TitleHistory;
class TitleHistoryWindow;
class StationFinding;
class TitleNotifier;
class SpectrumPainter;
class VolumeControl;
class VolumeTrackBar;
class WindowFiles;
struct FileWriteError;
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
    ChannelListModel* Channels() const { return channels_; }
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
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Layout (main_window_layout.cpp).
    void CreateControls();
    void CreateHeader();
    void CreateChannelBox();
    void CreatePlayingBox();
    void CreateProxyPanel();
    void CreateUserPanel();
    void CreateTimers();
    // Parts and wiring.
    void CreateParts();
    void ShowNowPlaying();
    void WireMenu();
    void WireUserPanel();
    void CreateKeyboard();
    void EnsureSecondaryWindows();
    void StartUp();
    void ShowEngineError(const QString& message);

    // First showing, in this order.
    void LoadOnFirstShow();
    void LayoutByWidth();
    void PlaceClockLabels();
    void ApplyProgramsButtonRule();
    void ApplyLanguage();
    void ApplyLanguageOf(const LanguageInfo& language);

    // False, after telling the user, when a file could not be written; the close is abandoned.
    bool SaveBeforeClose();
    SettingsControls BoundControls();

    // Station choices and their pages (main_window_choices.cpp).
    StationChoice CurrentChoice() const;
    void ChooseDirectory();
    void OnDirectoryRowChosen(int row);
    void OnDirectoryUp();
    void OnUserChannelChosen();
    void ApplyStartFixes();
    void OnHomepageClicked();
    void OnProgramsClicked();
    void OpenWebPage(const QString& address);
    // Settings menu, header and clock (main_window_menu.cpp).
    void OnMenuClicked();
    void OnAboutClicked();
    void ChooseLanguage(const char* language_name);
    // User panel (main_window_user_panel.cpp).
    void OnOpenPanelClicked();
    void OnClosePanelClicked();
    void OnDeleteChannelClicked();
    void OnDeleteAllClicked();
    void OnMoveUpClicked();
    void OnMoveDownClicked();
    // Media keys and panel widgets, through the session bus when there is one.
    void CreateMediaKeys();
    // --- listener: tray icon, close to tray, sleep timer, recent stations, Next and Previous by
    // list (main_window_tray.cpp)
    void CreateTray();
    // The close box with "Close to tray" on: hides the window and returns true; the radio plays on.
    bool HideToTray(QCloseEvent* event);
    // After the window agreed to close for real.
    void LeaveTray();
    void UpdateTray();
    void ToggleWindowFromTray();
    void ShowWindowFromTray();
    void PlayOrStop();
    void QuitFromTray();
    // Next (+1) or Previous (-1): along the user's list when what plays came from it, else along
    // the directory.
    void SkipStation(int step);
    void RememberStation();
    void PlayRecentStation(int index);
    void AskSleepMinutes();
    void OnSleepMinutesLeft(int minutes);
    void OnSleepVolumeShare(double share);
    void OnSleepTimerExpired();
    void RestoreVolume();
    TrayIcon* tray_ = nullptr;                // owned as a child
    SleepTimer* sleep_timer_ = nullptr;       // owned as a child
    SleepTimerLabel* sleep_label_ = nullptr;  // owned as a child
    RecentStations recent_;
    // --- end of the listener's block

    // --- title notifications, staying awake, title history (main_window_listening.cpp)
    void CreateListening();
    void OnTitleShown(const QString& title);
    void FollowPlaybackForSleep();
    void OnRecordingToggled();
    void ReportHistoryWrite(const std::optional<FileWriteError>& error);
    void ClearTitleHistory();
    // At the real close: nothing may keep the computer awake after the program has ended.
    void ReleaseListening();
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
    // What Play opens: a user channel or an address, or (source Directory) the directory's row.
    StationChoice chosen_;
    std::unique_ptr<AnalyserPart> analyser_;  // once the engine has started
    QString language_name_;
    QString update_info_path_;                 // set by ApplyLanguage
    AboutBox* about_box_ = nullptr;            // owned as a child
    ChannelEditor* channel_editor_ = nullptr;  // owned as a child

    // --- controls; each keeps its designer name as its objectName, which tests look for
    QLabel* header_image_ = nullptr;
    QLabel* logo_image_ = nullptr;
    QLabel* analyser_bezel_ = nullptr;
    QLabel* slogan_label_ = nullptr;
    QLabel* date_label_ = nullptr;
    QLabel* time_label_ = nullptr;
    AnalyserView* analyser_box_ = nullptr;
    QLabel* analyser_placeholder_ = nullptr;
    QGroupBox* channel_box_ = nullptr;
    QLabel* channel_prompt_ = nullptr;
    QComboBox* directory_combo_ = nullptr;
    PictureButton* play_button_ = nullptr;
    PictureButton* stop_button_ = nullptr;
    PictureButton* record_button_ = nullptr;
    QLabel* cannot_record_image_ = nullptr;
    PictureButton* recordings_button_ = nullptr;
    VolumeTrackBar* volume_slider_ = nullptr;
    PictureButton* mute_button_ = nullptr;
    PictureButton* unmute_button_ = nullptr;
    PictureButton* menu_button_ = nullptr;
    PictureButton* open_panel_button_ = nullptr;
    PictureButton* close_panel_button_ = nullptr;
    QGroupBox* playing_box_ = nullptr;
    QLabel* title_label_ = nullptr;
    QLabel* station_label_ = nullptr;
    QLabel* rate_label_ = nullptr;
    PictureButton* homepage_button_ = nullptr;
    PictureButton* programs_button_ = nullptr;
    ProxyPanel* proxy_panel_ = nullptr;
    QGroupBox* user_panel_ = nullptr;
    ChannelListModel* channels_ = nullptr;
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
    std::array<PictureButton*, kListButtons> list_buttons_{};
    // The settings menu and its items.
    SettingsMenu menu_;
    QMenu* settings_popup_ = nullptr;
    QTimer* analyser_timer_ = nullptr;
    QTimer* clock_timer_ = nullptr;
    HeaderPart* header_ = nullptr;  // owned as a child
    QTimer* blink_timer_ = nullptr;
    UpdatePart* update_ = nullptr;   // owned as a child
    MprisService* mpris_ = nullptr;  // owned as a child
    // --- title notifications, staying awake, title history; children, the history owned here
    TitleNotifier* notifier_ = nullptr;
    SleepInhibitor* inhibitor_ = nullptr;
    std::unique_ptr<TitleHistory> history_;
    TitleHistoryWindow* history_window_ = nullptr;  // created when first opened
    bool history_failure_shown_ = false;            // one message per run of failing writes
    // --- end of title notifications, staying awake, title history
    StationFinding* finding_ = nullptr;  // the "Find stations" window's part, a child
};

}  // namespace velmora
