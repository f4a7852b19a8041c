// SPDX-License-Identifier: GPL-3.0-or-later
// The upgrader program's executable, built by the project and carried inside the player; written
// out verbatim before every replacement.
#pragma once

#include <string_view>

namespace velmora {

std::string_view UpgraderImage();

}  // namespace velmora
