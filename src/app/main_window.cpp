// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/about_box.h"
#include "app/header_clock.h"
#include "app/picture_button.h"
#include "app/recording_control.h"
#include "app/settings.h"
#include "app/settings_binding.h"
#include "app/title_label_copy.h"
#include "app/web_address.h"
#include "channels/channel_editor.h"
#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "mpris/mpris_service.h"
#include "playback/engine_startup.h"
#include "playback/player.h"
#include "playback/proxy_panel.h"
#include "playback/spectrum_painter.h"
#include "playback/station_argument.h"
#include "opening/stream_status.h"
#include "playback/track_bar.h"
#include "playback/transport.h"
#include "playback/volume.h"

// The artwork is compiled into a static library, whose resource initialiser nothing else pulls in.
static void LoadArtwork() {
    Q_INIT_RESOURCE(assets);
}

namespace velmora {
namespace {

constexpr int kHeaderHeight = 57;
constexpr int kAnalyserWidth = 107;
constexpr int kAnalyserHeight = 85;

QLabel* MakeLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QTimer* MakeTimer(const QString& name, int interval_ms, bool running, QObject* parent) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(interval_ms);
    if (running) timer->start();
    return timer;
}

// Starting a timer that already runs would restart its interval; leave its rhythm alone.
void StartIfStopped(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}

}  // namespace

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
}

