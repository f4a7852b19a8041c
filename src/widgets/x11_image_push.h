// SPDX-License-Identifier: GPL-3.0-or-later
// Puts rectangles of an image straight into an X window. The toolkit's own flush uploads each
// rectangle to a server-side pixmap and then copies it to the window, two requests and a region
// calculation per rectangle; the analyser sends a few dozen small rectangles 30 times a second.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QtGlobal>
#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace velmora {

class X11ImagePush {
  public:
    X11ImagePush() = default;
    ~X11ImagePush();
    X11ImagePush(const X11ImagePush&) = delete;
    X11ImagePush& operator=(const X11ImagePush&) = delete;

    // Sends `rects` of `image` (RGB32) to `window` at `offset`; false, having sent nothing, where
    // that cannot be done: not on X, or a window whose pixels are laid out otherwise. The first
    // call for a window asks the server about it once.
    bool Push(WId window, const QImage& image, const std::vector<QRect>& rects, QPoint offset);

  private:
    bool Prepare(WId window);
    void Release();

    xcb_connection_t* connection_ = nullptr;
    WId window_ = 0;
    bool usable_ = false;
    std::uint32_t gc_ = 0;
    std::uint8_t depth_ = 0;
    std::size_t max_request_bytes_ = 0;
    std::vector<std::uint32_t> rows_;  // one rectangle's pixels, row after row
};

}  // namespace velmora
