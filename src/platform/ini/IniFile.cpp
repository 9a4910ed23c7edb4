#include "platform/ini/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include "platform/fs/SafeWrite.h"

namespace qdl {

// The file as its bytes and its lines. Each line knows where its text and
// its line end lie in the bytes, so a change rewrites only the bytes of the
// lines it changes and every other byte stays as it was.
struct IniFile::Content {
  enum class Encoding { Utf8, EightBit, Utf16 };
  struct Line {
    QString text;
    qsizetype start = 0;   // first byte of the text
    qsizetype length = 0;  // bytes of the text
    qsizetype end = 0;     // first byte after the line end
  };
  bool exists = false;
  QByteArray bytes;
  Encoding encoding = Encoding::Utf8;
  QByteArray eol = "\r\n";  // the line end of new lines
  QList<Line> lines;
  bool changed = false;
};

namespace {

using Content = IniFile::Content;

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

[[noreturn]] void fileError(const QString& text) { throw IniFileError(text.toStdString()); }

// Where a setting lives, for messages: "[Devices] Mode".
QString place(const QString& section, const QString& key) {
  return QStringLiteral("[%1] %2").arg(section, key);
}

// The bytes of the file, read without blocking and without limit only for
// what a settings file can be: a pipe, a device or a huge file is refused.
QByteArray readLimited(const QString& path, bool& exists) {
  exists = false;
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    fileError(QStringLiteral("Cannot read the settings file %1: %2").arg(path, errorText(errno)));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    fileError(QStringLiteral("The settings file %1 is not a file (a folder, a pipe or a device); "
                             "it is neither read nor written.")
                  .arg(path));
  }
  auto tooLarge = [&] {
    ::close(fd);
    fileError(QStringLiteral("The settings file %1 is larger than %2 bytes; it is neither read "
                             "nor written.")
                  .arg(path)
                  .arg(IniFile::kMaxFileSize));
  };
  if (st.st_size > IniFile::kMaxFileSize) tooLarge();
  QByteArray data(IniFile::kMaxFileSize + 1, Qt::Uninitialized);
  qsizetype got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, std::size_t(data.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      fileError(QStringLiteral("Cannot read the settings file %1: %2").arg(path, errorText(e)));
    }
    if (n == 0) break;
    got += n;
  }
  if (got > IniFile::kMaxFileSize) tooLarge();  // it grew while being read
  ::close(fd);
  data.truncate(got);
  exists = true;
  return data;
}

// UTF-16 with a byte order mark, or without one when every second byte of
// the start is zero (plain ASCII keys in UTF-16).
int utf16Order(const QByteArray& data) {
  if (data.startsWith("\xFF\xFE")) return 1;  // little endian
  if (data.startsWith("\xFE\xFF")) return 2;  // big endian
  const qsizetype n = std::min<qsizetype>(data.size(), 64) & ~qsizetype(1);
  if (n < 4) return 0;
  int evenZero = 0, oddZero = 0;
  for (qsizetype i = 0; i < n; i += 2) {
    evenZero += data[i] == 0;
    oddZero += data[i + 1] == 0;
  }
  if (oddZero == n / 2 && evenZero == 0) return 1;
  if (evenZero == n / 2 && oddZero == 0) return 2;
  return 0;
}

// Splits text into lines at CRLF, LF or a lone CR.
QStringList splitLines(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = t.split(QLatin1Char('\n'));
  if (t.endsWith(QLatin1Char('\n'))) lines.removeLast();
  return lines;
}

Content parse(const QByteArray& data, bool exists) {
  Content c;
  c.exists = exists;
  c.bytes = data;
  if (const int order = utf16Order(data)) {
    // Read only: it is never written into.
    c.encoding = Content::Encoding::Utf16;
    QStringDecoder decode(order == 1 ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                          QStringDecoder::Flag::Stateless);
    QString text = decode(data);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    for (const QString& line : splitLines(text)) c.lines.append({line, 0, 0, 0});
    return c;
  }
  // A file written on Windows may be in an 8-bit code page: read byte for
  // byte, its lines keep their bytes.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(data);  // decoding happens on the conversion
  c.encoding = utf8.hasError() ? Content::Encoding::EightBit : Content::Encoding::Utf8;
  if (data.contains("\r\n"))
    c.eol = "\r\n";
  else if (data.contains('\n'))
    c.eol = "\n";
  else if (data.contains('\r'))
    c.eol = "\r";
  const qsizetype begin = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  for (qsizetype i = begin; i < data.size();) {
    qsizetype j = i;
    while (j < data.size() && data[j] != '\n' && data[j] != '\r') ++j;
    Content::Line line;
    line.start = i;
    line.length = j - i;
    if (j < data.size())
      j += (data[j] == '\r' && j + 1 < data.size() && data[j + 1] == '\n') ? 2 : 1;
    line.end = j;
    const QByteArray bytes = data.mid(line.start, line.length);
    line.text = c.encoding == Content::Encoding::Utf8 ? QString::fromUtf8(bytes)
                                                      : QString::fromLatin1(bytes);
    c.lines.append(line);
    i = j;
  }
  return c;
}

