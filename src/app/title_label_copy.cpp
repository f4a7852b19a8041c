// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/title_label_copy.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "playback/now_playing_rules.h"

namespace velmora {

TitleLabelCopy::TitleLabelCopy(QLabel* label) : QObject(label), label_(label) {
    label_->setMouseTracking(true);  // moves without a button pressed refresh the hint
    label_->installEventFilter(this);
}

void TitleLabelCopy::RefreshHint() {
    const TitleHint hint = TitleLabelHint(label_->text());
    if (hint.hand_cursor) {
        label_->setCursor(Qt::PointingHandCursor);
    } else {
        label_->unsetCursor();
    }
    label_->setToolTip(hint.hint);
}

void TitleLabelCopy::Copy() {
    QGuiApplication::clipboard()->setText(label_->text());
}

bool TitleLabelCopy::eventFilter(QObject* watched, QEvent* event) {
    if (watched != label_) return false;
    switch (event->type()) {
        case QEvent::MouseMove:
            RefreshHint();
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // A press dragged off the label and released elsewhere is no click.
            if (mouse->button() == Qt::LeftButton &&
                label_->rect().contains(mouse->position().toPoint())) {
                Copy();
            }
            break;
        }
        case QEvent::KeyPress: {
            // From the keyboard: Enter or the copy key copies, as a click does.
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                key->matches(QKeySequence::Copy)) {
                Copy();
                return true;
            }
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace velmora
