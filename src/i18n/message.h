// The one look-up every shown text passes through: English text in, the current catalogue's
// translation out (the text itself when the catalogue has none).
#pragma once

#include <QString>

namespace velmora {

// Binds the text domain "default" to the folder "locale" beside the program, or under
// ../share/velmora when installed. Called once at start;
// tests may point it elsewhere.
void InitMessages(const QString& locale_dir = {});
// Translation of `english` in the current catalogue, as UTF-8 decoded text.
QString Msg(const char* english);

}  // namespace velmora
