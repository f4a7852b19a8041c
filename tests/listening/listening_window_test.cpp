// SPDX-License-Identifier: GPL-3.0-or-later
// Title notifications, the suspend inhibitor and the title history with the real window on a
// private session bus, where stand-ins owned by the test play the desktop's services and record
// every call the player makes.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <csignal>

#include "app/title_history_window.h"
#include "listening/title_history.h"
#include "session/sleep_inhibitor.h"
#include "support/session_bus.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

struct Call {
    QString path, interface, member;
    QVariantList args;
    uint answer = 0;  // the id or cookie the stand-in returned
};

// The notification server, inhibit portal, session manager and power management service in one:
// it answers whatever reaches its paths and records the calls. It runs on a thread of its own, as
// a service in another process would, so that a blocking call from the window is answered.
class DesktopStandIn final : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QMutexLocker lock(&mutex_);
        Call call{m.path(), m.interface(), m.member(), m.arguments()};
        QVariantList answer;
        if (call.member == "GetCapabilities") {
            answer << QStringList{"body", "body-markup"};
        } else if (call.member == "Notify") {
            call.answer = ++next_;
            answer << call.answer;
        } else if (call.interface == "org.freedesktop.portal.Inhibit") {
            answer << QVariant::fromValue(QDBusObjectPath(kRequest));
        } else if (call.member == "Inhibit") {
            call.answer = ++next_;
            answer << call.answer;
        }
        calls_.append(call);
        if (call.member == "Notify" && hang_notify) return true;  // never answered
        bus.send(m.createReply(answer));
        return true;
    }
    QList<Call> Calls(const QString& member = {}) const {
        const QMutexLocker lock(&mutex_);
        QList<Call> out;
        for (const Call& c : calls_) {
            if (member.isEmpty() || c.member == member) out << c;
        }
        return out;
    }
    void Forget() {
        const QMutexLocker lock(&mutex_);
        calls_.clear();
    }

    static inline const QString kRequest = "/org/freedesktop/portal/desktop/request/1_1/v1";
    std::atomic<bool> hang_notify = false;

  private:
    mutable QMutex mutex_;
    QList<Call> calls_;
    uint next_ = 100;
};

constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kSessionManager = "org.gnome.SessionManager";
constexpr const char* kPowerManagement = "org.freedesktop.PowerManagement";

// Runs the event loop for `time`: where a test checks that nothing more arrives, there is no
// condition to wait on.
void Pump(std::chrono::milliseconds time) {
    WaitFor([] { return false; }, time);
}

template <class T>
T* FindChild(const QObject* root, const char* name) {
    T* child = root->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class DesktopServicesTest : public WindowTest {
  protected:
    static void SetUpTestSuite() { bus_ = new PrivateSessionBus; }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("listening_stand_ins");
        delete bus_;
        bus_ = nullptr;
    }

    void SetUp() override {
        EnsureApp();
        services_ = QDBusConnection::connectToBus(QString(bus_->Address()), "listening_stand_ins");
        ASSERT_TRUE(services_.isConnected());
        ASSERT_TRUE(services_.registerVirtualObject("/", &stand_in_, QDBusConnection::SubPath));
        stand_in_.moveToThread(&service_thread_);
        service_thread_.start();
        Own({kNotifications, kPortal});
        WindowTest::SetUp();
        other_ = std::make_unique<QWidget>();
        other_->show();
        Deactivate();
    }
    void TearDown() override {
        WindowTest::TearDown();
        services_.unregisterObject("/", QDBusConnection::UnregisterTree);
        Own({});
        service_thread_.quit();
        service_thread_.wait();
    }

    // The stand-in answers under exactly these names.
    void Own(const QStringList& names) {
        for (const char* name : {kNotifications, kPortal, kSessionManager, kPowerManagement}) {
            if (names.contains(name)) {
                ASSERT_TRUE(services_.registerService(name)) << name;
            } else {
                services_.unregisterService(name);
            }
        }
    }
    // Another window takes the focus, as when the user works elsewhere.
    void Deactivate() {
        other_->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return !window_->isActiveWindow(); }, 2s));
    }
    NowPlaying* Now() { return window_->Now(); }
    template <class T>
    T* Child(const char* name) {
        return window_->findChild<T*>(QLatin1String(name));
    }
    QAction* Item(const char* name) { return Child<QAction>(name); }
    QList<Call> Notified(std::size_t count) {
        WaitFor([&] { return stand_in_.Calls("Notify").size() >= qsizetype(count); }, 5s);
        Pump(100ms);  // nothing more may follow
        return stand_in_.Calls("Notify");
    }
    // A station starts playing under `name`, as the player reports it.
    void PlayAs(const QString& name) {
        Now()->SetOpening("Connecting...");
        Now()->SetServerStation(name);
        Now()->SetPlaying();
    }
    QString HistoryFile() const {
        return QFileInfo(home_.SettingsFile()).path() + "/" + kTitleHistoryFileName;
    }

    static inline PrivateSessionBus* bus_ = nullptr;
    QDBusConnection services_{QString()};
    QThread service_thread_;
    DesktopStandIn stand_in_;
    std::unique_ptr<QWidget> other_;  // where the focus goes
};

