// SPDX-License-Identifier: GPL-3.0-or-later
// The listener features: the sleep timer's arithmetic as plain rules; then the real window on a
// private session bus with a stand-in tray watcher and loopback stations, and the real player as
// its own process on a virtual display.
#include <QAction>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QWindow>

#include "listening/sleep_timer.h"
#include "playback/player.h"
#include "session/tray_icon.h"
#include "support/session_bus.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// Minutes round up to the end, the fade is even over its last 30 s, and the timer wakes at the
// next change only: a minute boundary, the fade's start, or the fade's next step.
TEST(SleepTimerRules, MinutesFadeAndWakeUps) {
    struct Row {
        std::int64_t left_ms;
        int minutes;
        double share;
        std::int64_t next_ms;
    };
    // clang-format off
    const Row rows[] = {{3'600'000, 60, 1.0, 60'000}, {3'599'999, 60, 1.0, 59'999},
                        {60'001, 2, 1.0, 1}, {60'000, 1, 1.0, 30'000}, {30'001, 1, 1.0, 1},
                        {30'000, 1, 1.0, 250}, {15'000, 1, 0.5, 250}, {100, 1, 100.0 / 30'000, 100},
                        {0, 0, 0.0, 0}, {-5, 0, 0.0, 0}};
    // clang-format on
    for (const Row& r : rows) {
        EXPECT_EQ(SleepMinutesLeft(r.left_ms), r.minutes) << r.left_ms;
        EXPECT_DOUBLE_EQ(SleepVolumeShare(r.left_ms), r.share) << r.left_ms;
        EXPECT_EQ(SleepNextTickMs(r.left_ms), r.next_ms) << r.left_ms;
    }
}

// The tray's side of the bus: a panel's watcher that records the icons registered with it.
class StandInWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
  public:
    bool HostRegistered() const { return true; }
    QStringList items;

  public slots:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
};

class ListeningWindowTest : public WindowTest {
  protected:
    static void SetUpTestSuite() { bus_ = new PrivateSessionBus; }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("watcher");
        delete bus_;
        bus_ = nullptr;
    }
    void TearDown() override {
        Watcher().unregisterService(kStatusNotifierWatcher);
        Watcher().unregisterObject("/StatusNotifierWatcher");
        WindowTest::TearDown();
    }

    static QDBusConnection Watcher() {
        return QDBusConnection::connectToBus(QString(bus_->Address()), "watcher");
    }
    void StartWatcher() {
        QDBusConnection bus = Watcher();
        bus.registerObject("/StatusNotifierWatcher", &watcher_,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
        ASSERT_TRUE(bus.registerService(kStatusNotifierWatcher));
    }

    template <class T>
    T* Child(const char* name) {
        return window_->findChild<T*>(QLatin1String(name));
    }
    QAction* Item(const char* name) { return Child<QAction>(name); }
    bool ItemEnabledWhenMenuOpens(const char* name) {
        auto* menu = SettingsPopup(window_);
        menu->popup(window_->geometry().center());
        menu->hide();
        return Item(name)->isEnabled();
    }
    Player* ThePlayer() { return Child<Player>("Player"); }

    static inline PrivateSessionBus* bus_ = nullptr;
    StandInWatcher watcher_;
};

