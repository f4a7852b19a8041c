// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow, the main window: the header, the directory and transport controls, the now-playing
// box and the user channel panel. It wires controls to handlers; the rules live in playback/ and
// channels/. Everything about streams goes through the Player and comes back as its signals.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/backgrounds.h"
#include "app/settings_menu.h"
#include "channels/channel_operations.h"
#include "playback/now_playing.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace velmora {

class ChannelListModel;
class MprisService;
class PictureButton;
class Player;
class ProxyPanel;
class RecordingControl;
class AboutBox;
class ChannelEditor;
class AnalyserView;
class SelfUpdater;
class SpectrumPainter;
class VolumeTrackBar;
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
    int RetryCount() const { return replay_.RetryCount(); }
    ChannelListModel* Channels() const { return channels_; }
    // Path of the update information file for the applied language; empty when none applies.
    QString UpdateInfoPath() const { return updateInfoPath_; }
    // Plays `url` as a station of its own, shown as `name` until its server names it; the user's
    // list is left as it is. Only http(s) addresses are opened.
    void PlayStation(const QString& url, const QString& name);
    // Brings the window to the front, also from the minimised state.
    void RaiseWindow();
    // The about box and the channel editor, created after this window and owned by it. Any not
    // given by the first showing is created then.
    void SetSecondaryWindows(AboutBox* about_box, ChannelEditor* channel_editor);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void CreateHeader();
    void CreateChannelBox();
    void CreatePlayingBox();
    void CreateProxyPanel();
    void CreateUserPanel();
    void CreateTimers();
    void CreateKeyboard();
    void WireNowPlaying();
    void WireMenu();
    void WireUserPanel();
    void EnsureSecondaryWindows();
    void StartUp();
    void ShowEngineError(const QString& message);

    // First showing, in this order.
    void LoadOnFirstShow();
    void DetermineFolders();
    bool LoadChannelList();  // false, after telling the user, when no list could be read
    void LoadSettings();
    void LayoutByWidth();
    void PlaceClockLabels();
    void ApplyProgramsButtonRule();
    void ApplyProxyChoice();
    void ApplyLanguage();
    void ApplyLanguageOf(const LanguageInfo& language);
    void ApplyBackground();

    // Each false, after telling the user, when a file could not be written; the close is abandoned.
    bool SaveBeforeClose();
    bool SaveSettings();
    bool SaveChannelList();
    // The write failure, and that closing again quits without saving.
    void ShowSaveFailure(const QString& message);
    QString SettingsFile() const;
    QString ChannelListFile() const;
    SettingsControls BoundControls();

    // Handlers.
    void OnPlayClicked();
    void Play();  // also run by the automatic replay
    void OnStopClicked();
    void EndReplay();
    void AbandonOpening();
    void OnDirectoryRowChosen(int row);
    void OnDirectoryKeyDown(int virtual_key);
    void OnUserChannelChosen();
    void OnVolumeChanged(int position);
    void OnMuteClicked();
    void OnUnmuteClicked();
    void OnHomepageClicked();
    void OnProgramsClicked();
    void OnReplayTimer();
    void StopRecording();
    void OpenWebPage(const QString& address);
    void OnAnalyserTimer();
    void OnClockTimer();
    void ArmClock();
    void StopAnalyser();
    // Settings menu.
    void OnMenuClicked();
    void OnShowDateToggled();
    void OnShowTimeToggled();
    void OnBackgroundChosen(Background background);
    void ShowBackground(Background background);
    void OnAboutClicked();
    void ChooseLanguage(const char* language_name);
    // User panel.
    void OnOpenPanelClicked();      // open
    void OnClosePanelClicked();     // close
    void OnAddChannelClicked();     // add
    void OnDeleteChannelClicked();  // delete
    void OnDeleteAllClicked();      // delete all
    void OnEditChannelClicked();    // edit
    void OnMoveUpClicked();         // move up
    void OnMoveDownClicked();       // move down
    void OnExportClicked();
    void OnImportClicked();
    // Self-update.
    void CreateSelfUpdater();
    // Media keys and panel widgets, through the session bus when there is one.
    void CreateMediaKeys();
    void ApplyUpdateSettings();
    void OnCheckForUpdateClicked();
    void OnUpdateError();
    void OnNoUpdateAvailable();
    void OnUpdateDone();
    // The player's reports, for the opening the labels show.
    void WirePlayer();
    void OnOpening(std::uint64_t opening);
    void OnBuffering(std::uint64_t opening, int percent);
    void OnStation(std::uint64_t opening, const QString& name);
    void OnRateLine(std::uint64_t opening, const QString& text);
    void OnTitle(std::uint64_t opening, const QString& text);
    void OnStalled(std::uint64_t opening, bool stalled);
    void OnPlaying(std::uint64_t opening);  // once-per-start fixes
    void OnStopped(std::uint64_t opening);
    void OnFailed(std::uint64_t opening, int code);
    // ChannelListHost, for deleting a channel.
    void StopAndReleaseStream() override;
    void ResetNowPlaying() override;

    bool started_up_ = false;
    bool shown_once_ = false;
    // The user's list (and so the settings after it) was read at the first showing.
    bool startup_loaded_ = false;
    // A close was refused because a file could not be written; the next close quits unsaved.
    bool save_refused_ = false;

    // --- process-wide state; user-interface thread
    // Created first and deleted first: its signals never reach a window half torn down.
    Player* player_ = nullptr;
    bool user_channel_mode_ = false;
    QString user_channel_url_;
    QString user_channel_name_;
    // The played channel's own name, and whether its server has named the station.
    QString channel_name_;
    bool station_named_ = false;
    // The station name its server sent for the played channel; empty while none came.
    QString server_station_;
    // What rateLabel_ showed before "Reconnecting...", shown again once the stream flows.
    std::optional<QString> rate_before_reconnect_;
    // RetryCount of the automatic replay.
    AutoReplay replay_;
    RecordingControl* recording_ = nullptr;
    int saved_volume_ = 0;
    std::unique_ptr<SpectrumPainter> spectrum_;
    QString program_folder_;
    QString settings_folder_;
    QString language_name_;
    QString background_name_;
    QString updateInfoPath_;                  // set by ApplyLanguage
    AboutBox* about_box_ = nullptr;           // owned as a child
    ChannelEditor* channelEditor_ = nullptr;  // owned as a child

    // --- controls; each keeps its designer name as its objectName, which tests look for
    QLabel* headerImage_ = nullptr;
    QLabel* logoImage_ = nullptr;
    QLabel* analyserBezel_ = nullptr;
    QLabel* sloganLabel_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    AnalyserView* analyserBox_ = nullptr;
    QLabel* analyserPlaceholder_ = nullptr;
    QGroupBox* channelBox_ = nullptr;
    QLabel* channelPrompt_ = nullptr;
    QComboBox* directoryCombo_ = nullptr;
    PictureButton* playButton_ = nullptr;
    PictureButton* stopButton_ = nullptr;
    PictureButton* recordButton_ = nullptr;
    QLabel* cannotRecordImage_ = nullptr;
    PictureButton* recordingsButton_ = nullptr;
    VolumeTrackBar* volumeSlider_ = nullptr;
    PictureButton* muteButton_ = nullptr;
    PictureButton* unmuteButton_ = nullptr;
    PictureButton* menuButton_ = nullptr;
    PictureButton* openPanelButton_ = nullptr;
    PictureButton* closePanelButton_ = nullptr;
    QGroupBox* playingBox_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* stationLabel_ = nullptr;
    QLabel* rateLabel_ = nullptr;
    PictureButton* homepageButton_ = nullptr;
    PictureButton* programsButton_ = nullptr;
    ProxyPanel* proxyPanel_ = nullptr;
    QGroupBox* userPanel_ = nullptr;
    ChannelListModel* channels_ = nullptr;  // the user list and its view ListBox1
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
    std::array<PictureButton*, kListButtons> listButtons_{};
    // The settings menu and its items.
    SettingsMenu menu_;
    QMenu* settingsPopup_ = nullptr;
    QTimer* analyserTimer_ = nullptr;
    QTimer* replayTimer_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
    // The one updater, and whether the user has asked for a check in this run.
    SelfUpdater* selfUpdater_ = nullptr;
    bool manual_check_ = false;
    MprisService* mpris_ = nullptr;  // owned as a child
};

}  // namespace velmora
