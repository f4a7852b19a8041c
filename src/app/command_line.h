// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: velmora [OPTIONS] [URL|FILE]. Read before any window or sound
// device exists, so that --help and --version answer on a machine without a display.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

struct CommandLine {
    enum class Action { Run, Help, Version, Usage, Find, Record };
    Action action = Action::Run;
    QString station;  // the URL or FILE argument; empty when none was given
    QString find;     // for Find: the words searched for in the station directory
    QString error;    // for Usage: what was wrong
    // For Record (--record URL): recording without a window.
    double duration_seconds = 0;             // --duration; 0: until stopped
    bool per_song = false;                   // --per-song
    QString output;                          // --output DIR
    std::optional<double> min_song_seconds;  // --min-song SECONDS; else the stored setting
};

// `arguments` as main() gets them, the program's name first.
CommandLine ParseCommandLine(const QStringList& arguments);
// The text --help prints.
QString UsageText();
// The text --version prints.
QString VersionText();

}  // namespace velmora
