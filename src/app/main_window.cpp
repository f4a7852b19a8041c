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
#include "app/engine_startup.h"
#include "app/header_clock.h"
#include "app/picture_button.h"
#include "app/recording_control.h"
#include "app/settings.h"
#include "app/settings_binding.h"
#include "app/stream_status_sink.h"
#include "app/title_label_copy.h"
#include "app/web_address.h"
#include "channels/channel_editor.h"
#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "desktop/language_switch.h"
#include "engine/engine.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "mpris/mpris_service.h"
#include "playback/proxy_panel.h"
#include "playback/server_text.h"
#include "playback/spectrum_painter.h"
#include "playback/stream_opener.h"
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

// A status line ends at its first zero byte.
std::string_view StatusText(const std::string& bytes) {
    return std::string_view(bytes).substr(0, bytes.find('\0'));
}

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

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    LoadArtwork();
    setObjectName("TForm1");
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
    CreateControls();
    FormCreate();
    CreateMediaKeys();
}

TForm1::~TForm1() {
    // Reports still under way find the window gone; a worker waiting on one is let go.
    if (status_sink_) status_sink_->Close();
    // Callbacks still due from freed streams find their openings by number and do nothing.
    opener_.reset();
    // Destruction handler: releasing the engine stops and frees every stream.
    vle::Free();
}

unsigned TForm1::CurrentStream() const {
    return opener_ ? opener_->CurrentStream() : 0;
}

bool TForm1::IsOpening() const {
    return opener_ && opener_->IsOpening();
}

// --- controls

