// SPDX-License-Identifier: GPL-3.0-or-later
// What the window says when a station could not be played, from the engine's error code.
#pragma once

#include <QString>

namespace velmora {

// "Can't play the stream"; for a long playlist none of whose first entries opened, also that only
// those were tried.
QString CannotPlayText(int engine_error);

}  // namespace velmora
