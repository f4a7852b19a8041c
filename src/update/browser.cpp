// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/browser.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUrl>

#include "base/web_scheme.h"
#include "update/update_rules.h"

namespace velmora {

namespace {

// xdg-mime is a small shell script; a hung one must not freeze the window for long.
constexpr int kQueryTimeoutMs = 3000;

QString QueryDefaultHandler(const QString& mime_type) {
    QProcess p;
    p.start(QStringLiteral("xdg-mime"),
            {QStringLiteral("query"), QStringLiteral("default"), mime_type});
    if (!p.waitForFinished(kQueryTimeoutMs) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        p.kill();
        p.waitForFinished(100);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QStringList ApplicationFolders() {
    QStringList roots;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    roots << (home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home);
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    roots << dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList folders;
    for (const QString& r : roots) folders << r + QStringLiteral("/applications");
    return folders;
}

}  // namespace

QString DesktopEntryExec(const QString& text) {
    bool in_entry = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            in_entry = line == QStringLiteral("[Desktop Entry]");
        } else if (in_entry && line.startsWith(QStringLiteral("Exec"))) {
            const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
            if (key == QStringLiteral("Exec")) return line.section(QLatin1Char('='), 1).trimmed();
        }
    }
    return {};
}

QString FindDesktopEntry(const QString& desktop_id) {
    if (desktop_id.isEmpty() || desktop_id.contains(QLatin1Char('/'))) return {};
    for (const QString& folder : ApplicationFolders()) {
        // "vendor-foo.desktop" may also live as vendor/foo.desktop.
        QString relative = desktop_id;
        for (;;) {
            const QString path = folder + QLatin1Char('/') + relative;
            if (QFile::exists(path)) return path;
            const int dash = relative.indexOf(QLatin1Char('-'));
            if (dash < 0) break;
            relative[dash] = QLatin1Char('/');
        }
    }
    return {};
}

QString AssociatedProgram(const QString& extension) {
    if (extension.isEmpty() || extension == QStringLiteral(".")) return {};
    QString mime_type;
    if (extension.compare(QStringLiteral(".html"), Qt::CaseInsensitive) == 0 ||
        extension.compare(QStringLiteral(".htm"), Qt::CaseInsensitive) == 0) {
        mime_type = QStringLiteral("x-scheme-handler/http");
    } else {
        const QMimeType t = QMimeDatabase().mimeTypeForFile(QStringLiteral("x") + extension,
                                                            QMimeDatabase::MatchExtension);
        if (t.isDefault()) return {};
        mime_type = t.name();
    }
    const QString entry = FindDesktopEntry(QueryDefaultHandler(mime_type));
    if (entry.isEmpty()) return {};
    QFile f(entry);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString exec = DesktopEntryExec(QString::fromUtf8(f.readAll()));
    return QString::fromStdString(ReduceCommand(exec.toStdString()));
}

void OpenUrl(const QString& address) {
    // The address comes from the update server: only a web page is opened, and in its encoded
    // form, which can never read as a program's option.
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || !IsHttpScheme(url.scheme().toStdString())) return;
    const QString page = url.toString(QUrl::FullyEncoded);
    // Asking the desktop for its browser runs a shell script that can take seconds: it runs
    // beside the window, on the pool that the application waits for when it ends.
    QThreadPool::globalInstance()->start([page, url] {
        const QString program = AssociatedProgram(QStringLiteral(".html"));
        // A handler reduced to a launcher (env VAR=1 browser, flatpak run id) would take the
        // page for its own argument: the desktop's opener knows how to start those.
        const QString base = QFileInfo(program).fileName();
        const bool launcher = base == QLatin1String("env") || base == QLatin1String("flatpak") ||
                              base == QLatin1String("snap") || base == QLatin1String("sh");
        if (!program.isEmpty() && !launcher && QProcess::startDetached(program, {page})) return;
        // No registered browser, or it would not start: the desktop's own opener (xdg-open).
        if (QProcess::startDetached(QStringLiteral("xdg-open"), {page})) return;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, [url] { QDesktopServices::openUrl(url); });
        }
    });
}

}  // namespace velmora
