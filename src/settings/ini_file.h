// SPDX-License-Identifier: GPL-3.0-or-later
// A small INI reader and writer with the rules of the classic profile functions: section and key
// names match without regard to case, integers may be written "0x1F" or "$1F", unparsable values
// give the caller's default, Booleans are integers, strings are read up to 2047 characters. Every
// line the program does not change is written back as it was, in place and in order.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

// Longest string value a read returns.
inline constexpr int kIniMaxValueLength = 2047;
// Largest file read: settings take a few hundred bytes.
inline constexpr qint64 kIniMaxFileBytes = 1024 * 1024;

// Outcome of a file operation: success, or a reason with the file it concerns.
class [[nodiscard]] FileStatus {
  public:
    static FileStatus Ok() { return FileStatus(); }
    enum class Operation { Read, Write };
    static FileStatus Failed(Operation op, const QString& path, const QString& reason) {
        FileStatus s;
        s.ok_ = false;
        s.op_ = op;
        s.path_ = path;
        s.reason_ = reason;
        return s;
    }
    bool ok() const { return ok_; }
    Operation operation() const { return op_; }
    const QString& path() const { return path_; }
    const QString& reason() const { return reason_; }
    // A sentence for the user that names the file and says what went wrong.
    QString Message() const;

  private:
    bool ok_ = true;
    Operation op_ = Operation::Write;
    QString path_;
    QString reason_;
};

// Parses an integer the way the profile functions do: optional sign and decimal digits, or "$"
// or "0x"/"0X" followed by up to eight hexadecimal digits (taken as 32 bits, so "$FFFFFFFF" is
// -1). Surrounding blanks are ignored; anything else, out-of-range values and "" give nothing.
std::optional<int> ParseIniInteger(const QString& text);

class IniFile {
  public:
    IniFile() = default;

    // Reads `path`. A missing file is not an error (the file starts empty); a file that cannot be
    // read, is no regular file, is larger than kIniMaxFileBytes or is not an INI file reports why
    // and leaves the contents empty.
    FileStatus Load(const QString& path);
    // Writes the contents to `path` through a temporary file in the same folder renamed into
    // place, so a failed write leaves the old file whole. Creates missing parent folders. A file
    // without any write permission is refused even for a privileged user.
    FileStatus Save(const QString& path) const;

    // Text of the file as it would be saved.
    QString Text() const;
    void SetText(const QString& text);

    bool HasSection(const QString& section) const;
    bool HasKey(const QString& section, const QString& key) const;

    // The value of `key`, trimmed and cut to 2047 characters; `fallback` when the key is missing.
    QString ReadString(const QString& section, const QString& key,
                       const QString& fallback = {}) const;
    // `fallback` when the key is missing or its value is not a whole number.
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    // An integer that is non-zero; `fallback` when missing or unparsable.
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;

    // Replaces the value of an existing key in place, or appends the key at the end of its section,
    // or appends the section at the end of the file.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

  private:
    // Index of the header line of the first section named `section`, or -1.
    int FindSection(const QString& section) const;
    // Index of the first line of `key` in the section starting at `header`, or -1.
    int FindKey(int header, const QString& key) const;
    // Index one past the last line that belongs to the section starting at `header`.
    int SectionEnd(int header) const;

    QStringList lines_;
    QString eol_ = QStringLiteral("\n");  // the file's own line end
};

}  // namespace velmora
