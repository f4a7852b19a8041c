// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "app/about_box.h"
#include "app/analyser_part.h"
#include "app/header_clock.h"
#include "app/header_part.h"
#include "app/listening_part.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/schedule_runner.h"
#include "app/scheduled_recordings_part.h"
#include "app/settings_binding.h"
#include "app/song_recording_window.h"
#include "app/station_choice_part.h"
#include "app/station_finding.h"
#include "app/title_label_copy.h"
#include "app/update_part.h"
#include "app/volume_control.h"
#include "app/window_files.h"
#include "channels/channel_editor.h"
#include "channels/channel_list_model.h"
#include "channels/channel_operations.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "playback/directory_rows.h"
#include "playback/engine_startup.h"
#include "playback/player.h"
#include "session/mpris_service.h"
#include "widgets/analyser_view.h"
#include "widgets/picture_button.h"
#include "widgets/proxy_panel.h"
#include "widgets/track_bar.h"

// The artwork is compiled into a static library, whose resource initialiser nothing else pulls in.
static void LoadArtwork() {
    Q_INIT_RESOURCE(assets);
}

namespace velmora {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    LoadArtwork();
    setObjectName("MainWindow");
    setWindowTitle(Msg("Velmora"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(kDesignedClientWidth, kDesignedClientHeight);
    // Fixed border: system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    player_ = new Player(this);
    player_->setObjectName(QStringLiteral("Player"));
    CreateControls();
    StartUp();
    CreateMediaKeys();
    schedule_ =
        CreateScheduledRecordings(this, player_, listening_->Notifier(), menu_.RecordPerSong,
                                  recording_->Songs(), [this] { listening_->UpdateTray(); });
    listening_->SetTrayNote([this] { return ScheduledRecordingTip(schedule_); });
    ConnectScheduleWindow(menu_.ScheduledRecordings, schedule_, ui_.channels, this);
    ConnectSongRecordingWindow(menu_.SongRecording, recording_->Songs(), this);
}

MainWindow::~MainWindow() {
    // The analyser's thread reads from the player.
    analyser_.reset();
    // Its recordings are streams of the player's engine: they end before it.
    delete schedule_;
    // Destruction handler: the player stops and frees every stream and releases the engine; a
    // worker waiting on a report is let go.
    delete player_;
    player_ = nullptr;
}

unsigned MainWindow::CurrentStream() const {
    return player_->CurrentStream();
}

bool MainWindow::IsOpening() const {
    return player_->IsOpening();
}

int MainWindow::RetryCount() const {
    return playback_->RetryCount();
}

// --- parts

void MainWindow::CreateParts() {
    now_ = new NowPlaying(this);
    now_->SetStationText(ui_.station_label->text());
    recording_ = new RecordingControl(
        {this, ui_.record_button, ui_.blink_timer, menu_.RecordPerSong}, player_, now_, this);
    connect(ui_.blink_timer, &QTimer::timeout, recording_, &RecordingControl::OnBlinkTimer);
    connect(ui_.record_button, &PictureButton::clicked, recording_,
            &RecordingControl::OnRecordClicked);
    connect(ui_.recordings_button, &PictureButton::clicked, recording_,
            &RecordingControl::OnOpenRecordingsClicked);

    playback_ = new PlaybackControl(
        {player_, now_, recording_, ui_.proxy_panel}, [this] { return choice_->Current(); }, this);
    connect(ui_.play_button, &PictureButton::clicked, playback_, &PlaybackControl::OnPlayClicked);
    connect(ui_.stop_button, &PictureButton::clicked, playback_, &PlaybackControl::OnStopClicked);
    connect(playback_, &PlaybackControl::started, this, &MainWindow::ApplyStartFixes);

    volume_ =
        new VolumeControl(ui_.volume_slider, ui_.mute_button, ui_.unmute_button, player_, this);
    files_ = std::make_unique<WindowFiles>(this, ui_.channels, [this] { return BoundControls(); });

    new TitleLabelCopy(ui_.title_label);
    menu_.ProxyServer->setEnabled(true);
    connect(menu_.ProxyServer, &QAction::triggered, ui_.proxy_panel, &ProxyPanel::Open);
}

// The three lines and the record button show what NowPlaying holds.
void MainWindow::ShowNowPlaying() {
    connect(now_, &NowPlaying::stationTextChanged, ui_.station_label, &QLabel::setText);
    connect(now_, &NowPlaying::rateTextChanged, ui_.rate_label, &QLabel::setText);
    connect(now_, &NowPlaying::titleChanged, ui_.title_label, &QLabel::setText);
    connect(now_, &NowPlaying::recordableChanged, this, [this](bool recordable) {
        ui_.record_button->setVisible(recordable);
        ui_.cannot_record_image->setVisible(!recordable);
    });
}

// --- creation

void MainWindow::StartUp() {
    // The clock shows the date and time, not texts.
    ExcludeFromTranslation(ui_.date_label);
    ExcludeFromTranslation(ui_.time_label);
    TranslateWindow(this);
    switch (player_->StartEngine()) {
        case Player::StartupFailure::None:
            break;
        case Player::StartupFailure::EngineVersion:
            dialogs().Error(nullptr, Msg("An incorrect version of the audio engine was loaded"));
            return;
        case Player::StartupFailure::SoundCard:
            now_->SetStationText(Msg("Can't initialize Sound Card"));
            dialogs().Message(this, EngineErrorText(Msg("Can't initialize Sound Card"),
                                                    player_->StartupErrorCode()));
            return;
    }
    ui_.proxy_panel->SetProxyTarget([player = QPointer<Player>(player_)](const char* address) {
        if (player) player->SetProxy(address);
    });
    player_->SetProxy(ui_.proxy_panel->Buffer().data());
    player_->SetVolume(volume_->Position());

    analyser_ = std::make_unique<AnalyserPart>(
        this, ui_.analyser_box, ui_.analyser_placeholder, ui_.analyser_timer,
        [player = player_](Player::Magnitudes& fft) { return player->AnalyserData(fft); });
    connect(player_, &Player::opening, analyser_.get(), &AnalyserPart::Stop);
    connect(player_, &Player::failed, analyser_.get(), &AnalyserPart::Stop);
    connect(player_, &Player::stopped, analyser_.get(), &AnalyserPart::Stop);
    // Some ways out (the update's) end the program without closing this window.
    connect(qApp, &QCoreApplication::aboutToQuit, analyser_.get(), &AnalyserPart::Stop);
    started_up_ = true;
}

// Once per opening, when its stream starts to sound.
void MainWindow::ApplyStartFixes() {
    if (analyser_) analyser_->Start();  // keeps a running rhythm
    StartFixInput in;
    in.slider_position = volume_->Position();
    in.user_channel_mode = choice_->Current().UserChannel();
    in.directory_row = ui_.directory_combo->currentIndex();
    in.user_row = ui_.channels->SelectedRow();
    if (choice_->Current().source == StationSource::Address) {
        in.user_row = -1;  // a row left selected in the list is not what plays
        in.address_url = choice_->Current().url;
    }
    if (in.user_row >= 0) {
        const ChannelEntry entry = ui_.channels->Entry(in.user_row);
        in.user_channel_name = entry.name;
        in.user_channel_url = entry.playlist;
    }
    const StartFixes fixes = PlaybackStartFixes(in);
    volume_->ShowPicturesForPosition();
    if (fixes.station_text) now_->SetStationText(*fixes.station_text);
    if (fixes.bitrate_text) now_->SetRateText(*fixes.bitrate_text);
    if (fixes.record_offered) now_->SetRecordable(*fixes.record_offered);
}

void MainWindow::SetSecondaryWindows(AboutBox* about_box, ChannelEditor* channel_editor) {
    about_box_ = about_box;
    channel_editor_ = channel_editor;
}

void MainWindow::EnsureSecondaryWindows() {
    if (!about_box_) about_box_ = new AboutBox(this);
    if (!channel_editor_) channel_editor_ = new ChannelEditor(ui_.channels, this);
    about_box_->SetLanguageName([this] { return language_name_; });
    channel_editor_->SetLanguageName([this] { return language_name_; });
}

// The analyser follows a changed colour scheme.
void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && analyser_) analyser_->FollowPalette();
}

