// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/x11_image_push.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace velmora {

namespace {

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The window's pixels as RGB32 keeps them in memory: 32 bits each in this machine's byte order,
// red, green and blue in the low three bytes.
bool SameLayout(xcb_connection_t* c, xcb_window_t window, std::uint8_t* depth) {
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!geometry || !attributes) return false;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto host_order = std::endian::native == std::endian::little ? XCB_IMAGE_ORDER_LSB_FIRST
                                                                       : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != host_order) return false;
    bool format_ok = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == geometry->depth) format_ok = f.data->bits_per_pixel == 32;
    }
    if (!format_ok) return false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s)) {
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                if (v.data->visual_id != attributes->visual) continue;
                *depth = geometry->depth;
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                       v.data->red_mask == 0xFF0000 && v.data->green_mask == 0xFF00 &&
                       v.data->blue_mask == 0xFF;
            }
        }
    }
    return false;
}

}  // namespace

X11ImagePush::~X11ImagePush() {
    Release();
}

void X11ImagePush::Release() {
    if (gc_ && connection_ && qGuiApp) xcb_free_gc(connection_, gc_);
    gc_ = 0;
    usable_ = false;
}

bool X11ImagePush::Prepare(WId window) {
    if (window == window_) return usable_;
    Release();
    window_ = window;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    connection_ = x11 ? x11->connection() : nullptr;
    if (!connection_ || !window) return false;
    const auto id = static_cast<xcb_window_t>(window);
    if (!SameLayout(connection_, id, &depth_)) return false;
    gc_ = xcb_generate_id(connection_);
    const std::uint32_t no_exposures = 0;
    xcb_create_gc(connection_, gc_, id, XCB_GC_GRAPHICS_EXPOSURES, &no_exposures);
    max_request_bytes_ = static_cast<std::size_t>(xcb_get_maximum_request_length(connection_)) * 4;
    usable_ = true;
    return true;
}

bool X11ImagePush::Push(WId window, const QImage& image, const std::vector<QRect>& rects,
                        QPoint offset) {
    if (image.format() != QImage::Format_RGB32 || !Prepare(window)) return false;
    constexpr std::size_t kRequestHead = 24;
    for (const QRect& r : rects) {
        if (!image.rect().contains(r) ||
            kRequestHead + static_cast<std::size_t>(r.width()) * r.height() * 4 >
                max_request_bytes_) {
            return false;
        }
    }
    const auto id = static_cast<xcb_window_t>(window);
    for (const QRect& r : rects) {
        rows_.resize(static_cast<std::size_t>(r.width()) * r.height());
        for (int row = 0; row < r.height(); ++row) {
            std::memcpy(rows_.data() + static_cast<std::size_t>(row) * r.width(),
                        image.constScanLine(r.top() + row) + r.left() * 4, r.width() * 4);
        }
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, id, gc_, r.width(), r.height(),
                      r.left() + offset.x(), r.top() + offset.y(), 0, depth_,
                      static_cast<std::uint32_t>(rows_.size() * 4),
                      reinterpret_cast<const std::uint8_t*>(rows_.data()));
    }
    xcb_flush(connection_);
    return true;
}

}  // namespace velmora
