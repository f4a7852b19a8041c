// SPDX-License-Identifier: GPL-3.0-or-later
// PaintBox1, the analyser's surface: shows the painter's last frame and keeps it until the next
// one; before the first frame it draws nothing, so the window shows through. From the first frame
// on it covers its whole area, so nothing under it is painted again. On X it then has a window of
// its own that the frames are sent to directly.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <vector>

#include "widgets/x11_image_push.h"

namespace velmora {

class AnalyserView final : public QWidget {
  public:
    explicit AnalyserView(QWidget* parent = nullptr);
    // The frame to show from now on (the painter's image, which outlives this widget's use of it);
    // `changed` is where it differs from the frame shown before: disjoint rectangles.
    void ShowFrame(const QImage* frame, const std::vector<QRect>& changed);

    // Whether the frames go to a window of the view's own, which SendFrame can do from any thread.
    bool HasOwnWindow() const { return own_window_; }
    // The same as ShowFrame after the first frame, from any thread, with FrameLock held: it sends
    // the changed rows to the view's own window (none while the main window cannot be seen), or
    // else has the toolkit repaint the view.
    void SendFrame(const QImage& frame, const std::vector<QRect>& changed);
    // Held while a frame is drawn off the interface thread, and by the view while it repaints
    // from the frame. ShowFrame is called without it.
    std::mutex& FrameLock() { return frame_lock_; }
    // Frames SendFrame has sent to the view's own window so far.
    int FramesSent() const { return frames_sent_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    QPaintEngine* paintEngine() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    bool CopyToWindow(const std::vector<QRect>& changed);
    void UseOwnWindow(bool own);

    const QImage* frame_ = nullptr;
    std::atomic<bool> own_window_ = false;
    WId window_id_ = 0;
    std::atomic<bool> on_screen_ = true;
    bool missed_ = false;  // frames were not sent while nothing could be seen
    std::atomic<int> frames_sent_ = 0;
    std::mutex frame_lock_;
    std::vector<QRect> visible_changes_;  // kept between frames for its capacity
    X11ImagePush push_;
};

}  // namespace velmora
