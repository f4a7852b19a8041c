// SPDX-License-Identifier: GPL-3.0-or-later
// How a request to the station directory can fail. The detail is English, for the command line
// and logs; the windows say the kind in the user's language.
#pragma once

#include <string>

namespace velmora {

enum class DirectoryFailure {
    None,
    Unreachable,  // no server answered (name look-up, connection, timeout, TLS)
    BadStatus,    // a server answered with an HTTP error
    TooLarge,     // the answer passed its size bound
    Malformed,    // not JSON, or JSON of the wrong shape or types
    Cancelled,    // a newer request replaced this one
};

struct DirectoryError {
    DirectoryFailure kind = DirectoryFailure::None;
    std::string detail;
    explicit operator bool() const { return kind != DirectoryFailure::None; }
};

}  // namespace velmora
