// SPDX-License-Identifier: GPL-3.0-or-later
// The now-playing box of the real window: automatic replay, the fixes once playback starts, the
// title label's copy function and the proxy panel, over loopback servers and the real engine.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>

#include "channels/directory.h"
#include "support/http_proxy.h"
#include "support/playlist_bodies.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the window had done by the end of one tick of the replay timer.
struct ReplayTickSeen {
    Clock::duration at;
    bool replayed;  // a new opening was started by the tick
    int retry_count;
};

// Watches the replay timer; connected after the window's own handler, so it sees its outcome.
class ReplayWatch {
  public:
    ReplayWatch(QTimer* replay_timer, MainWindow* form,
                std::function<void(const ReplayTickSeen&)> also = {})
        : start_(Clock::now()) {
        QObject::connect(replay_timer, &QTimer::timeout, &context_, [=, this] {
            // The new worker's first report waits for this thread, so it is still opening.
            ticks.push_back({Clock::now() - start_, form->IsOpening(), form->RetryCount()});
            if (also) also(ticks.back());
        });
    }
    std::vector<ReplayTickSeen> ticks;

  private:
    QObject context_;
    Clock::time_point start_;
};

using NowPlayingTest = WindowTest;

// A station whose server is down: "Connecting...", "Can't play the stream", then exactly four
// replays about two seconds apart, and the tick after the fourth stops the timer.
TEST_F(NowPlayingTest, DownServerIsReplayedFourTimes) {
    auto* replay_timer = ReplayTimer(window_);
    ReplayWatch watch(replay_timer, window_);
    LabelRecorder rec(title_, station_, rate_);
    PlayUserChannel("http://127.0.0.1:1/down");
    ASSERT_TRUE(replay_timer->isActive());
    ASSERT_TRUE(WaitFor([&] { return !replay_timer->isActive(); }, 13s));
    ASSERT_TRUE(WaitFor([&] { return !window_->IsOpening(); }, 2s));
    rec.Snapshot();

    ASSERT_EQ(watch.ticks.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(watch.ticks[i].replayed) << i;
        EXPECT_EQ(watch.ticks[i].retry_count, static_cast<int>(i) + 1);
    }
    EXPECT_FALSE(watch.ticks[4].replayed);
    EXPECT_EQ(watch.ticks[4].retry_count, 0);
    for (std::size_t i = 0; i < watch.ticks.size(); ++i) {
        const auto gap = watch.ticks[i].at - (i ? watch.ticks[i - 1].at : Clock::duration{});
        EXPECT_GT(gap, 1700ms) << i;
        EXPECT_LT(gap, 2600ms) << i;
    }
    QStringList expected;
    for (int i = 0; i < 5; ++i)
        expected << "Connecting..."
                 << "Can't play the stream";
    EXPECT_EQ(rec.status_texts.mid(1), expected);
    EXPECT_EQ(station_->text(), "Can't play the stream");
    EXPECT_TRUE(answers_.errors.isEmpty());
    EXPECT_EQ(answers_.beeps, 0);
}

// Two failed openings, then a replay that plays: the count goes back to 0, both timers stop and
// recording is offered for the plain stream address.
TEST_F(NowPlayingTest, SuccessfulReplayResetsTheCount) {
    StreamServer server;
    auto* replay_timer = ReplayTimer(window_);
    auto* start_timer = StartWatch(window_);
    // The station comes up while the second replay is connecting.
    ReplayWatch watch(replay_timer, window_, [&](const ReplayTickSeen& tick) {
        if (tick.replayed && tick.retry_count == 2) {
            StreamRoute route;
            route.audio = Mp3(2.0);
            route.headers = {"icy-name:Late FM"};
            route.loop = true;
            server.AddStream("/late", route);
        }
    });
    PlayUserChannel(server.Url("/late"));
    ASSERT_TRUE(WaitFor([&] { return Playing() && !start_timer->isActive(); }, 8s))
        << station_->text().toStdString();
    EXPECT_FALSE(replay_timer->isActive());
    EXPECT_EQ(window_->RetryCount(), 0);
    ASSERT_EQ(watch.ticks.size(), 2u);
    EXPECT_EQ(server.ConnectionsTo("/late").size(), 3u);
    EXPECT_EQ(station_->text(), "Late FM");
    EXPECT_TRUE(RecordButton(window_)->isVisible());
    EXPECT_FALSE(CannotRecordPicture(window_)->isVisible());
}

