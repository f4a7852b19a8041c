// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/directory_error_text.h"

#include "i18n/message.h"

namespace velmora {

QString DirectoryErrorText(const DirectoryError& error) {
    switch (error.kind) {
        case DirectoryFailure::None:
        case DirectoryFailure::Cancelled:
            return {};
        case DirectoryFailure::Unreachable:
        case DirectoryFailure::BadStatus:
            return Msg(
                "The station directory cannot be reached. Please check your internet "
                "connection.");
        case DirectoryFailure::TooLarge:
            return Msg("The station directory sent an answer that is too large.");
        case DirectoryFailure::Malformed:
            return Msg("The station directory sent an answer that cannot be read.");
    }
    return {};
}

}  // namespace velmora
