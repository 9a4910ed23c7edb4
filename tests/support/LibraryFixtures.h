#pragma once
// Song libraries made by earlier builds (tests/data/libraries, kept as SQL
// text), turned back into files; and SQL run on a library with SQLite alone.
// Needs PkgConfig::SQLITE3 and platform_db linked.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include "platform/db/Collation.h"

namespace qdl::test {

// Runs SQL on the file with the collation of the indexes registered; the
// rows as lines of "|"-joined values (NULL for an empty value).
inline QStringList sqlRows(const QString& path, const QString& statements) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
  qdl::db::registerNoCaseCollation(db);
  QStringList rows;
  char* error = nullptr;
  const int rc = sqlite3_exec(
      db, statements.toUtf8().constData(),
      [](void* out, int n, char** values, char**) {
        QStringList row;
        for (int i = 0; i < n; ++i)
          row << (values[i] ? QString::fromUtf8(values[i]) : QStringLiteral("NULL"));
        static_cast<QStringList*>(out)->append(row.join(QLatin1Char('|')));
        return 0;
      },
      &rows, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in " << statements.toStdString();
  sqlite3_free(error);
  sqlite3_close(db);
  return rows;
}

// Makes the library `name` (tests/data/libraries/<name>.sql) at `path`.
inline void restoreLibrary(const QString& name, const QString& path) {
  QFile f(QStringLiteral(QDL_TEST_DATA_DIR "/libraries/") + name + QStringLiteral(".sql"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
  QDir().mkpath(QFileInfo(path).path());
  sqlRows(path, QString::fromUtf8(f.readAll()));
}

}  // namespace qdl::test
