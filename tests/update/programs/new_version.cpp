// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for a new version of the player in the end-to-end update test: it writes where and how
// it was started to $VELMORA_TEST_MARKER and ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int, char** argv) {
    const char* marker = std::getenv("VELMORA_TEST_MARKER");
    if (!marker) return 2;
    FILE* f = std::fopen(marker, "w");
    if (!f) return 1;
    char cwd[4096] = {};
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    std::fprintf(f, "started %s in %s pid-variable %s\n", argv[0], cwd,
                 std::getenv("VELMORA_PLAYER_PID") ? "set" : "unset");
    return std::fclose(f) == 0 ? 0 : 1;
}