// --- first showing

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    LoadOnFirstShow();
}

void MainWindow::LoadOnFirstShow() {
    EnsureSecondaryWindows();
    // Without any list the rest of the start-up is skipped, as for any failing step.
    if (!files_->LoadOnFirstShow()) return;
    if (files_->SettingsApplied()) {
        header_->FollowMenuMarks();
    }
    LayoutByWidth();
    if (DirectoryRowLacksPrograms(ui_.directory_combo->currentIndex())) ui_.programs_button->hide();
    volume_->RememberPosition();
    ui_.proxy_panel->OnDirectConnectionClicked();
    ApplyLanguage();
    update_->Apply(update_info_path_, menu_.AutoCheckOff->isChecked());
    header_->ApplyBackground();
}

SettingsControls MainWindow::BoundControls() {
    SettingsControls c;
    c.window = this;
    c.Directory = ui_.directory_combo;
    c.Volume = ui_.volume_slider;
    c.DirectConnection = ui_.proxy_panel->directSwitch;
    c.ProxyField = ui_.proxy_panel->addressEdit;
    c.ShowDate = menu_.ShowDate;
    c.ShowTime = menu_.ShowTime;
    c.InsertAtTop = channel_editor_->InsertAtTop();
    c.InsertAtBottom = channel_editor_->InsertAtBottom();
    c.LanguageName = &language_name_;
    c.channels = ui_.channels;
    c.BackgroundName = header_->BackgroundName();
    c.AutoCheckOff = menu_.AutoCheckOff;
    c.CloseToTray = menu_.CloseToTray;
    c.Notifications = menu_.Notifications;
    c.StayAwake = menu_.StayAwake;
    c.TimeShiftMinutes = [this] { return player_->TimeShiftMinutes(); };
    c.SetTimeShiftMinutes = [this](int minutes) { player_->SetTimeShiftMinutes(minutes); };
    c.RecordPerSong = menu_.RecordPerSong;
    c.SongRecording = recording_->Songs();
    return c;
}

