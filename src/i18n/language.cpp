// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/language.h"

#include <libintl.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>
#include <array>
#include <clocale>
#include <cstdlib>
#include <memory>

#include "i18n/message.h"

// glibc's gettext caches look-ups; this counter tells it that the language has changed.
extern "C" int _nl_msg_cat_cntr;

namespace velmora {

namespace {

constexpr std::array<LanguageInfo, 3> kLanguages = {{
    {"English", "EN", "/downloads/update/selfupdate_en.cgi"},
    {"German", "de_DE", "/downloads/update/selfupdate_de.cgi"},
    {"Russian", "ru_RU", "/downloads/update/selfupdate_ru.cgi"},
}};

// Texts of the toolkit's own dialogs and edit menus, for when its translations are not installed.
[[maybe_unused]] constexpr std::array<const char*, 14> kToolkitTexts = {
    Translatable("&Yes"),   Translatable("&No"),        Translatable("&OK"),
    Translatable("Cancel"), Translatable("&Cancel"),    Translatable("Close"),
    Translatable("&Save"),  Translatable("&Open"),      Translatable("&Undo"),
    Translatable("&Redo"),  Translatable("Cu&t"),       Translatable("&Copy"),
    Translatable("&Paste"), Translatable("Select All"),
};

// The toolkit's own texts (message box buttons, file dialogs): its shipped translations first,
// then our catalogue, so they follow the same language as everything else.
class ToolkitTranslator final : public QTranslator {
  public:
    void Load(const QString& code) {
        qt_ = std::make_unique<QTranslator>();
        const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!qt_->load(QStringLiteral("qtbase_") + code.left(2).toLower(), dir)) qt_.reset();
    }
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        if (!source || !TranslationsEnabled()) return {};
        if (qt_) {
            QString t = qt_->translate(context, source, disambiguation, n);
            if (!t.isEmpty()) return t;
        }
        return CatalogueHasEntry(source) ? Msg(source) : QString();
    }

  private:
    std::unique_ptr<QTranslator> qt_;
};

ToolkitTranslator* g_toolkit = nullptr;
QString g_code;
QString g_code_folder;  // the catalogue folder g_code was selected in

}  // namespace

std::span<const LanguageInfo> Languages() {
    return kLanguages;
}

const LanguageInfo* LanguageByName(const QString& name) {
    for (const LanguageInfo& l : kLanguages) {
        if (name == QLatin1String(l.name)) return &l;
    }
    return nullptr;
}

const LanguageInfo* LanguageByCode(const QString& code) {
    for (const LanguageInfo& l : kLanguages) {
        if (code == QLatin1String(l.code)) return &l;
    }
    return nullptr;
}

const LanguageInfo& LanguageOfShownTexts() {
    const QString shown = CatalogueFile(MessageFolder(), CatalogueLanguage());
    if (!shown.isEmpty()) {
        for (const LanguageInfo& l : kLanguages) {
            if (CatalogueFile(MessageFolder(), QLatin1String(l.code)) == shown) return l;
        }
    }
    return kLanguages[0];
}

QString StartupCatalogueCode(const QString& lang_env, const QString& system_locale_name) {
    const QString code = lang_env.isEmpty() ? system_locale_name : lang_env;
    return code.section(QLatin1Char('.'), 0, 0);
}

QString CatalogueFile(const QString& folder, const QString& code) {
    for (const QString& c : {code, code.left(2)}) {
        if (c.isEmpty()) continue;
        const QString path =
            folder + QLatin1Char('/') + c + QStringLiteral("/LC_MESSAGES/default.mo");
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

bool HeaderDeclaresUtf8(const QString& header) {
    static const QRegularExpression kContentType(
        QStringLiteral("^Content-Type:[^\\n]*charset=utf-8\\s*(;|$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    return kContentType.match(header).hasMatch();
}

QString CatalogueProblem::Message() const {
    // Shown once translation is off, so it is English in any case.
    return QStringLiteral("The translation for the language code ") + code +
           QStringLiteral(" (in ") + path +
           QStringLiteral(
               ") does not have charset=utf-8 in its Content-Type. Translations are turned off.");
}

void InitCatalogueSwitching() {
    // glibc's gettext ignores LANGUAGE while the messages locale is "C", which is all a fresh
    // system may have: C.UTF-8 is built into glibc and lets LANGUAGE choose the catalogue. The
    // locales of the translated languages never need to be installed.
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    if (!current || std::string_view(current) == "C" || std::string_view(current) == "POSIX") {
        if (!std::setlocale(LC_MESSAGES, "C.UTF-8")) std::setlocale(LC_MESSAGES, "C.utf8");
    }
    // Present from now on, so later switches only replace its value: adding a variable while
    // other threads read the environment would not be safe.
    if (!std::getenv("LANGUAGE")) setenv("LANGUAGE", "", 1);
    if (!g_toolkit && QCoreApplication::instance()) {
        g_toolkit = new ToolkitTranslator;
        g_toolkit->setParent(QCoreApplication::instance());
    }
}

std::optional<CatalogueProblem> SelectCatalogueLanguage(const QString& code) {
    if (code == g_code && !g_code.isNull() && g_code_folder == MessageFolder()) return std::nullopt;
    g_code = code;
    g_code_folder = MessageFolder();
    const QString file = CatalogueFile(MessageFolder(), code);
    // gettext tries the code and then its language part by itself; naming the one found keeps
    // it to the file checked below.
    QDir found = QFileInfo(file).dir();  // .../<code>/LC_MESSAGES
    const QString chosen = file.isEmpty() || !found.cdUp() ? code : found.dirName();
    setenv("LANGUAGE", chosen.isEmpty() ? "C" : chosen.toUtf8().constData(), 1);
    ++_nl_msg_cat_cntr;
    SetTranslationsEnabled(true);

    std::optional<CatalogueProblem> problem;
    if (!file.isEmpty()) {
        // The catalogue's header is the translation of the empty id.
        const char* header = dgettext("default", "");
        if (!HeaderDeclaresUtf8(QString::fromUtf8(header))) {
            SetTranslationsEnabled(false);
            problem = CatalogueProblem{code, file};
        }
    }
    if (g_toolkit) {
        g_toolkit->Load(code);
        // Reinstalling tells every widget that the language changed.
        QCoreApplication::removeTranslator(g_toolkit);
        QCoreApplication::installTranslator(g_toolkit);
    }
    return problem;
}

QString CatalogueLanguage() {
    return g_code;
}

}  // namespace velmora