void TForm1::CreateControls() {
    // Built in English; FormCreate translates the whole window.
    const EnglishTexts english;
    CreateHeader();

    Image6 = MakeLabel("Image6", this);
    Image6->setPixmap(QPixmap(":/bezel.png"));
    Image6->setGeometry(5, kHeaderHeight + 6, kAnalyserWidth + 6, kAnalyserHeight + 6);
    PaintBox1 = new TPaintBox(this);
    PaintBox1->setObjectName("PaintBox1");
    PaintBox1->setGeometry(8, kHeaderHeight + 9, kAnalyserWidth, kAnalyserHeight);
    Label1 = MakeLabel("Label1", this);
    Label1->setText(Msg("-----------------------------------"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(8, kHeaderHeight + 9 + kAnalyserHeight / 2 - 7, kAnalyserWidth, 14);
    Label1->setStyleSheet("color: #8fb7d9;");

    CreateChannelBox();
    CreatePlayingBox();
    CreateProxyPanel();
    CreateUserPanel();
    menu_ = BuildSettingsMenu(this);
    PopupMenu1 = menu_.PopupMenu1;
    CreateTimers();
    WireNowPlaying();
    WireMenu();
    WireUserPanel();
    CreateSelfUpdater();
}

void TForm1::CreateHeader() {
    Image3 = MakeLabel("Image3", this);
    Image3->setGeometry(0, 0, 681, kHeaderHeight);
    Image3->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled, clipped at the bottom
    static constexpr std::array<const char*, 5> kSources = {"vista", "blue", "red", "black",
                                                            "win7"};
    for (int i = 0; i < 5; ++i) {
        QLabel* source = MakeLabel(QString("Image%1").arg(22 + i), this);
        source->setPixmap(QPixmap(QString(":/header_%1.jpg").arg(kSources[i])));
        source->setGeometry(0, 0, source->pixmap().width(), source->pixmap().height());
        source->hide();
        header_sources_[i] = source;
    }
    Image3->setPixmap(header_sources_[1]->pixmap());  // "Blue" until a background is applied

    Image5 = MakeLabel("Image5", this);
    Image5->setPixmap(QPixmap(":/logo.png"));
    Image5->setGeometry(8, 6, 44, 44);

    Label2 = MakeLabel("Label2", this);
    Label2->setText(Msg("Webradio from all over the world"));
    QFont slogan = font();
    slogan.setPixelSize(14);
    slogan.setBold(true);
    Label2->setFont(slogan);
    Label2->setStyleSheet("color: white; background: transparent;");
    // On the lower row, beside the time: the date on the upper row reaches this far left when the
    // user panel is closed.
    Label2->setGeometry(60, 30, 280, 20);

    Label10 = MakeLabel("Label10", this);
    Label11 = MakeLabel("Label11", this);
    SetupClockLabels(Label10, Label11);
    // Where the designed window has them, for a start-up that stops before its own layout step.
    velmora::PlaceClockLabels(Label10, Label11, PanelLayout::Open);
}

void TForm1::CreateChannelBox() {
    GroupBox1 = new QGroupBox(Msg("Webradio channels"), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(122, kHeaderHeight + 2, 279, 104);

    Label9 = MakeLabel("Label9", GroupBox1);
    Label9->setText(Msg("Please select a channel"));
    Label9->setGeometry(10, 20, 196, 16);

    Image10 = new PictureButton("Image10", ":/panel_open.png", GroupBox1);
    Image10->setToolTip(Msg("Open your webradio channels"));
    Image10->move(213, 15);
    Image11 = new PictureButton("Image11", ":/panel_close.png", GroupBox1);
    Image11->setToolTip(Msg("Close your webradio channels"));
    Image11->move(213, 15);
    Image2 = new PictureButton("Image2", ":/menu.png", GroupBox1);
    Image2->setToolTip(Msg("Menu / Settings"));
    Image2->move(245, 15);

    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(false);
    ComboBox1->setMaxVisibleItems(kDirectoryRowCount);
    ComboBox1->setFocusPolicy(Qt::ClickFocus);  // skipped by Tab
    for (const DirectoryRow& row : DirectoryRows()) {
        ComboBox1->addItem(Msg(std::string(row.text).c_str()));
    }
    ComboBox1->setCurrentIndex(1);
    ComboBox1->setGeometry(10, 42, 259, 22);
    ComboBox1->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Click);

    const int row_y = 68;
    Image1 = new PictureButton("Image1", ":/play.png", GroupBox1);
    Image1->setToolTip(Msg("Play"));
    Image1->move(10, row_y);
    connect(Image1, &PictureButton::clicked, this, &TForm1::Image1Click);
    Image4 = new PictureButton("Image4", ":/stop.png", GroupBox1);
    Image4->setToolTip(Msg("Stop"));
    Image4->move(46, row_y);
    connect(Image4, &PictureButton::clicked, this, &TForm1::Image4Click);

    Image19 = new PictureButton("Image19", ":/record.png", GroupBox1);
    Image19->setToolTip(Msg("Record"));
    Image19->move(88, row_y + 4);
    Image19->hide();
    Image20 = MakeLabel("Image20", GroupBox1);
    Image20->setPixmap(QPixmap(":/record_off.png"));
    Image20->setToolTip(Msg("Can not record"));
    Image20->setGeometry(88, row_y + 4, 24, 24);
    Image21 = new PictureButton("Image21", ":/recordings.png", GroupBox1);
    Image21->setToolTip(Msg("Open recordings"));
    Image21->move(116, row_y + 4);

    TrackBar1 = new TTrackBar(GroupBox1);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setRange(0, 100);
    TrackBar1->setValue(kDefaultVolume);
    TrackBar1->setToolTip(Msg("Volume"));
    TrackBar1->setGeometry(156, row_y + 6, 81, 20);
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);

    VolumeOn = new PictureButton("VolumeOn", ":/volume_on.png", GroupBox1);
    VolumeOn->setToolTip(Msg("Volume off"));
    VolumeOn->move(245, row_y + 6);
    connect(VolumeOn, &PictureButton::clicked, this, &TForm1::VolumeOnClick);
    VolumeOff = new PictureButton("VolumeOff", ":/volume_off.png", GroupBox1);
    VolumeOff->setToolTip(Msg("Volume on"));
    VolumeOff->move(245, row_y + 6);
    VolumeOff->hide();
    connect(VolumeOff, &PictureButton::clicked, this, &TForm1::VolumeOffClick);
}

void TForm1::CreatePlayingBox() {
    GroupBox2 = new QGroupBox(Msg("Currently playing"), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(8, kHeaderHeight + 110, 393, 98);

    Label4 = MakeLabel("Label4", GroupBox2);
    Label4->setText(Msg("Not playing"));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setWordWrap(true);
    QFont bold = font();
    bold.setBold(true);
    Label4->setFont(bold);
    Label4->setGeometry(10, 16, 340, 30);

    Label5 = MakeLabel("Label5", GroupBox2);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label5->setGeometry(10, 50, 340, 16);

    Label3 = MakeLabel("Label3", GroupBox2);
    Label3->setToolTip(Msg("Copy"));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->setGeometry(10, 72, 245, 16);

    Image7 = new PictureButton("Image7", ":/homepage.png", GroupBox2);
    Image7->setToolTip(Msg("Webradio homepage"));
    Image7->move(359, 20);
    connect(Image7, &PictureButton::clicked, this, &TForm1::Image7Click);
    Image9 = new PictureButton("Image9", ":/programs.png", GroupBox2);
    Image9->setToolTip(Msg("Programs"));
    Image9->move(359, 56);
    connect(Image9, &PictureButton::clicked, this, &TForm1::Image9Click);
}

void TForm1::CreateProxyPanel() {
    Panel1 = new ProxyPanel(this);
    Panel1->setGeometry(GroupBox2->geometry());  // over the "Currently playing" frame
    ed_ProxyServer = Panel1->ed_ProxyServer;
    cbDirectConnection = Panel1->cbDirectConnection;
    Label8 = Panel1->Label8;
    BitBtn4 = Panel1->BitBtn4;
}

void TForm1::CreateUserPanel() {
    GroupBox4 = new QGroupBox(Msg("Your webradio channels"), this);
    GroupBox4->setObjectName("GroupBox4");
    // Just right of the closed window's 407 pixels, ending 9 pixels inside the open one's 570.
    GroupBox4->setGeometry(408, kHeaderHeight + 2, 153, 206);
    channels_ = new ChannelListModel(GroupBox4);
    channels_->ListBox1()->setGeometry(8, 20, 137, 152);
    connect(channels_, &ChannelListModel::Chosen, this, &TForm1::ListBox1Click);

    struct ButtonSpec {
        const char* name;
        const char* picture;
        const char* hint;
    };
    static constexpr std::array<ButtonSpec, 7> kButtons = {{
        {"Image12", ":/add.png", Translatable("Add")},
        {"Image13", ":/delete.png", Translatable("Delete")},
        {"Image15", ":/edit.png", Translatable("Edit")},
        {"Image14", ":/delete_all.png", Translatable("Delete all")},
        {"Image16", ":/move_top.png", Translatable("Move to top")},
        {"Image17", ":/move_bottom.png", Translatable("Move to bottom")},
        {"Image18", ":/details.png", Translatable("Details")},
    }};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        auto* button = new PictureButton(kButtons[i].name, kButtons[i].picture, GroupBox4);
        button->setToolTip(Msg(kButtons[i].hint));
        button->move(8 + static_cast<int>(i) * 23, 178);
        list_buttons_[i] = button;
    }
    list_buttons_[6]->setEnabled(false);
    list_buttons_[6]->hide();
}

void TForm1::CreateTimers() {
    Timer1 = MakeTimer("Timer1", 33, true, this);
    Timer2 = MakeTimer("Timer2", 2000, false, this);
    Timer3 = MakeTimer("Timer3", 66, true, this);
    Timer4 = MakeTimer("Timer4", 1000, true, this);
    Timer5 = MakeTimer("Timer5", 1000, false, this);
}

void TForm1::WireNowPlaying() {
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    new TitleLabelCopy(Label3);
    menu_.ProxyServer1->setEnabled(true);
    connect(menu_.ProxyServer1, &QAction::triggered, Panel1, &ProxyPanel::ProxyServer1Click);

    recording_ = new RecordingControl(
        {this, Image19, Timer5, Label4, Label3}, [this] { return CurrentStream(); },
        [this](StreamOpener::DataSink sink) {
            return opener_ && opener_->AttachSink(std::move(sink));
        },
        [this] { return channel_name_; }, this);
    connect(Timer5, &QTimer::timeout, recording_, &RecordingControl::Timer5Timer);
    connect(Image19, &PictureButton::clicked, recording_, &RecordingControl::Image19Click);
    connect(Image21, &PictureButton::clicked, recording_, &RecordingControl::Image21Click);
}

// --- creation

void TForm1::FormCreate() {
    // The clock shows the date and time, not texts.
    ExcludeFromTranslation(Label10);
    ExcludeFromTranslation(Label11);
    TranslateWindow(this);
    vle::PluginLoad(vle::kWmaPlugin, 0);  // without it WMA streams just fail to open
    if (!EngineVersionAccepted(vle::GetVersion())) {
        dialogs().Error(nullptr, Msg("An incorrect version of the audio engine was loaded"));
        return;
    }
    if (!vle::Init(-1, kOutputFrequency, 0, this)) {
        Label4->setText(Msg("Can't initialize Sound Card"));
        ShowEngineError(Msg("Can't initialize Sound Card"));
        return;
    }
    vle::SetConfig(vle::Config::NetPlaylist, 1);
    vle::SetConfig(vle::Config::NetPrebuf, 0);
    vle::SetConfigPtr(vle::ConfigPtr::NetProxy, Panel1->Buffer().data());

    worker_volume_ = std::make_shared<std::atomic<int>>(TrackBar1->value());
    status_sink_ = StreamStatusSink::Create(
        this, [this](const StatusReport& report) { OnStreamStatus(report); });
    opener_ = std::make_unique<StreamOpener>(
        [sink = status_sink_](const StatusReport& report) { sink->Report(report); },
        [volume = worker_volume_] { return volume->load(); });

    spectrum_ = std::make_unique<TSpectrumPainter>(PaintBox1->width(), PaintBox1->height());
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    started_up_ = true;
}

void TForm1::SetSecondaryWindows(TAboutBox* about_box, TForm3* form3) {
    about_box_ = about_box;
    form3_ = form3;
}

void TForm1::EnsureSecondaryWindows() {
    if (!about_box_) about_box_ = new TAboutBox(this);
    if (!form3_) form3_ = new TForm3(channels_, this);
    about_box_->SetLanguageName([this] { return language_name_; });
    form3_->SetLanguageName([this] { return language_name_; });
}

// One analyser frame while the current stream plays; the look is set after drawing, so the first
// frame of a run still shows the painter's own colours.
void TForm1::Timer1Timer() {
    const unsigned stream = CurrentStream();
    if (vle::ChannelIsActive(stream) != static_cast<int>(vle::ActiveState::Playing)) return;
    Label1->hide();
    std::array<float, 513> fft{};
    if (vle::ChannelGetData(stream, fft.data(), vle::kDataFft1024) < 0) fft.fill(0.0f);
    spectrum_->Render(*PaintBox1, fft.data(), 0, -1);
    ApplySystemLook(*spectrum_, palette());
}

void TForm1::ShowEngineError(const QString& message) {
    dialogs().Message(this, EngineErrorText(message, vle::ErrorGetCode()));
}

// --- first showing

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    FormShow();
}

