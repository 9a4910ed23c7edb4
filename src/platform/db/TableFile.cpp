// The table's file: creating it, opening it (with the checks that leave a
// file that is not ours as it was), closing it, and reading and updating its
// structure. The cursor, the order and the records are in Table.cpp.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>

#include "platform/db/Collation.h"
#include "platform/db/Table.h"
#include "platform/db/TableSql.h"
#include "platform/fs/SafeWrite.h"

namespace qdl::db {
namespace {

// Marks a file as one of this program's tables ("QDLT" in the header).
constexpr int kApplicationId = 0x51444C54;
// The versions of the table file, kept as SQLite's user_version:
// 1  the first format: unique text indexes fold case (a file of 0, which
//    no build wrote, is read as 1);
// 2  unique text indexes compare exact text (the folded text still orders);
// 3  the analysis table <table>_analysis keyed by the record's key, with a
//    trigger that deletes a record's row with the record.
// 4  the beat grid, loudness and overview tables (<table>_grid,
//    <table>_loudness, <table>_overview), keyed and deleted the same way.
// A new version adds a step to Table::migrate and raises this number.
constexpr int kSchemaVersion = 4;

// The analysis table and the trigger that keeps it free of rows whose
// record is gone. The reference documents the key; SQLite enforces it only
// with foreign keys switched on, which the trigger makes unnecessary.
QStringList analysisStatements(const QString& table, const QString& key) {
  const QString analysis = table + QStringLiteral("_analysis");
  return {
      QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY REFERENCES %3(%2) ON DELETE "
                     "CASCADE, \"Tempo\" REAL, \"Beats\" BLOB)")
          .arg(quoted(analysis), quoted(key), quoted(table)),
      QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN DELETE FROM %3 WHERE %4=old.%4; "
                     "END")
          .arg(quoted(analysis + QStringLiteral("_delete")), quoted(table), quoted(analysis),
               quoted(key))};
}

// The tables of version 4: each a row per record, keyed by the record's key
// and deleted with it by a trigger, like the analysis table.
struct SideTable {
  const char* suffix;
  const char* columns;
};
constexpr SideTable kSideTables[] = {
    {"_grid", "\"FirstBeat\" REAL, \"Bpm\" REAL"},
    {"_loudness", "\"Loudness\" REAL, \"TruePeak\" REAL"},
    {"_overview", "\"Overview\" BLOB"},
};

QStringList sideTableStatements(const QString& table, const QString& key) {
  QStringList statements;
  for (const SideTable& side : kSideTables) {
    const QString name = table + QLatin1String(side.suffix);
    statements << QStringLiteral(
                      "CREATE TABLE %1 (%2 INTEGER PRIMARY KEY REFERENCES %3(%2) ON DELETE "
                      "CASCADE, %4)")
                      .arg(quoted(name), quoted(key), quoted(table), QLatin1String(side.columns))
               << QStringLiteral(
                      "CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN DELETE FROM %3 WHERE %4=old.%4; "
                      "END")
                      .arg(quoted(name + QStringLiteral("_delete")), quoted(table), quoted(name),
                           quoted(key));
  }
  return statements;
}

// The version in the file's header; -1 when it cannot be read.
int userVersion(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  int version = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    version = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  return version;
}

QString typeDeclaration(const FieldDef& f) {
  switch (f.type) {
    case FieldType::AutoInc:
      return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::String:
      return f.size > 0 ? QStringLiteral("VARCHAR(%1)").arg(f.size) : QStringLiteral("TEXT");
    case FieldType::SmallInt:
      return QStringLiteral("SMALLINT");
    case FieldType::Integer:
      return QStringLiteral("INTEGER");
    case FieldType::Boolean:
      return QStringLiteral("BOOLEAN");
  }
  return {};
}

// The statement that creates a secondary index. Texts of a case-insensitive
// index are ordered by their folded form; a unique one adds the exact text
// as a second key, so it refuses only texts equal letter for letter and
// keeps case variants next to each other in byte order.
QString indexStatement(const IndexDef& x, const QString& table, const QString& column, bool text) {
  const bool unique = x.options.testFlag(IndexOption::Unique);
  QString keys = column;
  if (text && x.options.testFlag(IndexOption::CaseInsensitive)) {
    keys = column + QStringLiteral(" COLLATE ") + QLatin1String(kNoCaseCollation);
    if (unique) keys += QStringLiteral(", ") + column + QStringLiteral(" COLLATE BINARY");
  } else if (text) {
    keys = column + QStringLiteral(" COLLATE BINARY");
  }
  return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
      .arg(unique ? QStringLiteral("UNIQUE ") : QString(), quoted(x.name), table, keys);
}

}  // namespace

