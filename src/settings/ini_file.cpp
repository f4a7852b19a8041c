// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>
#include <string>

#include "desktop/bounded_read.h"
#include "desktop/file_writer.h"
#include "i18n/message.h"
#include "text/server_text.h"

namespace velmora {

namespace {

bool IsSectionLine(const QString& line) {
    return line.trimmed().startsWith(u'[');
}

QString SectionName(const QString& line) {
    QString t = line.trimmed().mid(1);
    const qsizetype close = t.indexOf(u']');
    if (close >= 0) t.truncate(close);
    return t.trimmed();
}

// Key of a "key=value" line; empty for comments, section headers and lines without "=".
QString KeyName(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'[')) return {};
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return {};
    return line.left(eq).trimmed();
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Line breaks in a value would split it into lines of their own and corrupt the file.
QString OneLine(QString value) {
    value.replace(u'\r', u' ');
    value.replace(u'\n', u' ');
    return value;
}

// The file's bytes as text: UTF-8 when valid, else the likely single-byte code page, which is
// what files written by older versions on other systems hold.
QString DecodeFile(const QByteArray& bytes) {
    return QString::fromStdString(FileTextToUtf8(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

// Whether `lines` read as an INI file: a section header, and more lines of sections, keys and
// comments than anything else. Blank text counts too (a new file). A file of other text under the
// settings' name must not be replaced by the settings.
bool LooksLikeIni(const QStringList& lines) {
    int ini = 0, other = 0;
    bool section = false;
    for (const QString& line : lines) {
        const QString t = line.trimmed();
        if (t.isEmpty()) continue;
        if (t.startsWith(u'[') && t.endsWith(u']') && !SectionName(t).isEmpty()) {
            section = true;
            ++ini;
        } else if (t.startsWith(u';') || t.startsWith(u'#') || !KeyName(line).isEmpty()) {
            ++ini;
        } else {
            ++other;
        }
    }
    return (ini == 0 && other == 0) || (section && ini > other);
}

}  // namespace

QString FileStatus::Message() const {
    if (ok_) return {};
    const QString file = QDir::toNativeSeparators(path_);
    const QString text = op_ == Operation::Read ? Msg("The file \"%1\" could not be read: %2")
                                                : Msg("The file \"%1\" could not be written: %2");
    return text.arg(file, reason_);
}

std::optional<int> ParseIniInteger(const QString& text) {
    const QString t = text.trimmed();
    QStringView digits;
    int base = 10;
    bool negative = false;
    if (t.startsWith(u'$')) {
        digits = QStringView(t).mid(1);
        base = 16;
    } else if (t.size() > 2 &&
               (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))) {
        digits = QStringView(t).mid(2);
        base = 16;
    } else {
        digits = QStringView(t);
        if (!digits.isEmpty() && (digits.front() == u'-' || digits.front() == u'+')) {
            negative = digits.front() == u'-';
            digits = digits.mid(1);
        }
    }
    if (digits.isEmpty()) return std::nullopt;
    unsigned long long value = 0;
    for (const QChar c : digits) {
        int d;
        if (c >= u'0' && c <= u'9') {
            d = c.unicode() - u'0';
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            d = c.unicode() - u'a' + 10;
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            d = c.unicode() - u'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * base + d;
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 16) return static_cast<int>(static_cast<unsigned int>(value));
    if (negative) {
        if (value > static_cast<unsigned long long>(INT_MAX) + 1) return std::nullopt;
        return static_cast<int>(-static_cast<long long>(value));
    }
    if (value > static_cast<unsigned long long>(INT_MAX)) return std::nullopt;
    return static_cast<int>(value);
}

FileStatus IniFile::Load(const QString& path) {
    lines_.clear();
    eol_ = QStringLiteral("\n");
    const BoundedRead read = ReadRegularFile(path, kIniMaxFileBytes);
    if (read.missing) return FileStatus::Ok();
    if (read.error) return FileStatus::Failed(FileStatus::Operation::Read, path, *read.error);
    if (read.cut) {
        return FileStatus::Failed(FileStatus::Operation::Read, path,
                                  FileTooLargeReason(kIniMaxFileBytes));
    }
    SetText(DecodeFile(read.bytes));
    if (!LooksLikeIni(lines_)) {
        lines_.clear();
        return FileStatus::Failed(FileStatus::Operation::Read, path,
                                  Msg("it does not hold settings"));
    }
    return FileStatus::Ok();
}

void IniFile::SetText(const QString& text) {
    // Files from other systems end lines in CR LF, LF or a lone CR; each is written back as it
    // came.
    if (text.contains(QLatin1String("\r\n"))) {
        eol_ = QStringLiteral("\r\n");
    } else if (text.contains(u'\r') && !text.contains(u'\n')) {
        eol_ = QStringLiteral("\r");
    } else {
        eol_ = QStringLiteral("\n");
    }
    lines_.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        lines_.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines_.append(text.mid(start));
}

QString IniFile::Text() const {
    QString out;
    for (const QString& line : lines_) out += line + eol_;
    return out;
}

FileStatus IniFile::Save(const QString& path) const {
    // A failure here shows up as the failure to create the file below.
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (const auto error = ReplaceFileContent(path, Text().toUtf8())) {
        return FileStatus::Failed(FileStatus::Operation::Write, path, error->Reason());
    }
    return FileStatus::Ok();
}

int IniFile::FindSection(const QString& section) const {
    for (int i = 0; i < lines_.size(); ++i) {
        if (IsSectionLine(lines_[i]) && SameName(SectionName(lines_[i]), section)) return i;
    }
    return -1;
}

int IniFile::SectionEnd(int header) const {
    int i = header + 1;
    while (i < lines_.size() && !IsSectionLine(lines_[i])) ++i;
    return i;
}

int IniFile::FindKey(int header, const QString& key) const {
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        if (SameName(KeyName(lines_[i]), key)) return i;
    }
    return -1;
}

bool IniFile::HasSection(const QString& section) const {
    return FindSection(section) >= 0;
}

bool IniFile::HasKey(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    return header >= 0 && FindKey(header, key) >= 0;
}

QString IniFile::ReadString(const QString& section, const QString& key,
                            const QString& fallback) const {
    const int header = FindSection(section);
    const int line = header >= 0 ? FindKey(header, key) : -1;
    if (line < 0) return fallback.left(kIniMaxValueLength);
    const QString& text = lines_[line];
    return text.mid(text.indexOf(u'=') + 1).trimmed().left(kIniMaxValueLength);
}

int IniFile::ReadInteger(const QString& section, const QString& key, int fallback) const {
    return ParseIniInteger(ReadString(section, key)).value_or(fallback);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString v = OneLine(value);
    int header = FindSection(section);
    if (header < 0) {
        if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty()) lines_.append(QString());
        lines_.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines_.append(key + QLatin1Char('=') + v);
        return;
    }
    const int line = FindKey(header, key);
    if (line >= 0) {
        // Keep the key as the file spells it; only the value changes.
        QString& text = lines_[line];
        text = text.left(text.indexOf(u'=') + 1) + v;
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay there.
    int insert = SectionEnd(header);
    while (insert > header + 1 && lines_[insert - 1].trimmed().isEmpty()) --insert;
    lines_.insert(insert, key + QLatin1Char('=') + v);
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace velmora