void TForm1::FormShow() {
    EnsureSecondaryWindows();
    DetermineFolders();
    // Without any list the rest of the start-up is skipped, as for any failing step.
    if (!LoadChannelList()) return;
    startup_loaded_ = true;
    LoadSettings();
    LayoutByWidth();
    ApplyProgramsButtonRule();
    saved_volume_ = TrackBar1->value();
    ApplyProxyChoice();
    ApplyLanguage();
    ApplyUpdateSettings();
    ApplyBackground();
}

void TForm1::DetermineFolders() {
    settings_folder_ = SettingsFolder();
    program_folder_ = QCoreApplication::applicationDirPath();
}

QString TForm1::SettingsFile() const {
    return settings_folder_ + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

QString TForm1::ChannelListFile() const {
    return settings_folder_ + QLatin1Char('/') + kChannelListFileName;
}

SettingsControls TForm1::BoundControls() {
    SettingsControls c;
    c.window = this;
    c.ComboBox1 = ComboBox1;
    c.TrackBar1 = TrackBar1;
    c.cbDirectConnection = cbDirectConnection;
    c.ed_ProxyServer = ed_ProxyServer;
    c.ShowDate1 = menu_.ShowDate1;
    c.ShowTime1 = menu_.ShowTime1;
    c.RadioButton1 = form3_->RadioButton1();
    c.RadioButton2 = form3_->RadioButton2();
    c.LanguageName = &language_name_;
    c.channels = channels_;
    c.BackgroundName = &background_name_;
    c.Autocheckoff1 = menu_.Autocheckoff1;
    return c;
}

// Restores the stored choices into the controls, when a settings file exists.
void TForm1::LoadSettings() {
    const LoadedSettings loaded = velmora::LoadSettings(SettingsFile());
    // An unreadable file reads as the defaults of every key.
    if (!loaded.settings) return;
    ApplySettings(*loaded.settings, BoundControls());
    Label10->setVisible(menu_.ShowDate1->isChecked());
    Label11->setVisible(menu_.ShowTime1->isChecked());
}

void TForm1::LayoutByWidth() {
    const bool closed = LayoutForClientWidth(width()) == PanelLayout::Closed;
    Image10->setVisible(closed);
    Image11->setVisible(!closed);
    PlaceClockLabels();
}

void TForm1::PlaceClockLabels() {
    velmora::PlaceClockLabels(Label10, Label11, LayoutForClientWidth(width()));
}

void TForm1::ApplyProgramsButtonRule() {
    if (DirectoryRowLacksPrograms(ComboBox1->currentIndex())) Image9->hide();
}

void TForm1::ApplyProxyChoice() {
    cbDirectConnectionClick();
}

// Chooses the interface language from the settings or, when they name none, from the system's
// catalogue language; with neither, the windows keep their start-up texts and no update address.
void TForm1::ApplyLanguage() {
    const int row = ComboBox1->currentIndex();
    if (const LanguageInfo* stored = LanguageByName(language_name_)) {
        ApplyLanguageOf(*stored);
        if (ComboBox1->currentIndex() < 0) ComboBox1->setCurrentIndex(row);
        return;
    }
    const LanguageInfo* system = LanguageByCode(CatalogueLanguage());
    if (!system) return;
    ApplyLanguageOf(*system);
    if (ComboBox1->currentIndex() < 0) ComboBox1->setCurrentIndex(1);
    language_name_ = QString::fromLatin1(system->name);
}

void TForm1::ApplyLanguageOf(const LanguageInfo& language) {
    updateInfoPath_ = QString::fromLatin1(language.update_path);  // the updater's InfoFileURL path
    SwitchCatalogue(QString::fromLatin1(language.code), this);
    RetranslateWindow(this);
    const QString name = QString::fromLatin1(language.name);
    menu_.English1->setEnabled(name != QLatin1String("English"));
    menu_.German1->setEnabled(name != QLatin1String("German"));
    menu_.Russian1->setEnabled(name != QLatin1String("Russian"));
}

// Puts the stored header background into Image3; a name that matches none keeps the designed one.
void TForm1::ApplyBackground() {
    if (const std::optional<Background> b = MatchStoredBackground(background_name_)) {
        ShowBackground(*b);
    }
}

// --- closing

void TForm1::closeEvent(QCloseEvent* event) {
    if (FormClose()) {
        event->accept();
    } else {
        event->ignore();  // a file could not be written: the window stays open
    }
}

bool TForm1::FormClose() {
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
bool TForm1::SaveSettings() {
    const FileStatus status =
        velmora::SaveSettings(SettingsFile(), CollectSettings(BoundControls()));
    if (status.ok()) return true;
    ShowSaveFailure(status.Message());
    return false;
}

void TForm1::ShowSaveFailure(const QString& message) {
    if (save_refused_) {
        dialogs().Error(this, message);  // this close quits all the same
        return;
    }
    dialogs().Error(this, message + QStringLiteral("\n\n") +
                              Msg("Close the window again to quit without saving."));
}

// --- stream status

void TForm1::OnStreamStatus(const StatusReport& report) {
    // Reports of an abandoned opening, or of a stream already stopped, would overwrite the
    // labels of what the user chose since.
    if (report.opening == 0 || report.opening != opening_) return;
    switch (report.code) {
        case StreamStatus::Connecting:
            label5_before_reconnect_.reset();
            Label4->setText(Msg("Connecting..."));
            Label3->clear();
            Label5->clear();
            break;
        case StreamStatus::CannotPlay:
            Label4->setText(Msg("Can't play the stream"));
            break;
        case StreamStatus::Buffering:
            Label4->setText(QString::fromStdString(BufferingText(report.number)));
            break;
        case StreamStatus::StationName:
            // Server texts are bytes in the station's character set, and never markup.
            Label4->setText(
                QString::fromStdString(text_decoder_.DecodeName(StatusText(report.text))));
            station_named_ = station_named_ || !Label4->text().trimmed().isEmpty();
            if (!Label4->text().trimmed().isEmpty()) server_station_ = Label4->text().trimmed();
            break;
        case StreamStatus::Bitrate:
        case StreamStatus::ServerLine:
            Label5->setText(QString::fromStdString(text_decoder_.Decode(StatusText(report.text))));
            break;
        case StreamStatus::Title:
            Label3->setText(
                QString::fromStdString(text_decoder_.DecodeName(StatusText(report.text))));
            break;
        case StreamStatus::Reconnect:
            if (report.number != 0) {
                if (!label5_before_reconnect_) label5_before_reconnect_ = Label5->text();
                Label5->setText(Msg("Reconnecting..."));
            } else if (label5_before_reconnect_) {
                Label5->setText(*label5_before_reconnect_);
                label5_before_reconnect_.reset();
            }
            break;
    }
    mpris_->Changed();
}

// --- transport

void TForm1::Image1Click() {
    EndReplay();
    Play();
}

void TForm1::Play() {
    StopRecording();
    StartIfStopped(Timer2);
    StartIfStopped(Timer3);
    if (!opener_) return;
    if (opener_->IsOpening()) {
        // The running opening's worker may be reading the proxy text right now; the text is
        // copied again by the Play that can start the next opening.
        dialogs().Beep();
        return;
    }
    Panel1->CopyAddressToBuffer();

    const std::string url =
        PlayUrl(user_channel_mode_, user_channel_url_.toStdString(), ComboBox1->currentIndex());
    const std::uint64_t opening = opener_->Start(url);
    if (opening == 0) {
        dialogs().Beep();
        return;
    }
    opening_ = opening;
    channel_name_ = user_channel_mode_ ? user_channel_name_ : ComboBox1->currentText();
    station_named_ = false;
    server_station_.clear();
    mpris_->Changed();
    text_decoder_.Reset();
}

void TForm1::Image4Click() {
    // While recording, the first press only ends the recording; the music plays on.
    if (recording_->Active()) {
        StopRecording();
        return;
    }
    EndReplay();
    AbandonOpening();
    opening_ = 0;
    if (opener_) opener_->StopAndFree();
    mpris_->Changed();
}

// The user's Stop, Play or new choice: a station that failed earlier is not replayed any more.
void TForm1::EndReplay() {
    Timer2->stop();
    replay_.Reset();
}

// Cancels an opening still under way; the labels then say that nothing plays instead of keeping
// its last "Connecting..." or "Buffering...".
void TForm1::AbandonOpening() {
    if (!opener_ || !opener_->IsOpening()) return;
    opener_->Cancel();
    opening_ = 0;
    Label3->clear();
    Label4->setText(Msg("Not playing"));
    Label5->clear();
    mpris_->Changed();
}

void TForm1::ComboBox1Click(int row) {
    StopRecording();
    channels_->ClearSelection();
    user_channel_mode_ = false;
    Image7->show();
    Image9->show();
    const DirectoryChoice choice = ChooseDirectoryRow(row);
    if (choice.row != row) ComboBox1->setCurrentIndex(choice.row);  // raises no click
    if (!choice.show_programs) Image9->hide();
    // A new choice abandons an opening still under way, so that the chosen row opens instead.
    EndReplay();
    AbandonOpening();
    Play();
}

void TForm1::ListBox1Click() {
    const int row = channels_->SelectedRow();
    const QString name = row >= 0 ? channels_->ListBox(0)->item(row)->text() : QString();
    if (name == kSeparatorName) {
        user_channel_mode_ = false;
        list_buttons_[2]->setEnabled(false);  // Image15, "Edit"
        return;
    }
    StopRecording();
    EndReplay();
    AbandonOpening();
    opening_ = 0;
    if (opener_) opener_->StopAndFree();
    if (row < 0) {
        dialogs().Error(this, Msg("Please select a channel!"));
        return;
    }
    user_channel_url_ = channels_->ListBox(1)->item(row)->text();
    user_channel_name_ = name;
    Image7->setVisible(!channels_->ListBox(2)->item(row)->text().isEmpty());
    Image9->setVisible(!channels_->ListBox(3)->item(row)->text().isEmpty());
    user_channel_mode_ = true;
    list_buttons_[2]->setEnabled(true);
    Play();
}

void TForm1::ComboBox1KeyDown(int virtual_key) {
    const int row = ComboBox1->currentIndex();
    const int before = RowBeforeKeyDown(row, virtual_key);
    if (before != row) ComboBox1->setCurrentIndex(before);  // raises no click
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ComboBox1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up && key->modifiers() == Qt::NoModifier) {
            ComboBox1KeyDown(kVirtualKeyUp);
        }
    }
    return QWidget::eventFilter(watched, event);  // the drop-down's own handling follows
}

