// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's layout: every control at its designed place, with its designer name as objectName.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <array>

#include "app/decoration.h"
#include "app/header_clock.h"
#include "app/listening_part.h"
#include "app/main_window.h"
#include "app/station_choice_part.h"
#include "app/update_part.h"
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

    analyser_bezel_ = MakeLabel("Image6", this);
    analyser_bezel_->setPixmap(QPixmap(":/bezel.png"));
    MarkAsDecoration(analyser_bezel_);
    analyser_bezel_->setGeometry(5, kHeaderHeight + 6, kAnalyserWidth + 6, kAnalyserHeight + 6);
    analyser_box_ = new AnalyserView(this);
    analyser_box_->setObjectName("PaintBox1");
    analyser_box_->setGeometry(8, kHeaderHeight + 9, kAnalyserWidth, kAnalyserHeight);
    analyser_box_->setAccessibleName(Msg("Spectrum analyser"));
    analyser_box_->setAccessibleDescription(Msg("Bars showing the loudness of the sound by pitch"));
    analyser_placeholder_ = MakeLabel("Label1", this);
    analyser_placeholder_->setText(Msg("-----------------------------------"));
    analyser_placeholder_->setAlignment(Qt::AlignCenter);
    analyser_placeholder_->setGeometry(8, kHeaderHeight + 9 + kAnalyserHeight / 2 - 7,
                                       kAnalyserWidth, 14);
    analyser_placeholder_->setStyleSheet("color: #8fb7d9;");

    CreateChannelBox();
    CreatePlayingBox();
    CreateProxyPanel();
    CreateUserPanel();
    menu_ = BuildSettingsMenu(this);
    settings_popup_ = menu_.Popup;
    CreateTimers();
    CreateParts();
    ShowNowPlaying();
    WireMenu();
    WireUserPanel();
    update_ = new UpdatePart(this, menu_.CheckForUpdate, [this] { return SaveBeforeClose(); });
    CreateKeyboard();
    listening_ = new ListeningPart({this, date_label_, time_label_, record_button_, player_, now_,
                                    playback_, volume_, recording_, [this] { RaiseWindow(); }},
                                   menu_, this);
    choice_ = new StationChoicePart(
        {this, directory_combo_, channels_, homepage_button_, programs_button_,
         list_buttons_[kEdit], playback_, now_, listening_->Tray()},
        this);
}

void MainWindow::CreateHeader() {
    header_image_ = MakeLabel("Image3", this);
    MarkAsDecoration(header_image_);
    header_image_->setGeometry(0, 0, 681, kHeaderHeight);
    header_image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, clipped at the bottom
    static constexpr std::array<const char*, 5> kSources = {"vista", "blue", "red", "black",
                                                            "win7"};
    for (int i = 0; i < 5; ++i) {
        QLabel* source = MakeLabel(QString("Image%1").arg(22 + i), this);
        MarkAsDecoration(source);
        source->setPixmap(QPixmap(QString(":/header_%1.jpg").arg(kSources[i])));
        source->setGeometry(0, 0, source->pixmap().width(), source->pixmap().height());
        source->hide();
    }
    // Until a background is applied.
    const auto* initial = findChild<QLabel*>(QLatin1String(InfoOf(kInitialBackground).picture));
    header_image_->setPixmap(initial->pixmap());

    logo_image_ = MakeLabel("Image5", this);
    MarkAsDecoration(logo_image_);
    logo_image_->setPixmap(QPixmap(":/logo.png"));
    logo_image_->setGeometry(8, 6, 44, 44);

    slogan_label_ = MakeLabel("Label2", this);
    slogan_label_->setText(Msg("Webradio from all over the world"));
    QFont slogan = font();
    slogan.setPixelSize(14);
    slogan.setBold(true);
    slogan_label_->setFont(slogan);
    slogan_label_->setStyleSheet("color: white; background: transparent;");
    // On the lower row, beside the time: the date on the upper row reaches this far left when the
    // user panel is closed.
    slogan_label_->setGeometry(60, 30, 280, 20);

    date_label_ = MakeLabel("Label10", this);
    time_label_ = MakeLabel("Label11", this);
    SetupClockLabels(date_label_, time_label_);
    // Where the designed window has them, for a start-up that stops before its own layout step.
    velmora::PlaceClockLabels(date_label_, time_label_, PanelLayout::Open);
}

