// SPDX-License-Identifier: GPL-3.0-or-later
// The Player over the real engine and loopback stations. It lives among the window tests because,
// like each window, every Player starts and releases the engine of the process.
#include "playback/player.h"

#include <QStringList>
#include <QTimer>

#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_harness.h"
#include "support/window_parts.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApp();
        ASSERT_EQ(player_.StartEngine(), Player::StartupFailure::None)
            << player_.StartupErrorCode();
        const auto tag = [this](const char* what) {
            return [this, what](std::uint64_t opening) { Add(opening, what); };
        };
        const auto text = [this](const char* what) {
            return [this, what](std::uint64_t opening, const QString& t) {
                Add(opening, QString("%1:%2").arg(what, t));
            };
        };
        QObject::connect(&player_, &Player::opening, tag("opening"));
        QObject::connect(&player_, &Player::playing, tag("playing"));
        QObject::connect(&player_, &Player::stopped, tag("stopped"));
        QObject::connect(&player_, &Player::failed,
                         [this](std::uint64_t o, int code) { Add(o, code != 0 ? "failed" : "0"); });
        QObject::connect(&player_, &Player::station, text("station"));
        QObject::connect(&player_, &Player::bitRate, text("rate"));
        QObject::connect(&player_, &Player::title, text("title"));
        QObject::connect(&player_, &Player::buffering, [this](std::uint64_t o, int) {
            if (events_.isEmpty() || events_.back() != "buffering") Add(o, "buffering");
        });
    }

    void Add(std::uint64_t opening, const QString& event) {
        // Every signal must belong to the opening the test started last.
        EXPECT_EQ(opening, expected_) << event.toStdString();
        events_ << event;
    }
    std::uint64_t Play(const std::string& path) {
        expected_ = player_.Play(server_.Url(path));
        EXPECT_NE(expected_, 0u);
        return expected_;
    }
    bool Idle() const {
        return !StartWatch(&player_)->isActive() && !EndWatch(&player_)->isActive();
    }

    Player player_{nullptr, 10, 20};
    StreamServer server_;
    QStringList events_;
    std::uint64_t expected_ = 0;
};

// A station's texts arrive decoded and in order, playing comes once, the analyser has data while
// it plays; Stop says stopped for that opening and leaves no timer running.
TEST_F(PlayerTest, PlaysReportsAndStops) {
    StreamRoute route;
    route.audio = EncodeSine({});
    route.loop = true;
    route.headers = {"icy-name:Caf\xe9 FM", "icy-br:128"};
    route.metaint = 8192;
    route.titles = {{0, "Gr\xfc\xdf Gott"}};
    server_.AddStream("/live", route);
    const std::uint64_t id = Play("/live");
    EXPECT_EQ(player_.Play(server_.Url("/live")), 0u);  // refused while opening
    ASSERT_TRUE(WaitFor([&] { return events_.contains("playing"); }, 8s));
    EXPECT_EQ(events_, QStringList({"opening", "buffering", "station:Café FM",
                                    "rate:Bitrate: 128 kbps", "title:Grüß Gott", "playing"}));
    Player::Magnitudes fft{};
    EXPECT_TRUE(player_.AnalyserData(fft));
    EXPECT_TRUE(player_.IsBusy());
    EXPECT_EQ(player_.CurrentOpening(), id);

    player_.Stop();
    EXPECT_EQ(events_.back(), "stopped");
    EXPECT_FALSE(player_.AnalyserData(fft));
    EXPECT_FALSE(player_.IsBusy());
    EXPECT_TRUE(Idle());
}

// The end of a stream, a refused address and an abandoned opening each end in one signal for
// their own opening, after which nothing is watched; a cancelled opening reports nothing more.
TEST_F(PlayerTest, EndsFailuresAndCancels) {
    StreamRoute short_route;
    SineSpec half_second;
    half_second.seconds = 0.5;
    short_route.audio = EncodeSine(half_second);
    short_route.style = StatusStyle::Http10;
    server_.AddStream("/short", short_route);
    Play("/short");
    ASSERT_TRUE(WaitFor([&] { return events_.contains("stopped"); }, 8s))
        << events_.join(' ').toStdString();
    EXPECT_TRUE(events_.contains("playing"));
    EXPECT_TRUE(Idle());

    events_.clear();
    Play("/missing");
    ASSERT_TRUE(WaitFor([&] { return !events_.isEmpty() && events_.back() == "failed"; }, 8s));
    EXPECT_EQ(events_, QStringList({"opening", "failed"}));
    EXPECT_TRUE(WaitFor([&] { return Idle(); }, 1s));

    StreamRoute silent;
    silent.stall_before_header = true;
    silent.audio = EncodeSine(SineSpec{});
    silent.loop = true;  // the server ends only when the player has dropped the connection
    server_.AddStream("/silent", silent);
    events_.clear();
    Play("/silent");
    // Cancelled while the server keeps its answer back.
    ASSERT_TRUE(WaitFor(
        [&] { return events_.contains("opening") && !server_.ConnectionsTo("/silent").empty(); },
        5s));
    player_.Cancel();
    EXPECT_EQ(events_, QStringList({"opening", "stopped"}));
    expected_ = 0;  // anything after this would fail Add()
    // Once the server answers it finds the connection dropped; nothing more is reported.
    server_.ResumeStalled();
    ASSERT_TRUE(WaitFor([&] { return server_.ConnectionsTo("/silent")[0].finished; }, 5s));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events_.size(), 2);
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(player_.IsBusy());
}

}  // namespace
}  // namespace velmora::test