void MainWindow::LayoutByWidth() {
    const bool closed = LayoutForClientWidth(width()) == PanelLayout::Closed;
    ui_.open_panel_button->setVisible(closed);
    ui_.close_panel_button->setVisible(!closed);
    PlaceClockLabels(ui_.date_label, ui_.time_label, LayoutForClientWidth(width()));
}

// Chooses the interface language from the settings or, when they name none, from the system's
// catalogue language; with neither, the windows keep their start-up texts, and updates are looked
// for in the language those texts are in.
void MainWindow::ApplyLanguage() {
    const int row = ui_.directory_combo->currentIndex();
    if (const LanguageInfo* stored = LanguageByName(language_name_)) {
        ApplyLanguageOf(*stored);
        if (ui_.directory_combo->currentIndex() < 0) ui_.directory_combo->setCurrentIndex(row);
        return;
    }
    const LanguageInfo* system = LanguageByCode(CatalogueLanguage());
    if (!system) {
        update_info_path_ = QString::fromLatin1(LanguageOfShownTexts().update_path);
        return;
    }
    ApplyLanguageOf(*system);
    if (ui_.directory_combo->currentIndex() < 0)
        ui_.directory_combo->setCurrentIndex(FirstStationRow());
    language_name_ = QString::fromLatin1(system->name);
}

