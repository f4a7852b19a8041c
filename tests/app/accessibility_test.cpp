// SPDX-License-Identifier: GPL-3.0-or-later
// The window for people who use a keyboard or a screen reader: every control that acts is a named,
// focusable button, slider, list or drop-down, and the players' keys act.
#include <QAccessible>
#include <QComboBox>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "app/picture_button.h"
#include "app/playing_window_fixture.h"
#include "support/stream_server.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::WaitFor;

class AccessibilityTest : public test::PlayingWindowTest {
  protected:
    // The controls in Tab order, starting where the window puts the focus first.
    QList<QWidget*> FocusChain() {
        QList<QWidget*> chain;
        for (QWidget* w = form_->nextInFocusChain(); w && w != form_; w = w->nextInFocusChain()) {
            chain << w;
        }
        return chain;
    }
    bool Recording() { return Child<QTimer>("Timer5")->isActive(); }
};

TEST_F(AccessibilityTest, EveryControlIsNamedFocusableAndNoPlainImage) {
    QList<QWidget*> controls;
    for (QWidget* w : form_->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form_)) continue;
        if (qobject_cast<PictureButton*>(w) || qobject_cast<QSlider*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QListWidget*>(w)) {
            controls << w;
        }
    }
    ASSERT_GE(controls.size(), 15);
    const QList<QWidget*> chain = FocusChain();
    for (QWidget* w : controls) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr) << w->objectName().toStdString();
        EXPECT_NE(a->role(), QAccessible::Graphic) << w->objectName().toStdString();
        EXPECT_NE(a->role(), QAccessible::StaticText) << w->objectName().toStdString();
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << w->objectName().toStdString();
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << w->objectName().toStdString();
        EXPECT_TRUE(chain.contains(w)) << w->objectName().toStdString();
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Child<QWidget>("Image1"))->role(),
              QAccessible::Button);
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(Child<QWidget>("TrackBar1"))->text(QAccessible::Name),
        "Volume");
    QAccessibleInterface* analyser =
        QAccessible::queryAccessibleInterface(Child<QWidget>("PaintBox1"));
    EXPECT_FALSE(analyser->text(QAccessible::Name).isEmpty());
    EXPECT_FALSE(analyser->text(QAccessible::Description).isEmpty());
    // The directory comes first, the transport before the user's list.
    EXPECT_LT(chain.indexOf(Child<QWidget>("ComboBox1")), chain.indexOf(Child<QWidget>("Image1")));
    EXPECT_LT(chain.indexOf(Child<QWidget>("Image1")), chain.indexOf(Child<QWidget>("ListBox1")));
}

// A user channel chosen, recorded and stopped, the volume moved, all from the keyboard.
TEST_F(AccessibilityTest, PlayRecordAndStopByKeyboard) {
    test::StreamServer server;
    test::StreamRoute route;
    route.audio = Mp3(10.0);
    route.loop = true;
    route.burst_bytes = 32768;
    route.bytes_per_second = 32000;
    server.AddStream("/live", route);
    form_->Channels()->ReplaceAll(
        {{"Keys FM", QString::fromStdString(server.Url("/live")), {}, {}}});
    form_->activateWindow();

    QListWidget* list = form_->Channels()->View();
    list->setFocus();
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);  // where Tab leaves the keyboard
    QTest::keyClick(list, Qt::Key_Return);                  // chooses the channel, which plays it
    ASSERT_TRUE(WaitFor([&] { return Playing() && Child<QWidget>("Image19")->isVisible(); }, 8s));

    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return Recording(); }, 2s));
    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(Recording());

    auto* volume = Child<QSlider>("TrackBar1");
    const int before = volume->value();
    QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(volume->value(), before - 5);

    // Space on a focused button presses that button; on the slider it stops the music.
    auto* stop = Child<PictureButton>("Image4");
    stop->setFocus();
    QTest::keyClick(stop, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 2s));
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    QTest::keyClick(volume, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 2s));
    // Enter presses a focused button too.
    auto* play = Child<PictureButton>("Image1");
    play->setFocus();
    QTest::keyClick(play, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s));
}

}  // namespace
}  // namespace velmora