// --- volume

void TForm1::TrackBar1Change(int position) {
    VolumeOn->setVisible(MuteButtonVisible(position));
    VolumeOff->setVisible(!MuteButtonVisible(position));
    if (worker_volume_) worker_volume_->store(position);
    vle::ChannelSetAttribute(CurrentStream(), vle::Attribute::Volume, EngineVolume(position));
}

void TForm1::VolumeOnClick() {
    saved_volume_ = TrackBar1->value();
    vle::ChannelSetAttribute(CurrentStream(), vle::Attribute::Volume, 0.0f);
    VolumeOn->hide();
    VolumeOff->show();
    TrackBar1->setValue(0);
}

void TForm1::VolumeOffClick() {
    TrackBar1->setValue(UnmutePosition(TrackBar1->value(), saved_volume_));
    VolumeOn->show();
    VolumeOff->hide();
}

// --- station pages

void TForm1::Image7Click() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->ListBox(2)->item(user_row)->text());
        return;
    }
    const int row = ComboBox1->currentIndex();
    if (IsDirectoryStationRow(row)) {
        OpenWebPage(QString::fromUtf8(DirectoryRows()[row].homepage));
    }
}

void TForm1::Image9Click() {
    const int user_row = channels_->SelectedRow();
    if (user_row >= 0) {
        OpenWebPage(channels_->ListBox(3)->item(user_row)->text());
        return;
    }
    const int row = ComboBox1->currentIndex();
    if (!IsDirectoryStationRow(row)) return;
    if (DirectoryRowLacksPrograms(row)) {
        dialogs().Error(this, Msg("Programs are not available!"));
        return;
    }
    OpenWebPage(QString::fromUtf8(DirectoryRows()[row].programs));
}

