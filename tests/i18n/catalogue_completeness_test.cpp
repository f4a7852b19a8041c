// SPDX-License-Identifier: GPL-3.0-or-later
// Every text the program shows has a German and a Russian translation that is neither missing nor
// fuzzy. After `make catalogues` has merged new texts, this lists what translators still owe.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/program_windows.h"
#include "channels/channel_editor.h"
#include "channels/directory.h"
#include "desktop/program_files.h"
#include "i18n/language.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"
#include "support/window_harness.h"

namespace velmora {
namespace {

const QString kSource = QStringLiteral(VELMORA_SOURCE_DIR);

// "file:line: problem" lines of msgcmp, each followed by the text at that line.
QString Explain(const QString& report) {
    QString out;
    for (const QString& line : report.split('\n', Qt::SkipEmptyParts)) {
        // msgcmp also calls each untranslated entry "not used"; that adds nothing.
        if (line.contains("warning: this message is not used")) continue;
        out += line + '\n';
        const QStringList parts = line.split(':');
        bool ok = false;
        const int number = parts.size() > 2 ? parts[1].toInt(&ok) : 0;
        QFile file(QDir(kSource).filePath(parts[0]));
        if (!ok || !file.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        if (number >= 1 && number <= lines.size()) {
            out += "    " + QString::fromUtf8(lines[number - 1]) + '\n';
        }
    }
    return out;
}

// The texts the sources look up, against each catalogue in the repository.
TEST(CatalogueCompleteness, EveryLookedUpTextIsTranslated) {
    QTemporaryDir dir;
    const QString pot = dir.path() + "/extracted.pot";
    QProcess extract;
    extract.setWorkingDirectory(kSource);
    extract.start("bash", {"scripts/update-catalogues", "--extract-to", pot});
    ASSERT_TRUE(extract.waitForFinished(60000));
    ASSERT_EQ(extract.exitCode(), 0) << extract.readAllStandardError().toStdString();

    for (const char* code : {"de_DE", "ru_RU"}) {
        QProcess compare;
        compare.setWorkingDirectory(kSource);
        compare.start("msgcmp", {QString("locale/%1.po").arg(code), pot});
        ASSERT_TRUE(compare.waitForFinished(60000));
        EXPECT_EQ(compare.exitCode(), 0)
            << code << ": texts without a translation, or with a fuzzy one:\n"
            << Explain(QString::fromUtf8(compare.readAllStandardError())).toStdString();
    }
}

// Texts the windows show but the extraction cannot see (set without the look-up) are caught here.
TEST(CatalogueCompleteness, EveryWindowTextHasAnEntry) {
    test::EnsureApp();
    test::AnsweringDialogs answers;
    SetDialogs(&answers);
    InitMessages(FindProgramFile(QStringLiteral("locale")));
    MainWindow* form = CreateProgramWindows();
    ASSERT_NE(form, nullptr);
    QStringList station_names;
    for (int row = 0; row < kDirectoryRowCount; ++row) {
        if (IsDirectoryStationRow(row)) {
            station_names << QString::fromUtf8(DirectoryRows()[row].text);
        }
    }
    QStringList texts;
    texts << RememberedEnglishTexts(form) << RememberedEnglishTexts(form->findChild<AboutBox*>())
          << RememberedEnglishTexts(form->findChild<ChannelEditor*>());
    for (const char* code : {"de_DE", "ru_RU"}) {
        SelectCatalogueLanguage(code);
        QStringList missing;
        for (const QString& text : texts) {
            if (station_names.contains(text)) continue;  // names, shown as they are
            if (!CatalogueHasEntry(text.toUtf8().constData())) missing << text;
        }
        EXPECT_TRUE(missing.isEmpty()) << code << ": " << missing.join(" | ").toStdString();
    }
    SelectCatalogueLanguage(QString());
    delete form;
    SetDialogs(nullptr);
}

}  // namespace
}  // namespace velmora
