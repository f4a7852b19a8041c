// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow's layout: every control at its designed place, with its designer name as objectName.
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <array>

#include "app/decoration.h"
#include "app/header_clock.h"
#include "app/listening_part.h"
#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "app/station_choice_part.h"
#include "app/time_shift_part.h"
#include "app/update_part.h"
#include "app/volume_control.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "playback/directory_rows.h"
#include "playback/player.h"
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

void BuildHeader(QWidget* window, MainWindowControls& ui) {
    ui.header_image = MakeLabel("Image3", window);
    MarkAsDecoration(ui.header_image);
    ui.header_image->setGeometry(0, 0, 681, kHeaderHeight);
    ui.header_image->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, clipped at the bottom
    static constexpr std::array<const char*, 5> kSources = {"vista", "blue", "red", "black",
                                                            "win7"};
    for (int i = 0; i < 5; ++i) {
        QLabel* source = MakeLabel(QString("Image%1").arg(22 + i), window);
        MarkAsDecoration(source);
        source->setPixmap(QPixmap(QString(":/header_%1.jpg").arg(kSources[i])));
        source->setGeometry(0, 0, source->pixmap().width(), source->pixmap().height());
        source->hide();
    }
    // Until a background is applied.
    const auto* initial =
        window->findChild<QLabel*>(QLatin1String(InfoOf(kInitialBackground).picture));
    ui.header_image->setPixmap(initial->pixmap());

    ui.logo_image = MakeLabel("Image5", window);
    MarkAsDecoration(ui.logo_image);
    ui.logo_image->setPixmap(QPixmap(":/logo.png"));
    ui.logo_image->setGeometry(8, 6, 44, 44);

    ui.slogan_label = MakeLabel("Label2", window);
    ui.slogan_label->setText(Msg("Webradio from all over the world"));
    QFont slogan = window->font();
    slogan.setPixelSize(14);
    slogan.setBold(true);
    ui.slogan_label->setFont(slogan);
    ui.slogan_label->setStyleSheet("color: white; background: transparent;");
    // On the lower row, beside the time: the date on the upper row reaches window far left when the
    // user panel is closed.
    ui.slogan_label->setGeometry(60, 30, 280, 20);

    ui.date_label = MakeLabel("Label10", window);
    ui.time_label = MakeLabel("Label11", window);
    SetupClockLabels(ui.date_label, ui.time_label);
    // Where the designed window has them, for a start-up that stops before its own layout step.
    velmora::PlaceClockLabels(ui.date_label, ui.time_label, PanelLayout::Open);
}

