// SPDX-License-Identifier: GPL-3.0-or-later
// The program's three windows, created in the order the program entry needs them: the main window
// (whose creation starts the engine), then the about box, then the channel editor. The main window
// owns the other two for the whole run.
#pragma once

namespace velmora {

class MainWindow;

// The main window, joined to its about box and channel editor, not yet shown; nullptr when the
// engine could not be started (the reason has been shown, and the window is gone).
MainWindow* CreateProgramWindows();

}  // namespace velmora
