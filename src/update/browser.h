// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a web page in the browser the user has chosen: the desktop's default handler for web
// addresses, found with xdg-mime and started with the address; xdg-open when there is none.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The Exec line of a desktop entry's [Desktop Entry] group; empty when it has none.
QString DesktopEntryExec(const QString& desktop_entry_text);
// The desktop entry file for `desktop_id` ("foo.desktop", "vendor-foo.desktop") in the
// applications folders of $XDG_DATA_HOME and $XDG_DATA_DIRS; empty when none exists.
QString FindDesktopEntry(const QString& desktop_id);
// The program registered to open files with `extension` (".html" means web pages), reduced from
// its Exec line by ReduceCommand; empty when there is none.
QString AssociatedProgram(const QString& extension);
// Opens `address` in the web browser; a failure is not reported. Returns at once: the browser
// is looked up and started on a pool thread.
void OpenUrl(const QString& address);

}  // namespace velmora
