// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/web_address.h"

#include <QRegularExpression>

#include "base/web_scheme.h"

namespace velmora {

QUrl WebPageUrl(const QString& address) {
    const QString text = address.trimmed();
    if (text.isEmpty()) return {};
    // "host:port" would read as a scheme named after the host, so only "scheme://" and
    // "mailto:" count as one. A page address may come from an imported list: only web pages and
    // mail open, never local files or other handlers.
    static const QRegularExpression kScheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)(://|:)"));
    const QRegularExpressionMatch scheme = kScheme.match(text);
    const QString name = scheme.captured(1).toLower();
    if (scheme.hasMatch() && scheme.captured(2) == QLatin1String("://")) {
        return IsHttpScheme(name.toStdString()) ? QUrl(text) : QUrl();
    }
    if (name == QLatin1String("mailto")) return QUrl(text);
    return QUrl(QStringLiteral("http://") + text);
}

}  // namespace velmora
