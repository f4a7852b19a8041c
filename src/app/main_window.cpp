// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "app/about_box.h"
#include "app/analyser_part.h"
#include "app/header_clock.h"
#include "app/header_part.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/schedule_runner.h"
#include "app/scheduled_recordings_part.h"
#include "app/settings_binding.h"
#include "app/title_label_copy.h"
#include "app/update_part.h"
#include "app/volume_control.h"
#include "app/window_files.h"
#include "channels/channel_editor.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "listening/title_history.h"
#include "playback/engine_startup.h"
#include "playback/player.h"
#include "playback/transport.h"
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
    CreateListening();
    schedule_ = CreateScheduledRecordings(this, player_, notifier_, menu_.RecordPerSong,
                                          [this] { UpdateTray(); });
    ConnectScheduleWindow(menu_.ScheduledRecordings, schedule_, channels_, this);
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
    now_->SetStationText(station_label_->text());
    recording_ = new RecordingControl({this, record_button_, blink_timer_, menu_.RecordPerSong},
                                      player_, now_, this);
    connect(blink_timer_, &QTimer::timeout, recording_, &RecordingControl::OnBlinkTimer);
    connect(record_button_, &PictureButton::clicked, recording_,
            &RecordingControl::OnRecordClicked);
    connect(recordings_button_, &PictureButton::clicked, recording_,
            &RecordingControl::OnOpenRecordingsClicked);

    playback_ = new PlaybackControl(
        {player_, now_, recording_, proxy_panel_}, [this] { return CurrentChoice(); }, this);
    connect(play_button_, &PictureButton::clicked, playback_, &PlaybackControl::OnPlayClicked);
    connect(stop_button_, &PictureButton::clicked, playback_, &PlaybackControl::OnStopClicked);
    connect(playback_, &PlaybackControl::started, this, &MainWindow::ApplyStartFixes);

    volume_ = new VolumeControl(volume_slider_, mute_button_, unmute_button_, player_, this);
    files_ = std::make_unique<WindowFiles>(this, channels_, [this] { return BoundControls(); });

    new TitleLabelCopy(title_label_);
    menu_.ProxyServer->setEnabled(true);
    connect(menu_.ProxyServer, &QAction::triggered, proxy_panel_, &ProxyPanel::Open);
}

// The three lines and the record button show what NowPlaying holds.
void MainWindow::ShowNowPlaying() {
    connect(now_, &NowPlaying::stationTextChanged, station_label_, &QLabel::setText);
    connect(now_, &NowPlaying::rateTextChanged, rate_label_, &QLabel::setText);
    connect(now_, &NowPlaying::titleChanged, title_label_, &QLabel::setText);
    connect(now_, &NowPlaying::recordableChanged, this, [this](bool recordable) {
        record_button_->setVisible(recordable);
        cannot_record_image_->setVisible(!recordable);
    });
}

// --- creation

void MainWindow::StartUp() {
    // The clock shows the date and time, not texts.
    ExcludeFromTranslation(date_label_);
    ExcludeFromTranslation(time_label_);
    TranslateWindow(this);
    switch (player_->StartEngine()) {
        case Player::StartupFailure::None:
            break;
        case Player::StartupFailure::EngineVersion:
            dialogs().Error(nullptr, Msg("An incorrect version of the audio engine was loaded"));
            return;
        case Player::StartupFailure::SoundCard:
            now_->SetStationText(Msg("Can't initialize Sound Card"));
            ShowEngineError(Msg("Can't initialize Sound Card"));
            return;
    }
    proxy_panel_->SetProxyTarget([player = QPointer<Player>(player_)](const char* address) {
        if (player) player->SetProxy(address);
    });
    player_->SetProxy(proxy_panel_->Buffer().data());
    player_->SetVolume(volume_->Position());

    analyser_ = std::make_unique<AnalyserPart>(
        this, analyser_box_, analyser_placeholder_, analyser_timer_,
        [player = player_](Player::Magnitudes& fft) { return player->AnalyserData(fft); });
    connect(player_, &Player::opening, analyser_.get(), &AnalyserPart::Stop);
    connect(player_, &Player::failed, analyser_.get(), &AnalyserPart::Stop);
    connect(player_, &Player::stopped, analyser_.get(), &AnalyserPart::Stop);
    // Some ways out (the update's) end the program without closing this window.
    connect(qApp, &QCoreApplication::aboutToQuit, analyser_.get(), &AnalyserPart::Stop);
    started_up_ = true;
}

