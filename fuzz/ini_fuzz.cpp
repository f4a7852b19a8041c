// SPDX-License-Identifier: GPL-3.0-or-later
// The settings INI reader and writer. The input is the file's text (decoded as a file is); the
// section, key and value written are cut from it too. Reading the text back must give what was
// written, and it must still be there after the text goes through a save and a load; lines the
// program did not write stay as they were; integers print and parse back to themselves.
#include <QString>
#include <QStringList>

#include "fuzz_support.h"
#include "settings/ini_file.h"
#include "text/server_text.h"

namespace {

// A name the program could use for a section or key: no brackets, "=", ";" or line breaks, and
// no blanks at its ends.
QString Name(const QString& s) {
    QString n;
    for (const QChar c : s) {
        if (c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.') n += c;
    }
    return n.isEmpty() ? QStringLiteral("Key") : n.left(40);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const QString text = QString::fromStdString(velmora::ServerTextToUtf8(raw));

    velmora::IniFile ini;
    ini.SetText(text);
    const QString saved = ini.Text();
    velmora::IniFile reloaded;
    reloaded.SetText(saved);
    // The lines survive a save and a load; only the line end style may change (a last line
    // ending in a lone CR is written with CR LF, and the next load takes the file as CR LF).
    FUZZ_CHECK(QString(reloaded.Text()).replace(QLatin1String("\r\n"), QLatin1String("\n")) ==
               QString(saved).replace(QLatin1String("\r\n"), QLatin1String("\n")));

    // Section, key and value from the last three lines of the text, so that they often meet
    // names already in the file.
    const QStringList parts = text.split(u'\n');
    const QString section = Name(parts.value(parts.size() - 3));
    const QString key = Name(parts.value(parts.size() - 2));
    const QString value = parts.value(parts.size() - 1).trimmed().left(velmora::kIniMaxValueLength);
    const QString before = ini.Text();
    const int lines_before = before.count(u'\n');
    ini.WriteString(section, key, value);
    QString expected = value;
    expected.replace(u'\r', u' ');
    FUZZ_CHECK(ini.ReadString(section, key) == expected.trimmed());
    FUZZ_CHECK(ini.HasKey(section, key));
    // One value changed, or at most a blank line, a header and the key added.
    FUZZ_CHECK(ini.Text().count(u'\n') <= lines_before + 3);

    velmora::IniFile after_save;
    after_save.SetText(QString::fromUtf8(ini.Text().toUtf8()));
    FUZZ_CHECK(after_save.ReadString(section, key) == ini.ReadString(section, key));

    if (const auto n = velmora::ParseIniInteger(value))
        FUZZ_CHECK(velmora::ParseIniInteger(QString::number(*n)) == n);
    ini.WriteInteger(section, key, static_cast<int>(size) - 1000);
    FUZZ_CHECK(ini.ReadInteger(section, key, 7) == static_cast<int>(size) - 1000);
    return 0;
}
