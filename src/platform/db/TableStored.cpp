// Fields of records named by their keys, read or written wherever the
// cursor stands; and the notes kept beside the records.

#include <sqlite3.h>

#include <QDir>
#include <QtEndian>
#include <cstring>

#include "platform/db/Table.h"
#include "platform/db/TableSql.h"

namespace qdl::db {
namespace {

// Finalizes a statement when its use ends, also by an exception.
struct Statement {
  ~Statement() { sqlite3_finalize(stmt); }
  sqlite3_stmt* stmt = nullptr;
};

void bindText(sqlite3_stmt* stmt, int at, const QString& text) {
  const QByteArray u = text.toUtf8();
  sqlite3_bind_text(stmt, at, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

}  // namespace

int Table::storedField(const QString& name) const {
  requireOpen();
  const int f = fieldIndex(name);
  if (f < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no field %2.")
                      .arg(QDir::toNativeSeparators(filePath()), name));
  if (keyField_ < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no key field.")
                      .arg(QDir::toNativeSeparators(filePath())));
  return f;
}

void Table::requireKey() const {
  if (keyField_ < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no key field.")
                      .arg(QDir::toNativeSeparators(filePath())));
}

std::optional<QVariant> Table::storedValue(std::int64_t key, const QString& name) const {
  const int f = storedField(name);
  const QVariantList record = readRecord(key);
  if (!record.value(keyField_).isValid()) return std::nullopt;
  return record.value(f);
}

bool Table::setStoredValue(std::int64_t key, const QString& name, const QVariant& value) {
  requireWritable();
  const int f = storedField(name);
  if (f == keyField_)
    throw DbError(QStringLiteral("The field %1 is assigned by the table and cannot be changed.")
                      .arg(fields_[f].name));
  if (f == orderField())
    throw DbError(QStringLiteral("The field %1 orders the table; it is changed by edit and post.")
                      .arg(fields_[f].name));
  const QVariant v = convert(f, value);
  if (!writeStored(key, f, v)) return false;
  // Written into a batch (a scan running meanwhile): kept, so that a batch
  // the storage rolls back does not take it along.
  if (batchDepth_ > 0) batchStored_.push_back(StoredWrite{key, f, v});
  forget(key);
  // The record keeps its place in the order: its key field did not change.
  const int row = positionOf(key);
  if (row < 0 || order_[std::size_t(row)] != key) return true;
  // A change being edited on this record keeps the stored value.
  if (row == row_ && state_ == State::Edit) buffer_[f] = v;
  emit recordChanged(row);
  return true;
}

void Table::forEachStored(
    const QStringList& names,
    const std::function<void(std::int64_t key, const QVariantList& values)>& visit) const {
  QList<int> fields;
  QStringList columns;
  for (const QString& name : names) {
    const int f = storedField(name);
    fields << f;
    columns << quoted(fields_[f].name);
  }
  Statement s;
  const QByteArray sql = QStringLiteral("SELECT rowid%1%2 FROM %3 ORDER BY rowid")
                             .arg(columns.isEmpty() ? QString() : QStringLiteral(","),
                                  columns.join(QLatin1Char(',')), quoted(sqlTable_))
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot read the records"));
  QVariantList values;
  int rc;
  while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
    values.clear();
    for (int i = 0; i < fields.size(); ++i) {
      const int column = i + 1;
      if (sqlite3_column_type(s.stmt, column) == SQLITE_NULL) {
        values << QVariant();
        continue;
      }
      switch (fields_[fields[i]].type) {
        case FieldType::AutoInc:
          values << QVariant(qlonglong(sqlite3_column_int64(s.stmt, column)));
          break;
        case FieldType::String:
          values << QVariant(
              QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, column)),
                                sqlite3_column_bytes(s.stmt, column)));
          break;
        case FieldType::SmallInt:
        case FieldType::Integer:
          values << QVariant(sqlite3_column_int(s.stmt, column));
          break;
        case FieldType::Boolean:
          values << QVariant(sqlite3_column_int(s.stmt, column) != 0);
          break;
      }
    }
    visit(sqlite3_column_int64(s.stmt, 0), values);
  }
  if (rc != SQLITE_DONE) fail(QStringLiteral("Cannot read the records"));
}

bool Table::writeStored(std::int64_t key, int f, const QVariant& v) {
  Statement s;
  const QByteArray sql = QStringLiteral("UPDATE %1 SET %2=?1 WHERE rowid=?2")
                             .arg(quoted(sqlTable_), quoted(fields_[f].name))
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the record"));
  if (!v.isValid() || v.isNull())
    sqlite3_bind_null(s.stmt, 1);
  else if (fields_[f].type == FieldType::String)
    bindText(s.stmt, 1, v.toString());
  else
    sqlite3_bind_int64(s.stmt, 1, v.toLongLong());
  sqlite3_bind_int64(s.stmt, 2, key);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the record"));
  return sqlite3_changes(db_) > 0;
}