void MainWindow::ApplyLanguageOf(const LanguageInfo& language) {
    update_info_path_ =
        QString::fromLatin1(language.update_path);  // the updater's InfoFileURL path
    SwitchCatalogue(QString::fromLatin1(language.code), this);
    RetranslateWindow(this);
    const QString name = QString::fromLatin1(language.name);
    menu_.English->setEnabled(name != QLatin1String("English"));
    menu_.German->setEnabled(name != QLatin1String("German"));
    menu_.Russian->setEnabled(name != QLatin1String("Russian"));
}

// --- closing

void MainWindow::closeEvent(QCloseEvent* event) {
    if (listening_->HideToTray(event)) return;
    if (SaveBeforeClose()) {
        event->accept();
        listening_->Leave();
    } else {
        event->ignore();  // a file could not be written: the window stays open
    }
}

bool MainWindow::SaveBeforeClose() {
    EnsureSecondaryWindows();  // the editor's position buttons are saved too
    if (!files_->SaveBeforeClose(shown_once_)) return false;
    setAttribute(Qt::WA_DeleteOnClose);
    return true;
}

void MainWindow::PlayStation(const QString& url, const QString& name) {
    choice_->PlayStation(url, name);
}

void MainWindow::ShowTitleHistory() {
    listening_->ShowTitleHistory();
}

void MainWindow::RaiseWindow() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::WireMenu() {
    connect(ui_.menu_button, &PictureButton::clicked, this,
            [this] { PopupSettingsMenu(menu_, this); });
    connect(menu_.ExportList, &QAction::triggered, this,
            [this] { ExportChannelList(*ui_.channels, this); });
    connect(menu_.ImportList, &QAction::triggered, this,
            [this] { ImportChannelList(*ui_.channels, this); });
    connect(menu_.About, &QAction::triggered, this,
            [this] { about_box_->ShowWithHeader(ui_.header_image->pixmap()); });
    finding_ = new StationFinding(
        this, {[this](const QString& url, const QString& name) { PlayStation(url, name); },
               [this](const ChannelEntry& entry) {
                   ui_.channels->Add(entry, channel_editor_ && channel_editor_->PositionTop()
                                                ? ChannelListModel::Position::Top
                                                : ChannelListModel::Position::Bottom);
               },
               [this] {
                   return ui_.proxy_panel->directSwitch->isChecked()
                              ? QString()
                              : ui_.proxy_panel->addressEdit->text();
               }});
    // The item's Ctrl+F works while the menu is closed too.
    addAction(menu_.FindStations);
    menu_.FindStations->setShortcutContext(Qt::WindowShortcut);
    connect(menu_.FindStations, &QAction::triggered, finding_, &StationFinding::Open);
    connect(now_, &NowPlaying::phaseChanged, finding_, [this](NowPlaying::Phase phase) {
        if (phase == NowPlaying::Phase::Playing) finding_->StationPlaying(now_->Choice().url);
    });
    menu_.SelectLanguage->setEnabled(true);
    connect(menu_.English, &QAction::triggered, this, [this] { ChooseLanguage("English"); });
    connect(menu_.German, &QAction::triggered, this, [this] { ChooseLanguage("German"); });
    connect(menu_.Russian, &QAction::triggered, this, [this] { ChooseLanguage("Russian"); });
    // Through the normal close, which saves the settings and the list.
    connect(menu_.CloseItem, &QAction::triggered, this, &QWidget::close);
    header_ = new HeaderPart(
        {this, ui_.header_image, ui_.date_label, ui_.time_label, ui_.clock_timer}, menu_, this);
}

// The new language applies at the next start; closing normally saves it with the settings.
void MainWindow::ChooseLanguage(const char* language_name) {
    dialogs().Information(this, Msg("Program has to be restarted to apply the changes."));
    language_name_ = QString::fromLatin1(language_name);
    close();
}

