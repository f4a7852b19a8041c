#include "app/picture_button.h"

#include <QMouseEvent>

namespace velmora {

PictureButton::PictureButton(const QString& object_name, const QString& picture, QWidget* parent)
    : QLabel(parent) {
    setObjectName(object_name);
    const QPixmap pixmap(picture);
    setPixmap(pixmap);
    setFixedSize(pixmap.size());
    setCursor(Qt::PointingHandCursor);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    // A press dragged off the picture and released elsewhere is no click.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace velmora
