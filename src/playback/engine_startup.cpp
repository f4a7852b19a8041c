// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/engine_startup.h"

namespace velmora {

QString EngineErrorText(const QString& message, int code) {
    return message + QStringLiteral("\r\n(error code: ") + QString::number(code) +
           QStringLiteral(")");
}

}  // namespace velmora