// A loopback station's title changes give one notification each, the station as summary and the
// title as body, each replacing the one before; a repeat of the title gives none. Then the rules
// on a titles the window is told directly: none while the window is active, none with the item
// off, markup escaped for a server that reads it.
TEST_F(DesktopServicesTest, OneNotificationPerNewTitleReplacingTheLast) {
    StreamRoute route;
    SineSpec sine;
    sine.seconds = 10.0;
    route.audio = EncodeSine(sine);
    route.metaint = 4096;
    route.burst_bytes = 32768;
    route.bytes_per_second = 32000;
    route.loop = true;
    route.headers = {"icy-name:Loopback FM"};
    route.titles = {{0, "Band - One"}, {16, "Band - Two"}, {24, "Band - Two"}, {32, "Band - One"}};
    StreamServer server;
    server.AddStream("/live", route);
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return stand_in_.Calls("Notify").size() >= 3; }, 15s));
    QList<Call> calls = Notified(3);
    ASSERT_EQ(calls.size(), 3);
    const char* bodies[] = {"Band - One", "Band - Two", "Band - One"};
    uint previous_id = 0;
    for (int i = 0; i < 3; ++i) {
        const QVariantList& a = calls[i].args;
        ASSERT_EQ(a.size(), 8);
        EXPECT_EQ(a[1].toUInt(), previous_id) << i;  // replaces_id
        EXPECT_EQ(a[2].toString(), "velmora");       // the installed icon's name
        EXPECT_EQ(a[3].toString(), "Loopback FM");
        EXPECT_EQ(a[4].toString(), bodies[i]);
        previous_id = calls[i].answer;
    }
    // A recording started during a title marks it, and the titles after it.
    auto* record = RecordButton(window_);
    ASSERT_TRUE(WaitFor([&] { return record->isVisible(); }, 5s));
    Click(record);
    Now()->SetTitle("Band - Three");
    ASSERT_EQ(Notified(4).size(), 4);
    for (int i = 0; i < 2; ++i) Click(StopButton(window_));  // the recording, then playback
    TitleHistory stored(HistoryFile());
    ASSERT_FALSE(stored.Load());
    ASSERT_EQ(stored.Entries().size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(stored.Entries()[i].recorded, i < 2) << i;

    struct Step {
        const char* title;
        bool active, enabled;
        const char* body;  // nothing expected: null
    };
    const Step steps[] = {
        {"Band - Three", false, true, nullptr},  // the last shown again
        {"Seen - Here", true, true, nullptr},    // the user looks at the window
        {"Off - Item", false, false, nullptr},
        {"Rock & Roll <Live>", false, true, "Rock &amp; Roll &lt;Live&gt;"},
        // One line, and a direction override cannot turn the rest around.
        {"\x1b[1mA\r\nB \u202Eevil", false, true, " [1mA  B evil"},
    };
    PlayAs("Loopback FM");
    for (const Step& s : steps) {
        if (s.active) {
            window_->activateWindow();
            ASSERT_TRUE(WaitFor([&] { return window_->isActiveWindow(); }, 2s));
        }
        if (Item("Notifications1")->isChecked() != s.enabled) Item("Notifications1")->trigger();
        stand_in_.Forget();
        Now()->SetTitle(s.title);
        calls = Notified(s.body ? 1 : 0);
        ASSERT_EQ(calls.size(), s.body ? 1 : 0) << s.title;
        if (s.body) {
            EXPECT_EQ(calls[0].args[4].toString(), s.body);
        }
        if (s.active) Deactivate();
    }
}

