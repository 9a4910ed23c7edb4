// Fields of records named by their keys, read or written wherever the
// cursor stands.

#include <sqlite3.h>

#include <QDir>

#include "platform/db/Table.h"

namespace qdl::db {
namespace {

QString quotedName(const QString& identifier) {
  QString s = identifier;
  s.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + s + QLatin1Char('"');
}

// Finalizes a statement when its use ends, also by an exception.
struct Statement {
  ~Statement() { sqlite3_finalize(stmt); }
  sqlite3_stmt* stmt = nullptr;
};

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

std::optional<QVariant> Table::storedValue(std::int64_t key, const QString& name) const {
  const int f = storedField(name);
  const QVariantList record = readRecord(key);
  if (!record.value(keyField_).isValid()) return std::nullopt;
  return record.value(f);
}

bool Table::setStoredValue(std::int64_t key, const QString& name, const QVariant& value) {
  const int f = storedField(name);
  if (f == keyField_)
    throw DbError(QStringLiteral("The field %1 is assigned by the table and cannot be changed.")
                      .arg(fields_[f].name));
  if (f == orderField())
    throw DbError(QStringLiteral("The field %1 orders the table; it is changed by edit and post.")
                      .arg(fields_[f].name));
  const QVariant v = convert(f, value);
  {
    Statement s;
    const QByteArray sql = QStringLiteral("UPDATE %1 SET %2=?1 WHERE rowid=?2")
                               .arg(quotedName(sqlTable_), quotedName(fields_[f].name))
                               .toUtf8();
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot write the record"));
    if (!v.isValid() || v.isNull()) {
      sqlite3_bind_null(s.stmt, 1);
    } else if (fields_[f].type == FieldType::String) {
      const QByteArray u = v.toString().toUtf8();
      sqlite3_bind_text(s.stmt, 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(s.stmt, 1, v.toLongLong());
    }
    sqlite3_bind_int64(s.stmt, 2, key);
    if (sqlite3_step(s.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the record"));
    if (sqlite3_changes(db_) == 0) return false;
  }
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
    columns << quotedName(fields_[f].name);
  }
  Statement s;
  const QByteArray sql = QStringLiteral("SELECT rowid%1%2 FROM %3 ORDER BY rowid")
                             .arg(columns.isEmpty() ? QString() : QStringLiteral(","),
                                  columns.join(QLatin1Char(',')), quotedName(sqlTable_))
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

}  // namespace qdl::db
