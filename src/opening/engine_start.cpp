// SPDX-License-Identifier: GPL-3.0-or-later
#include "opening/engine_start.h"

#include "engine/engine.h"

namespace velmora {

bool EngineVersionAccepted(std::uint32_t version) {
    return (version >> 16) == kRequiredEngineInterface;
}

EngineStart StartEngine() {
    vle::PluginLoad(vle::kWmaPlugin, 0);
    if (!EngineVersionAccepted(vle::GetVersion())) return EngineStart::WrongVersion;
    if (!vle::Init(-1, kOutputFrequency, 0, nullptr)) return EngineStart::NoOutput;
    vle::SetConfig(vle::Config::NetPlaylist, 1);
    vle::SetConfig(vle::Config::NetPrebuf, 0);
    return EngineStart::Started;
}

}  // namespace velmora
