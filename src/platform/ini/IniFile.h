#pragma once
// A settings file with Windows INI semantics.
//
// Sections and keys match without regard to letter case. A read of a missing
// file, section or key returns the caller's default. Every write goes to the
// file at once (creating it when missing) and keeps every other line of the
// file where it was: only the one value line changes, or a new line is added
// at the end of its section, or a new section at the end of the file.
// Values longer than 2047 characters are cut to 2047 on reading. Lines may end
// in CRLF or LF; a rewritten file keeps the line ending it had (CRLF for a new
// file). Text is UTF-8.
//
// The object holds only the path: each call reads the file anew, so several
// windows may open the same file one after the other without caching.

#include <QString>
#include <stdexcept>

namespace qdl {

// Raised when a value that must be a decimal integer is not one. Its message
// is the text the general error display shows to the user.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when the file cannot be read or written; the message names the file.
class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  static constexpr int kMaxValueLength = 2047;

  explicit IniFile(QString path);

  const QString& fileName() const { return path_; }

  // Value of [section] key, or def when the file, section or key is missing.
  // A file that exists but cannot be read throws IniFileError.
  // Surrounding blanks of the value are removed, as the Windows reader does.
  QString readString(const QString& section, const QString& key, const QString& def) const;

  // readString converted as a decimal integer; throws ConversionError for a
  // text that is not one (the text of the default included).
  int readInteger(const QString& section, const QString& key, int def) const;

  // Writes at once; throws IniFileError when the file cannot be written.
  void writeString(const QString& section, const QString& key, const QString& value);
  void writeInteger(const QString& section, const QString& key, int value);

  // Keys of a section in file order (empty when missing).
  QStringList readSection(const QString& section) const;

  bool sectionExists(const QString& section) const;

 private:
  QString path_;
};

// Converts a text as a decimal integer the way the settings readers need it:
// optional sign, digits, surrounding blanks allowed; anything else throws
// ConversionError with the message "'text' is not a valid integer value".
int strToInt(const QString& text);

}  // namespace qdl

namespace qdl {

// The settings file "qdl.ini" in the process's current directory. Each user
// opens it anew, reads or writes single values and lets it go.
IniFile openSettings();

}  // namespace qdl
