// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/picture_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace velmora {

PictureButton::PictureButton(const QString& object_name, const QString& picture, QWidget* parent)
    : QAbstractButton(parent), picture_(picture) {
    setObjectName(object_name);
    setFixedSize(picture_.size());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::SetHint(const QString& hint) {
    setToolTip(hint);
    setAccessibleName(hint);
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isEnabled()) {
        painter.drawPixmap(0, 0, picture_);
    } else {
        QStyleOption option;
        option.initFrom(this);
        painter.drawPixmap(0, 0, style()->generatedIconPixmap(QIcon::Disabled, picture_, &option));
    }
    if (hasFocus()) {
        // The round artwork keeps its look; the focus shows as a thin ring in the highlight
        // colour just inside the picture's edge.
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(palette().color(QPalette::Highlight), 2);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    // Space is a button's own key; Enter acts too, as on the buttons of the desktop's players.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        animateClick();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool PictureButton::event(QEvent* event) {
    // The window's own keys (Space plays or stops) must not take a focused button's Space.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
             key->key() == Qt::Key_Enter)) {
            event->accept();
            return true;
        }
    }
    return QAbstractButton::event(event);
}

}  // namespace velmora