// ---------------------------------------------------------------- create/open

namespace {

enum class Access {
  Fresh,     // a new file only we know of
  Write,     // an existing file, locked for this program alone
  ReadOnly,  // an existing file on a medium or in a folder we cannot write
  ReadCopy,  // our own copy of such a file with its write-ahead log
};

bool isBusy(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

QString inUseText(const QString& native) {
  return QStringLiteral(
             "The table \"%1\" is in use by another program (another Quandrel or a scan from the "
             "command line); close it and try again.")
      .arg(native);
}

// Whether this process may change the file and create the journal beside it.
bool canWrite(const QString& path) {
  const QByteArray file = QFile::encodeName(path);
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  return ::access(file.constData(), W_OK) == 0 && ::access(folder.constData(), W_OK) == 0;
}

// Whether the file is an SQLite database cut off or grown mid-page: a
// database is whole pages, and SQLite would rewrite the header of such a
// file as soon as it takes a write lock on it.
bool notWholePages(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray header = f.read(100);
  if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
    return false;
  const unsigned raw = unsigned(std::uint8_t(header[16])) << 8 | std::uint8_t(header[17]);
  const qint64 pageSize = raw == 1 ? 65536 : raw;
  return pageSize >= 512 && f.size() % pageSize != 0;
}

// Opens a connection with the collation registered and checks that the file
// is one of our tables (or, for Fresh, a new empty file). Nothing is written
// to the file here. A Write connection holds the file locked for this
// program alone from the first read on; a ReadOnly connection neither locks
// nor writes (the medium cannot change under it). Throws DbError naming the
// path, or `shownAs` for a copy (InUseError when another program holds the
// file).
sqlite3* openConnection(const QString& path, Access access, const QString& shownAs = {}) {
  sqlite3* db = nullptr;
  const QString native = QDir::toNativeSeparators(shownAs.isEmpty() ? path : shownAs);
  if (access == Access::Write && notWholePages(path))
    throw DbError(QStringLiteral("Cannot open the table \"%1\": the table is damaged (cut off "
                                 "mid-page); it was left as it is.")
                      .arg(native));
  auto failWith = [&](const QString& what) {
    const QString text = QStringLiteral("%1 \"%2\": %3").arg(what, native, errorText(db));
    sqlite3_close_v2(db);
    throw DbError(text);
  };
  auto inUse = [&] {
    sqlite3_close_v2(db);
    throw InUseError(inUseText(native));
  };
  int rc;
  if (access == Access::ReadOnly) {
    // "immutable": a read-only medium holds no journal or lock files to
    // consult, so SQLite must not look for them (it could not create them).
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?mode=ro&immutable=1";
    rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  } else if (access == Access::ReadCopy) {
    // Read-only too, but the log is read (its index is made beside it).
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?mode=ro";
    rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  } else {
    const int flags = SQLITE_OPEN_READWRITE | (access == Access::Fresh ? SQLITE_OPEN_CREATE : 0);
    rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
  }
  if (rc != SQLITE_OK) failWith(QStringLiteral("Cannot open the table"));
  sqlite3_extended_result_codes(db, 1);
  if (registerNoCaseCollation(db) != SQLITE_OK) failWith(QStringLiteral("Cannot open the table"));
  if (access == Access::Fresh) return db;

  if (access == Access::Write) {
    // The lock is taken before anything is read, so of two programs opening
    // the table at once one gets it and the other hears that it is in use.
    // An empty transaction writes nothing; in exclusive locking mode the
    // lock stays after it.
    if (sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
      failWith(QStringLiteral("Cannot open the table"));
    rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    if (isBusy(rc)) inUse();
    if (rc != SQLITE_OK)
      failWith(QStringLiteral("The table is damaged or not a table of Quandrel"));
  }

  // Reading the header tells a damaged or foreign file before anything is
  // written to it.
  sqlite3_stmt* st = nullptr;
  int appId = -1;
  rc = sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr);
  if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) appId = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  if (isBusy(rc)) inUse();
  if (access == Access::Write) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (appId == -1) failWith(QStringLiteral("The table is damaged or not a table of Quandrel"));
  if (appId != kApplicationId) {
    sqlite3_close_v2(db);
    throw DbError(QStringLiteral("\"%1\" is not a table of Quandrel (damaged or written by "
                                 "another program); it was left as it is.")
                      .arg(native));
  }
  return db;
}

// A name for building a new table file beside its final place.
QString temporaryPathFor(const QString& path) {
  const QFileInfo info(path);
  return info.absolutePath() +
         QStringLiteral("/.%1.new-%2-%3")
             .arg(info.fileName())
             .arg(QCoreApplication::applicationPid())
             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// A folder in the temporary folder holding copies of `path` and of the
// write-ahead log beside it, when there is a log with content; null when
// there is none or the copy cannot be made (then the file is read as it
// stands, without the log's changes).
std::unique_ptr<QTemporaryDir> copyWithLog(const QString& path) {
  const QString log = path + QStringLiteral("-wal");
  if (QFileInfo(log).size() <= 0) return nullptr;
  auto dir = std::make_unique<QTemporaryDir>();
  if (!dir->isValid() || !QFile::copy(path, dir->filePath(QStringLiteral("t.db"))) ||
      !QFile::copy(log, dir->filePath(QStringLiteral("t.db-wal"))))
    return nullptr;
  return dir;
}

void removeFileAndJournal(const QString& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    QFile::remove(path + QLatin1String(suffix));
}

}  // namespace

bool Table::fileExists() const {
  const QFileInfo info(filePath());
  return info.exists() && !(info.isFile() && info.size() == 0);
}

bool Table::createTable(const QList<FieldDef>& fields, const QList<IndexDef>& indexes,
                        CreateMode mode) {
  close();
  const QString path = filePath();
  const QString native = QDir::toNativeSeparators(path);
  const QString table = quoted(QFileInfo(fileName_).completeBaseName());
  auto invalid = [&](const QString& why) {
    throw DbError(QStringLiteral("Cannot create the table \"%1\": %2").arg(native, why));
  };

  QStringList columns;
  int autoField = -1;
  for (int i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    if (f.name.isEmpty()) invalid(QStringLiteral("a field has no name"));
    for (int j = 0; j < i; ++j)
      if (fields[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
        invalid(QStringLiteral("the field %1 is defined twice").arg(f.name));
    if (f.type == FieldType::AutoInc) {
      if (autoField >= 0) invalid(QStringLiteral("more than one auto-increment field"));
      autoField = i;
    }
    QString col = quoted(f.name) + QLatin1Char(' ') + typeDeclaration(f);
    if (f.required && f.type != FieldType::AutoInc) col += QStringLiteral(" NOT NULL");
    columns << col;
  }
  if (columns.isEmpty()) invalid(QStringLiteral("no fields"));

  const QString tableName = QFileInfo(fileName_).completeBaseName();
  QStringList statements;
  // The analysis rows of a replaced table go with it: the new table numbers
  // its records from 1 again.
  statements << QStringLiteral("DROP TABLE IF EXISTS %1")
                    .arg(quoted(tableName + QStringLiteral("_analysis")));
  for (const SideTable& side : kSideTables)
    statements << QStringLiteral("DROP TABLE IF EXISTS %1")
                      .arg(quoted(tableName + QLatin1String(side.suffix)));
  statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(table);
  statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns.join(QLatin1Char(',')));
  if (autoField >= 0)
    statements << analysisStatements(tableName, fields[autoField].name)
               << sideTableStatements(tableName, fields[autoField].name);
  for (const IndexDef& x : indexes) {
    int field = -1;
    for (int i = 0; i < fields.size(); ++i)
      if (fields[i].name.compare(x.fields, Qt::CaseInsensitive) == 0) field = i;
    if (field < 0) invalid(QStringLiteral("the index field %1 does not exist").arg(x.fields));
    if (x.options.testFlag(IndexOption::Primary)) {
      if (field != autoField)
        invalid(QStringLiteral("the primary index must be on the auto-increment field"));
      continue;  // the record id itself
    }
    if (x.name.isEmpty()) invalid(QStringLiteral("a secondary index has no name"));
    statements << indexStatement(x, table, quoted(fields[field].name),
                                 fields[field].type == FieldType::String);
  }
  statements << QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId);
  statements << QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion);
  const QByteArray script =
      ("BEGIN IMMEDIATE;" + statements.join(QLatin1Char(';')) + ";COMMIT").toUtf8();
  auto run = [&](sqlite3* db, const QString& cleanUp) {
    if (sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr) == SQLITE_OK) {
      sqlite3_close_v2(db);
      return;
    }
    const QString text =
        QStringLiteral("Cannot create the table \"%1\": %2").arg(native, errorText(db));
    const bool busy = isBusy(sqlite3_extended_errcode(db));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    if (!cleanUp.isEmpty()) removeFileAndJournal(cleanUp);
    if (busy) throw InUseError(inUseText(native));
    throw DbError(text);
  };

  if (!fileExists()) {
    // Built beside its place and given its name only when complete.
    const bool emptyThere = QFileInfo::exists(path);
    const QString temp = temporaryPathFor(path);
    run(openConnection(temp, Access::Fresh), temp);
    if (fs::publishFile(temp, path, emptyThere ? fs::Replace::Allowed : fs::Replace::Never)) {
      fs::syncFolderOf(path);
      emit tableReset();
      return true;
    }
    const int error = errno;
    removeFileAndJournal(temp);
    if (error != EEXIST)
      throw DbError(QStringLiteral("Cannot create the table \"%1\": %2")
                        .arg(native, QString::fromLocal8Bit(std::strerror(error))));
    // Another program created it meanwhile: that one is the table now.
  }
  if (mode == CreateMode::KeepExisting) return false;
  // An existing file is replaced only when it is one of our tables.
  if (!canWrite(path))
    throw ReadOnlyError(
        QStringLiteral("Cannot create the table \"%1\": it cannot be written.").arg(native));
  run(openConnection(path, Access::Write), QString());
  emit tableReset();
  return true;
}

