// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_windows.h"

#include "app/about_box.h"
#include "app/main_window.h"
#include "channels/channel_editor.h"

namespace velmora {

MainWindow* CreateProgramWindows() {
    auto* form1 = new MainWindow;
    if (!form1->StartedUp()) {
        delete form1;
        return nullptr;
    }
    auto* about_box = new AboutBox(form1);
    auto* form3 = new ChannelEditor(form1->Channels(), form1);
    form1->SetSecondaryWindows(about_box, form3);
    return form1;
}

}  // namespace velmora