// Directory rows, with the loopback server standing in as the proxy for the stations' hosts: a
// ".pls" station keeps the texts its server announces and offers recording; an ".asx" station
// shows the row's fixed texts instead of the announced ones and refuses recording.
TEST_F(NowPlayingTest, DirectoryRowsFixedTextsAndRecordOffer) {
    StreamServer server;
    StreamRoute announced;
    announced.audio = Mp3(2.0);
    announced.loop = true;
    announced.headers = {"icy-name:Kultura Loop", "icy-br:128"};
    server.AddStream("/pls-stream", announced);
    announced.headers = {"icy-name:Svoboda Loop", "icy-br:64"};
    server.AddStream("/asx-stream", announced);
    // The proxy asks for the stations' absolute addresses; the server answers by their paths.
    server.AddBody("/live/kultura.pls", 200, kPlsType, PlsBody({server.Url("/pls-stream")}));
    server.AddBody("/live/svoboda96.asx", 200, kAsxType, AsxBody({server.Url("/asx-stream")}));
    ASSERT_NE(DirectoryUrl(3).find("/live/kultura.pls"), std::string_view::npos);
    ASSERT_NE(DirectoryUrl(9).find("/live/svoboda96.asx"), std::string_view::npos);

    ProxyItem(window_)->trigger();
    auto* direct = DirectConnectionBox(window_);
    ClickAt(direct, {6, direct->height() / 2});
    ASSERT_FALSE(direct->isChecked());
    ProxyField(window_)->setText("127.0.0.1:" + QString::number(server.port()));
    auto* combo = DirectoryCombo(window_);
    auto* start_timer = StartWatch(window_);
    QWidget* record = RecordButton(window_);
    QWidget* cannot_record = CannotRecordPicture(window_);
    EXPECT_FALSE(record->isVisible());
    EXPECT_TRUE(cannot_record->isVisible());

    PickRow(combo, 3);
    ASSERT_TRUE(WaitFor([&] { return Playing() && !start_timer->isActive(); }, 8s))
        << station_->text().toStdString();
    EXPECT_EQ(station_->text(), "Kultura Loop");
    EXPECT_EQ(rate_->text(), "Bitrate: 128 kbps");
    EXPECT_TRUE(record->isVisible());
    EXPECT_FALSE(cannot_record->isVisible());

    const engine::Handle first = window_->CurrentStream();
    PickRow(combo, 9);
    ASSERT_TRUE(WaitFor(
        [&] { return window_->CurrentStream() != first && Playing() && !start_timer->isActive(); },
        8s))
        << station_->text().toStdString();
    EXPECT_EQ(station_->text(), QString::fromUtf8(DirectoryRows()[9].fixed_name));
    EXPECT_EQ(rate_->text(), "Bitrate: 96 kbps");
    EXPECT_FALSE(record->isVisible());
    EXPECT_TRUE(cannot_record->isVisible());
    EXPECT_EQ(server.ConnectionsTo("/asx-stream").size(), 1u);
}

// Each station's texts show in its own character set: a Windows-1251 name decides the stream,
// so a later title that fits either code page reads as Cyrillic; the next station starts
// undecided and reads the same title bytes as Western. References are resolved.
TEST_F(NowPlayingTest, StationTextsShowInTheStreamsCharacterSet) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(2.0);
    route.loop = true;
    route.metaint = 8192;
    route.headers = {"icy-name:\xD0\xE0\xE4\xE8\xEE &amp; \xCC\xE8\xF0"};
    route.titles = {{0, "Track \xC0"}};
    server.AddStream("/cyrillic", route);
    route.headers = {"icy-name:Deux &#39;FM&#39;"};
    server.AddStream("/western", route);

    const struct {
        const char* path;
        const char* station;
        const char* title;
    } rows[] = {
        {"/cyrillic", "\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE & \xD0\x9C\xD0\xB8\xD1\x80",
         "Track \xD0\x90"},
        {"/western", "Deux 'FM'", "Track \xC3\x80"},
    };
    for (const auto& r : rows) {
        PlayUserChannel(server.Url(r.path));
        EXPECT_TRUE(WaitFor([&] { return title_->text() == QString::fromUtf8(r.title); }, 8s))
            << r.path << ": " << title_->text().toStdString();
        EXPECT_EQ(station_->text(), QString::fromUtf8(r.station)) << r.path;
    }
}

// Hint and cursor follow the title as the mouse moves over it; a click copies the text, an
// empty one too.
TEST_F(NowPlayingTest, TitleLabelHintAndCopy) {
    const auto move_over = [&] {
        const QPointF p(5, 5);
        QMouseEvent move(QEvent::MouseMove, p, title_->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(title_, &move);
    };
    const QString fifty(50, QChar('t'));
    title_->setText(fifty);
    move_over();
    EXPECT_EQ(title_->toolTip(), "Copy");
    EXPECT_EQ(title_->cursor().shape(), Qt::PointingHandCursor);

    const QString fifty_one = "Artist / " + QString(42, QChar('s'));
    ASSERT_EQ(fifty_one.size(), 51);
    title_->setText(fifty_one);
    move_over();
    EXPECT_EQ(title_->toolTip(), fifty_one);
    Click(title_);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), fifty_one);

    title_->clear();
    move_over();
    EXPECT_TRUE(title_->toolTip().isEmpty());
    EXPECT_EQ(title_->cursor().shape(), Qt::ArrowCursor);
    Click(title_);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}

