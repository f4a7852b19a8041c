// SPDX-License-Identifier: GPL-3.0-or-later
// `velmora --find WORDS`: the stations the community directory finds, printed one a line, with no
// window and no display.
#pragma once

#include <QString>
#include <cstdio>
#include <vector>

#include "finder/found_station.h"

namespace velmora {

// "name<TAB>codec bitrate<TAB>countrycode<TAB>address": tabs and line breaks in the texts become
// blanks, so every station is one line.
QString FoundStationLine(const FoundStation& station);

// Searches for `words` and prints the stations to `out`; on a failure one line to `err`. The
// exit status: 0 when the directory answered (even with no station), 1 otherwise.
int RunFindCommand(const QString& words, std::FILE* out, std::FILE* err);

}  // namespace velmora
