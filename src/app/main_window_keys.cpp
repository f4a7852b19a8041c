// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow by keyboard alone: the Tab order through the controls and the keys players share.
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QShortcut>

#include "app/main_window.h"
#include "app/playback_control.h"
#include "app/recording_control.h"
#include "channels/channel_list_model.h"
#include "playback/player.h"
#include "widgets/picture_button.h"
#include "widgets/track_bar.h"

namespace velmora {

namespace {

// How far Ctrl+Up and Ctrl+Down move the volume.
constexpr int kVolumeStep = 5;

// A group box keeps Space for its check box, even without one: Space that its controls left is
// handed on to the window.
class SpaceToWindow final : public QObject {
  public:
    explicit SpaceToWindow(QWidget* window) : QObject(window), window_(window) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
        QCoreApplication::sendEvent(window_, event);
        return true;
    }

  private:
    QWidget* const window_;
};

}  // namespace

void MainWindow::CreateKeyboard() {
    // Directory, transport, volume, now playing, the user's list and its buttons.
    QWidget* const order[] = {
        directory_combo_, open_panel_button_, close_panel_button_, menu_button_,
        play_button_,     stop_button_,       record_button_,      recordings_button_,
        volume_slider_,   mute_button_,       unmute_button_,      title_label_,
        homepage_button_, programs_button_,   channels_->View(),
    };
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    for (PictureButton* b : list_buttons_) {
        setTabOrder(previous, b);
        previous = b;
    }

    auto* space = new SpaceToWindow(this);
    for (QGroupBox* box : findChildren<QGroupBox*>()) box->installEventFilter(space);

    const auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
        if (recording_->Active() || record_button_->isVisible()) recording_->OnRecordClicked();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Up),
             [this] { volume_slider_->setValue(volume_slider_->value() + kVolumeStep); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Down),
             [this] { volume_slider_->setValue(volume_slider_->value() - kVolumeStep); });
}

// Space reaches the window only when the focused control did not take it (a text field types
// it, a button presses itself, a list selects): then it plays or stops.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (player_->IsBusy()) {
            playback_->OnStopClicked();
        } else {
            playback_->OnPlayClicked();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace velmora
