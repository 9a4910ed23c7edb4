// Any bytes as the settings file: every section and key is read (a number
// that is not one is a ConversionError, nothing else), and a write of one
// value reads back as written while every other value stays as it was. A
// write that is refused (a UTF-16 file) leaves the file byte for byte.

#include <QMap>
#include <QStringDecoder>
#include <QStringList>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/ini/IniFile.h"

namespace qdl::fuzz {
namespace {

// Whether the reader takes the file as 8-bit text (not UTF-16, not UTF-8).
bool eightBit(const QByteArray& bytes) {
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) return false;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(bytes);
  return utf8.hasError();
}

// A text as an 8-bit file keeps it: what it cannot hold becomes "?".
QString asEightBit(QString text) {
  for (QChar& ch : text)
    if (ch.unicode() > 0xFF) ch = QLatin1Char('?');
  return text;
}

// The section names of the text as the reader finds them: "[name]" lines.
QStringList sectionsOf(const QByteArray& bytes) {
  QStringList names;
  QByteArray text = bytes;
  text.replace('\r', '\n');
  for (QByteArray line : text.split('\n')) {
    line = line.trimmed();
    const qsizetype close = line.indexOf(']');
    if (!line.startsWith('[') || close < 0) continue;
    const QByteArray raw = line.mid(1, close - 1);
    const QString name =
        (eightBit(bytes) ? QString::fromLatin1(raw) : QString::fromUtf8(raw)).trimmed();
    if (!names.contains(name, Qt::CaseInsensitive)) names << name;
  }
  return names;
}

using Values = QMap<QPair<QString, QString>, QString>;

Values readAll(const IniFile& ini, const QStringList& sections) {
  Values values;
  for (const QString& s : sections)
    for (const QString& k : ini.readSection(s)) {
      const QString v = ini.readString(s, k, QStringLiteral("<none>"));
      QDL_FUZZ_CHECK(v.size() <= IniFile::kMaxValueLength);
      values.insert({s.toLower(), k.trimmed().toLower()}, v);
      try {
        ini.readInteger(s, k, 0);
      } catch (const ConversionError&) {
      }
    }
  return values;
}

}  // namespace

void ini(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const QString path = scratch() + QStringLiteral("/qdl.ini");
  if (!writeFile(path, bytes)) return;
  IniFile file(path);
  QStringList sections = sectionsOf(bytes)
                         << QStringLiteral("Devices") << QStringLiteral("Sprache");
  Values before;
  try {
    before = readAll(file, sections);
  } catch (const IniFileError&) {
    return;  // refused as a whole (never for a small regular file, but allowed)
  }
  file.sectionExists(QStringLiteral("Devices"));

  // One value written: the section and key from the input (keys may hold
  // anything; they are encoded), the value plain.
  const QString section = sections[int(size > 0 ? data[0] : 0) % sections.size()];
  const QString key = QString::fromUtf8(bytes.right(6)).trimmed().isEmpty()
                          ? QStringLiteral("Key")
                          : QString::fromUtf8(bytes.right(6)).trimmed();
  const QString value = QStringLiteral("value %1").arg(size);
  try {
    file.writeString(section, key, value);
  } catch (const IniFileError&) {
    QDL_FUZZ_CHECK(readFile(path) == bytes);
    return;
  }
  // An 8-bit file keeps the key as it can.
  const QString stored = eightBit(bytes) ? asEightBit(key) : key;
  QDL_FUZZ_CHECK(file.readString(section, stored, QString()) == value);
  const Values after = readAll(file, sections);
  for (auto it = before.begin(); it != before.end(); ++it) {
    if (it.key() == qMakePair(section.toLower(), stored.toLower())) continue;
    QDL_FUZZ_CHECK(after.value(it.key(), QStringLiteral("<gone>")) == it.value());
  }
}

std::vector<QByteArray> iniSeeds() {
  return {
      QByteArray("[Devices]\r\nMode=1\r\nCard_1=USB Audio CODEC\r\nCard_2=HDA Intel PCH\r\n"
                 "[present Devices]\r\nUSB Audio CODEC={8F1D4B2E-6A3C-4E57-9B1A-2C7D5E0F3A61}\r\n"
                 "[Sprache]\r\nMode=0\r\n"),
      QByteArray("; comment\n[Devices] ; comment\n  mode = ' 2 '\nCard%3D1=x\n[Sprache\nMode=x\n"),
      QByteArray("\xEF\xBB\xBF[Devices]\rMode=+7\rCard_1=Caf\xC3\xA9\r[present Devices]\r"
                 "%5Bbracket=1\r100% Audio=2"),
      QByteArray("\xFF\xFE[\0D\0]\0\r\0\n\0M\0=\0\x31\0", 18),
      QByteArray("[Devices]\nMode=1\n[devices]\nMode=2\n[Devices]\nmode=3")};
}

}  // namespace qdl::fuzz