// A service that owns the name but never answers holds nothing up, and without any service
// nothing is shown.
TEST_F(DesktopServicesTest, NotificationsNeverWait) {
    stand_in_.hang_notify = true;
    PlayAs("Loopback FM");
    QElapsedTimer clock;
    clock.start();
    for (const char* title : {"A - 1", "A - 2", "A - 3"}) Now()->SetTitle(title);
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_TRUE(WaitFor([&] { return stand_in_.Calls("Notify").size() == 1; }, 3s));

    Own({});
    clock.restart();
    Now()->SetTitle("B - 1");
    EXPECT_LT(clock.elapsed(), 200);
    Pump(200ms);
    EXPECT_EQ(stand_in_.Calls("Notify").size(), 1);
}

// The computer is kept awake exactly while a station plays: asked with the station's name when
// playback begins, released on Stop, on a failure, for another station and at the close.
TEST_F(DesktopServicesTest, InhibitorHeldExactlyWhilePlaying) {
    struct Step {
        const char* what;
        std::function<void()> act;
        qsizetype inhibits, closes;  // every call so far
    };
    const Step steps[] = {
        {"play", [&] { PlayAs("Loopback FM"); }, 1, 0},
        {"stop", [&] { Now()->SetStopped(); }, 1, 1},
        {"play again", [&] { PlayAs("Loopback FM"); }, 2, 1},
        {"another station", [&] { PlayAs("Other FM"); }, 3, 2},
        {"failure", [&] { Now()->SetFailed("Can't play the stream"); }, 3, 3},
        {"play after failure", [&] { PlayAs("Loopback FM"); }, 4, 3},
        {"close", [&] { ASSERT_TRUE(CloseAndFlush(window_)); }, 4, 4},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_TRUE(WaitFor(
            [&] {
                return stand_in_.Calls("Inhibit").size() == s.inhibits &&
                       stand_in_.Calls("Close").size() == s.closes;
            },
            3s))
            << s.what;
    }
    window_ = nullptr;
    const QList<Call> inhibits = stand_in_.Calls("Inhibit");
    EXPECT_EQ(inhibits[0].args[0].toString(), "");
    EXPECT_EQ(inhibits[0].args[1].toUInt(), 4u);  // suspend
    const QString reasons[] = {"Playing Loopback FM", "Playing Other FM"};
    EXPECT_EQ(qdbus_cast<QVariantMap>(inhibits[0].args[2])["reason"], reasons[0]);
    EXPECT_EQ(qdbus_cast<QVariantMap>(inhibits[2].args[2])["reason"], reasons[1]);
    EXPECT_EQ(stand_in_.Calls("Close")[3].path, DesktopStandIn::kRequest);
}

// Without the portal the session manager is asked, without both the power management service;
// the cookie given is the one returned. Off in the menu, nothing is asked.
TEST_F(DesktopServicesTest, InhibitorFallsBackInOrder) {
    struct Row {
        QStringList owned;
        const char* interface;  // expected to grant; null: none asked
        const char* release;
    };
    const Row rows[] = {
        {{kSessionManager, kPowerManagement}, "org.gnome.SessionManager", "Uninhibit"},
        {{kPowerManagement}, "org.freedesktop.PowerManagement.Inhibit", "UnInhibit"},
        {{kPortal}, nullptr, nullptr},
    };
    for (const Row& r : rows) {
        Own(r.owned);
        stand_in_.Forget();
        if (!r.interface) Item("StayAwake1")->trigger();
        PlayAs("Loopback FM");
        if (!r.interface) {
            Pump(300ms);
            EXPECT_TRUE(stand_in_.Calls("Inhibit").isEmpty());
            continue;
        }
        // Stopped only once held: a stop before the answer asks no further service.
        ASSERT_TRUE(WaitFor([&] { return window_->findChild<SleepInhibitor*>()->Held(); }, 3s));
        EXPECT_EQ(stand_in_.Calls("Inhibit").last().interface, r.interface);
        Now()->SetStopped();
        ASSERT_TRUE(WaitFor([&] { return !stand_in_.Calls(r.release).isEmpty(); }, 3s));
        EXPECT_EQ(stand_in_.Calls(r.release)[0].args[0], stand_in_.Calls("Inhibit").last().answer);
    }
}

