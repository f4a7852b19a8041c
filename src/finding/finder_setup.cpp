// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/finder_setup.h"

#include <QDir>

namespace velmora {

QString FinderCacheFolder() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty()) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/velmora/finder");
}

std::shared_ptr<DirectoryClient> MakeDirectoryClient(const QString& version,
                                                     const QString& settings_folder,
                                                     const QString& proxy) {
    return std::make_shared<DirectoryClient>(
        DefaultDirectoryConfig(version.toStdString(), settings_folder.toStdString(),
                               FinderCacheFolder().toStdString(), proxy.toStdString()));
}

}  // namespace velmora
