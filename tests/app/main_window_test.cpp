// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QDesktopServices>
#include <QUrl>

#include "channels/directory.h"
#include "support/http_proxy.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Records the web pages the window asks the desktop to open, instead of a browser.
class PageRecorder final : public QObject {
    Q_OBJECT
  public:
    PageRecorder() {
        QDesktopServices::setUrlHandler("http", this, "Open");
        QDesktopServices::setUrlHandler("https", this, "Open");
    }
    ~PageRecorder() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }
    QStringList pages;
  public slots:
    void Open(const QUrl& url) { pages << url.toString(); }
};

class MainWindowTest : public WindowTest {
  protected:
    // Sends every directory opening to a loopback proxy, which records the address asked for
    // and refuses to go anywhere but 127.0.0.1.
    void RouteThroughProxy(HttpProxy& proxy) {
        ProxyBox(window_)->show();  // as the menu's "Proxy" item does
        auto* direct = DirectConnectionBox(window_);
        ClickAt(direct, {6, direct->height() / 2});
        ASSERT_FALSE(direct->isChecked());
        ProxyField(window_)->setText(QString::fromStdString(proxy.Address()));
    }

    static bool Asked(const HttpProxy& proxy, int row, std::size_t times = 1) {
        const std::string url(DirectoryUrl(row));
        std::size_t n = 0;
        for (const auto& r : proxy.Requests()) {
            if (r.request_line.find(url) != std::string::npos) ++n;
        }
        return n >= times;
    }
};

// Play walks through connecting, buffering, station name, bit rate and title, then follows a
// title change while the stream plays.
TEST_F(MainWindowTest, PlayShowsEveryStepAndFollowsTheTitle) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(4.0);
    route.headers = {"icy-name:Loopback FM", "icy-br:128"};
    route.metaint = 8000;
    route.titles = {{0, "First Song"}, {16, "Second Song"}};
    route.burst_bytes = 16000;
    route.bytes_per_second = 40000;
    route.loop = true;
    server.AddStream("/live", route);

    LabelRecorder rec(title_, station_, rate_);
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s)) << station_->text().toStdString();
    rec.Snapshot();

    const QStringList& status = rec.status_texts;
    ASSERT_GE(status.size(), 4) << status.join(" | ").toStdString();
    EXPECT_EQ(status[1], "Connecting...");
    EXPECT_EQ(status.back(), "Loopback FM");
    const QString last_buffering = status[status.size() - 2];
    ASSERT_TRUE(last_buffering.startsWith("Buffering... ")) << last_buffering.toStdString();
    EXPECT_GE(last_buffering.mid(13).chopped(1).toInt(), 76);
    for (int i = 2; i < status.size() - 2; ++i) {
        ASSERT_TRUE(status[i].startsWith("Buffering... ")) << status[i].toStdString();
        EXPECT_LE(status[i].mid(13).chopped(1).toInt(), 75);
    }
    // The server's status line showed while connecting, the bit rate once the tags were read.
    EXPECT_TRUE(rec.rate_texts.contains("ICY 200 OK")) << rec.rate_texts.join("|").toStdString();
    EXPECT_EQ(rate_->text(), "Bitrate: 128 kbps");
    EXPECT_EQ(title_->text(), "First Song");

    EXPECT_TRUE(WaitFor([&] { return title_->text() == "Second Song"; }, 10s));
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join(" | ").toStdString();
    EXPECT_TRUE(answers_.messages.isEmpty());
}

// A station that cannot be reached ends at "Can't play the stream", with no box; Stop before
// any Play, and Stop afterwards, do no harm.
TEST_F(MainWindowTest, UnreachableStationFailsQuietly) {
    Click(StopButton(window_));
    EXPECT_EQ(station_->text(), "Not playing");

    LabelRecorder rec(title_, station_, rate_);
    PlayUserChannel("http://127.0.0.1:1/nothing-listens-here");
    ASSERT_TRUE(WaitFor([&] { return !window_->IsOpening(); }, 10s));
    rec.Snapshot();
    EXPECT_EQ(rec.status_texts.mid(1), QStringList({"Connecting...", "Can't play the stream"}));
    EXPECT_TRUE(title_->text().isEmpty());
    EXPECT_TRUE(rate_->text().isEmpty());
    EXPECT_EQ(window_->CurrentStream(), 0u);
    EXPECT_TRUE(answers_.errors.isEmpty());
    EXPECT_TRUE(answers_.messages.isEmpty());
    Click(StopButton(window_));
    EXPECT_EQ(station_->text(), "Can't play the stream");
}

