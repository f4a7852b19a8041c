// SPDX-License-Identifier: GPL-3.0-or-later
// The three interface languages, the start-up choice of the catalogue language and switching the
// catalogue at run time.
#pragma once

#include <QString>
#include <optional>
#include <span>

#include "i18n/message.h"

namespace velmora {

struct LanguageInfo {
    const char* name;         // stored as the settings key "Language"
    const char* code;         // catalogue language code
    const char* update_path;  // update information file on the maker's update server
};

// English, German, Russian, in this order.
std::span<const LanguageInfo> Languages();
// The language stored under `name` (exact, case-sensitive); nullptr for any other text.
const LanguageInfo* LanguageByName(const QString& name);
// The language whose catalogue code is exactly `code`; nullptr for any other code.
const LanguageInfo* LanguageByCode(const QString& code);

// The language the texts are shown in now: the one whose catalogue the current code finds,
// English when none is found (the texts are then the program's own).
const LanguageInfo& LanguageOfShownTexts();

// The start-up catalogue code: `lang_env` (the value of LANG), else the user's locale as
// language_COUNTRY; everything from the first "." on dropped.
QString StartupCatalogueCode(const QString& lang_env, const QString& system_locale_name);

// The catalogue file for `code` below `folder`: <folder>/<code>/LC_MESSAGES/default.mo, else the
// same with the code's first two letters; empty when neither exists.
QString CatalogueFile(const QString& folder, const QString& code);
// True when a catalogue header's Content-Type declares charset=utf-8 (any letter case).
bool HeaderDeclaresUtf8(const QString& header);

// A catalogue that cannot be used: the code asked for and the file found for it.
struct CatalogueProblem {
    QString code;
    QString path;
    // The text of the "Localization problem" box.
    QString Message() const;
};
inline constexpr const char* kLocalizationProblemCaption = Translatable("Localization problem");

// Sets up the look-up so that catalogues can be switched at run time on any machine (even one
// with no locale but C.UTF-8), and installs the toolkit's own translations. Call once, before any
// other thread runs, after InitMessages.
void InitCatalogueSwitching();
// Makes `code` the language of all later look-ups, and the toolkit's own texts follow. A
// catalogue without charset=utf-8 switches translation off and is returned as a problem.
std::optional<CatalogueProblem> SelectCatalogueLanguage(const QString& code);
// The code selected last.
QString CatalogueLanguage();

}  // namespace velmora
