// SPDX-License-Identifier: GPL-3.0-or-later
// A text from a stranger (a station's title or name, an argument) made safe to show on the
// desktop: in a notification, the media panel, the tray's tooltip or a message box.
#pragma once

#include <QString>

namespace velmora {

// Titles are rarely longer; a notification or tooltip of more fills the screen.
inline constexpr qsizetype kShownTextLength = 300;

// `text` on one line: control characters and line breaks become blanks, direction overrides,
// embeddings and isolates are dropped (so a title cannot turn around what is shown after it), and
// a text above `max_length` characters is cut to that length with "..." at its end.
QString ShownText(const QString& text, qsizetype max_length = kShownTextLength);

}  // namespace velmora
