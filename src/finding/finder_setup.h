// SPDX-License-Identifier: GPL-3.0-or-later
// The directory client as the program runs it: its cache folder, its user agent, the server
// remembered in the settings folder and the user's proxy.
#pragma once

#include <QString>
#include <memory>

#include "finder/directory_client.h"

namespace velmora {

// $XDG_CACHE_HOME (default ~/.cache) + "/velmora/finder".
QString FinderCacheFolder();
// The client for `version`, remembering its server in `settings_folder`; `proxy` as the proxy
// field holds it (empty: a direct connection).
std::shared_ptr<DirectoryClient> MakeDirectoryClient(const QString& version,
                                                     const QString& settings_folder,
                                                     const QString& proxy);

}  // namespace velmora
