// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/analyser_view.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>
#include <cstring>

#include "widgets/spectrum_painter.h"

namespace velmora {

namespace {

bool PlainSurface(const QImage* surface) {
    return surface && surface->devicePixelRatio() == 1.0 &&
           (surface->format() == QImage::Format_RGB32 ||
            surface->format() == QImage::Format_ARGB32_Premultiplied);
}

QImage* SurfaceOf(QBackingStore* store) {
    QPaintDevice* device = store->paintDevice();
    return device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
}

}  // namespace

AnalyserView::AnalyserView(QWidget* parent) : QWidget(parent) {}

void AnalyserView::ShowFrame(const QImage* frame, const std::vector<QRect>& changed) {
    const bool first = !frame_;
    frame_ = frame;
    if (first) {
        // From now on every pixel is the frame's: what lies beneath need not be painted first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        if (QGuiApplication::platformName() == QLatin1String("xcb") && devicePixelRatio() == 1.0)
            UseOwnWindow(true);
        update();
    } else if (changed.empty() || !isVisible()) {
        return;
    } else if (own_window_) {
        SendFrame(*frame, changed);
    } else if (!CopyToWindow(changed)) {
        // At once rather than on a later pass of the event loop: one wake-up per frame.
        repaint(RegionOf(changed));
    }
}

void AnalyserView::SendFrame(const QImage& frame, const std::vector<QRect>& changed) {
    frame_ = &frame;
    if (own_window_ && !on_screen_) {
        // Nothing of the window can be seen (minimised, in the tray, on another desktop): the
        // frames are still composed, so the bars stand where they would, but not sent. The first
        // one sent afterwards is whole.
        missed_ = true;
        return;
    }
    if (changed.empty() && !missed_) return;
    const std::vector<QRect> whole =
        missed_ ? std::vector<QRect>{frame.rect()} : std::vector<QRect>{};
    if (own_window_ && push_.Push(window_id_, frame, missed_ ? whole : changed, QPoint())) {
        ++frames_sent_;
        missed_ = false;
        return;
    }
    // Without a window that takes the frames, the interface thread draws them.
    const bool fall_back = own_window_.exchange(false);
    QMetaObject::invokeMethod(
        this,
        [this, fall_back] {
            if (fall_back) UseOwnWindow(false);
            update();
        },
        Qt::QueuedConnection);
}

bool AnalyserView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose) on_screen_ = static_cast<QWindow*>(watched)->isExposed();
    return QWidget::eventFilter(watched, event);
}

// On X the analyser gets a window of its own, which takes the frames' changed rows as they are:
// the toolkit neither keeps a copy of its pixels nor works out what covers it, and the server
// clips for it. The window is made at the first frame, so before it the main window shows
// through as before.
void AnalyserView::UseOwnWindow(bool own) {
    own_window_ = own;
    setAttribute(Qt::WA_NoSystemBackground, own);
    setAttribute(Qt::WA_PaintOnScreen, own);
    if (!own || testAttribute(Qt::WA_NativeWindow)) return;
    // Only this widget: native siblings would each be a window of their own to draw, for nothing.
    const bool siblings_alone =
        QCoreApplication::testAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    setAttribute(Qt::WA_NativeWindow);
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, siblings_alone);
    window_id_ = winId();
    // The main window's exposure tells whether any of the frames could be seen.
    if (QWindow* top = window()->windowHandle()) top->installEventFilter(this);
}

QPaintEngine* AnalyserView::paintEngine() const {
    return testAttribute(Qt::WA_PaintOnScreen) ? nullptr : QWidget::paintEngine();
}

bool AnalyserView::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange && own_window_) {
        // A window made again: the frames go to the new one, and the main window's exposure is
        // watched on its new window too.
        std::lock_guard lock(frame_lock_);
        window_id_ = internalWinId();
        if (QWindow* top = window()->windowHandle()) top->installEventFilter(this);
    }
    return QWidget::event(event);
}

// Where the view has no window of its own (not on X): the changed pixels straight into the
// window's backing store, which later repaints and exposures show, and from there to the screen:
// the toolkit's repaint would walk the widget tree and open a painter for a few rows of pixels.
// Only where nothing covers this widget, and only for a surface that takes the frame's pixels as
// they are.
bool AnalyserView::CopyToWindow(const std::vector<QRect>& changed) {
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    // A window of its own (one the frames could not be sent to) is drawn by the toolkit's repaint.
    if (internalWinId() || !isVisible() || !handle || !handle->isExposed() || !store || !frame_ ||
        frame_->format() != QImage::Format_RGB32) {
        return false;
    }
    const QRegion visible = visibleRegion();
    std::vector<QRect>& rects = visible_changes_;
    if (visible == QRegion(rect())) {
        rects = changed;
    } else {
        rects.clear();
        for (const QRect& r : changed) {
            for (const QRect& part : visible.intersected(r)) rects.push_back(part);
        }
    }
    if (rects.empty()) return true;
    QRect bounds;
    for (const QRect& r : rects) bounds |= r;
    const QPoint offset = mapTo(top, QPoint(0, 0));
    // A window without alpha keeps every pixel it is not given, so the bounds will do and no
    // region need be built; one with alpha clears what it is told, so it is told exactly. (The
    // surface's format says nothing of this: opaque windows are painted with alpha too.)
    const bool clears = handle->format().hasAlpha();
    store->beginPaint(clears ? RegionOf(rects).translated(offset)
                             : QRegion(bounds.translated(offset)));
    QImage* surface = SurfaceOf(store);
    const bool plain = PlainSurface(surface) && surface->rect().contains(bounds.translated(offset));
    if (plain) {
        for (const QRect& r : rects) {
            for (int row = r.top(); row <= r.bottom(); ++row) {
                std::memcpy(surface->scanLine(row + offset.y()) + (r.left() + offset.x()) * 4,
                            frame_->constScanLine(row) + r.left() * 4, r.width() * 4);
            }
        }
    }
    store->endPaint();
    if (!plain) return false;
    store->flush(RegionOf(rects).translated(offset), handle);
    return true;
}

void AnalyserView::paintEvent(QPaintEvent* event) {
    std::lock_guard lock(frame_lock_);
    if (!frame_) return;
    if (testAttribute(Qt::WA_PaintOnScreen)) {
        if (own_window_) {
            on_screen_ = true;  // painted, so shown, whatever became of the main window's filter
            window_id_ = internalWinId();
            const QRegion area = event->region() & frame_->rect();
            const std::vector<QRect> rects(area.begin(), area.end());
            if (push_.Push(window_id_, *frame_, rects, QPoint())) return;
        }
        // A window the frames cannot be sent to as they are: the toolkit draws it again.
        UseOwnWindow(false);
        update();
        return;
    }
    QPainter p(this);
    for (const QRect& r : event->region()) p.drawImage(r.topLeft(), *frame_, r);
}

}  // namespace velmora
