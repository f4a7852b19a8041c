// A picture that acts as a button: shows an image from the resources, a hand cursor and a hint,
// and reports left clicks.
#pragma once

#include <QLabel>

namespace velmora {

class PictureButton : public QLabel {
    Q_OBJECT
  public:
    // `object_name` is the designer name; `picture` a resource path such as ":/play.png".
    PictureButton(const QString& object_name, const QString& picture, QWidget* parent);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace velmora
