#pragma once
// A settings file with Windows INI semantics.
//
// Sections and keys match without regard to letter case. A read of a missing
// file, section or key returns the caller's default. A write changes only
// the bytes of the one value it writes (or adds one line at the end of its
// section, or a new section at the end of the file): every other byte stays
// as it was, line ends of every kind (CRLF, LF, lone CR) included, and a
// value that is already there changes nothing. New lines take the file's
// line end (CRLF for a new file). Values longer than 2047 characters are cut
// to 2047 on reading. Text is UTF-8; an 8-bit Windows file keeps its bytes;
// a UTF-16 file is read but never written into (IniFileError).
//
// Keys are stored encoded, so any text can be a key: "=", a line break, a
// "%" before two hexadecimal digits and a "[" or ";" at the start are
// written as %XX, and every reader and writer here decodes them.
//
// Only a regular file of at most kMaxFileSize bytes is read: a pipe, a
// device or a larger file is refused with IniFileError naming it, so a start
// never blocks on it or reads without end.
//
// The object holds only the path: each call reads the file anew, so several
// windows may open the same file one after the other without caching.
// Between beginChanges and commitChanges writes are gathered in memory
// (reads see them) and written in one go; discardChanges drops them.

#include <QString>
#include <memory>
#include <stdexcept>

namespace qdl {

// Raised when a value that must be a decimal integer is not one. Its message
// is the text the general error display shows to the user; it names the
// text, the section and key, and the file.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when the file cannot be read or written; the message names the
// file (and, for a write, the section and key).
class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  static constexpr int kMaxValueLength = 2047;
  static constexpr int kMaxFileSize = 1 << 20;

  explicit IniFile(QString path);
  IniFile(const IniFile& other);
  IniFile& operator=(const IniFile& other);
  ~IniFile();

  const QString& fileName() const { return path_; }

  // Value of [section] key, or def when the file, section or key is missing.
  // A file that exists but cannot be read throws IniFileError.
  // Surrounding blanks of the value are removed, as the Windows reader does.
  QString readString(const QString& section, const QString& key, const QString& def) const;

  // readString converted as a decimal integer; throws ConversionError for a
  // text that is not one (the text of the default included).
  int readInteger(const QString& section, const QString& key, int def) const;

  // Writes at once (or into the gathered changes); throws IniFileError when
  // the file cannot be written.
  void writeString(const QString& section, const QString& key, const QString& value);
  void writeInteger(const QString& section, const QString& key, int value);

  // Keys of a section in file order (empty when missing).
  QStringList readSection(const QString& section) const;

  bool sectionExists(const QString& section) const;

  // Gathering changes (see above). commitChanges writes nothing when
  // nothing changed; when the write is refused it throws IniFileError and
  // keeps the changes gathered.
  void beginChanges();
  void commitChanges();
  void discardChanges();

  struct Content;

 private:
  Content load() const;

  QString path_;
  std::shared_ptr<Content> staged_;
};

// The encoding of keys in the file (see above).
QString encodeKey(const QString& key);
QString decodeKey(const QString& key);

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
