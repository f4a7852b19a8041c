#include "i18n/message.h"

#include <libintl.h>

#include <QCoreApplication>
#include <QDir>

namespace velmora {

namespace {
constexpr const char* kDomain = "default";
}

void InitMessages(const QString& locale_dir) {
    QString dir = locale_dir;
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath() + "/locale";
    bindtextdomain(kDomain, QDir(dir).absolutePath().toLocal8Bit().constData());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

QString Msg(const char* english) { return QString::fromUtf8(dgettext(kDomain, english)); }

}  // namespace velmora
