// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/language_switch.h"

#include <QLocale>

#include "desktop/dialogs.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"

namespace velmora {

void SelectStartupLanguage() {
    InitCatalogueSwitching();
    SwitchCatalogue(StartupCatalogueCode(qEnvironmentVariable("LANG"), QLocale::system().name()),
                    nullptr);
}

void SwitchCatalogue(const QString& code, QWidget* owner) {
    if (const std::optional<CatalogueProblem> problem = SelectCatalogueLanguage(code)) {
        dialogs().Error(owner, problem->Message(), Msg(kLocalizationProblemCaption));
    }
}

void ReapplyLanguage(QWidget* window, const QString& language_name) {
    // Each test sees the catalogue language the one before it left.
    for (const LanguageInfo& language : Languages()) {
        const QString code = QString::fromLatin1(language.code);
        if (language_name == QLatin1String(language.name) || CatalogueLanguage() == code) {
            // Qt picks a font that covers the script (Cyrillic included) by itself: no character
            // set to choose per language.
            SwitchCatalogue(code, window);
            RetranslateWindow(window);
        }
    }
}

}  // namespace velmora
