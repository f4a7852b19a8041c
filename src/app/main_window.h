// TForm1, the main window: the header, the directory and transport controls, the now-playing
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
class TAboutBox;
class TForm3;
class TPaintBox;
class TSelfUpdater;
class TSpectrumPainter;
class TTrackBar;
struct LanguageInfo;
struct SettingsControls;

inline constexpr int kDesignedClientWidth = 568;
inline constexpr int kDesignedClientHeight = 269;

class TForm1 final : public QWidget, private ChannelListHost {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

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
    // The about box and the channel editor, created after this window and owned by it. Any not
    // given by the first showing is created then.
    void SetSecondaryWindows(TAboutBox* about_box, TForm3* form3);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void CreateHeader();
    void CreateChannelBox();
    void CreatePlayingBox();
    void CreateProxyPanel();
    void CreateUserPanel();
    void CreateTimers();
    void WireNowPlaying();
    void WireMenu();
    void WireUserPanel();
    void EnsureSecondaryWindows();
    void FormCreate();
    void ShowEngineError(const QString& message);

    // First showing, in this order.
    void FormShow();
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
    bool FormClose();
    bool SaveSettings();
    bool SaveChannelList();
    // The write failure, and that closing again quits without saving.
    void ShowSaveFailure(const QString& message);
    QString SettingsFile() const;
    QString ChannelListFile() const;
    SettingsControls BoundControls();

    // Handlers.
    void Image1Click();  // Play, as the user presses it
    void Play();         // Play, also run by the automatic replay
    void Image4Click();  // Stop
    void EndReplay();
    void AbandonOpening();
    void ComboBox1Click(int row);
    void ComboBox1KeyDown(int virtual_key);
    void ListBox1Click();
    void TrackBar1Change(int position);
    void VolumeOnClick();
    void VolumeOffClick();
    void Image7Click();  // homepage
    void Image9Click();  // programmes
    void cbDirectConnectionClick();
    void Timer2Timer();  // automatic replay
    void StopRecording();
    void OpenWebPage(const QString& address);
    void Timer1Timer();  // analyser frame
    void Timer4Timer();  // clock
    void ArmClock();
    void StopAnalyser();
    // Settings menu.
    void Image2Click();
    void ShowDate1Click();
    void ShowTime1Click();
    void BackgroundClick(Background background);
    void ShowBackground(Background background);
    void About1Click();
    void English1Click();
    void German1Click();
    void Russian1Click();
    void ChooseLanguage(const char* language_name);
    // User panel.
    void Image10Click();  // open
    void Image11Click();  // close
    void Image12Click();  // add
    void Image13Click();  // delete
    void Image14Click();  // delete all
    void Image15Click();  // edit
    void Image16Click();  // move up
    void Image17Click();  // move down
    void ChannelListExport1Click();
    void ChannelListImport1Click();
    // Self-update.
    void CreateSelfUpdater();
    // Media keys and panel widgets, through the session bus when there is one.
    void CreateMediaKeys();
    void ApplyUpdateSettings();
    void Checkfornewversion1Click();
    void SelfUpdater1Error();
    void SelfUpdater1NoUpdateAvailable();
    void SelfUpdater1Done();
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
    // What Label5 showed before "Reconnecting...", shown again once the stream flows.
    std::optional<QString> label5_before_reconnect_;
    // RetryCount of the automatic replay.
    AutoReplay replay_;
    RecordingControl* recording_ = nullptr;
    int saved_volume_ = 0;
    std::unique_ptr<TSpectrumPainter> spectrum_;
    QString program_folder_;
    QString settings_folder_;
    QString language_name_;
    QString background_name_;
    QString updateInfoPath_;          // set by ApplyLanguage
    TAboutBox* about_box_ = nullptr;  // owned as a child
    TForm3* form3_ = nullptr;         // owned as a child

    // --- controls, by designer name
    QLabel* Image3 = nullptr;
    std::array<QLabel*, 5> header_sources_{};  // Image22..Image26
    QLabel* Image5 = nullptr;
    QLabel* Image6 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    PictureButton* Image1 = nullptr;
    PictureButton* Image4 = nullptr;
    PictureButton* Image19 = nullptr;
    QLabel* Image20 = nullptr;
    PictureButton* Image21 = nullptr;
    TTrackBar* TrackBar1 = nullptr;
    PictureButton* VolumeOn = nullptr;
    PictureButton* VolumeOff = nullptr;
    PictureButton* Image2 = nullptr;
    PictureButton* Image10 = nullptr;
    PictureButton* Image11 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    PictureButton* Image7 = nullptr;
    PictureButton* Image9 = nullptr;
    ProxyPanel* Panel1 = nullptr;  // owns the buffer the engine reads the proxy text from
    QLineEdit* ed_ProxyServer = nullptr;
    QCheckBox* cbDirectConnection = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    ChannelListModel* channels_ = nullptr;          // ListBox1..ListBox4
    std::array<PictureButton*, 7> list_buttons_{};  // Image12..Image18
    // PopupMenu1 and its items.
    SettingsMenu menu_;
    QMenu* PopupMenu1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* Timer5 = nullptr;
    // The one updater, and whether the user has asked for a check in this run.
    TSelfUpdater* SelfUpdater1 = nullptr;
    bool manual_check_ = false;
    MprisService* mpris_ = nullptr;  // owned as a child
};

}  // namespace velmora
