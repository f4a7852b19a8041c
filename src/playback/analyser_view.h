// SPDX-License-Identifier: GPL-3.0-or-later
// PaintBox1, the analyser's surface: shows the painter's last frame and keeps it until the next
// one; before the first frame it draws nothing, so the window shows through. From the first frame
// on it covers its whole area, so nothing under it is painted again. On X it then has a window of
// its own that the frames are sent to directly.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <vector>

#include "playback/x11_image_push.h"

namespace velmora {

class AnalyserView final : public QWidget {
  public:
    explicit AnalyserView(QWidget* parent = nullptr);
    // The frame to show from now on (the painter's image, which outlives this widget's use of it);
    // `changed` is where it differs from the frame shown before: disjoint rectangles.
    void ShowFrame(const QImage* frame, const std::vector<QRect>& changed);

  protected:
    void paintEvent(QPaintEvent* event) override;
    QPaintEngine* paintEngine() const override;

  private:
    bool CopyToWindow(const std::vector<QRect>& changed);
    void UseOwnWindow(bool own);

    const QImage* frame_ = nullptr;
    bool own_window_ = false;
    std::vector<QRect> visible_changes_;  // kept between frames for its capacity
    X11ImagePush push_;
};

}  // namespace velmora