void Table::open() {
  if (db_) return;
  const QString path = filePath();
  const QString native = QDir::toNativeSeparators(path);
  const QFileInfo info(path);
  if (!info.isFile()) throw DbError(QStringLiteral("The table \"%1\" does not exist.").arg(native));
  // Taking the lock would make SQLite write a header into an empty file;
  // such a file is what an interrupted creation leaves, and createTable
  // puts a table in its place.
  if (info.size() == 0)
    throw DbError(
        QStringLiteral("The table \"%1\" is empty (its creation was interrupted).").arg(native));
  readOnly_ = !canWrite(path);
  if (readOnly_) readCopy_ = copyWithLog(path);
  try {
    db_ = readCopy_
              ? openConnection(readCopy_->filePath(QStringLiteral("t.db")), Access::ReadCopy, path)
              : openConnection(path, readOnly_ ? Access::ReadOnly : Access::Write);
  } catch (...) {
    readCopy_.reset();
    throw;
  }
  try {
    // A newer build's file is refused before its structure is read: it may
    // hold what this build does not know.
    fileVersion_ = userVersion(db_);
    if (fileVersion_ < 0) fail(QStringLiteral("Cannot open the table"));
    if (fileVersion_ > kSchemaVersion)
      throw DbError(QStringLiteral("The library \"%1\" was made by a newer Quandrel (version %2; "
                                   "this one knows versions up to %3); it was left as it is.")
                        .arg(native)
                        .arg(fileVersion_)
                        .arg(kSchemaVersion));
    loadSchema();
    selectOrder(false);  // resolves the wanted order, then reads it
    // Updated only once read through, so that a damaged file that is
    // refused stays as it was; the order is read again from the new indexes.
    if (!readOnly_ && fileVersion_ < kSchemaVersion) {
      migrate();
      selectOrder(false);
    }
    if (!readOnly_) {
      // Only a table known as ours and read through gets the write-ahead log
      // (which changes the file's header): a damaged file that is refused
      // stays as it was.
      const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL",
                                  nullptr, nullptr, nullptr);
      if (isBusy(rc)) throw InUseError(inUseText(native));
      if (rc != SQLITE_OK) fail(QStringLiteral("Cannot open the table"));
    }
  } catch (...) {
    st_.reset();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    readOnly_ = false;
    fileVersion_ = 0;
    readCopy_.reset();
    fields_.clear();
    indexes_.clear();
    order_.clear();
    throw;
  }
  cache_.clear();
  row_ = order_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = order_.empty();
  setState(State::Browse);
  emit tableReset();
  emit currentChanged(row_);
}