// A second Play while a station is still connecting only beeps; Stop then cancels the opening,
// and nothing plays once the server answers.
TEST_F(MainWindowTest, SecondPlayBeepsAndStopCancelsTheOpening) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(2.0);
    route.stall_before_header = true;
    route.loop = true;
    server.AddStream("/slow", route);

    PlayUserChannel(server.Url("/slow"));
    // The worker reports before it connects, so the window must keep answering meanwhile.
    ASSERT_TRUE(WaitFor([&] { return server.Connections().size() == 1; }, 5s));
    ASSERT_TRUE(WaitFor([&] { return station_->text() == "Connecting..."; }, 5s));
    Click(PlayButton(window_));
    EXPECT_EQ(answers_.beeps, 1);
    EXPECT_TRUE(window_->IsOpening());

    Click(StopButton(window_));
    server.ResumeStalled();
    // The answer finds the connection dropped by the cancelled opening.
    ASSERT_TRUE(server.WaitForFinished(1, 5s));
    ASSERT_TRUE(WaitFor([&] { return !window_->IsOpening(); }, 2s));
    EXPECT_FALSE(Playing());
    EXPECT_EQ(server.Connections().size(), 1u);
    EXPECT_FALSE(window_->IsOpening());

    // With the opening gone, Play opens again instead of beeping.
    Click(PlayButton(window_));
    EXPECT_EQ(answers_.beeps, 1);
    EXPECT_TRUE(WaitFor([&] { return server.Connections().size() == 2; }, 5s));
}

// Header rows move on to their first station, Up skips a header into the section above, and the
// programmes button follows the row as clicked.
TEST_F(MainWindowTest, DirectoryHeaderRowsAndUpKey) {
    HttpProxy proxy;
    RouteThroughProxy(proxy);
    PageRecorder pages;
    QWidget* programs = ProgramsButton(window_);

    struct Step {
        int pick;      // row clicked, or -1 for Up, -2 for Down
        int lands_on;  // row selected and played afterwards
        bool programs_shown;
    };
    const Step steps[] = {
        {12, 13, true},  {-1, 11, true}, {-2, 13, true}, {7, 7, false},
        {8, 8, true},    {18, 19, true}, {-1, 17, true}, {24, 24, false},
        {-1, 22, false}, {0, 1, true},   {-1, 1, true},  {23, 24, true},
    };
    std::size_t row1_plays = 0;
    for (const Step& s : steps) {
        if (s.pick >= 0) {
            PickRow(DirectoryCombo(window_), s.pick);
        } else {
            PressKey(DirectoryCombo(window_), s.pick == -1 ? Qt::Key_Up : Qt::Key_Down);
        }
        if (s.lands_on == 1) ++row1_plays;
        ASSERT_EQ(DirectoryCombo(window_)->currentIndex(), s.lands_on) << "pick " << s.pick;
        EXPECT_EQ(programs->isVisible(), s.programs_shown) << "row " << s.lands_on;
        EXPECT_TRUE(
            WaitFor([&] { return Asked(proxy, s.lands_on, s.lands_on == 1 ? row1_plays : 1); }, 5s))
            << "row " << s.lands_on << " was not opened";
    }

    // Row 24 reached through its header: the button shows, but the row has no programmes page.
    Click(programs);
    EXPECT_EQ(answers_.errors, QStringList{"Programs are not available!"});
    EXPECT_TRUE(pages.pages.isEmpty());
    Click(HomepageButton(window_));
    EXPECT_EQ(pages.pages, QStringList{QString::fromUtf8(DirectoryRows()[24].homepage)});
    for (const auto& r : proxy.Requests()) {
        EXPECT_NE(r.request_line.find("GET http://"), std::string::npos) << r.request_line;
    }
}

// A user channel's pages win over the directory row; choosing a directory row clears the user
// selection, so the buttons act on the directory again.
TEST_F(MainWindowTest, PageButtonsFollowTheCurrentSource) {
    HttpProxy proxy;
    RouteThroughProxy(proxy);
    PageRecorder pages;
    ChooseUserChannel(
        {{"Mine", "http://127.0.0.1:1/x", "https://mine.example/", "https://mine.example/plan"}});
    Click(HomepageButton(window_));
    Click(ProgramsButton(window_));
    EXPECT_EQ(pages.pages, QStringList({"https://mine.example/", "https://mine.example/plan"}));

    PickRow(DirectoryCombo(window_), 14);
    EXPECT_EQ(window_->Channels()->SelectedRow(), -1);
    pages.pages.clear();
    Click(ProgramsButton(window_));
    EXPECT_EQ(pages.pages, QStringList{QString::fromUtf8(DirectoryRows()[14].programs)});
}

// Dragging to 0 and unmuting returns to the volume remembered at start-up; mute at 70 and unmute
// returns to 70.
TEST_F(MainWindowTest, MuteAndUnmute) {
    auto* slider = VolumeSlider(window_);
    QWidget* on = MuteButton(window_);
    QWidget* off = UnmuteButton(window_);
    slider->setValue(0);
    EXPECT_FALSE(on->isVisible());
    EXPECT_TRUE(off->isVisible());
    Click(off);
    EXPECT_EQ(slider->value(), 90);

    slider->setValue(70);
    Click(on);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_FALSE(on->isVisible());
    EXPECT_TRUE(off->isVisible());
    Click(off);
    EXPECT_EQ(slider->value(), 70);
    EXPECT_TRUE(on->isVisible());
    EXPECT_FALSE(off->isVisible());
}

}  // namespace
}  // namespace velmora

#include "main_window_test.moc"