QString Table::restoreStoredValues() {
  // Each on its own, outside any batch: a rolled-back batch leaves the room
  // its changes took in the log, so one record's field usually fits.
  std::vector<StoredWrite> writes;
  writes.swap(batchStored_);
  int lost = 0;
  for (const StoredWrite& w : writes) {
    try {
      writeStored(w.key, w.field, w.value);
    } catch (const DbError&) {
      ++lost;
    }
  }
  if (lost == 0) return {};
  return QStringLiteral(" %1 value(s) stored meanwhile (such as a cue point) were lost too.")
      .arg(lost);
}

QString Table::notesTable() const { return quoted(sqlTable_ + QStringLiteral("_notes")); }

QStringList Table::notes(const QString& list) const {
  requireOpen();
  QStringList out;
  {
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", -1,
                           &s.stmt, nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot read the table"));
    bindText(s.stmt, 1, sqlTable_ + QStringLiteral("_notes"));
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) return out;  // never written
    if (rc != SQLITE_ROW) fail(QStringLiteral("Cannot read the table"));
  }
  Statement s;
  const QByteArray sql =
      QStringLiteral("SELECT text FROM %1 WHERE list=?1 ORDER BY text").arg(notesTable()).toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot read the table"));
  bindText(s.stmt, 1, list);
  int rc;
  while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
    out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, 0)));
  if (rc != SQLITE_DONE) fail(QStringLiteral("Cannot read the table"));
  return out;
}

void Table::addNote(const QString& list, const QString& text) {
  requireWritable();
  const QByteArray create =
      QStringLiteral(
          "CREATE TABLE IF NOT EXISTS %1 (list TEXT NOT NULL, text TEXT NOT NULL, "
          "PRIMARY KEY (list, text)) WITHOUT ROWID")
          .arg(notesTable())
          .toUtf8();
  exec(create.constData());
  Statement s;
  const QByteArray sql = QStringLiteral("INSERT OR IGNORE INTO %1 (list, text) VALUES (?1, ?2)")
                             .arg(notesTable())
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the table"));
  bindText(s.stmt, 1, list);
  bindText(s.stmt, 2, text);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the table"));
}

// ---------------------------------------------------------------- analyses

QByteArray Table::encodeBeats(const std::vector<float>& beats) {
  QByteArray blob(qsizetype(beats.size() * 4), Qt::Uninitialized);
  for (std::size_t i = 0; i < beats.size(); ++i) qToLittleEndian(beats[i], blob.data() + i * 4);
  return blob;
}

std::vector<float> Table::decodeBeats(const QByteArray& blob) {
  std::vector<float> beats(std::size_t(blob.size() / 4));
  for (std::size_t i = 0; i < beats.size(); ++i)
    beats[i] = qFromLittleEndian<float>(blob.constData() + i * 4);
  return beats;
}

std::optional<Table::Analysis> Table::analysis(std::int64_t key) const {
  requireOpen();
  {
    // A read-only file of an earlier version has no analysis table.
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", -1,
                           &s.stmt, nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot read the table"));
    bindText(s.stmt, 1, analysisName());
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) fail(QStringLiteral("Cannot read the table"));
  }
  Statement s;
  const QByteArray sql = QStringLiteral("SELECT \"Tempo\", \"Beats\" FROM %1 WHERE rowid=?1")
                             .arg(quoted(analysisName()))
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot read the analysis"));
  sqlite3_bind_int64(s.stmt, 1, key);
  const int rc = sqlite3_step(s.stmt);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail(QStringLiteral("Cannot read the analysis"));
  Analysis a;
  a.tempo = sqlite3_column_double(s.stmt, 0);
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s.stmt, 1));
  a.beats = decodeBeats(QByteArray(bytes, sqlite3_column_bytes(s.stmt, 1)));
  return a;
}

bool Table::setAnalysis(std::int64_t key, const Analysis& analysis) {
  requireWritable();
  requireKey();
  Statement s;
  // Only for a record that is there: a row without its record would be
  // found by the next record given that key.
  const QByteArray sql =
      QStringLiteral(
          "INSERT OR REPLACE INTO %1 (rowid, \"Tempo\", \"Beats\") SELECT ?1, ?2, ?3 "
          "WHERE EXISTS (SELECT 1 FROM %2 WHERE rowid=?1)")
          .arg(quoted(analysisName()), quoted(sqlTable_))
          .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the analysis"));
  const QByteArray blob = encodeBeats(analysis.beats);
  sqlite3_bind_int64(s.stmt, 1, key);
  sqlite3_bind_double(s.stmt, 2, analysis.tempo);
  sqlite3_bind_blob(s.stmt, 3, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the analysis"));
  return sqlite3_changes(db_) > 0;
}

void Table::removeAnalysis(std::int64_t key) {
  requireWritable();
  requireKey();
  Statement s;
  const QByteArray sql =
      QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(quoted(analysisName())).toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the analysis"));
  sqlite3_bind_int64(s.stmt, 1, key);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the analysis"));
}

}  // namespace qdl::db

// ---------------------------------------------------------------- side tables