void Table::close() {
  if (!db_) return;
  if (batchDepth_ > 0) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  batchDepth_ = 0;
  batchStored_.clear();
  st_.reset();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  readOnly_ = false;
  fileVersion_ = 0;
  readCopy_.reset();
  order_.clear();
  cache_.clear();
  buffer_.clear();
  modified_ = false;
  row_ = -1;
  bof_ = eof_ = true;
  setState(State::Inactive);
  emit tableReset();
  emit currentChanged(-1);
}

int Table::schemaVersion() { return kSchemaVersion; }

QString Table::analysisName() const { return sqlTable_ + QStringLiteral("_analysis"); }

// Rebuilds the unique case-insensitive indexes of an earlier build, which
// refused file names differing only in case, as indexes that refuse only
// equal names. Dropping and creating an index in one transaction loses no
// record; a failure leaves the old index.
QStringList Table::exactUniqueIndexes() const {
  QStringList statements;
  for (const QString& name : std::as_const(legacyIndexes_)) {
    for (const IndexDef& x : std::as_const(indexes_)) {
      if (x.name != name) continue;
      const int f = fieldIndex(x.fields);
      statements << QStringLiteral("DROP INDEX %1").arg(quoted(name))
                 << indexStatement(x, quoted(sqlTable_), quoted(fields_[f].name), true);
    }
  }
  return statements;
}

