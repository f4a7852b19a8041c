// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/message.h"

#include <libintl.h>

#include <QCoreApplication>
#include <QDir>
#include <atomic>

namespace velmora {

namespace {
constexpr const char* kDomain = "default";
QString g_folder;
std::atomic<bool> g_enabled{true};
thread_local int t_english_depth = 0;

QByteArray IdOf(const char* english) {
    QByteArray id(english);
    id.replace('\r', QByteArray());
    return id;
}

// Looks `id` up; nullptr when the catalogue has no entry (gettext then hands back the id itself).
const char* Find(const QByteArray& id) {
    if (!g_enabled.load(std::memory_order_relaxed) || id.isEmpty()) return nullptr;
    const char* found = dgettext(kDomain, id.constData());
    return found == id.constData() ? nullptr : found;
}
}  // namespace

void InitMessages(const QString& locale_dir) {
    g_folder = QDir(locale_dir).absolutePath();
    bindtextdomain(kDomain, g_folder.toLocal8Bit().constData());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

QString MessageFolder() {
    return g_folder;
}

QString Msg(const char* english) {
    // Catalogue ids carry LF line ends only; a translation may use LF or CR LF, and what is shown
    // always has CR LF.
    const QByteArray id = IdOf(english);
    const char* entry = t_english_depth > 0 ? nullptr : Find(id);
    const QByteArray found = entry ? QByteArray(entry) : id;
    QByteArray out;
    out.reserve(found.size() + 8);
    for (int i = 0; i < found.size(); ++i) {
        if (found[i] == '\n' && (i == 0 || found[i - 1] != '\r')) out += '\r';
        out += found[i];
    }
    return QString::fromUtf8(out);
}

bool CatalogueHasEntry(const char* english) {
    return Find(IdOf(english)) != nullptr;
}

EnglishTexts::EnglishTexts() {
    ++t_english_depth;
}

EnglishTexts::~EnglishTexts() {
    --t_english_depth;
}

void SetTranslationsEnabled(bool enabled) {
    g_enabled.store(enabled, std::memory_order_relaxed);
}

bool TranslationsEnabled() {
    return g_enabled.load(std::memory_order_relaxed);
}

}  // namespace velmora