void BuildChannelBox(QWidget* window, MainWindowControls& ui) {
    ui.channel_box = new QGroupBox(Msg("Webradio channels"), window);
    ui.channel_box->setObjectName("GroupBox1");
    ui.channel_box->setGeometry(122, kHeaderHeight + 2, 279, 104);

    ui.channel_prompt = MakeLabel("Label9", ui.channel_box);
    ui.channel_prompt->setText(Msg("Please select a channel"));
    ui.channel_prompt->setGeometry(10, 20, 196, 16);

    ui.open_panel_button = new PictureButton("Image10", ":/panel_open.png", ui.channel_box);
    ui.open_panel_button->SetHint(Msg("Open your webradio channels"));
    ui.open_panel_button->move(213, 15);
    ui.close_panel_button = new PictureButton("Image11", ":/panel_close.png", ui.channel_box);
    ui.close_panel_button->SetHint(Msg("Close your webradio channels"));
    ui.close_panel_button->move(213, 15);
    ui.menu_button = new PictureButton("Image2", ":/menu.png", ui.channel_box);
    ui.menu_button->SetHint(Msg("Menu / Settings"));
    ui.menu_button->move(245, 15);

    ui.directory_combo = new QComboBox(ui.channel_box);
    ui.directory_combo->setObjectName("ComboBox1");
    ui.directory_combo->setEditable(false);
    // A screen reader names the drop-down by the prompt above it (its own name is its row).
    ui.channel_prompt->setBuddy(ui.directory_combo);
    ui.directory_combo->setMaxVisibleItems(kDirectoryRowCount);
    ui.directory_combo->setFocusPolicy(Qt::StrongFocus);  // the keyboard reaches the directory
    for (const DirectoryRow& row : DirectoryRows()) {
        ui.directory_combo->addItem(Msg(std::string(row.text).c_str()));
    }
    ui.directory_combo->setCurrentIndex(FirstStationRow());
    ui.directory_combo->setGeometry(10, 42, 259, 22);

    const int row_y = 68;
    ui.play_button = new PictureButton("Image1", ":/play.png", ui.channel_box);
    ui.play_button->SetHint(Msg("Play"));
    ui.play_button->move(10, row_y);
    ui.stop_button = new PictureButton("Image4", ":/stop.png", ui.channel_box);
    ui.stop_button->SetHint(Msg("Stop"));
    ui.stop_button->move(46, row_y);

    ui.record_button = new PictureButton("Image19", ":/record.png", ui.channel_box);
    ui.record_button->SetHint(Msg("Record"));
    // Right of the Pause button (the time-shift part's).
    ui.record_button->move(110, row_y + 4);
    ui.record_button->hide();
    ui.cannot_record_image = MakeLabel("Image20", ui.channel_box);
    ui.cannot_record_image->setPixmap(QPixmap(":/record_off.png"));
    ui.cannot_record_image->setToolTip(Msg("Can not record"));
    ui.cannot_record_image->setAccessibleName(Msg("Can not record"));
    ui.cannot_record_image->setGeometry(110, row_y + 4, 24, 24);
    ui.recordings_button = new PictureButton("Image21", ":/recordings.png", ui.channel_box);
    ui.recordings_button->SetHint(Msg("Open recordings"));
    ui.recordings_button->move(136, row_y + 4);

    ui.volume_slider = new VolumeTrackBar(ui.channel_box);
    ui.volume_slider->setObjectName("TrackBar1");
    ui.volume_slider->setRange(0, 100);
    ui.volume_slider->setValue(kDefaultVolume);
    ui.volume_slider->setToolTip(Msg("Volume"));
    ui.volume_slider->setAccessibleName(Msg("Volume"));
    ui.volume_slider->setGeometry(166, row_y + 6, 73, 20);

    ui.mute_button = new PictureButton("VolumeOn", ":/volume_on.png", ui.channel_box);
    ui.mute_button->SetHint(Msg("Volume off"));
    ui.mute_button->move(245, row_y + 6);
    ui.unmute_button = new PictureButton("VolumeOff", ":/volume_off.png", ui.channel_box);
    ui.unmute_button->SetHint(Msg("Volume on"));
    ui.unmute_button->move(245, row_y + 6);
    ui.unmute_button->hide();
}

void BuildPlayingBox(QWidget* window, MainWindowControls& ui) {
    ui.playing_box = new QGroupBox(Msg("Currently playing"), window);
    ui.playing_box->setObjectName("GroupBox2");
    ui.playing_box->setGeometry(8, kHeaderHeight + 110, 393, 98);

    ui.station_label = MakeLabel("Label4", ui.playing_box);
    ui.station_label->setText(Msg("Not playing"));
    ui.station_label->setAlignment(Qt::AlignCenter);
    ui.station_label->setWordWrap(true);
    QFont bold = window->font();
    bold.setBold(true);
    ui.station_label->setFont(bold);
    ui.station_label->setGeometry(10, 16, 340, 30);

    ui.rate_label = MakeLabel("Label5", ui.playing_box);
    ui.rate_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui.rate_label->setGeometry(10, 50, 340, 16);

    ui.title_label = MakeLabel("Label3", ui.playing_box);
    ui.title_label->setToolTip(Msg("Copy"));
    ui.title_label->setCursor(Qt::PointingHandCursor);
    // Reachable by Tab, so its text can be read out and copied.
    ui.title_label->setFocusPolicy(Qt::StrongFocus);
    ui.title_label->setGeometry(10, 72, 245, 16);

    ui.homepage_button = new PictureButton("Image7", ":/homepage.png", ui.playing_box);
    ui.homepage_button->SetHint(Msg("Webradio homepage"));
    ui.homepage_button->move(359, 20);
    ui.programs_button = new PictureButton("Image9", ":/programs.png", ui.playing_box);
    ui.programs_button->SetHint(Msg("Programs"));
    ui.programs_button->move(359, 56);
}

