#pragma once
// Small helpers of the table store's SQL, shared by its source files.

#include <sqlite3.h>

#include <QString>

#include "platform/db/Table.h"

namespace qdl::db {

// An identifier in double quotes, inner quotes doubled.
inline QString quoted(const QString& identifier) {
  QString s = identifier;
  s.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + s + QLatin1Char('"');
}

// SQLite's text for the last failure of the connection.
inline QString errorText(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

// The prepared statements of an open table.
struct Table::Statements {
  sqlite3_stmt* selectRow = nullptr;  // all fields of one record id
  sqlite3_stmt* keyProbe = nullptr;   // the order's key of one record id
  sqlite3_stmt* nearest = nullptr;    // first id at or after a key
  sqlite3_stmt* exact = nullptr;      // any id with exactly a key
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* remove = nullptr;
  ~Statements() {
    for (auto* s : {selectRow, keyProbe, nearest, exact, insert, update, remove})
      sqlite3_finalize(s);
  }
};

}  // namespace qdl::db