MainWindow::~MainWindow() {
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

// --- controls

void MainWindow::CreateControls() {
    // Built in English; StartUp translates the whole window.
    const EnglishTexts english;
    CreateHeader();

    analyserBezel_ = MakeLabel("Image6", this);
    analyserBezel_->setPixmap(QPixmap(":/bezel.png"));
    analyserBezel_->setGeometry(5, kHeaderHeight + 6, kAnalyserWidth + 6, kAnalyserHeight + 6);
    analyserBox_ = new AnalyserView(this);
    analyserBox_->setObjectName("PaintBox1");
    analyserBox_->setGeometry(8, kHeaderHeight + 9, kAnalyserWidth, kAnalyserHeight);
    analyserBox_->setAccessibleName(Msg("Spectrum analyser"));
    analyserBox_->setAccessibleDescription(Msg("Bars showing the loudness of the sound by pitch"));
    analyserPlaceholder_ = MakeLabel("Label1", this);
    analyserPlaceholder_->setText(Msg("-----------------------------------"));
    analyserPlaceholder_->setAlignment(Qt::AlignCenter);
    analyserPlaceholder_->setGeometry(8, kHeaderHeight + 9 + kAnalyserHeight / 2 - 7,
                                      kAnalyserWidth, 14);
    analyserPlaceholder_->setStyleSheet("color: #8fb7d9;");

    CreateChannelBox();
    CreatePlayingBox();
    CreateProxyPanel();
    CreateUserPanel();
    menu_ = BuildSettingsMenu(this);
    settingsPopup_ = menu_.Popup;
    CreateTimers();
    WireNowPlaying();
    WireMenu();
    WireUserPanel();
    CreateSelfUpdater();
    CreateKeyboard();
}

void MainWindow::CreateHeader() {
    headerImage_ = MakeLabel("Image3", this);
    headerImage_->setGeometry(0, 0, 681, kHeaderHeight);
    headerImage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, clipped at the bottom
    static constexpr std::array<const char*, 5> kSources = {"vista", "blue", "red", "black",
                                                            "win7"};
    for (int i = 0; i < 5; ++i) {
        QLabel* source = MakeLabel(QString("Image%1").arg(22 + i), this);
        source->setPixmap(QPixmap(QString(":/header_%1.jpg").arg(kSources[i])));
        source->setGeometry(0, 0, source->pixmap().width(), source->pixmap().height());
        source->hide();
    }
    // Until a background is applied.
    const auto* initial = findChild<QLabel*>(QLatin1String(InfoOf(kInitialBackground).picture));
    headerImage_->setPixmap(initial->pixmap());

    logoImage_ = MakeLabel("Image5", this);
    logoImage_->setPixmap(QPixmap(":/logo.png"));
    logoImage_->setGeometry(8, 6, 44, 44);

    sloganLabel_ = MakeLabel("Label2", this);
    sloganLabel_->setText(Msg("Webradio from all over the world"));
    QFont slogan = font();
    slogan.setPixelSize(14);
    slogan.setBold(true);
    sloganLabel_->setFont(slogan);
    sloganLabel_->setStyleSheet("color: white; background: transparent;");
    // On the lower row, beside the time: the date on the upper row reaches this far left when the
    // user panel is closed.
    sloganLabel_->setGeometry(60, 30, 280, 20);

    dateLabel_ = MakeLabel("Label10", this);
    timeLabel_ = MakeLabel("Label11", this);
    SetupClockLabels(dateLabel_, timeLabel_);
    // Where the designed window has them, for a start-up that stops before its own layout step.
    velmora::PlaceClockLabels(dateLabel_, timeLabel_, PanelLayout::Open);
}

void MainWindow::CreateChannelBox() {
    channelBox_ = new QGroupBox(Msg("Webradio channels"), this);
    channelBox_->setObjectName("GroupBox1");
    channelBox_->setGeometry(122, kHeaderHeight + 2, 279, 104);

    channelPrompt_ = MakeLabel("Label9", channelBox_);
    channelPrompt_->setText(Msg("Please select a channel"));
    channelPrompt_->setGeometry(10, 20, 196, 16);

    openPanelButton_ = new PictureButton("Image10", ":/panel_open.png", channelBox_);
    openPanelButton_->SetHint(Msg("Open your webradio channels"));
    openPanelButton_->move(213, 15);
    closePanelButton_ = new PictureButton("Image11", ":/panel_close.png", channelBox_);
    closePanelButton_->SetHint(Msg("Close your webradio channels"));
    closePanelButton_->move(213, 15);
    menuButton_ = new PictureButton("Image2", ":/menu.png", channelBox_);
    menuButton_->SetHint(Msg("Menu / Settings"));
    menuButton_->move(245, 15);

    directoryCombo_ = new QComboBox(channelBox_);
    directoryCombo_->setObjectName("ComboBox1");
    directoryCombo_->setEditable(false);
    // A screen reader names the drop-down by the prompt above it (its own name is its row).
    channelPrompt_->setBuddy(directoryCombo_);
    directoryCombo_->setMaxVisibleItems(kDirectoryRowCount);
    directoryCombo_->setFocusPolicy(Qt::StrongFocus);  // the keyboard reaches the directory
    for (const DirectoryRow& row : DirectoryRows()) {
        directoryCombo_->addItem(Msg(std::string(row.text).c_str()));
    }
    directoryCombo_->setCurrentIndex(FirstStationRow());
    directoryCombo_->setGeometry(10, 42, 259, 22);
    directoryCombo_->installEventFilter(this);
    connect(directoryCombo_, &QComboBox::activated, this, &MainWindow::OnDirectoryRowChosen);

    const int row_y = 68;
    playButton_ = new PictureButton("Image1", ":/play.png", channelBox_);
    playButton_->SetHint(Msg("Play"));
    playButton_->move(10, row_y);
    connect(playButton_, &PictureButton::clicked, this, &MainWindow::OnPlayClicked);
    stopButton_ = new PictureButton("Image4", ":/stop.png", channelBox_);
    stopButton_->SetHint(Msg("Stop"));
    stopButton_->move(46, row_y);
    connect(stopButton_, &PictureButton::clicked, this, &MainWindow::OnStopClicked);

    recordButton_ = new PictureButton("Image19", ":/record.png", channelBox_);
    recordButton_->SetHint(Msg("Record"));
    recordButton_->move(88, row_y + 4);
    recordButton_->hide();
    cannotRecordImage_ = MakeLabel("Image20", channelBox_);
    cannotRecordImage_->setPixmap(QPixmap(":/record_off.png"));
    cannotRecordImage_->setToolTip(Msg("Can not record"));
    cannotRecordImage_->setAccessibleName(Msg("Can not record"));
    cannotRecordImage_->setGeometry(88, row_y + 4, 24, 24);
    recordingsButton_ = new PictureButton("Image21", ":/recordings.png", channelBox_);
    recordingsButton_->SetHint(Msg("Open recordings"));
    recordingsButton_->move(116, row_y + 4);

    volumeSlider_ = new VolumeTrackBar(channelBox_);
    volumeSlider_->setObjectName("TrackBar1");
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setValue(kDefaultVolume);
    volumeSlider_->setToolTip(Msg("Volume"));
    volumeSlider_->setAccessibleName(Msg("Volume"));
    volumeSlider_->setGeometry(156, row_y + 6, 81, 20);
    connect(volumeSlider_, &QSlider::valueChanged, this, &MainWindow::OnVolumeChanged);

    muteButton_ = new PictureButton("VolumeOn", ":/volume_on.png", channelBox_);
    muteButton_->SetHint(Msg("Volume off"));
    muteButton_->move(245, row_y + 6);
    connect(muteButton_, &PictureButton::clicked, this, &MainWindow::OnMuteClicked);
    unmuteButton_ = new PictureButton("VolumeOff", ":/volume_off.png", channelBox_);
    unmuteButton_->SetHint(Msg("Volume on"));
    unmuteButton_->move(245, row_y + 6);
    unmuteButton_->hide();
    connect(unmuteButton_, &PictureButton::clicked, this, &MainWindow::OnUnmuteClicked);
}

void MainWindow::CreatePlayingBox() {
    playingBox_ = new QGroupBox(Msg("Currently playing"), this);
    playingBox_->setObjectName("GroupBox2");
    playingBox_->setGeometry(8, kHeaderHeight + 110, 393, 98);

    stationLabel_ = MakeLabel("Label4", playingBox_);
    stationLabel_->setText(Msg("Not playing"));
    stationLabel_->setAlignment(Qt::AlignCenter);
    stationLabel_->setWordWrap(true);
    QFont bold = font();
    bold.setBold(true);
    stationLabel_->setFont(bold);
    stationLabel_->setGeometry(10, 16, 340, 30);

    rateLabel_ = MakeLabel("Label5", playingBox_);
    rateLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rateLabel_->setGeometry(10, 50, 340, 16);

    titleLabel_ = MakeLabel("Label3", playingBox_);
    titleLabel_->setToolTip(Msg("Copy"));
    titleLabel_->setCursor(Qt::PointingHandCursor);
    // Reachable by Tab, so its text can be read out and copied.
    titleLabel_->setFocusPolicy(Qt::StrongFocus);
    titleLabel_->setGeometry(10, 72, 245, 16);

    homepageButton_ = new PictureButton("Image7", ":/homepage.png", playingBox_);
    homepageButton_->SetHint(Msg("Webradio homepage"));
    homepageButton_->move(359, 20);
    connect(homepageButton_, &PictureButton::clicked, this, &MainWindow::OnHomepageClicked);
    programsButton_ = new PictureButton("Image9", ":/programs.png", playingBox_);
    programsButton_->SetHint(Msg("Programs"));
    programsButton_->move(359, 56);
    connect(programsButton_, &PictureButton::clicked, this, &MainWindow::OnProgramsClicked);
}

void MainWindow::CreateProxyPanel() {
    proxyPanel_ = new ProxyPanel(this);
    proxyPanel_->setGeometry(playingBox_->geometry());  // over the "Currently playing" frame
}

void MainWindow::CreateUserPanel() {
    userPanel_ = new QGroupBox(Msg("Your webradio channels"), this);
    userPanel_->setObjectName("GroupBox4");
    // Just right of the closed window's 407 pixels, ending 9 pixels inside the open one's 570.
    userPanel_->setGeometry(408, kHeaderHeight + 2, 153, 206);
    channels_ = new ChannelListModel(userPanel_);
    channels_->View()->setGeometry(8, 20, 137, 152);
    channels_->View()->setAccessibleName(Msg("Your webradio channels"));
    connect(channels_, &ChannelListModel::Chosen, this, &MainWindow::OnUserChannelChosen);

    struct ButtonSpec {
        const char* name;
        const char* picture;
        const char* hint;
    };
    static constexpr std::array<ButtonSpec, kListButtons> kButtons = {{
        {"Image12", ":/add.png", Translatable("Add")},
        {"Image13", ":/delete.png", Translatable("Delete")},
        {"Image15", ":/edit.png", Translatable("Edit")},
        {"Image14", ":/delete_all.png", Translatable("Delete all")},
        {"Image16", ":/move_top.png", Translatable("Move to top")},
        {"Image17", ":/move_bottom.png", Translatable("Move to bottom")},
        {"Image18", ":/details.png", Translatable("Details")},
    }};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        auto* button = new PictureButton(kButtons[i].name, kButtons[i].picture, userPanel_);
        button->SetHint(Msg(kButtons[i].hint));
        button->move(8 + static_cast<int>(i) * 23, 178);
        listButtons_[i] = button;
    }
    listButtons_[kDetails]->setEnabled(false);
    listButtons_[kDetails]->hide();
}