// Titles enter the history once each, the recording marked; they are kept across a restart, the
// window filters and copies them, and clears them after a question. A write the disk refuses is
// told once and leaves the previous file.
TEST_F(DesktopServicesTest, HistoryWindowAndFile) {
    PlayAs("Loopback FM");
    for (const char* title : {"A - 1", "", "A - 2", "B - 3"}) Now()->SetTitle(title);
    Now()->SetTitle("B - 3");  // no change
    ASSERT_TRUE(CloseAndFlush(window_));
    window_ = new MainWindow;
    window_->show();
    PlayAs("Loopback FM");

    window_->ShowTitleHistory();
    auto* window = window_->findChild<TitleHistoryWindow*>();
    ASSERT_NE(window, nullptr);
    auto* list = FindChild<QTreeWidget>(window, "HistoryList");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "B - 3");
    EXPECT_EQ(list->topLevelItem(2)->text(1), "Loopback FM");

    FindChild<QLineEdit>(window, "HistoryFilter")->setText("a - ");
    list->selectAll();
    FindChild<QPushButton>(window, "CopyButton")->click();
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), 2);
    EXPECT_TRUE(copied[0].endsWith("  Loopback FM  A - 2")) << copied[0].toStdString();
    EXPECT_TRUE(list->topLevelItem(0)->isHidden());

    // A disk that takes no more than the file holds: one message, the old file kept.
    const QByteArray before = ReadBytes(HistoryFile());
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit full = unlimited;
    full.rlim_cur = before.size();
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    for (const char* title : {"C - 4", "C - 5"}) Now()->SetTitle(title);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_EQ(answers_.errors.size(), 1) << answers_.errors.join('\n').toStdString();
    EXPECT_EQ(ReadBytes(HistoryFile()), before);
    EXPECT_EQ(list->topLevelItemCount(), 5);

    FindChild<QPushButton>(window, "ClearButton")->click();  // answered No
    EXPECT_EQ(answers_.questions.size(), 1);
    EXPECT_EQ(list->topLevelItemCount(), 5);
    answers_.answer_yes = true;
    FindChild<QPushButton>(window, "ClearButton")->click();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(ReadBytes(HistoryFile()), QByteArray());
}

// The history and the settings are links to notes of the user's: each is told once, and neither
// the titles nor the close write over the notes.
TEST_F(DesktopServicesTest, LinksToOtherFilesAreToldAndKept) {
    ASSERT_TRUE(CloseAndFlush(window_));
    const QString notes = home_.Root() + "/notes.txt";
    const QByteArray kNotes = "buy milk\ncall the landlord\n";
    WriteBytes(notes, kNotes);
    QFile::remove(home_.SettingsFile());
    QFile::remove(HistoryFile());
    ASSERT_TRUE(QFile::link(notes, home_.SettingsFile()));
    ASSERT_TRUE(QFile::link(notes, HistoryFile()));
    answers_.errors.clear();
    window_ = new MainWindow;
    window_->show();
    ASSERT_TRUE(WaitFor([&] { return answers_.errors.size() == 2; }, 2s));
    EXPECT_TRUE(answers_.errors.join('\n').contains(HistoryFile()));
    EXPECT_TRUE(answers_.errors.join('\n').contains(home_.SettingsFile()));
    PlayAs("Loopback FM");
    for (const char* title : {"A - 1", "A - 2"}) Now()->SetTitle(title);
    ASSERT_TRUE(CloseAndFlush(window_));
    window_ = nullptr;
    EXPECT_EQ(answers_.errors.size(), 2);
    EXPECT_EQ(ReadBytes(notes), kNotes);
}

}  // namespace
}  // namespace velmora::test
