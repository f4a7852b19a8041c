// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_menu.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

#include "app/about_box.h"
#include "app/backgrounds.h"
#include "i18n/message.h"
#include "listening/sleep_timer.h"

// Resources compiled into a static library are only linked when referenced.
static void InitMenuArtwork() {
    Q_INIT_RESOURCE(menu);
}

namespace velmora {

namespace {

QAction* AddItem(QMenu* menu, const char* name, const char* caption,
                 const char* picture = nullptr) {
    QAction* a = menu->addAction(Msg(caption));
    a->setObjectName(QString::fromLatin1(name));
    if (picture) a->setIcon(QIcon(QStringLiteral(":/menu/%1.png").arg(QLatin1String(picture))));
    return a;
}

QAction* AddSeparator(QMenu* menu, const char* name) {
    QAction* a = menu->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QMenu* AddSubmenu(QMenu* menu, const char* name, const char* caption, const char* picture,
                  QAction** item) {
    QMenu* sub = new QMenu(menu);
    sub->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
    *item = menu->addMenu(sub);
    (*item)->setObjectName(QString::fromLatin1(name));
    (*item)->setText(Msg(caption));
    if (picture) {
        (*item)->setIcon(QIcon(QStringLiteral(":/menu/%1.png").arg(QLatin1String(picture))));
    }
    return sub;
}

QAction* Checkable(QAction* a, bool checked) {
    a->setCheckable(true);
    a->setChecked(checked);
    return a;
}

}  // namespace

SettingsMenu BuildSettingsMenu(QWidget* parent) {
    InitMenuArtwork();
    SettingsMenu m;
    QMenu* p = new QMenu(parent);
    p->setObjectName(QStringLiteral("PopupMenu1"));
    m.Popup = p;

    m.ProxyServer = AddItem(p, "ProxyServer1", "Proxy", "proxy");
    m.ProxySeparator = AddSeparator(p, "N1");
    m.BackgroundMenu = AddSubmenu(p, "Background1", "Background", "background", &m.BackgroundItem);
    for (size_t i = 0; i < kBackgrounds.size(); ++i) {
        m.Backgrounds[i] = Checkable(
            AddItem(m.BackgroundMenu, kBackgrounds[i].item_name, kBackgrounds[i].caption), false);
    }
    m.ShowDate = Checkable(AddItem(p, "ShowDate1", "Show Date"), true);
    m.ShowTime = Checkable(AddItem(p, "ShowTime1", "Show Time"), true);
    m.ClockSeparator = AddSeparator(p, "N2");
    m.FindStations = AddItem(p, "FindStations1", "Find Stations...");
    m.FindStations->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m.TitleHistory = AddItem(p, "TitleHistory1", "Title History...");
    m.Notifications = Checkable(AddItem(p, "Notifications1", "Notify of New Titles"), true);
    m.StayAwake = Checkable(AddItem(p, "StayAwake1", "Stay Awake While Playing"), true);
    m.RecordPerSong = Checkable(AddItem(p, "RecordPerSong1", "Record Song by Song"), false);
    m.SongRecording = AddItem(p, "SongRecording1", "Song Recording...");
    m.ScheduledRecordings = AddItem(p, "ScheduledRecordings1", "Scheduled Recordings...");
    m.ListeningSeparator = AddSeparator(p, "N7");
    m.LanguageMenu =
        AddSubmenu(p, "SelectLanguage1", "Select Language", "language", &m.SelectLanguage);
    m.English = AddItem(m.LanguageMenu, "English1", "English", "english");
    m.German = AddItem(m.LanguageMenu, "German1", "German", "german");
    m.Russian = AddItem(m.LanguageMenu, "Russian1", "Russian", "russian");
    m.LanguageSeparator = AddSeparator(p, "N4");
    m.ExportList = AddItem(p, "ChannelListExport1", "Export Channel-List", "export");
    m.ImportList = AddItem(p, "ChannelListImport1", "Import Channel-List", "import");
    m.ListSeparator = AddSeparator(p, "N3");
    m.CheckForUpdate = AddItem(p, "Checkfornewversion1", "Check for new version...", "update");
    m.AutoCheckOff = Checkable(AddItem(p, "Autocheckoff1", "Auto check off"), false);
    m.AutoCheckOff->setVisible(false);
    m.UpdateSeparator = AddSeparator(p, "N6");
    m.SleepTimerMenu = AddSubmenu(p, "SleepTimer1", "Sleep timer", nullptr, &m.SleepTimerItem);
    static constexpr std::array<const char*, 5> kSleepCaptions = {
        Translatable("15 minutes"), Translatable("30 minutes"), Translatable("45 minutes"),
        Translatable("60 minutes"), Translatable("90 minutes")};
    static_assert(kSleepCaptions.size() == kSleepTimerChoices.size());
    for (std::size_t i = 0; i < kSleepCaptions.size(); ++i) {
        const QByteArray name = "Sleep" + QByteArray::number(kSleepTimerChoices[i]);
        m.SleepMinutes[i] = AddItem(m.SleepTimerMenu, name.constData(), kSleepCaptions[i]);
    }
    m.SleepOther = AddItem(m.SleepTimerMenu, "SleepOther", "Other...");
    AddSeparator(m.SleepTimerMenu, "SleepSeparator");
    m.SleepCancel = AddItem(m.SleepTimerMenu, "SleepCancel", "Cancel sleep timer");
    m.SleepCancel->setEnabled(false);
    m.CloseToTray = Checkable(AddItem(p, "CloseToTray1", "Close to tray"), false);
    m.CloseToTray->setEnabled(false);
    m.ListenerSeparator = AddSeparator(p, "N7");
    m.Website = AddItem(p, "Website1", "Website", "website");
    m.About = AddItem(p, "About1", "About", "about");
    m.CloseSeparator = AddSeparator(p, "N5");
    m.CloseItem = AddItem(p, "Close1", "Close", "close");

    // Their features are not in the program yet; shown so the menu keeps its final shape.
    for (QAction* a : {m.ProxyServer, m.SelectLanguage, m.CheckForUpdate}) {
        a->setEnabled(false);
    }

    QObject::connect(m.Website, &QAction::triggered, p, [] { OpenWebsite(); });
    return m;
}

QPoint SettingsMenuPosition(const QWidget* window) {
    return window->frameGeometry().topLeft() + kSettingsMenuOffset;
}

void PopupSettingsMenu(const SettingsMenu& menu, const QWidget* window) {
    menu.Popup->popup(SettingsMenuPosition(window));
}

}  // namespace velmora