// Each timer runs only while it has something to do: a stopped player sleeps.
void MainWindow::CreateTimers() {
    analyserTimer_ = MakeTimer("Timer1", 33, false, this);  // while a stream sounds
    replayTimer_ = MakeTimer("Timer2", kReplayIntervalMs, false, this);
    // Armed for the next change of what the clock shows.
    clockTimer_ = MakeTimer("Timer4", 1000, false, this);
    clockTimer_->setSingleShot(true);
    clockTimer_->setTimerType(Qt::PreciseTimer);
    blinkTimer_ = MakeTimer("Timer5", 1000, false, this);
}

void MainWindow::WireNowPlaying() {
    connect(replayTimer_, &QTimer::timeout, this, &MainWindow::OnReplayTimer);
    new TitleLabelCopy(titleLabel_);
    menu_.ProxyServer->setEnabled(true);
    connect(menu_.ProxyServer, &QAction::triggered, proxyPanel_, &ProxyPanel::Open);

    recording_ = new RecordingControl(
        {this, recordButton_, blinkTimer_, stationLabel_, titleLabel_}, player_,
        [this] { return channel_name_; }, this);
    connect(blinkTimer_, &QTimer::timeout, recording_, &RecordingControl::OnBlinkTimer);
    connect(recordButton_, &PictureButton::clicked, recording_, &RecordingControl::OnRecordClicked);
    connect(recordingsButton_, &PictureButton::clicked, recording_,
            &RecordingControl::OnOpenRecordingsClicked);
    WirePlayer();
}

