// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the engine start-up, as plain rules, and the text the window shows when it fails.
#pragma once

#include <QString>

#include "opening/engine_start.h"

namespace velmora {

// The engine error box's text: the message on the first line, "(error code: N)" on the second.
QString EngineErrorText(const QString& message, int code);

}  // namespace velmora
