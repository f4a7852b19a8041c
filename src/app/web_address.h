// SPDX-License-Identifier: GPL-3.0-or-later
// Station pages typed by users: the address as the browser is to be given it.
#pragma once

#include <QString>
#include <QUrl>

namespace velmora {

// The address to open for a homepage or programs entry. One without a scheme, as users type
// them ("www.radio.example", "radio.example:8000/shows"), opens as http; blanks around it are
// dropped. An empty address gives an empty URL, which opens nothing.
QUrl WebPageUrl(const QString& address);

}  // namespace velmora