QByteArray encode(const Content& c, QString text) {
  if (c.encoding != Content::Encoding::EightBit) return text.toUtf8();
  // Characters the 8-bit file cannot hold become "?".
  for (QChar& ch : text)
    if (ch.unicode() > 0xFF) ch = QLatin1Char('?');
  return text.toLatin1();
}

// Section name of a "[name]" line (anything after the "]", such as a
// comment, is ignored), or a null string for other lines.
QString sectionOf(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith(QLatin1Char('['))) return QString();
  const qsizetype close = t.indexOf(QLatin1Char(']'));
  if (close < 0) return QString();
  return t.mid(1, close - 1).trimmed();
}

bool isComment(const QString& line) { return line.trimmed().startsWith(QLatin1Char(';')); }

// Key of a "key=value" line as it stands in the file (encoded), or a null
// string.
QString rawKeyOf(const QString& line) {
  if (isComment(line)) return QString();
  const qsizetype eq = line.indexOf(QLatin1Char('='));
  if (eq < 0) return QString();
  return line.left(eq).trimmed();
}

QString valueOf(const QString& line) {
  const qsizetype eq = line.indexOf(QLatin1Char('='));
  QString v = line.mid(eq + 1).trimmed();
  // Windows strips one pair of surrounding quotes.
  if (v.size() >= 2 && ((v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'))) ||
                        (v.startsWith(QLatin1Char('\'')) && v.endsWith(QLatin1Char('\'')))))
    v = v.mid(1, v.size() - 2);
  return v;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

struct Range {
  int header = -1;
  int end = -1;  // the first line after the section's body
};

Range findSection(const Content& c, const QString& section) {
  Range r;
  for (int i = 0; i < c.lines.size(); ++i) {
    const QString name = sectionOf(c.lines[i].text);
    if (name.isNull()) continue;
    if (r.header >= 0) {
      r.end = i;
      return r;
    }
    if (sameName(name, section)) r.header = i;
  }
  if (r.header >= 0) r.end = int(c.lines.size());
  return r;
}

// The line of a key in a section, or -1.
int findKey(const Content& c, const Range& r, const QString& key) {
  if (r.header < 0) return -1;
  for (int i = r.header + 1; i < r.end; ++i) {
    const QString k = rawKeyOf(c.lines[i].text);
    if (!k.isNull() && sameName(decodeKey(k), key)) return i;
  }
  return -1;
}

// Puts `text` at byte `at`; the lines are read again from the bytes.
void insertBytes(Content& c, qsizetype at, const QByteArray& text) {
  c.bytes.insert(at, text);
  const bool exists = c.exists;
  const QByteArray eol = c.eol;
  c = parse(c.bytes, exists);
  c.eol = eol;
  c.changed = true;
}

// Adds a whole line after line `after` (-1: at the end of the file).
void insertLine(Content& c, int after, const QString& text) {
  QByteArray bytes = encode(c, text) + c.eol;
  qsizetype at = c.bytes.size();
  if (after >= 0 && after < c.lines.size()) at = c.lines[after].end;
  // The line before has no line end when it is the file's last line.
  const Content::Line* before = nullptr;
  if (after >= 0 && after < c.lines.size()) before = &c.lines[after];
  if (after < 0 && !c.lines.isEmpty()) before = &c.lines.last();
  if (before && before->end == before->start + before->length) bytes.prepend(c.eol);
  insertBytes(c, at, bytes);
}

[[noreturn]] void refuseUtf16(const QString& path, const QString& what) {
  fileError(QStringLiteral("Cannot write %1 into the settings file %2: the file is in UTF-16, "
                           "which Quandrel reads but never writes into. Save it as UTF-8 to let "
                           "Quandrel store its settings.")
                .arg(what, path));
}

void save(const QString& path, const Content& c, const QString& what) {
  if (c.encoding == Content::Encoding::Utf16) refuseUtf16(path, what);
  // Writing through a temporary file keeps the old settings when the disk is
  // full or the folder refuses the write; a link is followed only to a
  // settings file of the user's own.
  const QString why = fs::writeFileSafely(path, c.bytes, fs::OutputKind::Settings);
  if (!why.isEmpty())
    fileError(QStringLiteral("Cannot write %1 into the settings file %2: %3").arg(what, path, why));
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}
IniFile::IniFile(const IniFile& other)
    : path_(other.path_),
      staged_(other.staged_ ? std::make_shared<Content>(*other.staged_) : nullptr) {}

IniFile& IniFile::operator=(const IniFile& other) {
  if (this != &other) {
    path_ = other.path_;
    staged_ = other.staged_ ? std::make_shared<Content>(*other.staged_) : nullptr;
  }
  return *this;
}

IniFile::~IniFile() = default;

IniFile::Content IniFile::load() const {
  if (staged_) return *staged_;
  bool exists = false;
  const QByteArray data = readLimited(path_, exists);
  return parse(data, exists);
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
  // A file that exists but cannot be read raises IniFileError: silently
  // taking the defaults would let a later write replace the user's settings.
  const Content c = load();
  const int line = findKey(c, findSection(c, section), key.trimmed());
  if (line < 0) return def;
  return valueOf(c.lines[line].text).left(kMaxValueLength);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
  try {
    return strToInt(readString(section, key, QString::number(def)));
  } catch (const ConversionError& e) {
    throw ConversionError(QStringLiteral("%1 for %2 in the settings file %3")
                              .arg(QString::fromUtf8(e.what()), place(section, key.trimmed()),
                                   QDir::toNativeSeparators(path_))
                              .toStdString());
  }
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
  Content c = load();
  const QString name = key.trimmed();
  const QString what = place(section, name);
  if (c.encoding == Content::Encoding::Utf16) {
    // Gathered changes are refused when they are written.
    if (!staged_) refuseUtf16(path_, what);
    staged_->changed = true;
    return;
  }
  QString clean = value;
  clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
  clean.replace(QLatin1Char('\n'), QLatin1Char(' '));
  const Range r = findSection(c, section);
  const int line = findKey(c, r, name);
  if (line >= 0) {
    // A value the line already holds leaves the line as it is.
    if (valueOf(c.lines[line].text) == clean.trimmed()) return;
    // Only the value's bytes change; the key keeps its spelling in the file.
    const Content::Line& l = c.lines[line];
    const qsizetype eq = c.bytes.indexOf('=', l.start);
    c.bytes.remove(eq + 1, l.start + l.length - (eq + 1));
    insertBytes(c, eq + 1, encode(c, clean));
  } else if (r.header >= 0) {
    int lastKeyLine = r.header;
    for (int i = r.header + 1; i < r.end; ++i)
      if (!rawKeyOf(c.lines[i].text).isNull()) lastKeyLine = i;
    insertLine(c, lastKeyLine, encodeKey(name) + QLatin1Char('=') + clean);
  } else {
    insertLine(c, -1, QLatin1Char('[') + section + QLatin1Char(']'));
    insertLine(c, -1, encodeKey(name) + QLatin1Char('=') + clean);
  }
  if (staged_) {
    *staged_ = c;
    return;
  }
  save(path_, c, what);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
  writeString(section, key, QString::number(value));
}

QStringList IniFile::readSection(const QString& section) const {
  QStringList keys;
  const Content c = load();
  const Range r = findSection(c, section);
  if (r.header < 0) return keys;
  for (int i = r.header + 1; i < r.end; ++i) {
    const QString k = rawKeyOf(c.lines[i].text);
    if (!k.isEmpty()) keys << decodeKey(k);
  }
  return keys;
}

bool IniFile::sectionExists(const QString& section) const {
  return findSection(load(), section).header >= 0;
}

void IniFile::beginChanges() { staged_ = std::make_shared<Content>(load()); }

void IniFile::commitChanges() {
  if (!staged_) return;
  // A refused write keeps the changes, so the caller may try again.
  if (staged_->changed) save(path_, *staged_, QStringLiteral("the settings"));
  staged_.reset();
}

void IniFile::discardChanges() { staged_.reset(); }

namespace {

bool isHexDigit(QChar c) {
  const char16_t u = c.unicode();
  return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

bool isEscape(const QString& text, qsizetype i) {
  return text.at(i) == QLatin1Char('%') && i + 2 < text.size() && isHexDigit(text.at(i + 1)) &&
         isHexDigit(text.at(i + 2));
}

}  // namespace

QString encodeKey(const QString& key) {
  QString out;
  for (qsizetype i = 0; i < key.size(); ++i) {
    const QChar ch = key.at(i);
    const bool atStart = i == 0 && (ch == QLatin1Char('[') || ch == QLatin1Char(';'));
    if (isEscape(key, i) || atStart || ch == QLatin1Char('=') || ch == QLatin1Char('\r') ||
        ch == QLatin1Char('\n'))
      out += QLatin1Char('%') +
             QStringLiteral("%1").arg(ch.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    else
      out += ch;
  }
  return out;
}

QString decodeKey(const QString& key) {
  QString out;
  for (qsizetype i = 0; i < key.size(); ++i) {
    if (isEscape(key, i)) {
      out += QChar(key.mid(i + 1, 2).toUShort(nullptr, 16));
      i += 2;
    } else {
      out += key.at(i);
    }
  }
  return out;
}

int strToInt(const QString& text) {
  bool ok = false;
  const QString t = text.trimmed();
  int v = 0;
  // Only plain decimal: no hexadecimal or octal prefixes, no group separators.
  if (!t.isEmpty() && !t.contains(QLatin1Char(' '))) v = t.toInt(&ok, 10);
  if (!ok) {
    throw ConversionError(
        QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
  }
  return v;
}

IniFile openSettings() { return IniFile(QDir::current().filePath(QStringLiteral("qdl.ini"))); }

}  // namespace qdl
