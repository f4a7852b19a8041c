// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' side of the interface language: the start-up choice, catalogue switches that tell
// the user about a broken catalogue, and the about box's and editor's language at each showing.
#pragma once

#include <QString>

class QWidget;

namespace velmora {

// Selects the start-up catalogue language from LANG, else the user's locale. Call once before
// the windows are created.
void SelectStartupLanguage();
// SelectCatalogueLanguage, showing the "Localization problem" box when the catalogue has no
// charset=utf-8.
void SwitchCatalogue(const QString& code, QWidget* owner);
// The language of a secondary window at its showing: for English, German and Russian in turn,
// when `language_name` names it or the catalogue language is its code, that catalogue is selected
// and `window` retranslated; the last match wins, no match leaves the window as it was.
void ReapplyLanguage(QWidget* window, const QString& language_name);

}  // namespace velmora