// The menu shows the panel over the "Currently playing" frame. With "Proxy off" cleared the
// stream goes through the authenticating proxy, without pressing OK; ticked, the next Play goes
// direct although the address stays. Both survive a restart.
TEST_F(NowPlayingTest, ProxyPanelRoutesTheNextPlay) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(2.0);
    route.loop = true;
    server.AddStream("/mount", route);
    HttpProxy proxy("listener", "s3cret");

    auto* panel = ProxyBox(window_);
    auto* direct = DirectConnectionBox(window_);
    auto* field = ProxyField(window_);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(direct->isChecked());
    EXPECT_FALSE(field->isEnabled());
    auto* item = ProxyItem(window_);
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), PlayingBox(window_)->geometry());

    ClickAt(direct, {6, direct->height() / 2});
    ASSERT_FALSE(direct->isChecked());
    ASSERT_TRUE(field->isEnabled());
    field->setText(QString::fromStdString(proxy.Address()));
    PlayUserChannel(server.Url("/mount"));
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s)) << station_->text().toStdString();
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_TRUE(proxy.Requests()[0].authorised);
    EXPECT_NE(proxy.Requests()[0].request_line.find(server.Url("/mount")), std::string::npos);

    ClickAt(direct, {6, direct->height() / 2});
    ASSERT_TRUE(direct->isChecked());
    EXPECT_FALSE(field->isEnabled());
    Click(ProxyOkButton(window_));
    EXPECT_FALSE(panel->isVisible());
    const engine::Handle proxied = window_->CurrentStream();
    Click(PlayButton(window_));
    ASSERT_TRUE(WaitFor([&] { return window_->CurrentStream() != proxied && Playing(); }, 8s));
    EXPECT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(server.ConnectionsTo("/mount").size(), 2u);

    // The settings keep the switch and the address.
    ASSERT_TRUE(CloseWindow());
    OpenWindow();
    EXPECT_TRUE(DirectConnectionBox(window_)->isChecked());
    EXPECT_EQ(ProxyField(window_)->text(), QString::fromStdString(proxy.Address()));
    EXPECT_FALSE(ProxyField(window_)->isEnabled());
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join("|").toStdString();
}

// A station whose server drops the connection once: the rate label shows "Reconnecting..." while
// the engine reconnects, then the bit rate again once the same stream plays; the station stays
// shown.
TEST_F(NowPlayingTest, DroppedStationShowsReconnectingThenPlaysOn) {
    engine::SetConfig(engine::Config::NetReconnectDelay, 700);
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(2.0);
    route.loop = true;
    route.headers = {"icy-name:Reconnect FM", "icy-br:128"};
    route.burst_bytes = 16000;
    route.bytes_per_second = 32000;
    route.drop_after = 100000;  // after the buffering wait
    route.drops = 1;
    server.AddStream("/drop", route);
    PlayUserChannel(server.Url("/drop"));
    auto* start_timer = StartWatch(window_);
    ASSERT_TRUE(WaitFor([&] { return Playing() && !start_timer->isActive(); }, 8s));
    const unsigned stream = window_->CurrentStream();
    EXPECT_EQ(rate_->text(), "Bitrate: 128 kbps");

    ASSERT_TRUE(WaitFor([&] { return rate_->text() == "Reconnecting..."; }, 5s))
        << rate_->text().toStdString();
    ASSERT_TRUE(WaitFor([&] { return rate_->text() != "Reconnecting..."; }, 5s));
    EXPECT_EQ(rate_->text(), "Bitrate: 128 kbps");
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 5s));
    EXPECT_EQ(window_->CurrentStream(), stream);
    EXPECT_EQ(station_->text(), "Reconnect FM");
    EXPECT_EQ(server.ConnectionsTo("/drop").size(), 2u);
    engine::SetConfig(engine::Config::NetReconnectDelay, 1000);
}

// A stopped window sleeps: only the clock is armed, for its next change, and not at all with the
// date and time hidden. The analyser runs while the stream sounds and stops with it.
TEST_F(NowPlayingTest, TimersRunOnlyWhileNeeded) {
    const auto idle = [&] {
        for (QTimer* t : {AnalyserTimer(window_), ReplayTimer(window_), BlinkTimer(window_),
                          StartWatch(window_), EndWatch(window_)}) {
            if (t->isActive()) return false;
        }
        return true;
    };
    auto* clock = ClockTimer(window_);
    auto* placeholder = AnalyserPlaceholder(window_);
    EXPECT_TRUE(idle());
    EXPECT_TRUE(clock->isActive());
    EXPECT_LE(clock->remainingTime(), 1005);
    ShowDateItem(window_)->trigger();
    ShowTimeItem(window_)->trigger();
    EXPECT_FALSE(clock->isActive());
    ShowDateItem(window_)->trigger();
    EXPECT_TRUE(clock->isActive());
    EXPECT_GT(clock->remainingTime(), 1005);  // the date changes at midnight

    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(2.0);
    route.loop = true;
    server.AddStream("/live", route);
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing() && placeholder->isHidden(); }, 8s));
    EXPECT_TRUE(AnalyserTimer(window_)->isActive());
    EXPECT_FALSE(StartWatch(window_)->isActive());
    Click(StopButton(window_));
    EXPECT_TRUE(idle());
}

}  // namespace
}  // namespace velmora::test