void MainWindow::CreateMediaKeys() {
    MprisPlayer player;
    player.now_playing = [this] {
        MprisNowPlaying now;
        // Playing from Play until Stop, a failed opening or the stream's end.
        now.playing = player_->IsBusy();
        now.station = now_->StationName();
        now.title = now_->Title();
        now.volume = volume_->Position();
        const Player::TimeShiftState shift = player_->TimeShift();
        now.paused = shift.paused;
        now.can_seek = now.playing && shift.seekable && shift.buffered > 0;
        now.position = static_cast<qlonglong>(shift.position * 1e6);
        return now;
    };
    player.play = [this] { playback_->OnPlayClicked(); };
    player.stop = [this] { playback_->StopWithRecording(); };
    player.pause = [this] { return player_->Pause(); };
    player.resume = [this] { player_->Resume(); };
    player.seek = [this](int seconds) { player_->Skip(seconds); };
    player.skip = [this](int step) { choice_->SkipStation(step); };
    player.set_volume = [this](int position) { volume_->SetPosition(position); };
    player.raise = [this] { RaiseWindow(); };
    player.quit = [this] { close(); };
    mpris_ = new MprisService(std::move(player), this);
    mpris_->setObjectName(QStringLiteral("MprisService"));
    connect(volume_, &VolumeControl::positionChanged, mpris_, &MprisService::Changed);
    // Every step of a playback shows on the bus; NowPlaying reports after it has changed, so the
    // service reads what the window shows.
    connect(now_, &NowPlaying::changed, mpris_, &MprisService::Changed);
    connect(player_, &Player::stopped, mpris_, &MprisService::Changed);
    connect(player_, &Player::timeShifted, mpris_, &MprisService::Changed);
    // Without a session bus (or without a working engine) the player runs without media keys.
    if (started_up_) mpris_->Register(QDBusConnection::sessionBus());
}

void MainWindow::WireUserPanel() {
    connect(ui_.open_panel_button, &PictureButton::clicked, this, &MainWindow::OnOpenPanelClicked);
    connect(ui_.close_panel_button, &PictureButton::clicked, this,
            &MainWindow::OnClosePanelClicked);
    connect(ui_.list_buttons[MainWindowControls::kAdd], &PictureButton::clicked, this,
            [this] { channel_editor_->OpenForAdd(); });
    connect(ui_.list_buttons[MainWindowControls::kDelete], &PictureButton::clicked, this,
            [this] { DeleteChannel(*ui_.channels, *this, this); });
    connect(ui_.list_buttons[MainWindowControls::kEdit], &PictureButton::clicked, this,
            [this] { channel_editor_->OpenForEdit(); });
    connect(ui_.list_buttons[MainWindowControls::kDeleteAll], &PictureButton::clicked, this,
            [this] { DeleteAllChannels(*ui_.channels, this); });
    connect(ui_.list_buttons[MainWindowControls::kMoveUp], &PictureButton::clicked, this,
            [this] { MoveChannelUp(*ui_.channels, this); });
    connect(ui_.list_buttons[MainWindowControls::kMoveDown], &PictureButton::clicked, this,
            [this] { MoveChannelDown(*ui_.channels, this); });
}

void MainWindow::OnOpenPanelClicked() {
    SetClientWidth(this, kOpenPanelClientWidth);
    ui_.open_panel_button->hide();
    ui_.close_panel_button->show();
    velmora::PlaceClockLabels(ui_.date_label, ui_.time_label, PanelLayout::Open);
}

// A user channel that plays goes on playing, but Play now opens the directory's row.
void MainWindow::OnClosePanelClicked() {
    SetClientWidth(this, kClosedPanelClientWidth);
    ui_.open_panel_button->show();
    ui_.close_panel_button->hide();
    ui_.channels->ClearSelection();
    choice_->ChooseDirectory();
    velmora::PlaceClockLabels(ui_.date_label, ui_.time_label, PanelLayout::Closed);
}

// Deleting any entry ends whatever plays; a recording goes on.
void MainWindow::StopAndReleaseStream() {
    player_->Stop();  // what the stopped stream still reports is not shown
}

void MainWindow::ResetNowPlaying() {
    now_->ShowNothingPlaying(Msg("Not playing"));
    choice_->HidePages();
    playback_->StopReplayTimer();
}

}  // namespace velmora
