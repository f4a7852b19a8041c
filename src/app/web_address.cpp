#include "app/web_address.h"

#include <QRegularExpression>

namespace velmora {

QUrl WebPageUrl(const QString& address) {
    const QString text = address.trimmed();
    if (text.isEmpty()) return {};
    // "host:port" would read as a scheme named after the host, so only "scheme://" and the
    // few schemes without "//" that a page entry may hold count as one.
    static const QRegularExpression kScheme(
        QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*://|(mailto|file|about):)"));
    if (kScheme.match(text).hasMatch()) return QUrl(text);
    return QUrl(QStringLiteral("http://") + text);
}

}  // namespace velmora
