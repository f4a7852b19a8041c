// SPDX-License-Identifier: GPL-3.0-or-later
// The one sentence the listener reads when the station directory fails, in their language.
#pragma once

#include <QString>

#include "finder/directory_error.h"

namespace velmora {

QString DirectoryErrorText(const DirectoryError& error);

}  // namespace velmora