// Typed minutes start the timer; the header and the tray show them; the volume fades over the last
// 30 s and a cancel gives it back at once; at the end playback and the recording stop and the
// volume is back for the next Play.
TEST_F(ListeningWindowTest, SleepTimerFadesThenStopsPlaybackAndRecording) {
    StreamServer server;
    server.AddStream("/live", NamedStation());
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing() && RecordButton(window_)->isVisible(); }, 8s));
    auto* timer = Child<SleepTimer>("SleepTimer");
    std::int64_t now = 0;
    timer->SetClock([&] { return now; }, {});
    auto* label = Child<QLabel>("SleepTimerLabel");
    const int volume = ThePlayer()->Volume();

    Item("Sleep15")->trigger();
    now = 15 * 60'000 - 10'000;
    timer->Tick();
    EXPECT_EQ(ThePlayer()->Volume(), qRound(volume / 3.0));
    EXPECT_EQ(label->text(), "Sleep in 1 min");
    ASSERT_TRUE(Item("SleepCancel")->isEnabled());
    Item("SleepCancel")->trigger();
    EXPECT_EQ(ThePlayer()->Volume(), volume);
    EXPECT_FALSE(label->isVisible());
    now += 60'000;
    timer->Tick();
    EXPECT_TRUE(Playing());

    answers_.number = 2;
    Item("SleepOther")->trigger();
    EXPECT_TRUE(label->isVisible() && label->text() == "Sleep in 2 min")
        << label->text().toStdString();
    EXPECT_LT(label->x() + label->width(), DateLabel(window_)->x());
    ASSERT_TRUE(
        WaitFor([&] { return window_->Now()->Title() == "Loopback Band - First Song"; }, 5s));
    EXPECT_EQ(window_->findChild<QSystemTrayIcon*>()->toolTip(),
              "Loopback FM \u2014 Loopback Band - First Song\nSleep in 2 min");
    Click(RecordButton(window_));
    ASSERT_TRUE(Recording());
    const std::int64_t end = now + 2 * 60'000;
    const std::pair<std::int64_t, int> fade[] = {{end - 30'001, volume},
                                                 {end - 15'000, qRound(volume / 2.0)},
                                                 {end - 300, qRound(volume / 100.0)}};
    for (const auto& [at, expected] : fade) {
        now = at;
        timer->Tick();
        EXPECT_EQ(ThePlayer()->Volume(), expected) << end - at;
        EXPECT_TRUE(Playing());
    }
    now = end;
    timer->Tick();
    EXPECT_FALSE(Recording());
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 3s));
    EXPECT_TRUE(server.WaitForFinished(1, 3s));
    EXPECT_EQ(ThePlayer()->Volume(), volume);
    EXPECT_FALSE(label->isVisible() || Item("SleepCancel")->isEnabled());
}

// Next and Previous from the tray walk the user's list when what plays came from it, separators
// passed over and the ends wrapping; the stations played are offered again, newest first.
TEST_F(ListeningWindowTest, NextAndPreviousFollowTheUserList) {
    StreamServer server;
    std::vector<ChannelEntry> list;
    for (const char* name : {"A", "-", "B", "-", "C"}) {
        if (name[0] == '-') {
            list.push_back(ChannelEntry::Separator());
            continue;
        }
        server.AddStream(std::string("/") + name, NamedStation());
        list.push_back({name, QString::fromStdString(server.Url(std::string("/") + name)), {}, {}});
    }
    ChooseUserChannel(list, 0);
    ASSERT_TRUE(WaitFor([&] { return window_->Now()->IsPlaying(); }, 8s));
    const std::pair<const char*, int> steps[] = {
        {"TrayNext", 2}, {"TrayNext", 4}, {"TrayNext", 0}, {"TrayPrevious", 4}};
    for (const auto& [item, row] : steps) {
        Item(item)->trigger();
        EXPECT_EQ(window_->Now()->Choice().row, row) << item;
        EXPECT_EQ(window_->Channels()->SelectedRow(), row) << item;
        EXPECT_TRUE(WaitFor([&] { return window_->Now()->IsPlaying(); }, 8s)) << item;
    }
    QStringList recent;
    for (const char* name : {"TrayRecent1", "TrayRecent2", "TrayRecent3", "TrayRecent4"}) {
        if (Item(name)->isVisible()) recent << Item(name)->text();
    }
    EXPECT_EQ(recent, QStringList({"C", "A", "B"}));
    Item("TrayRecent3")->trigger();
    EXPECT_EQ(window_->Channels()->SelectedRow(), 2);
    EXPECT_EQ(window_->Now()->Choice().name, "B");
}

// A recent station from the user's list is found again after the list has changed around it (a row
// inserted above), and one deleted since plays by its address without selecting anything.
TEST_F(ListeningWindowTest, RecentStationsSurviveAChangedList) {
    StreamServer server;
    std::vector<ChannelEntry> list;
    for (const char* name : {"A", "B"}) {
        server.AddStream(std::string("/") + name, NamedStation());
        list.push_back({name, QString::fromStdString(server.Url(std::string("/") + name)), {}, {}});
    }
    const auto playing = [&] { return WaitFor([&] { return window_->Now()->IsPlaying(); }, 8s); };
    ChooseUserChannel(list, 0);
    ASSERT_TRUE(playing());
    Item("TrayNext")->trigger();
    ASSERT_TRUE(playing());
    ASSERT_EQ(Item("TrayRecent2")->text(), "A");

    window_->Channels()->Insert(0, {{"X", "http://127.0.0.1:9/x", {}, {}}});
    Item("TrayRecent2")->trigger();
    EXPECT_EQ(window_->Channels()->SelectedRow(), 1);
    EXPECT_EQ(window_->Now()->Choice().name, "A");
    ASSERT_TRUE(playing());

    ASSERT_EQ(Item("TrayRecent2")->text(), "B");
    window_->Channels()->Remove(2);
    Item("TrayRecent2")->trigger();
    EXPECT_EQ(window_->Now()->Choice().source, StationSource::Address);
    EXPECT_EQ(window_->Now()->Choice().url, list[1].playlist);
    EXPECT_EQ(window_->Channels()->SelectedRow(), -1);
    EXPECT_TRUE(playing());
}

