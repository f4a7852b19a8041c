// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's layout: every control at its designed place, with its designer name as objectName.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <array>

#include "app/header_clock.h"
#include "app/main_window.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "playback/player.h"
#include "playback/transport.h"
#include "playback/volume.h"
#include "widgets/analyser_view.h"
#include "widgets/picture_button.h"
#include "widgets/proxy_panel.h"
#include "widgets/spectrum_painter.h"
#include "widgets/track_bar.h"

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

}  // namespace

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
    CreateParts();
    ShowNowPlaying();
    WireMenu();
    WireUserPanel();
    CreateSelfUpdater();
    CreateKeyboard();
    CreateTray();
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
    stopButton_ = new PictureButton("Image4", ":/stop.png", channelBox_);
    stopButton_->SetHint(Msg("Stop"));
    stopButton_->move(46, row_y);

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

    muteButton_ = new PictureButton("VolumeOn", ":/volume_on.png", channelBox_);
    muteButton_->SetHint(Msg("Volume off"));
    muteButton_->move(245, row_y + 6);
    unmuteButton_ = new PictureButton("VolumeOff", ":/volume_off.png", channelBox_);
    unmuteButton_->SetHint(Msg("Volume on"));
    unmuteButton_->move(245, row_y + 6);
    unmuteButton_->hide();
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
    // Armed for the next change of what the clock shows.
    clockTimer_ = MakeTimer("Timer4", 1000, false, this);
    clockTimer_->setSingleShot(true);
    clockTimer_->setTimerType(Qt::PreciseTimer);
    blinkTimer_ = MakeTimer("Timer5", 1000, false, this);
}

}  // namespace velmora
