#include "i18n/message.h"

#include <libintl.h>

#include <QCoreApplication>
#include <QDir>

#include "app/program_files.h"

namespace velmora {

namespace {
constexpr const char* kDomain = "default";
}

void InitMessages(const QString& locale_dir) {
    QString dir = locale_dir;
    if (dir.isEmpty()) dir = FindProgramFile(QStringLiteral("locale"));
    bindtextdomain(kDomain, QDir(dir).absolutePath().toLocal8Bit().constData());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

QString Msg(const char* english) {
    // Catalogue ids carry LF line ends only; a translation may use LF or CR LF, and what is shown
    // always has CR LF.
    QByteArray id(english);
    id.replace('\r', QByteArray());
    const QByteArray found(dgettext(kDomain, id.constData()));
    QByteArray out;
    out.reserve(found.size() + 8);
    for (int i = 0; i < found.size(); ++i) {
        if (found[i] == '\n' && (i == 0 || found[i - 1] != '\r')) out += '\r';
        out += found[i];
    }
    return QString::fromUtf8(out);
}

}  // namespace velmora
