// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/program_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace velmora {

QStringList ProgramDataFolders(const QString& program_folder) {
    const QDir dir(program_folder);
    return {dir.absolutePath(), QDir::cleanPath(dir.absoluteFilePath("../share/velmora"))};
}

QStringList ProgramDataFolders() {
    return ProgramDataFolders(QCoreApplication::applicationDirPath());
}

QString FindProgramFile(const QString& name) {
    const QStringList folders = ProgramDataFolders();
    for (const QString& folder : folders) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(path)) return path;
    }
    return folders.front() + QLatin1Char('/') + name;
}

}  // namespace velmora
