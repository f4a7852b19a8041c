// SPDX-License-Identifier: GPL-3.0-or-later
// The window for people who use a keyboard or a screen reader: every control that acts is a named,
// focusable button, slider, list or drop-down, and the players' keys act.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include "support/stream_server.h"
#include "support/window_fixture.h"
#include "widgets/picture_button.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace test;

class AccessibilityTest : public WindowTest {
  protected:
    // The controls in Tab order, starting where the window puts the focus first.
    QList<QWidget*> FocusChain() {
        QList<QWidget*> chain;
        for (QWidget* w = window_->nextInFocusChain(); w && w != window_;
             w = w->nextInFocusChain()) {
            chain << w;
        }
        return chain;
    }
};

TEST_F(AccessibilityTest, EveryControlIsNamedFocusableAndNoPlainImage) {
    QList<QWidget*> controls;
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window_)) continue;
        if (qobject_cast<PictureButton*>(w) || qobject_cast<QSlider*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QListView*>(w)) {
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
    EXPECT_EQ(QAccessible::queryAccessibleInterface(PlayButton(window_))->role(),
              QAccessible::Button);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(VolumeSlider(window_))->text(QAccessible::Name),
              "Volume");
    QAccessibleInterface* analyser = QAccessible::queryAccessibleInterface(Analyser(window_));
    EXPECT_FALSE(analyser->text(QAccessible::Name).isEmpty());
    EXPECT_FALSE(analyser->text(QAccessible::Description).isEmpty());
    // The directory comes first, the transport before the user's list.
    EXPECT_LT(chain.indexOf(DirectoryCombo(window_)), chain.indexOf(PlayButton(window_)));
    EXPECT_LT(chain.indexOf(PlayButton(window_)), chain.indexOf(ChannelList(window_)));
}

// The header's pictures, the logo and the analyser's bezel only decorate: a screen reader walking
// the window finds no unnamed image.
TEST_F(AccessibilityTest, DecorationIsNotAnnounced) {
    QStringList unnamed_images;
    int objects = 0;
    const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* a) {
        for (int i = 0; i < a->childCount(); ++i) {
            QAccessibleInterface* child = a->child(i);
            if (!child) continue;
            ++objects;
            // Hidden pictures count too: the tree lists them all the same.
            if (child->role() == QAccessible::Graphic && child->text(QAccessible::Name).isEmpty()) {
                unnamed_images << child->object()->objectName();
            }
            walk(child);
        }
    };
    walk(QAccessible::queryAccessibleInterface(window_));
    EXPECT_GT(objects, 30);
    EXPECT_TRUE(unnamed_images.isEmpty()) << unnamed_images.join(' ').toStdString();
    // Still drawn for those who see them.
    EXPECT_FALSE(window_->findChild<QLabel*>("Image3")->pixmap().isNull());
}

// A user channel chosen, recorded and stopped, the volume moved, all from the keyboard.
TEST_F(AccessibilityTest, PlayRecordAndStopByKeyboard) {
    StreamServer server;
    StreamRoute route;
    route.audio = Mp3(10.0);
    route.loop = true;
    route.burst_bytes = 32768;
    route.bytes_per_second = 32000;
    server.AddStream("/live", route);
    Channels()->ReplaceAll({{"Keys FM", QString::fromStdString(server.Url("/live")), {}, {}}});
    window_->activateWindow();

    QListView* list = ChannelList(window_);
    list->setFocus();
    // Where Tab leaves the keyboard.
    list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                            QItemSelectionModel::NoUpdate);
    QTest::keyClick(list, Qt::Key_Return);  // chooses the channel, which plays it
    ASSERT_TRUE(WaitFor([&] { return Playing() && RecordButton(window_)->isVisible(); }, 8s));

    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return Recording(); }, 2s));
    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(Recording());

    auto* volume = VolumeSlider(window_);
    const int before = volume->value();
    QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(volume->value(), before - 5);

    // Space on a focused button presses that button; on the slider it plays, pauses and resumes.
    auto* stop = StopButton(window_);
    stop->setFocus();
    QTest::keyClick(stop, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 2s));
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s));
    QTest::keyClick(volume, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return !Playing(); }, 2s));
    // Enter presses a focused button too.
    auto* play = PlayButton(window_);
    play->setFocus();
    QTest::keyClick(play, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return Playing(); }, 8s));
}

}  // namespace
}  // namespace velmora
