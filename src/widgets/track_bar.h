// SPDX-License-Identifier: GPL-3.0-or-later
// VolumeTrackBar: the volume slider. A left click on the track jumps straight to the clicked
// position instead of paging; a click on the thumb drags it; a click beside both does nothing.
#pragma once

#include <QSlider>

namespace velmora {

// Rectangle with exclusive right and bottom edges: a point is inside when
// left <= x < right and top <= y < bottom.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return left <= x && x < right && top <= y && y < bottom; }
};

enum class TrackClick { Drag, Jump, Ignore };

struct TrackClickResult {
    TrackClick action;
    int position = 0;  // for Jump: the new position, not yet clamped to the range
};

// What a left click at (x, y) does. `channel` is given along the slider's axis: for a vertical
// slider its left and right are the track's top and bottom. x and y count as unsigned 16-bit, so
// a point left of or above the widget lies far right or below.
TrackClickResult TrackBarClick(EdgeRect thumb, EdgeRect channel, int x, int y, bool vertical,
                               int maximum);

class VolumeTrackBar : public QSlider {
    Q_OBJECT
  public:
    explicit VolumeTrackBar(QWidget* parent = nullptr);

    // The thumb and track rectangles as the widget's style lays them out.
    EdgeRect ThumbRect() const;
    EdgeRect ChannelRect() const;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace velmora
