#include "platform/ini/IniFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

namespace qdl {
namespace {

struct Lines {
  QStringList lines;
  QString eol = QStringLiteral("\r\n");
  bool endsWithEol = true;
  bool bom = false;     // the file began with a UTF-8 byte order mark
  bool latin1 = false;  // the file is not UTF-8 (an 8-bit Windows file)
};

// Reads the file as lines. A missing file gives no lines; a file that exists
// but cannot be read raises IniFileError so that a write never replaces it.
Lines load(const QString& path) {
  Lines result;
  QFile file(path);
  if (!file.exists()) return result;
  if (!file.open(QIODevice::ReadOnly)) {
    throw IniFileError(QStringLiteral("Cannot read the settings file %1: %2")
                           .arg(path, file.errorString())
                           .toStdString());
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw IniFileError(QStringLiteral("Cannot read the settings file %1: %2")
                           .arg(path, file.errorString())
                           .toStdString());
  }
  // A file written on Windows may be in an 8-bit code page. Read byte for
  // byte, its lines come back unchanged when the file is written again.
  QStringDecoder utf8(QStringDecoder::Utf8,
                      QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString text = utf8(data);
  if (utf8.hasError()) {
    text = QString::fromLatin1(data);
    result.latin1 = true;
  }
  if (text.startsWith(QChar(0xFEFF))) {
    text.remove(0, 1);
    result.bom = true;
  }
  if (!text.contains(QLatin1String("\r\n")) && text.contains(QLatin1Char('\n')))
    result.eol = QStringLiteral("\n");
  result.endsWithEol = text.isEmpty() || text.endsWith(QLatin1Char('\n'));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  result.lines = text.split(QLatin1Char('\n'));
  if (result.endsWithEol && !result.lines.isEmpty()) result.lines.removeLast();
  return result;
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

bool isComment(const QString& line) {
  const QString t = line.trimmed();
  return t.startsWith(QLatin1Char(';'));
}

// Key of a "key=value" line, or a null string.
QString keyOf(const QString& line) {
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

// Index range [first, end) of the lines of a section's body, or first = -1.
struct Range {
  int header = -1;
  int end = -1;
};

Range findSection(const QStringList& lines, const QString& section) {
  Range r;
  for (int i = 0; i < lines.size(); ++i) {
    const QString name = sectionOf(lines[i]);
    if (name.isNull()) continue;
    if (r.header >= 0) {
      r.end = i;
      return r;
    }
    if (sameName(name, section)) r.header = i;
  }
  if (r.header >= 0) r.end = static_cast<int>(lines.size());
  return r;
}

void save(const QString& path, const Lines& content) {
  QString text = content.lines.join(content.eol);
  if (!content.lines.isEmpty()) text += content.eol;
  if (content.bom) text.prepend(QChar(0xFEFF));
  QByteArray bytes;
  if (content.latin1) {
    // Characters the 8-bit file cannot hold become "?".
    for (QChar& c : text)
      if (c.unicode() > 0xFF) c = QLatin1Char('?');
    bytes = text.toLatin1();
  } else {
    bytes = text.toUtf8();
  }
  QSaveFile file(path);
  // Writing through a temporary file keeps the old settings when the disk is
  // full or the folder refuses the write.
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit()) {
    throw IniFileError(QStringLiteral("Cannot write the settings file %1: %2")
                           .arg(path, file.errorString())
                           .toStdString());
  }
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
  // A file that exists but cannot be read raises IniFileError: silently
  // taking the defaults would let a later write replace the user's settings.
  const Lines content = load(path_);
  const Range r = findSection(content.lines, section);
  if (r.header < 0) return def;
  const QString wanted = key.trimmed();  // keys in the file are read without blanks around
  for (int i = r.header + 1; i < r.end; ++i) {
    const QString k = keyOf(content.lines[i]);
    if (!k.isNull() && sameName(k, wanted)) return valueOf(content.lines[i]).left(kMaxValueLength);
  }
  return def;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
  return strToInt(readString(section, key, QString::number(def)));
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
  Lines content = load(path_);
  QString clean = value;
  clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
  clean.replace(QLatin1Char('\n'), QLatin1Char(' '));
  const QString name = key.trimmed();
  const QString line = name + QLatin1Char('=') + clean;
  const Range r = findSection(content.lines, section);
  if (r.header < 0) {
    content.lines << QLatin1Char('[') + section + QLatin1Char(']') << line;
  } else {
    int lastKeyLine = r.header;
    bool done = false;
    for (int i = r.header + 1; i < r.end; ++i) {
      const QString k = keyOf(content.lines[i]);
      if (k.isNull()) continue;
      lastKeyLine = i;
      if (sameName(k, name)) {
        // Keep the key as it is spelt in the file.
        content.lines[i] = content.lines[i].left(content.lines[i].indexOf(QLatin1Char('='))) +
                           QLatin1Char('=') + clean;
        done = true;
        break;
      }
    }
    if (!done) content.lines.insert(lastKeyLine + 1, line);
  }
  save(path_, content);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
  writeString(section, key, QString::number(value));
}

QStringList IniFile::readSection(const QString& section) const {
  QStringList keys;
  const Lines content = load(path_);
  const Range r = findSection(content.lines, section);
  if (r.header < 0) return keys;
  for (int i = r.header + 1; i < r.end; ++i) {
    const QString k = keyOf(content.lines[i]);
    if (!k.isEmpty()) keys << k;
  }
  return keys;
}

bool IniFile::sectionExists(const QString& section) const {
  return findSection(load(path_).lines, section).header >= 0;
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

}  // namespace qdl

namespace qdl {

IniFile openSettings() { return IniFile(QDir::current().filePath(QStringLiteral("qdl.ini"))); }

}  // namespace qdl
