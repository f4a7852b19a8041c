// SPDX-License-Identifier: GPL-3.0-or-later
// A station given from outside the window (the command line, a file manager, a second start): a
// web address as it is, or a local playlist file read with the engine's own parsers.
#pragma once

#include <QString>

namespace velmora {

struct StationArgument {
    QString url;    // what Play opens; empty when the argument cannot be played
    QString name;   // shown until the server names the station: the host or the file's name
    QString error;  // why it cannot be played, for the error box
};

// True for an absolute http or https address with a host: the only stations opened from outside.
bool IsStationAddress(const QString& text);

// `argument` (an http(s) address, a file:// address or a path, relative to `working_folder`) as a
// station. A playlist file (.pls, .m3u, .m3u8, .asx, .xspf, or recognised by its first bytes)
// gives its first http(s) entry; an HLS list of variants its first variant. Any other entry, or
// any other scheme, is not opened.
StationArgument StationFromArgument(const QString& argument, const QString& working_folder);

}  // namespace velmora
