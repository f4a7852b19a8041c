// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's start as the player and the probe make it, written once.
#pragma once

#include <cstdint>

namespace velmora {

// Interface version 2.4: the upper 16 bits of the engine's version number.
inline constexpr std::uint32_t kRequiredEngineInterface = 0x0204;
inline constexpr std::uint32_t kOutputFrequency = 44100;

bool EngineVersionAccepted(std::uint32_t version);

enum class EngineStart { Started, WrongVersion, NoOutput };
// Loads the WMA plug-in (without it WMA streams just fail to open), checks the interface version,
// opens the default output at kOutputFrequency and sets the options every opening relies on:
// playlists are opened, and creation does not pre-buffer (the opener shows the buffering).
// NoOutput leaves the engine's error code for ErrorGetCode() on this thread.
EngineStart StartEngine();

}  // namespace velmora