void MainWindow::SetSecondaryWindows(AboutBox* about_box, ChannelEditor* channel_editor) {
    about_box_ = about_box;
    channel_editor_ = channel_editor;
}

void MainWindow::EnsureSecondaryWindows() {
    if (!about_box_) about_box_ = new AboutBox(this);
    if (!channel_editor_) channel_editor_ = new ChannelEditor(channels_, this);
    about_box_->SetLanguageName([this] { return language_name_; });
    channel_editor_->SetLanguageName([this] { return language_name_; });
}

// The analyser follows a changed colour scheme.
void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && analyser_) analyser_->FollowPalette();
}

void MainWindow::ShowEngineError(const QString& message) {
    dialogs().Message(this, EngineErrorText(message, player_->StartupErrorCode()));
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
    ApplyProgramsButtonRule();
    volume_->RememberPosition();
    proxy_panel_->OnDirectConnectionClicked();
    ApplyLanguage();
    update_->Apply(update_info_path_, menu_.AutoCheckOff->isChecked());
    header_->ApplyBackground();
}

SettingsControls MainWindow::BoundControls() {
    SettingsControls c;
    c.window = this;
    c.Directory = directory_combo_;
    c.Volume = volume_slider_;
    c.DirectConnection = proxy_panel_->directSwitch;
    c.ProxyField = proxy_panel_->addressEdit;
    c.ShowDate = menu_.ShowDate;
    c.ShowTime = menu_.ShowTime;
    c.InsertAtTop = channel_editor_->InsertAtTop();
    c.InsertAtBottom = channel_editor_->InsertAtBottom();
    c.LanguageName = &language_name_;
    c.channels = channels_;
    c.BackgroundName = header_->BackgroundName();
    c.AutoCheckOff = menu_.AutoCheckOff;
    c.CloseToTray = menu_.CloseToTray;
    c.Notifications = menu_.Notifications;
    c.StayAwake = menu_.StayAwake;
    c.RecordPerSong = menu_.RecordPerSong;
    return c;
}

void MainWindow::LayoutByWidth() {
    const bool closed = LayoutForClientWidth(width()) == PanelLayout::Closed;
    open_panel_button_->setVisible(closed);
    close_panel_button_->setVisible(!closed);
    PlaceClockLabels();
}

void MainWindow::PlaceClockLabels() {
    velmora::PlaceClockLabels(date_label_, time_label_, LayoutForClientWidth(width()));
}

void MainWindow::ApplyProgramsButtonRule() {
    if (DirectoryRowLacksPrograms(directory_combo_->currentIndex())) programs_button_->hide();
}

// Chooses the interface language from the settings or, when they name none, from the system's
// catalogue language; with neither, the windows keep their start-up texts, and updates are looked
// for in the language those texts are in.
void MainWindow::ApplyLanguage() {
    const int row = directory_combo_->currentIndex();
    if (const LanguageInfo* stored = LanguageByName(language_name_)) {
        ApplyLanguageOf(*stored);
        if (directory_combo_->currentIndex() < 0) directory_combo_->setCurrentIndex(row);
        return;
    }
    const LanguageInfo* system = LanguageByCode(CatalogueLanguage());
    if (!system) {
        update_info_path_ = QString::fromLatin1(LanguageOfShownTexts().update_path);
        return;
    }
    ApplyLanguageOf(*system);
    if (directory_combo_->currentIndex() < 0) directory_combo_->setCurrentIndex(FirstStationRow());
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
    if (HideToTray(event)) return;
    if (SaveBeforeClose()) {
        ReleaseListening();
        event->accept();
        LeaveTray();
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

void MainWindow::RaiseWindow() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

}  // namespace velmora