void Table::migrate() {
  struct Step {
    int to;            // the version the step brings the file to
    const char* what;  // what it does, for the error
    std::function<QStringList()> statements;
  };
  const Step steps[] = {
      {2, "file names unique letter for letter", [this] { return exactUniqueIndexes(); }},
      {3, "the table of tempo analyses",
       [this] {
         return keyField_ < 0 ? QStringList()
                              : analysisStatements(sqlTable_, fields_[keyField_].name);
       }},
      {4, "the tables of beat grids, loudness and overviews",
       [this] {
         return keyField_ < 0 ? QStringList()
                              : sideTableStatements(sqlTable_, fields_[keyField_].name);
       }},
  };
  static_assert(std::size(steps) == kSchemaVersion - 1,
                "one step for each version after the first");
  const int from = std::max(fileVersion_, 1);
  if (from >= kSchemaVersion) return;
  // Every step in one transaction, each as a savepoint of its own: a step
  // that fails undoes the steps before it too, so a library that is refused
  // stays byte for byte as it was (never half updated), and the next open
  // starts again from its version.
  const QString native = QDir::toNativeSeparators(filePath());
  auto failed = [&](const Step* step) {
    const QString why = errorText(db_);
    const bool busy = isBusy(sqlite3_extended_errcode(db_));
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (busy) throw InUseError(inUseText(native));
    throw DbError(QStringLiteral("Cannot update the library \"%1\" from version %2 to %3%4: %5. "
                                 "It was left as it was.")
                      .arg(native)
                      .arg(from)
                      .arg(kSchemaVersion)
                      .arg(step ? QStringLiteral(" (the step to version %1, %2)")
                                      .arg(step->to)
                                      .arg(QLatin1String(step->what))
                                : QString(),
                           why));
  };
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) failed(nullptr);
  for (const Step& step : steps) {
    if (from >= step.to) continue;
    QStringList statements = step.statements();
    statements << QStringLiteral("PRAGMA user_version=%1").arg(step.to);
    const QByteArray script =
        ("SAVEPOINT step;" + statements.join(QLatin1Char(';')) + ";RELEASE step").toUtf8();
    if (sqlite3_exec(db_, script.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
      failed(&step);
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) failed(nullptr);
  fileVersion_ = kSchemaVersion;
  legacyIndexes_.clear();
}

void Table::loadSchema() {
  sqlTable_ = QFileInfo(fileName_).completeBaseName();
  const QString table = quoted(sqlTable_);
  fields_.clear();
  indexes_.clear();
  keyField_ = -1;
  auto foreign = [&](const QString& why) {
    throw DbError(QStringLiteral("\"%1\" is not a table of Quandrel (%2); it was left as it is.")
                      .arg(QDir::toNativeSeparators(filePath()), why));
  };
  auto query = [&](const QString& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot read the table's structure"));
    // Finalized also when a row is refused: an open statement would keep
    // the connection from closing.
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(st, sqlite3_finalize);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
    if (rc != SQLITE_DONE) fail(QStringLiteral("Cannot read the table's structure"));
  };
  auto text = [](sqlite3_stmt* st, int col) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, col)));
  };

  query(QStringLiteral("PRAGMA table_info(%1)").arg(table), [&](sqlite3_stmt* st) {
    FieldDef f;
    f.name = text(st, 1);
    const QString type = text(st, 2).toUpper();
    f.required = sqlite3_column_int(st, 3) != 0;
    const bool pk = sqlite3_column_int(st, 5) != 0;
    if (pk && type == QLatin1String("INTEGER")) {
      f.type = FieldType::AutoInc;
      f.required = false;
      keyField_ = int(fields_.size());
    } else if (type == QLatin1String("TEXT")) {
      f.type = FieldType::String;
    } else if (type.startsWith(QLatin1String("VARCHAR(")) && type.endsWith(QLatin1Char(')'))) {
      f.type = FieldType::String;
      f.size = type.mid(8, type.size() - 9).toInt();
    } else if (type == QLatin1String("SMALLINT")) {
      f.type = FieldType::SmallInt;
    } else if (type == QLatin1String("INTEGER")) {
      f.type = FieldType::Integer;
    } else if (type == QLatin1String("BOOLEAN")) {
      f.type = FieldType::Boolean;
    } else {
      foreign(QStringLiteral("unknown field type %1").arg(type));
    }
    fields_ << f;
  });
  if (fields_.isEmpty()) foreign(QStringLiteral("it holds no table %1").arg(sqlTable_));
  if (keyField_ >= 0)
    indexes_ << IndexDef{QString(), fields_[keyField_].name,
                         IndexOption::Primary | IndexOption::Unique};

  QStringList names;
  QList<bool> unique;
  query(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type='index' AND tbl_name=%1 "
                       "AND sql IS NOT NULL ORDER BY rowid")
            .arg(QStringLiteral("'%1'").arg(QString(sqlTable_).replace('\'', "''"))),
        [&](sqlite3_stmt* st) {
          names << text(st, 0);
          unique << text(st, 1).simplified().startsWith(QLatin1String("CREATE UNIQUE"),
                                                        Qt::CaseInsensitive);
        });
  legacyIndexes_.clear();
  for (int i = 0; i < names.size(); ++i) {
    IndexDef x;
    x.name = names[i];
    if (unique[i]) x.options |= IndexOption::Unique;
    QStringList keyFields, collations;
    query(QStringLiteral("PRAGMA index_xinfo(%1)").arg(quoted(names[i])), [&](sqlite3_stmt* st) {
      if (sqlite3_column_int(st, 5) == 0) return;  // the record id appended to every entry
      keyFields << text(st, 2);
      collations << text(st, 4).toUpper();
    });
    const QString noCase = QString::fromLatin1(kNoCaseCollation);
    // One key; or, for a unique case-insensitive index, the folded text and
    // the exact text of one field.
    const bool single = keyFields.size() == 1;
    const bool foldedAndExact = keyFields.size() == 2 && unique[i] &&
                                keyFields[0].compare(keyFields[1], Qt::CaseInsensitive) == 0 &&
                                collations[0] == noCase && collations[1] == QLatin1String("BINARY");
    if (!(single || foldedAndExact) || fieldIndex(keyFields.value(0)) < 0)
      foreign(QStringLiteral("the index %1 is not on one field").arg(x.name));
    x.fields = keyFields[0];
    if (collations[0] == noCase) x.options |= IndexOption::CaseInsensitive;
    if (single && unique[i] && collations[0] == noCase &&
        fields_[fieldIndex(x.fields)].type == FieldType::String)
      legacyIndexes_ << x.name;
    indexes_ << x;
  }
}

}  // namespace qdl::db