void TForm1::OpenWebPage(const QString& address) {
    const QUrl url = WebPageUrl(address);
    if (!url.isEmpty()) QDesktopServices::openUrl(url);  // fire and forget
}

// --- proxy

void TForm1::cbDirectConnectionClick() {
    Panel1->cbDirectConnectionClick();
}

// --- now playing

void TForm1::Timer2Timer() {
    switch (replay_.Tick(Label4->text())) {
        case ReplayTick::Wait:
            break;
        case ReplayTick::Replay:
            Play();
            break;
        case ReplayTick::StopTimer:
            Timer2->stop();
            break;
    }
}

void TForm1::Timer3Timer() {
    if (vle::ChannelIsActive(CurrentStream()) != static_cast<int>(vle::ActiveState::Playing)) {
        return;
    }
    StartFixInput in;
    in.slider_position = TrackBar1->value();
    in.user_channel_mode = user_channel_mode_;
    in.directory_row = ComboBox1->currentIndex();
    in.user_row = channels_->SelectedRow();
    if (in.user_row >= 0) {
        in.user_channel_name = channels_->ListBox(0)->item(in.user_row)->text();
        in.user_channel_url = channels_->ListBox(1)->item(in.user_row)->text();
    }
    // A station that names itself nowhere is shown, and recorded, under the channel's own name.
    if (!station_named_ && !channel_name_.isEmpty()) Label4->setText(channel_name_);
    const StartFixes fixes = PlaybackStartFixes(in);
    VolumeOn->setVisible(fixes.volume_on_visible);
    VolumeOff->setVisible(!fixes.volume_on_visible);
    if (fixes.station_text) Label4->setText(*fixes.station_text);
    if (fixes.bitrate_text) Label5->setText(*fixes.bitrate_text);
    if (fixes.record_offered) {
        Image19->setVisible(*fixes.record_offered);
        Image20->setVisible(!*fixes.record_offered);
    }
    Timer2->stop();
    replay_.Reset();
    Timer3->stop();
}

// --- recording

void TForm1::StopRecording() {
    recording_->StopRecording();
}

}  // namespace velmora
