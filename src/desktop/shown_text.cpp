// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/shown_text.h"

#include <algorithm>

namespace velmora {

namespace {

bool IsDirectionControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool IsLineOrControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

}  // namespace

QString ShownText(const QString& text, qsizetype max_length) {
    static const QString kEllipsis = QStringLiteral("...");
    QString out;
    // Enough for the cut text; a very long text is not looked at past what can be shown.
    out.reserve(std::min(text.size(), max_length + 1));
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (IsDirectionControl(u)) continue;
        out += IsLineOrControl(u) ? QChar(u' ') : c;
        if (out.size() > max_length) break;
    }
    if (out.size() <= max_length) return out;
    qsizetype keep = std::max<qsizetype>(max_length - kEllipsis.size(), 0);
    // Never half of a surrogate pair.
    if (keep > 0 && out[keep - 1].isHighSurrogate()) --keep;
    out.truncate(keep);
    return out + kEllipsis;
}

}  // namespace velmora
