#include "print/SongCsv.h"

#include <QLocale>
#include <QStringList>

#include "library/SongLoudness.h"
#include "platform/db/DbError.h"
#include "platform/db/Table.h"
#include "platform/fs/SafeWrite.h"

namespace qdl::print {

namespace {

QString number(double v, int decimals) {
  QString s = QLocale::c().toString(v, 'f', decimals);
  // No "-0.0" for a value that rounds to zero.
  if (s.startsWith(QLatin1Char('-')) && s.mid(1).toDouble() == 0) s.remove(0, 1);
  return s;
}

QString fieldText(const QVariant& v, db::FieldType type) {
  if (!v.isValid() || v.isNull()) return {};
  if (type == db::FieldType::Boolean) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
  return v.toString();
}

}  // namespace

QString csvField(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
    return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray songCsv(const db::Table& table, double referenceLufs) {
  const QList<db::FieldDef> fields = table.fieldDefs();
  int keyField = -1;
  QStringList header;
  for (int f = 0; f < int(fields.size()); ++f) {
    header << csvField(fields[f].name);
    if (fields[f].type == db::FieldType::AutoInc) keyField = f;
  }
  for (const char* extra : kCsvExtraColumns) header << QLatin1String(extra);
  QString text = header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  // The ids as they stand now: a change of the order meanwhile cannot mix
  // two orders in one list.
  for (const std::int64_t id : table.recordIds()) {
    QStringList row;
    for (int f = 0; f < int(fields.size()); ++f)
      row << csvField(fieldText(table.valueById(id, f), fields[f].type));
    QString loudness, gain, firstBeat;
    if (keyField >= 0) {
      const qint64 key = table.valueById(id, keyField).toLongLong();
      const auto known = library::songLoudness(table, key);
      if (known && !known->fromReplayGain) loudness = number(known->level.integrated, 1);
      if (const auto g = library::songGainDb(known, referenceLufs)) gain = number(*g, 1);
      if (const auto grid = table.beatGrid(key); grid && grid->bpm > 0)
        firstBeat = number(grid->firstBeat, 3);
    }
    row << loudness << gain << firstBeat;
    text += row.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  }
  return text.toUtf8();
}

QString writeSongCsv(const db::Table& table, const QString& path, double referenceLufs) {
  QByteArray bytes;
  try {
    bytes = songCsv(table, referenceLufs);
  } catch (const db::DbError& e) {
    return e.message();
  }
  return fs::writeFileSafely(path, bytes, fs::OutputKind::Csv);
}

}  // namespace qdl::print
