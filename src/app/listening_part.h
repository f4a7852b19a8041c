// SPDX-License-Identifier: GPL-3.0-or-later
// The listener's services around the main window: the tray icon and closing to it, the sleep timer
// with its minutes in the header, a desktop notification for each new title, no suspend while a
// station plays, and the history of the titles shown. They follow NowPlaying; nothing reads a
// label.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QCloseEvent;
class QLabel;
class QWidget;

namespace velmora {

class NowPlaying;
class PictureButton;
class PlaybackControl;
class Player;
class RecordingControl;
class SleepInhibitor;
class SleepTimer;
class SleepTimerLabel;
class TitleHistory;
class TitleHistoryWindow;
class TitleNotifier;
class TrayIcon;
class VolumeControl;
struct FileWriteError;
struct SettingsMenu;

class ListeningPart final : public QObject {
    Q_OBJECT
  public:
    struct Controls {
        QWidget* window;  // parent of the tray icon, the history window and the boxes
        QLabel* date_label;
        QLabel* time_label;
        PictureButton* record_button;
        Player* player;
        NowPlaying* now;
        PlaybackControl* playback;
        VolumeControl* volume;
        RecordingControl* recording;
        // Brings the window to the front, also from the minimised state.
        std::function<void()> raise_window;
    };
    ListeningPart(Controls controls, const SettingsMenu& menu, QObject* parent);
    ~ListeningPart() override;

    // The tray's Next, Previous and recent stations are the station choice's to answer.
    TrayIcon* Tray() const { return tray_; }
    // Title notifications, which other parts use for their own news too.
    TitleNotifier* Notifier() const { return notifier_; }
    // A further line for the tray's tooltip (empty: none), asked at each update.
    void SetTrayNote(std::function<QString()> note);
    // Shows the playing state and the tooltip afresh.
    void UpdateTray();
    // Opens the title history window (also from the tray).
    void ShowTitleHistory();
    // The close box with "Close to tray" on: hides the window and returns true; the radio plays on.
    bool HideToTray(QCloseEvent* event);
    // After the window agreed to close for real: nothing may keep the computer awake after the
    // program has ended, and no hidden window is left waiting.
    void Leave();

  private:
    void CreateTray();
    void CreateServices();
    void ToggleWindowFromTray();
    void ShowWindowFromTray();
    void PlayOrStop();
    void QuitFromTray();
    void AskSleepMinutes();
    void OnSleepMinutesLeft(int minutes);
    void OnSleepVolumeShare(double share);
    void OnSleepTimerExpired();
    void RestoreVolume();
    void OnTitleShown(const QString& title);
    void FollowPlaybackForSleep();
    void OnRecordingToggled();
    void ReportHistoryWrite(const std::optional<FileWriteError>& error);
    void ClearTitleHistory();

    const Controls c_;
    const SettingsMenu& menu_;
    TrayIcon* tray_ = nullptr;                // a child of the window
    SleepTimer* sleep_timer_ = nullptr;       // a child
    SleepTimerLabel* sleep_label_ = nullptr;  // a child of the window
    std::function<QString()> tray_note_;
    TitleNotifier* notifier_ = nullptr;    // a child
    SleepInhibitor* inhibitor_ = nullptr;  // a child
    std::unique_ptr<TitleHistory> history_;
    TitleHistoryWindow* history_window_ = nullptr;  // created when first opened
    bool history_failure_shown_ = false;            // one message per run of failing writes
};

}  // namespace velmora
