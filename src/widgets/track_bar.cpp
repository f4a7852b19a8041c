// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/track_bar.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <cmath>
#include <cstdint>

namespace velmora {
namespace {

EdgeRect FromQRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

TrackClickResult TrackBarClick(EdgeRect thumb, EdgeRect channel, int x, int y, bool vertical,
                               int maximum) {
    x = static_cast<std::uint16_t>(x);
    y = static_cast<std::uint16_t>(y);
    int px = x;
    int py = y;
    int half = 0;
    if (vertical) {
        px = y;
        py = x;
        half = (thumb.bottom - thumb.top) / 2;
        channel.top = thumb.left;
        channel.bottom = thumb.right;
    } else {
        half = (thumb.right - thumb.left) / 2;
        channel.top = thumb.top;
        channel.bottom = thumb.bottom;
    }
    if (thumb.Contains(x, y)) return {TrackClick::Drag};
    if (!channel.Contains(px, py)) return {TrackClick::Ignore};
    channel.left += half;
    channel.right -= half;
    const int width = channel.right - channel.left;
    // A track shorter than the thumb leaves nothing to position along.
    if (width <= 0) return {TrackClick::Ignore};
    const double exact = static_cast<double>(px - channel.left) * maximum / width;
    return {TrackClick::Jump, static_cast<int>(std::nearbyint(exact))};  // halves to even
}

VolumeTrackBar::VolumeTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

EdgeRect VolumeTrackBar::ThumbRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return FromQRect(
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this));
}

EdgeRect VolumeTrackBar::ChannelRect() const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    EdgeRect r =
        FromQRect(style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this));
    // Along the axis: a vertical track's extent goes into left and right.
    if (orientation() == Qt::Vertical) r = {r.top, r.left, r.bottom, r.right};
    return r;
}

void VolumeTrackBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    const TrackClickResult click = TrackBarClick(ThumbRect(), ChannelRect(), p.x(), p.y(),
                                                 orientation() == Qt::Vertical, maximum());
    switch (click.action) {
        case TrackClick::Drag:
            QSlider::mousePressEvent(event);
            break;
        case TrackClick::Jump:
            setValue(click.position);  // clamps, and signals only a real change
            event->accept();
            break;
        case TrackClick::Ignore:
            event->accept();
            break;
    }
}

}  // namespace velmora
