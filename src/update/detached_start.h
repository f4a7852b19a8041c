// SPDX-License-Identifier: GPL-3.0-or-later
// Starting the upgrader from the private folder without looking its path up again, detached from
// the player so that it outlives it.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Starts the program `name` in the opened folder `folder_fd` as a process of its own (a new
// session, not the player's child), in `working_folder`, with `args` (args[0] is the name it is
// shown under) and the player's environment plus `extra_env` ("NAME=value"). True once the program
// has really begun to run; false with `error` set when it could not (a noexec folder, a file that
// is not this user's program).
bool StartDetached(int folder_fd, const std::string& name, const std::vector<std::string>& args,
                   const std::string& working_folder, const std::vector<std::string>& extra_env,
                   std::string* error);

}  // namespace velmora
