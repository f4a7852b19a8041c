// SPDX-License-Identifier: GPL-3.0-or-later
// Translation of whole windows: every text a window and the objects it owns show (texts, titles,
// window titles, hints, placeholder texts, drop-down and list items, menu and action texts) is
// looked up, and its English text remembered so a later switch of language starts from it.
#pragma once

#include <QStringList>

class QObject;
class QWidget;

namespace velmora {

// The first translation of `window`, from the English texts it holds now. Called once, in the
// window's creation.
void TranslateWindow(QWidget* window);
// Translates `window` again into the current catalogue language from the remembered English texts.
// A text the program has replaced since (a station name, a user's channel, a mode's title) is
// data and is left as it is.
void RetranslateWindow(QWidget* window);
// Keeps `object` and everything it owns out of window translation (the user's own data).
void ExcludeFromTranslation(QObject* object);
// The English texts TranslateWindow remembered for `window`, each once.
QStringList RememberedEnglishTexts(const QWidget* window);

}  // namespace velmora
