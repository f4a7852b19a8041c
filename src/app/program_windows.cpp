// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_windows.h"

#include "app/about_box.h"
#include "app/main_window.h"
#include "channels/channel_editor.h"

namespace velmora {

MainWindow* CreateProgramWindows() {
    auto* main_window = new MainWindow;
    if (!main_window->StartedUp()) {
        delete main_window;
        return nullptr;
    }
    auto* about_box = new AboutBox(main_window);
    auto* channel_editor = new ChannelEditor(main_window->Channels(), main_window);
    main_window->SetSecondaryWindows(about_box, channel_editor);
    return main_window;
}

}  // namespace velmora