void BuildProxyPanel(QWidget* window, MainWindowControls& ui) {
    ui.proxy_panel = new ProxyPanel(window);
    ui.proxy_panel->setGeometry(ui.playing_box->geometry());  // over the "Currently playing" frame
}

void BuildUserPanel(QWidget* window, MainWindowControls& ui) {
    ui.user_panel = new QGroupBox(Msg("Your webradio channels"), window);
    ui.user_panel->setObjectName("GroupBox4");
    // Just right of the closed window's 407 pixels, ending 9 pixels inside the open one's 570.
    ui.user_panel->setGeometry(408, kHeaderHeight + 2, 153, 206);
    ui.channels = new ChannelListModel(ui.user_panel);
    ui.channels->View()->setGeometry(8, 20, 137, 152);
    ui.channels->View()->setAccessibleName(Msg("Your webradio channels"));

    struct ButtonSpec {
        const char* name;
        const char* picture;
        const char* hint;
    };
    static constexpr std::array<ButtonSpec, MainWindowControls::kListButtons> kButtons = {{
        {"Image12", ":/add.png", Translatable("Add")},
        {"Image13", ":/delete.png", Translatable("Delete")},
        {"Image15", ":/edit.png", Translatable("Edit")},
        {"Image14", ":/delete_all.png", Translatable("Delete all")},
        {"Image16", ":/move_top.png", Translatable("Move to top")},
        {"Image17", ":/move_bottom.png", Translatable("Move to bottom")},
        {"Image18", ":/details.png", Translatable("Details")},
    }};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        auto* button = new PictureButton(kButtons[i].name, kButtons[i].picture, ui.user_panel);
        button->SetHint(Msg(kButtons[i].hint));
        button->move(8 + static_cast<int>(i) * 23, 178);
        ui.list_buttons[i] = button;
    }
    ui.list_buttons[MainWindowControls::kDetails]->setEnabled(false);
    ui.list_buttons[MainWindowControls::kDetails]->hide();
}

void BuildTimers(QWidget* window, MainWindowControls& ui) {
    ui.analyser_timer = MakeTimer("Timer1", 33, false, window);  // while a stream sounds
    // Armed for the next change of what the clock shows.
    ui.clock_timer = MakeTimer("Timer4", 1000, false, window);
    ui.clock_timer->setSingleShot(true);
    ui.clock_timer->setTimerType(Qt::PreciseTimer);
    ui.blink_timer = MakeTimer("Timer5", 1000, false, window);
}

MainWindowControls BuildControls(QWidget* window) {
    MainWindowControls ui;
    BuildHeader(window, ui);

    ui.analyser_bezel = MakeLabel("Image6", window);
    ui.analyser_bezel->setPixmap(QPixmap(":/bezel.png"));
    MarkAsDecoration(ui.analyser_bezel);
    ui.analyser_bezel->setGeometry(5, kHeaderHeight + 6, kAnalyserWidth + 6, kAnalyserHeight + 6);
    ui.analyser_box = new AnalyserView(window);
    ui.analyser_box->setObjectName("PaintBox1");
    ui.analyser_box->setGeometry(8, kHeaderHeight + 9, kAnalyserWidth, kAnalyserHeight);
    ui.analyser_box->setAccessibleName(Msg("Spectrum analyser"));
    ui.analyser_box->setAccessibleDescription(
        Msg("Bars showing the loudness of the sound by pitch"));
    ui.analyser_placeholder = MakeLabel("Label1", window);
    ui.analyser_placeholder->setText(Msg("-----------------------------------"));
    ui.analyser_placeholder->setAlignment(Qt::AlignCenter);
    ui.analyser_placeholder->setGeometry(8, kHeaderHeight + 9 + kAnalyserHeight / 2 - 7,
                                         kAnalyserWidth, 14);
    ui.analyser_placeholder->setStyleSheet("color: #8fb7d9;");

    BuildChannelBox(window, ui);
    BuildPlayingBox(window, ui);
    BuildProxyPanel(window, ui);
    BuildUserPanel(window, ui);
    return ui;
}

}  // namespace