// --- creation

void MainWindow::StartUp() {
    // The clock shows the date and time, not texts.
    ExcludeFromTranslation(dateLabel_);
    ExcludeFromTranslation(timeLabel_);
    TranslateWindow(this);
    switch (player_->StartEngine()) {
        case Player::StartupFailure::None:
            break;
        case Player::StartupFailure::EngineVersion:
            dialogs().Error(nullptr, Msg("An incorrect version of the audio engine was loaded"));
            return;
        case Player::StartupFailure::SoundCard:
            stationLabel_->setText(Msg("Can't initialize Sound Card"));
            ShowEngineError(Msg("Can't initialize Sound Card"));
            return;
    }
    proxyPanel_->SetPlayer(player_);
    player_->SetProxy(proxyPanel_->Buffer().data());
    player_->SetVolume(volumeSlider_->value());

    spectrum_ = std::make_unique<SpectrumPainter>(analyserBox_->width(), analyserBox_->height());
    connect(analyserTimer_, &QTimer::timeout, this, &MainWindow::OnAnalyserTimer);
    started_up_ = true;
}

void MainWindow::SetSecondaryWindows(AboutBox* about_box, ChannelEditor* channel_editor) {
    about_box_ = about_box;
    channelEditor_ = channel_editor;
}

void MainWindow::EnsureSecondaryWindows() {
    if (!about_box_) about_box_ = new AboutBox(this);
    if (!channelEditor_) channelEditor_ = new ChannelEditor(channels_, this);
    about_box_->SetLanguageName([this] { return language_name_; });
    channelEditor_->SetLanguageName([this] { return language_name_; });
}

// One analyser frame while the current stream plays; the look is set after drawing, so the first
// frame of a run still shows the painter's own colours.
void MainWindow::OnAnalyserTimer() {
    Player::Magnitudes fft{};
    if (!player_->AnalyserData(fft)) return;
    analyserPlaceholder_->hide();
    spectrum_->Render(*analyserBox_, fft.data(), 0, -1);
    ApplySystemLook(*spectrum_, palette());
}