void MainWindow::CreateChannelBox() {
    channel_box_ = new QGroupBox(Msg("Webradio channels"), this);
    channel_box_->setObjectName("GroupBox1");
    channel_box_->setGeometry(122, kHeaderHeight + 2, 279, 104);

    channel_prompt_ = MakeLabel("Label9", channel_box_);
    channel_prompt_->setText(Msg("Please select a channel"));
    channel_prompt_->setGeometry(10, 20, 196, 16);

    open_panel_button_ = new PictureButton("Image10", ":/panel_open.png", channel_box_);
    open_panel_button_->SetHint(Msg("Open your webradio channels"));
    open_panel_button_->move(213, 15);
    close_panel_button_ = new PictureButton("Image11", ":/panel_close.png", channel_box_);
    close_panel_button_->SetHint(Msg("Close your webradio channels"));
    close_panel_button_->move(213, 15);
    menu_button_ = new PictureButton("Image2", ":/menu.png", channel_box_);
    menu_button_->SetHint(Msg("Menu / Settings"));
    menu_button_->move(245, 15);

    directory_combo_ = new QComboBox(channel_box_);
    directory_combo_->setObjectName("ComboBox1");
    directory_combo_->setEditable(false);
    // A screen reader names the drop-down by the prompt above it (its own name is its row).
    channel_prompt_->setBuddy(directory_combo_);
    directory_combo_->setMaxVisibleItems(kDirectoryRowCount);
    directory_combo_->setFocusPolicy(Qt::StrongFocus);  // the keyboard reaches the directory
    for (const DirectoryRow& row : DirectoryRows()) {
        directory_combo_->addItem(Msg(std::string(row.text).c_str()));
    }
    directory_combo_->setCurrentIndex(FirstStationRow());
    directory_combo_->setGeometry(10, 42, 259, 22);

    const int row_y = 68;
    play_button_ = new PictureButton("Image1", ":/play.png", channel_box_);
    play_button_->SetHint(Msg("Play"));
    play_button_->move(10, row_y);
    stop_button_ = new PictureButton("Image4", ":/stop.png", channel_box_);
    stop_button_->SetHint(Msg("Stop"));
    stop_button_->move(46, row_y);

    record_button_ = new PictureButton("Image19", ":/record.png", channel_box_);
    record_button_->SetHint(Msg("Record"));
    record_button_->move(88, row_y + 4);
    record_button_->hide();
    cannot_record_image_ = MakeLabel("Image20", channel_box_);
    cannot_record_image_->setPixmap(QPixmap(":/record_off.png"));
    cannot_record_image_->setToolTip(Msg("Can not record"));
    cannot_record_image_->setAccessibleName(Msg("Can not record"));
    cannot_record_image_->setGeometry(88, row_y + 4, 24, 24);
    recordings_button_ = new PictureButton("Image21", ":/recordings.png", channel_box_);
    recordings_button_->SetHint(Msg("Open recordings"));
    recordings_button_->move(116, row_y + 4);

    volume_slider_ = new VolumeTrackBar(channel_box_);
    volume_slider_->setObjectName("TrackBar1");
    volume_slider_->setRange(0, 100);
    volume_slider_->setValue(kDefaultVolume);
    volume_slider_->setToolTip(Msg("Volume"));
    volume_slider_->setAccessibleName(Msg("Volume"));
    volume_slider_->setGeometry(156, row_y + 6, 81, 20);

    mute_button_ = new PictureButton("VolumeOn", ":/volume_on.png", channel_box_);
    mute_button_->SetHint(Msg("Volume off"));
    mute_button_->move(245, row_y + 6);
    unmute_button_ = new PictureButton("VolumeOff", ":/volume_off.png", channel_box_);
    unmute_button_->SetHint(Msg("Volume on"));
    unmute_button_->move(245, row_y + 6);
    unmute_button_->hide();
}

void MainWindow::CreatePlayingBox() {
    playing_box_ = new QGroupBox(Msg("Currently playing"), this);
    playing_box_->setObjectName("GroupBox2");
    playing_box_->setGeometry(8, kHeaderHeight + 110, 393, 98);

    station_label_ = MakeLabel("Label4", playing_box_);
    station_label_->setText(Msg("Not playing"));
    station_label_->setAlignment(Qt::AlignCenter);
    station_label_->setWordWrap(true);
    QFont bold = font();
    bold.setBold(true);
    station_label_->setFont(bold);
    station_label_->setGeometry(10, 16, 340, 30);

    rate_label_ = MakeLabel("Label5", playing_box_);
    rate_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rate_label_->setGeometry(10, 50, 340, 16);

    title_label_ = MakeLabel("Label3", playing_box_);
    title_label_->setToolTip(Msg("Copy"));
    title_label_->setCursor(Qt::PointingHandCursor);
    // Reachable by Tab, so its text can be read out and copied.
    title_label_->setFocusPolicy(Qt::StrongFocus);
    title_label_->setGeometry(10, 72, 245, 16);

    homepage_button_ = new PictureButton("Image7", ":/homepage.png", playing_box_);
    homepage_button_->SetHint(Msg("Webradio homepage"));
    homepage_button_->move(359, 20);
    programs_button_ = new PictureButton("Image9", ":/programs.png", playing_box_);
    programs_button_->SetHint(Msg("Programs"));
    programs_button_->move(359, 56);
}

void MainWindow::CreateProxyPanel() {
    proxy_panel_ = new ProxyPanel(this);
    proxy_panel_->setGeometry(playing_box_->geometry());  // over the "Currently playing" frame
}

void MainWindow::CreateUserPanel() {
    user_panel_ = new QGroupBox(Msg("Your webradio channels"), this);
    user_panel_->setObjectName("GroupBox4");
    // Just right of the closed window's 407 pixels, ending 9 pixels inside the open one's 570.
    user_panel_->setGeometry(408, kHeaderHeight + 2, 153, 206);
    channels_ = new ChannelListModel(user_panel_);
    channels_->View()->setGeometry(8, 20, 137, 152);
    channels_->View()->setAccessibleName(Msg("Your webradio channels"));

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
        auto* button = new PictureButton(kButtons[i].name, kButtons[i].picture, user_panel_);
        button->SetHint(Msg(kButtons[i].hint));
        button->move(8 + static_cast<int>(i) * 23, 178);
        list_buttons_[i] = button;
    }
    list_buttons_[kDetails]->setEnabled(false);
    list_buttons_[kDetails]->hide();
}

// Each timer runs only while it has something to do: a stopped player sleeps.
void MainWindow::CreateTimers() {
    analyser_timer_ = MakeTimer("Timer1", 33, false, this);  // while a stream sounds
    // Armed for the next change of what the clock shows.
    clock_timer_ = MakeTimer("Timer4", 1000, false, this);
    clock_timer_->setSingleShot(true);
    clock_timer_->setTimerType(Qt::PreciseTimer);
    blink_timer_ = MakeTimer("Timer5", 1000, false, this);
}

}  // namespace velmora
