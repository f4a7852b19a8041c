// SPDX-License-Identifier: GPL-3.0-or-later
// Volume rules of the slider and the two mute pictures. A slider at 0 counts as muted; nothing
// else stores the mute state.
#pragma once

namespace velmora {

inline constexpr int kDefaultVolume = 90;
// Where unmute goes when both the slider and the remembered volume are 0.
inline constexpr int kUnmuteFallbackVolume = 50;

// The engine's volume for a slider position 0..100.
inline float EngineVolume(int slider_position) {
    return slider_position / 100.0f;
}
// Whether the "Volume off" picture (a click mutes) shows; the "Volume on" one shows otherwise.
inline bool MuteButtonVisible(int slider_position) {
    return slider_position > 0;
}
// The slider position unmute restores.
int UnmutePosition(int slider_position, int saved_volume);

}  // namespace velmora