// With nothing sounding a tick would draw nothing; the last frame stays shown.
void MainWindow::StopAnalyser() {
    analyserTimer_->stop();
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
    DetermineFolders();
    // Without any list the rest of the start-up is skipped, as for any failing step.
    if (!LoadChannelList()) return;
    startup_loaded_ = true;
    LoadSettings();
    LayoutByWidth();
    ApplyProgramsButtonRule();
    saved_volume_ = volumeSlider_->value();
    ApplyProxyChoice();
    ApplyLanguage();
    ApplyUpdateSettings();
    ApplyBackground();
}

void MainWindow::DetermineFolders() {
    settings_folder_ = SettingsFolder();
    program_folder_ = QCoreApplication::applicationDirPath();
}

QString MainWindow::SettingsFile() const {
    return settings_folder_ + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

QString MainWindow::ChannelListFile() const {
    return settings_folder_ + QLatin1Char('/') + kChannelListFileName;
}

SettingsControls MainWindow::BoundControls() {
    SettingsControls c;
    c.window = this;
    c.Directory = directoryCombo_;
    c.Volume = volumeSlider_;
    c.cbDirectConnection = proxyPanel_->directSwitch;
    c.ed_ProxyServer = proxyPanel_->addressEdit;
    c.ShowDate = menu_.ShowDate;
    c.ShowTime = menu_.ShowTime;
    c.InsertAtTop = channelEditor_->InsertAtTop();
    c.InsertAtBottom = channelEditor_->InsertAtBottom();
    c.LanguageName = &language_name_;
    c.channels = channels_;
    c.BackgroundName = &background_name_;
    c.AutoCheckOff = menu_.AutoCheckOff;
    return c;
}

// Restores the stored choices into the controls, when a settings file exists.
void MainWindow::LoadSettings() {
    const LoadedSettings loaded = velmora::LoadSettings(SettingsFile());
    // An unreadable file reads as the defaults of every key.
    if (!loaded.settings) return;
    ApplySettings(*loaded.settings, BoundControls());
    dateLabel_->setVisible(menu_.ShowDate->isChecked());
    timeLabel_->setVisible(menu_.ShowTime->isChecked());
    ArmClock();
}

void MainWindow::LayoutByWidth() {
    const bool closed = LayoutForClientWidth(width()) == PanelLayout::Closed;
    openPanelButton_->setVisible(closed);
    closePanelButton_->setVisible(!closed);
    PlaceClockLabels();
}

void MainWindow::PlaceClockLabels() {
    velmora::PlaceClockLabels(dateLabel_, timeLabel_, LayoutForClientWidth(width()));
}

void MainWindow::ApplyProgramsButtonRule() {
    if (DirectoryRowLacksPrograms(directoryCombo_->currentIndex())) programsButton_->hide();
}

void MainWindow::ApplyProxyChoice() {
    proxyPanel_->OnDirectConnectionClicked();
}

// Chooses the interface language from the settings or, when they name none, from the system's
// catalogue language; with neither, the windows keep their start-up texts, and updates are looked
// for in the language those texts are in.
void MainWindow::ApplyLanguage() {
    const int row = directoryCombo_->currentIndex();
    if (const LanguageInfo* stored = LanguageByName(language_name_)) {
        ApplyLanguageOf(*stored);
        if (directoryCombo_->currentIndex() < 0) directoryCombo_->setCurrentIndex(row);
        return;
    }
    const LanguageInfo* system = LanguageByCode(CatalogueLanguage());
    if (!system) {
        updateInfoPath_ = QString::fromLatin1(LanguageOfShownTexts().update_path);
        return;
    }
    ApplyLanguageOf(*system);
    if (directoryCombo_->currentIndex() < 0) directoryCombo_->setCurrentIndex(FirstStationRow());
    language_name_ = QString::fromLatin1(system->name);
}

void MainWindow::ApplyLanguageOf(const LanguageInfo& language) {
    updateInfoPath_ = QString::fromLatin1(language.update_path);  // the updater's InfoFileURL path
    SwitchCatalogue(QString::fromLatin1(language.code), this);
    RetranslateWindow(this);
    const QString name = QString::fromLatin1(language.name);
    menu_.English->setEnabled(name != QLatin1String("English"));
    menu_.German->setEnabled(name != QLatin1String("German"));
    menu_.Russian->setEnabled(name != QLatin1String("Russian"));
}

// Puts the stored header background into headerImage_; a name that matches none keeps the designed
// one.
void MainWindow::ApplyBackground() {
    if (const std::optional<Background> b = MatchStoredBackground(background_name_)) {
        ShowBackground(*b);
    }
}

// --- closing

void MainWindow::closeEvent(QCloseEvent* event) {
    if (SaveBeforeClose()) {
        event->accept();
    } else {
        event->ignore();  // a file could not be written: the window stays open
    }
}

bool MainWindow::SaveBeforeClose() {
    if (settings_folder_.isEmpty()) DetermineFolders();  // closed without ever being shown
    EnsureSecondaryWindows();
    if (shown_once_ && !startup_loaded_) {
        // The user's list could not be read at start-up, so neither it nor the settings were
        // loaded: writing now would replace the user's files with this session's list and the
        // designed defaults.
        dialogs().Error(this, Msg("The channel list \"%1\" could not be read when the program "
                                  "started. It was left as it was, and neither the list nor "
                                  "the settings were saved.")
                                  .arg(QDir::toNativeSeparators(ChannelListFile())));
    } else {
        QDir().mkpath(settings_folder_);  // a failure shows when the settings are written
        // Every close tries to save, so changes made after a failure are not lost once the disk
        // has room again. A failed save refuses the close once: the user has been told, and
        // closing again quits, the writer having left the previous files as they were.
        const bool saved = SaveSettings() && SaveChannelList();
        if (!saved && !save_refused_) {
            save_refused_ = true;
            return false;
        }
    }
    setAttribute(Qt::WA_DeleteOnClose);
    return true;
}

// Writes the choices into the settings file in the settings folder.
bool MainWindow::SaveSettings() {
    const FileStatus status =
        velmora::SaveSettings(SettingsFile(), CollectSettings(BoundControls()));
    if (status.ok()) return true;
    ShowSaveFailure(status.Message());
    return false;
}

void MainWindow::ShowSaveFailure(const QString& message) {
    if (save_refused_) {
        dialogs().Error(this, message);  // this close quits all the same
        return;
    }
    dialogs().Error(this, message + QStringLiteral("\n\n") +
                              Msg("Close the window again to quit without saving."));
}

// --- stream status

void MainWindow::WirePlayer() {
    connect(player_, &Player::opening, this, &MainWindow::OnOpening);
    connect(player_, &Player::buffering, this, &MainWindow::OnBuffering);
    connect(player_, &Player::station, this, &MainWindow::OnStation);
    connect(player_, &Player::bitRate, this, &MainWindow::OnRateLine);
    connect(player_, &Player::serverLine, this, &MainWindow::OnRateLine);
    connect(player_, &Player::title, this, &MainWindow::OnTitle);
    connect(player_, &Player::stalled, this, &MainWindow::OnStalled);
    connect(player_, &Player::playing, this, &MainWindow::OnPlaying);
    connect(player_, &Player::stopped, this, &MainWindow::OnStopped);
    connect(player_, &Player::failed, this, &MainWindow::OnFailed);
}

// Whatever played before ends when an opening starts.
void MainWindow::OnOpening(std::uint64_t) {
    StopAnalyser();
    rate_before_reconnect_.reset();
    stationLabel_->setText(Msg("Connecting..."));
    titleLabel_->clear();
    rateLabel_->clear();
}

void MainWindow::OnFailed(std::uint64_t, int) {
    StopAnalyser();
    stationLabel_->setText(Msg("Can't play the stream"));
}

void MainWindow::OnBuffering(std::uint64_t, int percent) {
    stationLabel_->setText(QString::fromStdString(BufferingText(percent)));
}

void MainWindow::OnStation(std::uint64_t, const QString& name) {
    stationLabel_->setText(name);
    if (!name.trimmed().isEmpty()) {
        station_named_ = true;
        server_station_ = name.trimmed();
    }
}

// The bit rate, or a header line of the connection being made.
void MainWindow::OnRateLine(std::uint64_t, const QString& text) {
    rateLabel_->setText(text);
}

void MainWindow::OnTitle(std::uint64_t, const QString& text) {
    titleLabel_->setText(text);
}

void MainWindow::OnStalled(std::uint64_t, bool stalled) {
    if (stalled) {
        if (!rate_before_reconnect_) rate_before_reconnect_ = rateLabel_->text();
        rateLabel_->setText(Msg("Reconnecting..."));
    } else if (rate_before_reconnect_) {
        rateLabel_->setText(*rate_before_reconnect_);
        rate_before_reconnect_.reset();
    }
}

void MainWindow::OnStopped(std::uint64_t) {
    StopAnalyser();
}

// --- transport

void MainWindow::OnPlayClicked() {
    EndReplay();
    Play();
}

void MainWindow::Play() {
    StopRecording();
    StartIfStopped(replayTimer_);
    if (!player_->Started()) return;
    if (player_->IsOpening()) {
        // The running opening's worker may be reading the proxy text right now; the text is
        // copied again by the Play that can start the next opening.
        dialogs().Beep();
        return;
    }
    proxyPanel_->CopyAddressToBuffer();

    const std::string url = PlayUrl(user_channel_mode_, user_channel_url_.toStdString(),
                                    directoryCombo_->currentIndex());
    if (player_->Play(url) == 0) {
        dialogs().Beep();
        return;
    }
    channel_name_ = user_channel_mode_ ? user_channel_name_ : directoryCombo_->currentText();
    station_named_ = false;
    server_station_.clear();
    mpris_->Changed();
}

void MainWindow::OnStopClicked() {
    // While recording, the first press only ends the recording; the music plays on.
    if (recording_->Active()) {
        StopRecording();
        return;
    }
    EndReplay();
    AbandonOpening();
    player_->Stop();
}

// The user's Stop, Play or new choice: a station that failed earlier is not replayed any more.
void MainWindow::EndReplay() {
    replayTimer_->stop();
    replay_.Reset();
}

// Cancels an opening still under way; the labels then say that nothing plays instead of keeping
// its last "Connecting..." or "Buffering...".
void MainWindow::AbandonOpening() {
    if (!player_->IsOpening()) return;
    player_->Cancel();
    titleLabel_->clear();
    stationLabel_->setText(Msg("Not playing"));
    rateLabel_->clear();
}

void MainWindow::OnDirectoryRowChosen(int row) {
    StopRecording();
    channels_->ClearSelection();
    user_channel_mode_ = false;
    homepageButton_->show();
    programsButton_->show();
    const DirectoryChoice choice = ChooseDirectoryRow(row);
    if (choice.row != row) directoryCombo_->setCurrentIndex(choice.row);  // raises no click
    if (!choice.show_programs) programsButton_->hide();
    // A new choice abandons an opening still under way, so that the chosen row opens instead.
    EndReplay();
    AbandonOpening();
    Play();
}

void MainWindow::OnUserChannelChosen() {
    const int row = channels_->SelectedRow();
    const ChannelEntry entry = row >= 0 ? channels_->Entry(row) : ChannelEntry{};
    if (entry.IsSeparator()) {
        user_channel_mode_ = false;
        listButtons_[kEdit]->setEnabled(false);
        return;
    }
    StopRecording();
    EndReplay();
    AbandonOpening();
    player_->Stop();
    if (row < 0) {
        dialogs().Error(this, Msg("Please select a channel!"));
        return;
    }
    user_channel_url_ = entry.playlist;
    user_channel_name_ = entry.name;
    homepageButton_->setVisible(!entry.homepage.isEmpty());
    programsButton_->setVisible(!entry.programs.isEmpty());
    user_channel_mode_ = true;
    listButtons_[kEdit]->setEnabled(true);
    Play();
}

void MainWindow::PlayStation(const QString& url, const QString& name) {
    // The address may come over the single-instance socket: it is checked again here.
    if (!IsStationAddress(url)) return;
    StopRecording();
    EndReplay();
    AbandonOpening();
    player_->Stop();
    // Played like a user channel that is not in the list: the list keeps no selection.
    channels_->ClearSelection();
    user_channel_url_ = url;
    user_channel_name_ = name;
    user_channel_mode_ = true;
    homepageButton_->hide();
    programsButton_->hide();
    listButtons_[kEdit]->setEnabled(false);
    Play();
}

void MainWindow::RaiseWindow() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::OnDirectoryKeyDown(int virtual_key) {
    const int row = directoryCombo_->currentIndex();
    const int before = RowBeforeKeyDown(row, virtual_key);
    if (before != row) directoryCombo_->setCurrentIndex(before);  // raises no click
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == directoryCombo_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up && key->modifiers() == Qt::NoModifier) {
            OnDirectoryKeyDown(kVirtualKeyUp);
        }
    }
    return QWidget::eventFilter(watched, event);  // the drop-down's own handling follows
}

