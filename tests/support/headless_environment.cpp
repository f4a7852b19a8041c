// SPDX-License-Identifier: GPL-3.0-or-later
// Every test program runs without a display, a sound card or the user's desktop session, also when
// started by a bare ctest or by hand. Set before main(), so before any toolkit reads them.
#include <cstdlib>

namespace {

struct HeadlessEnvironment {
    HeadlessEnvironment() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        // Test players must never show up on the user's own session bus; the media-key tests
        // start a bus of their own.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmora-test-bus", 1);
    }
};

const HeadlessEnvironment kHeadless;

}  // namespace
