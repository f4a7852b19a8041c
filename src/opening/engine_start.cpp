// SPDX-License-Identifier: GPL-3.0-or-later
#include "opening/engine_start.h"

#include "engine/engine.h"

namespace velmora {

bool EngineVersionAccepted(std::uint32_t version) {
    return (version >> 16) == kRequiredEngineInterface;
}

EngineStart StartEngine() {
    engine::PluginLoad(engine::kWmaPlugin, 0);
    if (!EngineVersionAccepted(engine::GetVersion())) return EngineStart::WrongVersion;
    if (!engine::Init(-1, kOutputFrequency, 0, nullptr)) return EngineStart::NoOutput;
    engine::SetConfig(engine::Config::NetPlaylist, 1);
    engine::SetConfig(engine::Config::NetPrebuf, 0);
    return EngineStart::Started;
}

}  // namespace velmora