namespace qdl::db {

std::optional<QVariantList> Table::sideRow(const char* suffix, const QStringList& columns,
                                           std::int64_t key) const {
  requireOpen();
  const QString name = sqlTable_ + QLatin1String(suffix);
  {
    // A read-only file of an earlier version has no such table.
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", -1,
                           &s.stmt, nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot read the table"));
    bindText(s.stmt, 1, name);
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) fail(QStringLiteral("Cannot read the table"));
  }
  QStringList quotedColumns;
  for (const QString& c : columns) quotedColumns << quoted(c);
  Statement s;
  const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1")
                             .arg(quotedColumns.join(QLatin1Char(',')), quoted(name))
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot read the analysis"));
  sqlite3_bind_int64(s.stmt, 1, key);
  const int rc = sqlite3_step(s.stmt);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail(QStringLiteral("Cannot read the analysis"));
  QVariantList values;
  for (int i = 0; i < int(columns.size()); ++i) {
    if (sqlite3_column_type(s.stmt, i) == SQLITE_BLOB) {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s.stmt, i));
      values << QByteArray(bytes, sqlite3_column_bytes(s.stmt, i));
    } else {
      values << sqlite3_column_double(s.stmt, i);
    }
  }
  return values;
}

bool Table::setSideRow(const char* suffix, const QStringList& columns, std::int64_t key,
                       const QVariantList& values) {
  requireWritable();
  requireKey();
  QStringList quotedColumns;
  QStringList parameters;
  for (int i = 0; i < int(columns.size()); ++i) {
    quotedColumns << quoted(columns[i]);
    parameters << QStringLiteral("?%1").arg(i + 2);
  }
  Statement s;
  // Only for a record that is there: a row without its record would be
  // found by the next record given that key.
  const QByteArray sql =
      QStringLiteral(
          "INSERT OR REPLACE INTO %1 (rowid, %2) SELECT ?1, %3 "
          "WHERE EXISTS (SELECT 1 FROM %4 WHERE rowid=?1)")
          .arg(quoted(sqlTable_ + QLatin1String(suffix)), quotedColumns.join(QLatin1Char(',')),
               parameters.join(QLatin1Char(',')), quoted(sqlTable_))
          .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the analysis"));
  sqlite3_bind_int64(s.stmt, 1, key);
  for (int i = 0; i < int(values.size()); ++i) {
    const QVariant& v = values[i];
    if (v.typeId() == QMetaType::QByteArray) {
      const QByteArray blob = v.toByteArray();
      sqlite3_bind_blob(s.stmt, i + 2, blob.constData(), int(blob.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_double(s.stmt, i + 2, v.toDouble());
    }
  }
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the analysis"));
  return sqlite3_changes(db_) > 0;
}

void Table::removeSideRow(const char* suffix, std::int64_t key) {
  requireWritable();
  requireKey();
  Statement s;
  const QByteArray sql = QStringLiteral("DELETE FROM %1 WHERE rowid=?1")
                             .arg(quoted(sqlTable_ + QLatin1String(suffix)))
                             .toUtf8();
  if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot write the analysis"));
  sqlite3_bind_int64(s.stmt, 1, key);
  if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the analysis"));
}

namespace {
const QStringList kGridColumns{QStringLiteral("FirstBeat"), QStringLiteral("Bpm")};
const QStringList kLoudnessColumns{QStringLiteral("Loudness"), QStringLiteral("TruePeak")};
const QStringList kOverviewColumns{QStringLiteral("Overview")};
}  // namespace

std::optional<Table::BeatGrid> Table::beatGrid(std::int64_t key) const {
  const auto row = sideRow("_grid", kGridColumns, key);
  if (!row) return std::nullopt;
  return BeatGrid{(*row)[0].toDouble(), (*row)[1].toDouble()};
}

bool Table::setBeatGrid(std::int64_t key, const BeatGrid& grid) {
  return setSideRow("_grid", kGridColumns, key, {grid.firstBeat, grid.bpm});
}

void Table::removeBeatGrid(std::int64_t key) { removeSideRow("_grid", key); }

std::optional<Table::Loudness> Table::loudness(std::int64_t key) const {
  const auto row = sideRow("_loudness", kLoudnessColumns, key);
  if (!row) return std::nullopt;
  return Loudness{(*row)[0].toDouble(), (*row)[1].toDouble()};
}

bool Table::setLoudness(std::int64_t key, const Loudness& loudness) {
  return setSideRow("_loudness", kLoudnessColumns, key, {loudness.integrated, loudness.truePeak});
}

void Table::removeLoudness(std::int64_t key) { removeSideRow("_loudness", key); }

std::optional<QByteArray> Table::overview(std::int64_t key) const {
  const auto row = sideRow("_overview", kOverviewColumns, key);
  if (!row) return std::nullopt;
  return (*row)[0].toByteArray();
}

bool Table::setOverview(std::int64_t key, const QByteArray& overview) {
  return setSideRow("_overview", kOverviewColumns, key, {overview});
}

void Table::removeOverview(std::int64_t key) { removeSideRow("_overview", key); }

}  // namespace qdl::db