void MainWindow::CreateControls() {
    // Built in English; StartUp translates the whole window.
    const EnglishTexts english;
    ui_ = BuildControls(this);
    menu_ = BuildSettingsMenu(this);
    BuildTimers(this, ui_);
    CreateParts();
    ShowNowPlaying();
    WireMenu();
    WireUserPanel();
    update_ = new UpdatePart(this, menu_.CheckForUpdate, [this] { return SaveBeforeClose(); });
    CreateKeyboard();
    listening_ =
        new ListeningPart({this, ui_.date_label, ui_.time_label, ui_.record_button, player_, now_,
                           playback_, volume_, recording_, [this] { RaiseWindow(); }},
                          menu_, this);
    time_shift_ = new TimeShiftPart(
        {ui_.channel_box, ui_.playing_box, player_, playback_, listening_->Tray()}, this);
    setTabOrder(ui_.stop_button, time_shift_->PauseButton());
    choice_ = new StationChoicePart(
        {this, ui_.directory_combo, ui_.channels, ui_.homepage_button, ui_.programs_button,
         ui_.list_buttons[MainWindowControls::kEdit], playback_, now_, listening_->Tray()},
        this);
}

// Each timer runs only while it has something to do: a stopped player sleeps.

namespace {

// How far Ctrl+Up and Ctrl+Down move the volume.
constexpr int kVolumeStep = 5;

// A group box keeps Space for its check box, even without one: Space that its controls left is
// handed on to the window.
class SpaceToWindow final : public QObject {
  public:
    explicit SpaceToWindow(QWidget* window) : QObject(window), window_(window) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
        QCoreApplication::sendEvent(window_, event);
        return true;
    }

  private:
    QWidget* const window_;
};

}  // namespace

void MainWindow::CreateKeyboard() {
    // Directory, transport, volume, now playing, the user's list and its buttons.
    QWidget* const order[] = {
        ui_.directory_combo, ui_.open_panel_button, ui_.close_panel_button, ui_.menu_button,
        ui_.play_button,     ui_.stop_button,       ui_.record_button,      ui_.recordings_button,
        ui_.volume_slider,   ui_.mute_button,       ui_.unmute_button,      ui_.title_label,
        ui_.homepage_button, ui_.programs_button,   ui_.channels->View(),
    };
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    for (PictureButton* b : ui_.list_buttons) {
        setTabOrder(previous, b);
        previous = b;
    }

    auto* space = new SpaceToWindow(this);
    for (QGroupBox* box : findChildren<QGroupBox*>()) box->installEventFilter(space);

    const auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
        if (recording_->Active() || ui_.record_button->isVisible()) recording_->OnRecordClicked();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Up),
             [this] { volume_->SetPosition(volume_->Position() + kVolumeStep); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Down),
             [this] { volume_->SetPosition(volume_->Position() - kVolumeStep); });
}

// Space, the arrows and End reach the window only when the focused control did not take them
// (a text field types and moves in its text, a button presses itself, a list selects and moves):
// then Space plays, pauses or resumes, the arrows skip and End goes live.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        time_shift_->OnSpace();
        event->accept();
        return;
    }
    if (time_shift_->OnKey(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace velmora
