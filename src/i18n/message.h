// SPDX-License-Identifier: GPL-3.0-or-later
// The one look-up every shown text passes through: English text in, the current catalogue's
// translation out (the text itself when the catalogue has none).
#pragma once

#include <QString>

namespace velmora {

// Binds the text domain "default" to `locale_dir`: at start, the folder "locale" beside the
// program, or under ../share/velmora when installed (FindProgramFile("locale")); tests may point it
// elsewhere.
void InitMessages(const QString& locale_dir);
// The folder the domain is bound to.
QString MessageFolder();
// Translation of `english` in the current catalogue, as UTF-8 decoded text.
QString Msg(const char* english);
// True when the current catalogue holds an entry for `english` (line ends as in Msg).
bool CatalogueHasEntry(const char* english);

// Marks a text in a table for extraction; it is looked up where it is shown.
constexpr const char* Translatable(const char* english) {
    return english;
}

// While one lives, Msg on this thread returns the English texts: windows are built in English,
// and the window translation then translates them once and remembers the English for a later
// switch of language.
class EnglishTexts {
  public:
    EnglishTexts();
    ~EnglishTexts();
    EnglishTexts(const EnglishTexts&) = delete;
    EnglishTexts& operator=(const EnglishTexts&) = delete;
};

// Switches the look-up off (every text stays English) or on again; used when a catalogue cannot
// be trusted.
void SetTranslationsEnabled(bool enabled);
bool TranslationsEnabled();

}  // namespace velmora