// "Close to tray" is offered only while a watcher runs; the close box then hides the window while
// the radio plays on, the tray's clicks show it and stop, and its Quit closes and saves.
TEST_F(ListeningWindowTest, CloseToTrayNeedsAWatcherAndQuitSaves) {
    EXPECT_FALSE(ItemEnabledWhenMenuOpens("CloseToTray1"));
    StartWatcher();
    ASSERT_TRUE(ItemEnabledWhenMenuOpens("CloseToTray1"));
    Item("CloseToTray1")->trigger();
    StreamServer server;
    server.AddStream("/live", NamedStation());
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s));

    // The close box: the window system's close reaches the window, which passes it on.
    QCloseEvent close_box;
    QCoreApplication::sendEvent(window_->windowHandle(), &close_box);
    QPointer<MainWindow> form = window_;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(window_->isVisible());
    const std::size_t sent = server.ConnectionsTo("/live")[0].sent_audio.size();
    EXPECT_TRUE(server.WaitForAudioSent("/live", sent + 32000, 3s));
    EXPECT_TRUE(Playing());

    auto* icon = window_->findChild<QSystemTrayIcon*>();
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window_->isVisible());
    emit icon->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 3s));
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window_->isVisible());

    Item("TrayQuit")->trigger();
    ASSERT_TRUE(WaitUntilWindowGone(form));
    EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
    const QByteArray settings = ReadBytes(home_.SettingsFile());
    EXPECT_TRUE(settings.contains("CloseToTray=1")) << settings.toStdString();
}

// The real player, as its own process on a virtual display, registers its icon with the panel's
// watcher, and the panel's middle click stops the station.
TEST_F(ListeningWindowTest, PlayerRegistersItsIconWithThePanel) {
    StartWatcher();
    QProcess display;
    display.start("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    ASSERT_TRUE(display.waitForStarted(5000)) << "Xvfb is needed";
    ASSERT_TRUE(display.waitForReadyRead(5000));
    const QString display_name = ":" + QString::fromLatin1(display.readLine().trimmed());

    StreamServer server;
    server.AddStream("/live", NamedStation());
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display_name);
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString(bus_->Address()));
    QProcess player;
    player.setProcessEnvironment(env);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.start(VELMORA_BUILD_DIR "/bin/velmora", {QString::fromStdString(server.Url("/live"))});
    ASSERT_TRUE(player.waitForStarted(5000));

    EXPECT_TRUE(WaitFor([&] { return !watcher_.items.isEmpty(); }, 10s))
        << "RegisterStatusNotifierItem was not called";
    QDBusConnection bus = Watcher();
    auto item_call = [&](const QString& interface, const QString& method, QVariantList args) {
        QDBusMessage m = QDBusMessage::createMethodCall(watcher_.items.value(0),
                                                        "/StatusNotifierItem", interface, method);
        m.setArguments(args);
        QDBusPendingCall pending = bus.asyncCall(m, 3000);
        WaitFor([&] { return pending.isFinished(); }, 4s);
        return pending.reply();
    };
    ASSERT_TRUE(WaitFor([&] { return server.WaitForAudioSent("/live", 65536, 10ms); }, 10s));
    item_call("org.kde.StatusNotifierItem", "SecondaryActivate", {0, 0});
    EXPECT_TRUE(server.WaitForFinished(1, 5s)) << "a middle click did not stop the station";

    player.terminate();  // the session's end: closes and saves
    EXPECT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitCode(), 0);
    display.terminate();
    display.waitForFinished(5000);
}

}  // namespace
}  // namespace velmora::test

#include "listening_test.moc"
