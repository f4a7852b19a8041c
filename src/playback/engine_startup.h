// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the engine start-up, as plain rules.
#pragma once

#include <QString>
#include <cstdint>

namespace velmora {

// Interface version 2.4: the upper 16 bits of the engine's version number.
inline constexpr std::uint32_t kRequiredEngineInterface = 0x0204;
inline constexpr std::uint32_t kOutputFrequency = 44100;

bool EngineVersionAccepted(std::uint32_t version);
// The engine error box's text: the message on the first line, "(error code: N)" on the second.
QString EngineErrorText(const QString& message, int code);

}  // namespace velmora