// --- volume

void MainWindow::OnVolumeChanged(int position) {
    muteButton_->setVisible(MuteButtonVisible(position));
    unmuteButton_->setVisible(!MuteButtonVisible(position));
    player_->SetVolume(position);
}

void MainWindow::OnMuteClicked() {
    saved_volume_ = volumeSlider_->value();
    player_->Mute();
    muteButton_->hide();
    unmuteButton_->show();
    volumeSlider_->setValue(0);
}

void MainWindow::OnUnmuteClicked() {
    volumeSlider_->setValue(UnmutePosition(volumeSlider_->value(), saved_volume_));
    muteButton_->show();
    unmuteButton_->hide();
}

// --- station pages

void MainWindow::OnHomepageClicked() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->Entry(user_row).homepage);
        return;
    }
    const int row = directoryCombo_->currentIndex();
    if (IsDirectoryStationRow(row)) {
        OpenWebPage(QString::fromUtf8(DirectoryRows()[row].homepage));
    }
}

void MainWindow::OnProgramsClicked() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->Entry(user_row).programs);
        return;
    }
    const int row = directoryCombo_->currentIndex();
    if (!IsDirectoryStationRow(row)) return;
    if (DirectoryRowLacksPrograms(row)) {
        dialogs().Error(this, Msg("Programs are not available!"));
        return;
    }
    OpenWebPage(QString::fromUtf8(DirectoryRows()[row].programs));
}

