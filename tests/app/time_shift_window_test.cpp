// SPDX-License-Identifier: GPL-3.0-or-later
// Pausing live radio from the window: at the live edge it looks as before; Pause keeps the title
// heard while the station's next one arrives, shows the delay and Live; Space resumes and the
// title follows the sound; the arrows and End skip and go live; the tray offers Pause and
// Resume; Stop drops the buffer's file.
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "support/window_fixture.h"

namespace velmora::test {
namespace {

class TimeShiftWindowTest : public WindowTest {
  protected:
    PictureButton* Pause() { return window_->findChild<PictureButton*>("PauseButton"); }
    QLabel* Behind() { return window_->findChild<QLabel*>("BehindLiveLabel"); }
    QPushButton* Live() { return window_->findChild<QPushButton*>("LiveButton"); }
    QAction* TrayItem(const char* name) { return window_->findChild<QAction*>(name); }
    QStringList ShiftFiles() {
        return QDir(home_.Root() + "/.cache/velmora/timeshift").entryList(QDir::Files);
    }
    // Seconds behind live as the label shows them.
    int BehindSeconds() {
        const QStringList parts = Behind()->text().mid(1).split(':');
        return parts.size() == 2 ? parts[0].toInt() * 60 + parts[1].toInt() : -1;
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window_, static_cast<Qt::Key>(key), modifiers);
    }
};

TEST_F(TimeShiftWindowTest, PauseDelayLiveKeysTrayAndStop) {
    StreamServer server;
    StreamRoute route = NamedStation(4.0, true);
    // B comes three seconds of sound after A; after its burst the station sends in real time,
    // so the live edge moves as fast as the sound.
    route.titles = {{0, "Band - A"}, {12, "Band - B"}};
    route.bytes_per_second = 16000;
    server.AddStream("/live", route);
    PlayUserChannel(server.Url("/live"));
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    ASSERT_TRUE(WaitFor([&] { return title_->text() == "Band - A"; }, 5s));
    ASSERT_TRUE(WaitFor([&] { return Pause()->isEnabled(); }, 2s));
    EXPECT_FALSE(Behind()->isVisible());
    EXPECT_FALSE(Live()->isVisible());
    EXPECT_EQ(ShiftFiles().size(), 1);
    EXPECT_FALSE(Pause()->accessibleName().isEmpty());
    EXPECT_TRUE(TrayItem("TrayPause")->isVisible());

    Click(Pause());
    EXPECT_FALSE(Playing());
    EXPECT_TRUE(Behind()->isVisible());
    EXPECT_TRUE(TrayItem("TrayResume")->isVisible());
    EXPECT_FALSE(TrayItem("TrayPause")->isVisible());
    // The station goes on past B, which nobody has heard yet.
    ASSERT_TRUE(WaitFor([&] { return BehindSeconds() >= 1; }, 5s))
        << Behind()->text().toStdString();
    EXPECT_TRUE(Live()->isVisible());
    EXPECT_EQ(title_->text(), "Band - A");

    Key(Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 3s));
    EXPECT_EQ(title_->text(), "Band - A");
    EXPECT_TRUE(Behind()->isVisible()) << "still behind live after resuming";

    // Forward past the live edge is live, and B is heard; back again is A.
    Key(Qt::Key_Right);
    EXPECT_TRUE(WaitFor([&] { return title_->text() == "Band - B"; }, 5s));
    EXPECT_TRUE(WaitFor([&] { return !Behind()->isVisible() && !Live()->isVisible(); }, 3s))
        << Behind()->text().toStdString();
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_TRUE(WaitFor([&] { return BehindSeconds() >= 2; }, 3s));
    EXPECT_TRUE(WaitFor([&] { return title_->text() == "Band - A"; }, 5s));
    Key(Qt::Key_End);
    EXPECT_TRUE(WaitFor([&] { return !Behind()->isVisible() && !Live()->isVisible(); }, 3s))
        << Behind()->text().toStdString();
    EXPECT_TRUE(WaitFor([&] { return title_->text() == "Band - B"; }, 5s));

    // Pause from the tray, Play resumes the paused station on its connection; Stop drops it all.
    TrayItem("TrayPause")->trigger();
    EXPECT_FALSE(Playing());
    Click(PlayButton(window_));
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 3s));
    EXPECT_EQ(server.ConnectionsTo("/live").size(), 1u);
    Click(StopButton(window_));
    EXPECT_TRUE(WaitFor([&] { return ShiftFiles().isEmpty(); }, 2s)) << "the buffer stayed";
    EXPECT_FALSE(Pause()->isEnabled());
    EXPECT_FALSE(Behind()->isVisible());
}

}  // namespace
}  // namespace velmora::test
