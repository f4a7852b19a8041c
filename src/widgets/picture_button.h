// SPDX-License-Identifier: GPL-3.0-or-later
// A picture that acts as a button: the artwork from the resources, a hand cursor and a hint, and
// everything a button does for the keyboard and a screen reader (focus, Space and Enter, a name).
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace velmora {

class PictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    // `object_name` is the designer name; `picture` a resource path such as ":/play.png".
    PictureButton(const QString& object_name, const QString& picture, QWidget* parent);

    // The hint shown on hovering, which is also the name a screen reader announces.
    void SetHint(const QString& hint);
    const QPixmap& Picture() const { return picture_; }
    QSize sizeHint() const override { return picture_.size(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QPixmap picture_;
};

}  // namespace velmora