void MainWindow::OpenWebPage(const QString& address) {
    const QUrl url = WebPageUrl(address);
    if (!url.isEmpty()) QDesktopServices::openUrl(url);  // fire and forget
}

// --- now playing

void MainWindow::OnReplayTimer() {
    switch (replay_.Tick(stationLabel_->text())) {
        case ReplayTick::Wait:
            break;
        case ReplayTick::Replay:
            Play();
            break;
        case ReplayTick::StopTimer:
            replayTimer_->stop();
            break;
    }
}

// Once per opening, when its stream starts to sound.
void MainWindow::OnPlaying(std::uint64_t) {
    StartIfStopped(analyserTimer_);
    StartFixInput in;
    in.slider_position = volumeSlider_->value();
    in.user_channel_mode = user_channel_mode_;
    in.directory_row = directoryCombo_->currentIndex();
    in.user_row = channels_->SelectedRow();
    if (in.user_row >= 0) {
        const ChannelEntry entry = channels_->Entry(in.user_row);
        in.user_channel_name = entry.name;
        in.user_channel_url = entry.playlist;
    }
    // A station that names itself nowhere is shown, and recorded, under the channel's own name.
    if (!station_named_ && !channel_name_.isEmpty()) stationLabel_->setText(channel_name_);
    const StartFixes fixes = PlaybackStartFixes(in);
    muteButton_->setVisible(fixes.volume_on_visible);
    unmuteButton_->setVisible(!fixes.volume_on_visible);
    if (fixes.station_text) stationLabel_->setText(*fixes.station_text);
    if (fixes.bitrate_text) rateLabel_->setText(*fixes.bitrate_text);
    if (fixes.record_offered) {
        recordButton_->setVisible(*fixes.record_offered);
        cannotRecordImage_->setVisible(!*fixes.record_offered);
    }
    replayTimer_->stop();
    replay_.Reset();
}

// --- recording

void MainWindow::StopRecording() {
    recording_->StopRecording();
}

}  // namespace velmora
