// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/failure_text.h"

#include "engine/engine.h"
#include "engine/playlist.h"
#include "i18n/message.h"

namespace velmora {

QString CannotPlayText(int engine_error) {
    if (engine_error == static_cast<int>(engine::ErrorCode::PlaylistCut)) {
        return Msg("Can't play the stream: the first %1 entries of its playlist failed")
            .arg(engine::kPlaylistEntryLimit);
    }
    return Msg("Can't play the stream");
}

}  // namespace velmora
