// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's own files (default channel list, catalogues) are found: beside the program
// in the build tree, or under ../share/velmora when it is installed.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The folders to look in, in order, for a program living in `program_folder`.
QStringList ProgramDataFolders(const QString& program_folder);
// The same for the running program, whatever the working folder.
QStringList ProgramDataFolders();
// The first existing `name` in those folders; the one beside the program when none exists.
QString FindProgramFile(const QString& name);

}  // namespace velmora
