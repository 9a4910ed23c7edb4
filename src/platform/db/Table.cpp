#include "platform/db/Table.h"

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
#include <limits>

#include "platform/db/Collation.h"

namespace qdl::db {
namespace {

// Marks a file as one of this program's tables ("QDLT" in the header).
constexpr int kApplicationId = 0x51444C54;
// 2: unique text indexes compare exact text (1 folded case).
constexpr int kSchemaVersion = 2;
constexpr qsizetype kCacheRows = 512;

QString quoted(const QString& identifier) {
  QString s = identifier;
  s.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + s + QLatin1Char('"');
}

// Cuts a text to `width` code points (0: no limit), never inside a
// surrogate pair.
QString cutToWidth(const QString& text, int width) {
  if (width <= 0 || text.size() <= width) return text;
  qsizetype i = 0;
  for (int n = 0; n < width && i < text.size(); ++n)
    i += (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
  return text.left(i);
}

QString errorText(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

bool isDuplicateKey(sqlite3* db) {
  const int ext = sqlite3_extended_errcode(db);
  return ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY;
}

// Resets a statement when a use of it ends, also by an exception.
struct Use {
  explicit Use(sqlite3_stmt* s) : stmt(s) {}
  ~Use() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
  sqlite3_stmt* stmt;
};

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

// A sort key as SQLite orders it: null before numbers before texts.
struct Table::Key {
  int kind = 0;  // 0 null, 1 integer, 2 text
  std::int64_t number = 0;
  QByteArray text;
};

Table::Table(QObject* parent) : QObject(parent) {}

Table::~Table() {
  // Closed without signals: views bound to the table may be gone already.
  // An open batch is written, as close() does.
  if (db_ && batchDepth_ > 0) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  st_.reset();
  if (db_) sqlite3_close_v2(db_);
}

void Table::setDatabaseName(const QString& folder) {
  if (isOpen()) throw DbError(QStringLiteral("Cannot change the location of an open table."));
  folder_ = folder;
}

void Table::setTableName(const QString& fileName) {
  if (isOpen()) throw DbError(QStringLiteral("Cannot change the name of an open table."));
  fileName_ = fileName;
}

QString Table::filePath() const {
  if (folder_.isEmpty()) return fileName_;
  return folder_.endsWith(QLatin1Char('/')) ? folder_ + fileName_
                                            : folder_ + QLatin1Char('/') + fileName_;
}

void Table::requireOpen() const {
  if (!db_) throw DbError(QStringLiteral("The table \"%1\" is not open.").arg(filePath()));
}

void Table::requireWritable() const {
  requireOpen();
  if (readOnly_)
    throw ReadOnlyError(QStringLiteral("The table \"%1\" cannot be written (a read-only medium "
                                       "or folder): it can be read and searched, not changed.")
                            .arg(QDir::toNativeSeparators(filePath())));
}

void Table::fail(const QString& what) const {
  const QString text =
      QStringLiteral("%1: %2 (%3)").arg(what, errorText(db_), QDir::toNativeSeparators(filePath()));
  if (isDuplicateKey(db_)) throw DuplicateKeyError(QStringLiteral("Key violation. ") + text);
  // Some errors (a full disk, an I/O error) make SQLite roll back the whole
  // open batch by itself. The cursor's order must then lose the batch's
  // records too, and the caller must hear that more than one change was lost.
  // (The table object itself is never const; only this lookup is.)
  if (batchDepth_ > 0 && sqlite3_get_autocommit(db_))
    const_cast<Table*>(this)->batchRolledBack(text);
  throw DbError(text);
}

void Table::batchRolledBack(const QString& why) {
  batchDepth_ = 0;
  cache_.clear();
  buffer_.clear();
  modified_ = false;
  rebuildOrder();
  row_ = order_.empty() ? -1 : 0;
  bof_ = eof_ = order_.empty();
  setState(State::Browse);
  emit tableReset();
  emit currentChanged(row_);
  throw DbError(QStringLiteral("The changes of the current batch were not written and are lost. ") +
                why);
}

void Table::exec(const char* sql) const {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot access the table"));
}

int Table::fieldIndex(const QString& name) const {
  for (int i = 0; i < fields_.size(); ++i)
    if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

// ---------------------------------------------------------------- create/open

namespace {

enum class Access {
  Fresh,     // a new file only we know of
  Write,     // an existing file, locked for this program alone
  ReadOnly,  // an existing file on a medium or in a folder we cannot write
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

// Opens a connection with the collation registered and checks that the file
// is one of our tables (or, for Fresh, a new empty file). Nothing is written
// to the file here. A Write connection holds the file locked for this
// program alone from the first read on; a ReadOnly connection neither locks
// nor writes (the medium cannot change under it). Throws DbError naming the
// path (InUseError when another program holds the file).
sqlite3* openConnection(const QString& path, Access access) {
  sqlite3* db = nullptr;
  const QString native = QDir::toNativeSeparators(path);
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

void removeFileAndJournal(const QString& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    QFile::remove(path + QLatin1String(suffix));
}

// Gives the complete file `from` the name `to`. Without replace, a file
// that is there already wins: false with errno EEXIST. Hard links and
// no-replace renames are not offered by every file system (FAT on a stick):
// then the name is taken when it is still free.
bool publish(const QString& from, const QString& to, bool replace) {
  const QByteArray f = QFile::encodeName(from);
  const QByteArray t = QFile::encodeName(to);
  if (replace) return ::rename(f.constData(), t.constData()) == 0;
  if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EEXIST) return false;
  if (::link(f.constData(), t.constData()) == 0) {
    ::unlink(f.constData());
    return true;
  }
  if (errno == EEXIST) return false;
  if (QFileInfo::exists(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(f.constData(), t.constData()) == 0;
}

// Makes a rename durable: the folder's entry is written out too.
void syncFolder(const QString& path) {
  const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

  QStringList statements;
  statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(table);
  statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns.join(QLatin1Char(',')));
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
    if (publish(temp, path, emptyThere)) {
      syncFolder(path);
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
  db_ = openConnection(path, readOnly_ ? Access::ReadOnly : Access::Write);
  try {
    loadSchema();
    if (!readOnly_) {
      upgradeSchema();
      // Only a table known as ours gets the write-ahead log (which changes
      // the file's header).
      const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL",
                                  nullptr, nullptr, nullptr);
      if (isBusy(rc)) throw InUseError(inUseText(native));
      if (rc != SQLITE_OK) fail(QStringLiteral("Cannot open the table"));
    }
    selectOrder(false);  // resolves the wanted order, then reads it
  } catch (...) {
    st_.reset();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    readOnly_ = false;
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
  st_.reset();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  readOnly_ = false;
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

// Rebuilds the unique case-insensitive indexes of an earlier build, which
// refused file names differing only in case, as indexes that refuse only
// equal names. Dropping and creating an index in one transaction loses no
// record; a failure leaves the old index.
void Table::upgradeSchema() {
  if (legacyIndexes_.isEmpty()) return;
  QStringList statements;
  for (const QString& name : std::as_const(legacyIndexes_)) {
    for (const IndexDef& x : std::as_const(indexes_)) {
      if (x.name != name) continue;
      const int f = fieldIndex(x.fields);
      statements << QStringLiteral("DROP INDEX %1").arg(quoted(name))
                 << indexStatement(x, quoted(sqlTable_), quoted(fields_[f].name), true);
    }
  }
  statements << QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion);
  const QByteArray script =
      ("BEGIN IMMEDIATE;" + statements.join(QLatin1Char(';')) + ";COMMIT").toUtf8();
  if (sqlite3_exec(db_, script.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    const QString why = errorText(db_);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw DbError(QStringLiteral("Cannot update the table \"%1\" for this version: %2")
                      .arg(QDir::toNativeSeparators(filePath()), why));
  }
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

// ----------------------------------------------------------------- the order

int Table::orderField() const {
  if (activeIndex_ < 0) return -1;
  const int f = fieldIndex(indexes_[activeIndex_].fields);
  return (f == keyField_) ? -1 : f;
}

void Table::setIndexName(const QString& name) {
  wantIndexName_ = name;
  wantFieldNames_.clear();
  if (db_) selectOrder(true);
}

void Table::setIndexFieldNames(const QString& fields) {
  wantFieldNames_ = fields;
  wantIndexName_.clear();
  if (db_) selectOrder(true);
}

QString Table::indexName() const {
  if (!wantIndexName_.isEmpty() && activeIndex_ >= 0 && db_) return indexes_[activeIndex_].name;
  return wantIndexName_;
}

QString Table::indexFieldNames() const {
  if (!wantFieldNames_.isEmpty() && activeIndex_ >= 0 && db_) return indexes_[activeIndex_].fields;
  return wantFieldNames_;
}

// Resolves the wanted order against the indexes, reads it and keeps the
// current record current. Unknown names throw and keep the previous order.
void Table::selectOrder(bool notify) {
  int found = -1;
  if (!wantIndexName_.isEmpty()) {
    for (int i = 0; i < indexes_.size(); ++i)
      if (indexes_[i].name.compare(wantIndexName_, Qt::CaseInsensitive) == 0) found = i;
    if (found < 0)
      throw DbError(QStringLiteral("The table \"%1\" has no index named %2.")
                        .arg(QDir::toNativeSeparators(filePath()), wantIndexName_));
  } else if (!wantFieldNames_.isEmpty()) {
    for (int i = int(indexes_.size()) - 1; i >= 0; --i)
      if (indexes_[i].fields.compare(wantFieldNames_.trimmed(), Qt::CaseInsensitive) == 0)
        found = i;
    if (found < 0)
      throw DbError(QStringLiteral("The table \"%1\" has no index on the field %2.")
                        .arg(QDir::toNativeSeparators(filePath()), wantFieldNames_));
  }
  checkBrowseMode();
  const std::int64_t current = (row_ >= 0 && row_ < int(order_.size())) ? order_[row_] : -1;
  activeIndex_ = found;
  prepareStatements();
  rebuildOrder();
  row_ = current >= 0 ? positionOf(current) : (order_.empty() ? -1 : 0);
  if (!notify) return;
  emit tableReset();
  emit currentChanged(row_);
}

QString Table::orderCollation(int f) const {
  // Text keys compare with the collation of the active index, so that the
  // order shown and the nearest-key search agree; numbers need none.
  if (fields_[f].type != FieldType::String) return {};
  return QStringLiteral(" COLLATE %1")
      .arg(indexes_[activeIndex_].options.testFlag(IndexOption::CaseInsensitive)
               ? QLatin1String(kNoCaseCollation)
               : QLatin1String("BINARY"));
}

bool Table::exactTieBreak() const {
  const int f = orderField();
  if (f < 0 || fields_[f].type != FieldType::String) return false;
  const IndexOptions o = indexes_[activeIndex_].options;
  return o.testFlag(IndexOption::Unique) && o.testFlag(IndexOption::CaseInsensitive);
}

void Table::prepareStatements() {
  auto st = std::make_unique<Statements>();
  const QString table = quoted(sqlTable_);
  QStringList all, sets, params;
  for (int i = 0; i < fields_.size(); ++i) {
    all << quoted(fields_[i].name);
    if (i == keyField_) continue;
    sets << quoted(fields_[i].name) + QStringLiteral("=?%1").arg(sets.size() + 1);
    params << QStringLiteral("?%1").arg(params.size() + 1);
  }
  QStringList writable;
  for (int i = 0; i < fields_.size(); ++i)
    if (i != keyField_) writable << quoted(fields_[i].name);

  auto prepare = [&](sqlite3_stmt** target, const QString& sql) {
    const QByteArray u = sql.toUtf8();
    if (sqlite3_prepare_v3(db_, u.constData(), int(u.size()), SQLITE_PREPARE_PERSISTENT, target,
                           nullptr) != SQLITE_OK)
      fail(QStringLiteral("Cannot prepare an access to the table"));
  };
  prepare(
      &st->selectRow,
      QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1").arg(all.join(QLatin1Char(',')), table));
  if (!writable.isEmpty()) {
    prepare(&st->insert,
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(table, writable.join(QLatin1Char(',')), params.join(QLatin1Char(','))));
    prepare(&st->update, QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?%3")
                             .arg(table, sets.join(QLatin1Char(',')))
                             .arg(sets.size() + 1));
  }
  prepare(&st->remove, QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(table));
  const int f = orderField();
  if (f < 0) {
    prepare(
        &st->nearest,
        QStringLiteral("SELECT rowid FROM %1 WHERE rowid>=?1 ORDER BY rowid LIMIT 1").arg(table));
    prepare(&st->exact, QStringLiteral("SELECT rowid FROM %1 WHERE rowid=?1").arg(table));
  } else {
    const QString col = quoted(fields_[f].name);
    const QString coll = orderCollation(f);
    const QString index = quoted(indexes_[activeIndex_].name);
    // Keys equal without regard to case follow each other in byte order on
    // a unique index, and only equal bytes make a key the same.
    const QString keys = exactTieBreak() ? col + coll + QStringLiteral(", ") + col +
                                               QStringLiteral(" COLLATE BINARY")
                                         : col + coll;
    const QString same = exactTieBreak()
                             ? QStringLiteral("%1=?1%2 AND %1=?1 COLLATE BINARY").arg(col, coll)
                             : QStringLiteral("%1=?1%2").arg(col, coll);
    prepare(&st->keyProbe, QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1").arg(col, table));
    prepare(&st->nearest,
            QStringLiteral("SELECT rowid FROM %1 INDEXED BY %2 WHERE %3>=?1%4 ORDER BY %5, rowid "
                           "LIMIT 1")
                .arg(table, index, col, coll, keys));
    prepare(&st->exact, QStringLiteral("SELECT rowid FROM %1 INDEXED BY %2 WHERE %3 LIMIT 1")
                            .arg(table, index, same));
  }
  st_ = std::move(st);
}

void Table::rebuildOrder() {
  const QString table = quoted(sqlTable_);
  QString sql;
  const int f = orderField();
  if (f < 0) {
    sql = QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(table);
  } else {
    const QString col = quoted(fields_[f].name);
    QString keys = col + orderCollation(f);
    if (exactTieBreak()) keys += QStringLiteral(", ") + col + QStringLiteral(" COLLATE BINARY");
    sql = QStringLiteral("SELECT rowid FROM %1 INDEXED BY %2 ORDER BY %3, rowid")
              .arg(table, quoted(indexes_[activeIndex_].name), keys);
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
    fail(QStringLiteral("Cannot read the table's order"));
  std::vector<std::int64_t> ids;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(st, 0));
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) fail(QStringLiteral("Cannot read the table's order"));
  ids.shrink_to_fit();
  order_ = std::move(ids);
}

Table::Key Table::keyOf(std::int64_t id) const {
  const int f = orderField();
  Key k;
  if (f < 0) {
    k.kind = 1;
    k.number = id;
    return k;
  }
  auto cached = cache_.constFind(id);
  if (cached != cache_.cend()) return keyOfValue(cached->at(f));
  Use use(st_->keyProbe);
  sqlite3_bind_int64(use.stmt, 1, id);
  const int rc = sqlite3_step(use.stmt);
  if (rc != SQLITE_ROW) {
    if (rc == SQLITE_DONE) return k;
    fail(QStringLiteral("Cannot read a record"));
  }
  switch (sqlite3_column_type(use.stmt, 0)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      k.kind = 1;
      k.number = sqlite3_column_int64(use.stmt, 0);
      break;
    default:
      k.kind = 2;
      k.text = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(use.stmt, 0)),
                          sqlite3_column_bytes(use.stmt, 0));
  }
  return k;
}

Table::Key Table::keyOfValue(const QVariant& value) const {
  Key k;
  if (!value.isValid() || value.isNull()) return k;
  const int f = orderField();
  if (f >= 0 && fields_[f].type == FieldType::String) {
    k.kind = 2;
    k.text = value.toString().toUtf8();
  } else {
    k.kind = 1;
    k.number = value.toLongLong();
  }
  return k;
}

int Table::compareKeys(const Key& a, const Key& b) const {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  if (a.kind == 1) return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
  if (a.kind == 0) return 0;
  if (indexes_[activeIndex_].options.testFlag(IndexOption::CaseInsensitive)) {
    const int c = compareNoCase(a.text.constData(), std::size_t(a.text.size()), b.text.constData(),
                                std::size_t(b.text.size()));
    if (c != 0 || !exactTieBreak()) return c;
  }
  const int c = std::memcmp(a.text.constData(), b.text.constData(),
                            std::size_t(std::min(a.text.size(), b.text.size())));
  if (c != 0) return c;
  return a.text.size() < b.text.size() ? -1 : (a.text.size() > b.text.size() ? 1 : 0);
}

// The first row whose (key, id) is not smaller than the given pair.
int Table::lowerBound(const Key& key, std::int64_t id) const {
  if (orderField() < 0)
    return int(std::lower_bound(order_.begin(), order_.end(), id) - order_.begin());
  std::size_t lo = 0, hi = order_.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    const std::int64_t other = order_[mid];
    const int c = compareKeys(keyOf(other), key);
    if (c < 0 || (c == 0 && other < id))
      lo = mid + 1;
    else
      hi = mid;
  }
  return int(lo);
}

int Table::positionOf(std::int64_t id) const {
  const int pos = lowerBound(keyOf(id), id);
  if (pos < int(order_.size()) && order_[pos] == id) return pos;
  // Not where the key says (cannot happen while the collation is consistent).
  const auto it = std::find(order_.begin(), order_.end(), id);
  return it == order_.end() ? (order_.empty() ? -1 : 0) : int(it - order_.begin());
}

// ------------------------------------------------------------------ the cursor

void Table::setCurrent(int row) {
  row_ = row;
  emit currentChanged(row_);
}

void Table::checkBrowseMode() {
  if (state_ == State::Edit || state_ == State::Insert) {
    if (modified_)
      post();
    else
      cancel();
  }
}

void Table::setState(State s) {
  if (state_ == s) return;
  state_ = s;
  emit stateChanged(s);
}

void Table::first() {
  requireOpen();
  checkBrowseMode();
  bof_ = true;
  eof_ = order_.empty();
  setCurrent(order_.empty() ? -1 : 0);
}

void Table::last() {
  requireOpen();
  checkBrowseMode();
  eof_ = true;
  bof_ = order_.empty();
  setCurrent(int(order_.size()) - 1);
}

void Table::next() {
  requireOpen();
  checkBrowseMode();
  if (row_ + 1 < int(order_.size())) {
    bof_ = eof_ = false;
    setCurrent(row_ + 1);
  } else {
    eof_ = true;
  }
}

void Table::prior() {
  requireOpen();
  checkBrowseMode();
  if (row_ > 0) {
    bof_ = eof_ = false;
    setCurrent(row_ - 1);
  } else {
    bof_ = true;
  }
}

void Table::moveTo(int row) {
  requireOpen();
  if (row < 0 || row >= int(order_.size())) return;
  if (row == row_ && state_ == State::Browse) return;
  // Posting the pending change may move records (a changed key, a new
  // record): the cursor goes to the record that stood at `row`, not to
  // whatever stands there afterwards.
  const std::int64_t target = order_[row];
  checkBrowseMode();
  bof_ = eof_ = false;
  setCurrent(positionOf(target));
}

std::int64_t Table::currentId() const {
  return (db_ && row_ >= 0 && row_ < int(order_.size())) ? order_[row_] : -1;
}

bool Table::moveToId(std::int64_t id) {
  requireOpen();
  if (id < 0 || std::find(order_.begin(), order_.end(), id) == order_.end()) return false;
  checkBrowseMode();
  const int row = positionOf(id);
  bof_ = eof_ = false;
  setCurrent(row);
  return true;
}

void Table::refresh() {
  requireOpen();
  checkBrowseMode();
  const std::int64_t current = (row_ >= 0 && row_ < int(order_.size())) ? order_[row_] : -1;
  cache_.clear();
  rebuildOrder();
  int row = order_.empty() ? -1 : 0;
  if (current >= 0) {
    const auto it = std::find(order_.begin(), order_.end(), current);
    if (it != order_.end()) row = int(it - order_.begin());
  }
  row_ = row;
  bof_ = row_ <= 0;
  eof_ = order_.empty();
  emit tableReset();
  emit currentChanged(row_);
}

void Table::findNearest(const QVariant& value) {
  requireOpen();
  checkBrowseMode();
  if (order_.empty()) return;
  const int f = orderField();
  QVariant key = f < 0 ? convert(keyField_ >= 0 ? keyField_ : 0, value) : convert(f, value);
  if (f < 0 && keyField_ < 0) key = value.toLongLong();
  if (!key.isValid() || key.isNull() || key.toString().isEmpty()) {
    first();
    return;
  }
  std::int64_t id = -1;
  // On a unique index a key equal letter for letter wins over the first of
  // its case variants.
  if (exactTieBreak()) id = lookUp(st_->exact, f, key);
  if (id < 0) id = lookUp(st_->nearest, f, key);
  bof_ = eof_ = false;
  setCurrent(id < 0 ? int(order_.size()) - 1 : positionOf(id));
}

bool Table::containsKey(const QVariant& value) const {
  requireOpen();
  const int f = orderField();
  const QVariant key = f < 0 ? QVariant(value.toLongLong()) : convert(f, value);
  if (!key.isValid() || key.isNull()) return false;
  return lookUp(st_->exact, f, key) >= 0;
}

std::int64_t Table::lookUp(sqlite3_stmt* statement, int f, const QVariant& key) const {
  Use use(statement);
  if (f >= 0 && fields_[f].type == FieldType::String) {
    const QByteArray u = key.toString().toUtf8();
    sqlite3_bind_text(use.stmt, 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_int64(use.stmt, 1, key.toLongLong());
  }
  const int rc = sqlite3_step(use.stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(QStringLiteral("Cannot search the table"));
  return rc == SQLITE_ROW ? sqlite3_column_int64(use.stmt, 0) : -1;
}

void Table::beginBatch() {
  requireWritable();
  if (batchDepth_ == 0) exec("BEGIN IMMEDIATE");
  ++batchDepth_;
}

void Table::endBatch() {
  if (batchDepth_ == 0 || !db_) return;
  if (--batchDepth_ > 0) return;
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return;
  // The changes are lost: make the order say what the file holds.
  const QString why = errorText(db_);
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  cache_.clear();
  rebuildOrder();
  row_ = order_.empty() ? -1 : 0;
  bof_ = eof_ = order_.empty();
  emit tableReset();
  emit currentChanged(row_);
  throw DbError(QStringLiteral("Cannot write the table \"%1\": %2")
                    .arg(QDir::toNativeSeparators(filePath()), why));
}

// ------------------------------------------------------------------- records

QVariantList Table::readRecord(std::int64_t id) const {
  auto cached = cache_.constFind(id);
  if (cached != cache_.cend()) return *cached;
  QVariantList values;
  values.reserve(fields_.size());
  {
    Use use(st_->selectRow);
    sqlite3_bind_int64(use.stmt, 1, id);
    const int rc = sqlite3_step(use.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(QStringLiteral("Cannot read a record"));
    for (int i = 0; i < fields_.size(); ++i) {
      if (rc != SQLITE_ROW || sqlite3_column_type(use.stmt, i) == SQLITE_NULL) {
        values << QVariant();
        continue;
      }
      switch (fields_[i].type) {
        case FieldType::AutoInc:
          values << QVariant(qlonglong(sqlite3_column_int64(use.stmt, i)));
          break;
        case FieldType::String:
          values << QVariant(
              QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(use.stmt, i)),
                                sqlite3_column_bytes(use.stmt, i)));
          break;
        case FieldType::SmallInt:
        case FieldType::Integer:
          values << QVariant(sqlite3_column_int(use.stmt, i));
          break;
        case FieldType::Boolean:
          values << QVariant(sqlite3_column_int(use.stmt, i) != 0);
          break;
      }
    }
  }
  if (cache_.size() >= kCacheRows) cache_.clear();
  cache_.insert(id, values);
  return values;
}

void Table::forget(std::int64_t id) const { cache_.remove(id); }

QVariant Table::valueAt(int row, int field) const {
  if (!db_ || row < 0 || row >= int(order_.size()) || field < 0 || field >= fields_.size())
    return {};
  if (row == row_ && state_ == State::Edit) return buffer_.value(field);
  return readRecord(order_[row]).value(field);
}

QVariant Table::fieldByName(const QString& name) const {
  requireOpen();
  const int f = fieldIndex(name);
  if (f < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no field %2.")
                      .arg(QDir::toNativeSeparators(filePath()), name));
  if (state_ == State::Edit || state_ == State::Insert) return buffer_.value(f);
  if (row_ < 0) return {};
  return readRecord(order_[row_]).value(f);
}

QVariant Table::convert(int field, const QVariant& value) const {
  const FieldDef& f = fields_[field];
  if (!value.isValid() || value.isNull()) return {};
  const bool isText = value.typeId() == QMetaType::QString;
  auto bad = [&](const QString& why) {
    throw DbError(QStringLiteral("'%1' is not a valid value for the field %2 (%3).")
                      .arg(value.toString(), f.name, why));
  };
  switch (f.type) {
    case FieldType::String:
      return cutToWidth(value.toString(), f.size);
    case FieldType::AutoInc:
    case FieldType::SmallInt:
    case FieldType::Integer: {
      if (isText && value.toString().trimmed().isEmpty()) return {};
      bool ok = true;
      const qlonglong n = isText ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong();
      if (!ok) bad(QStringLiteral("not a whole number"));
      if (f.type == FieldType::SmallInt && (n < -32768 || n > 32767))
        bad(QStringLiteral("out of range"));
      if (f.type == FieldType::Integer &&
          (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max()))
        bad(QStringLiteral("out of range"));
      if (f.type == FieldType::AutoInc) return QVariant(n);
      return QVariant(int(n));
    }
    case FieldType::Boolean: {
      if (!isText) return QVariant(value.toBool());
      const QString s = value.toString().trimmed();
      if (s.isEmpty()) return {};
      if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1"))
        return QVariant(true);
      if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0"))
        return QVariant(false);
      bad(QStringLiteral("not true or false"));
    }
  }
  return {};
}

void Table::setFieldValue(const QString& name, const QVariant& value) {
  requireWritable();
  const int f = fieldIndex(name);
  if (f < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no field %2.")
                      .arg(QDir::toNativeSeparators(filePath()), name));
  if (f == keyField_)
    throw DbError(QStringLiteral("The field %1 is assigned by the table and cannot be changed.")
                      .arg(fields_[f].name));
  const QVariant converted = convert(f, value);
  if (state_ == State::Browse) edit();
  buffer_[f] = converted;
  modified_ = true;
  if (state_ == State::Edit) emit recordChanged(row_);
}

void Table::edit() {
  requireWritable();
  if (state_ == State::Edit || state_ == State::Insert) return;
  if (row_ < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no record to edit.")
                      .arg(QDir::toNativeSeparators(filePath())));
  buffer_ = readRecord(order_[row_]);
  modified_ = false;
  setState(State::Edit);
}

void Table::insert() {
  requireWritable();
  checkBrowseMode();
  buffer_ = QVariantList(fields_.size());
  modified_ = false;
  setState(State::Insert);
}

void Table::cancel() {
  if (state_ != State::Edit && state_ != State::Insert) return;
  const bool wasEdit = state_ == State::Edit;
  buffer_.clear();
  modified_ = false;
  setState(State::Browse);
  if (wasEdit && row_ >= 0) emit recordChanged(row_);
}

void Table::writePending() {
  sqlite3_stmt* stmt = state_ == State::Edit ? st_->update : st_->insert;
  if (!stmt) throw DbError(QStringLiteral("The table has no fields to write."));
  Use use(stmt);
  int p = 1;
  for (int i = 0; i < fields_.size(); ++i) {
    if (i == keyField_) continue;
    const QVariant& v = buffer_[i];
    if (!v.isValid() || v.isNull())
      sqlite3_bind_null(stmt, p);
    else if (fields_[i].type == FieldType::String) {
      const QByteArray u = v.toString().toUtf8();
      sqlite3_bind_text(stmt, p, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(stmt, p, v.toLongLong());
    }
    ++p;
  }
  if (state_ == State::Edit) sqlite3_bind_int64(stmt, p, order_[row_]);
  if (sqlite3_step(stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot write the record"));
  if (state_ == State::Edit && sqlite3_changes(db_) == 0)
    throw DbError(QStringLiteral("The record is no longer in the table \"%1\".")
                      .arg(QDir::toNativeSeparators(filePath())));
}

void Table::post() {
  requireOpen();
  if (state_ != State::Edit && state_ != State::Insert) return;
  writePending();
  // The stored key is read before the order or the buffer change, so a
  // failed read leaves the record in editing as it was.
  if (state_ == State::Edit) {
    const int from = row_;
    const std::int64_t id = order_[from];
    forget(id);
    const Key key = keyOf(id);
    buffer_.clear();
    modified_ = false;
    order_.erase(order_.begin() + from);
    const int to = lowerBound(key, id);
    order_.insert(order_.begin() + to, id);
    row_ = to;
    setState(State::Browse);
    if (from == to)
      emit recordChanged(to);
    else
      emit recordMoved(from, to);
  } else {
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    const Key key = keyOf(id);
    buffer_.clear();
    modified_ = false;
    const int to = lowerBound(key, id);
    order_.insert(order_.begin() + to, id);
    row_ = to;
    setState(State::Browse);
    emit recordInserted(to);
  }
  bof_ = eof_ = false;
  emit currentChanged(row_);
  if (afterPost_) afterPost_();
}

void Table::insertRecord(const QVariantList& values) {
  requireWritable();
  checkBrowseMode();
  if (values.size() > fields_.size())
    throw DbError(QStringLiteral("%1 values given for a record of %2 fields.")
                      .arg(values.size())
                      .arg(fields_.size()));
  QVariantList record(fields_.size());
  for (int i = 0; i < values.size(); ++i)
    if (i != keyField_) record[i] = convert(i, values[i]);
  // One step: views never see a record being inserted, only the stored one.
  buffer_ = record;
  modified_ = true;
  state_ = State::Insert;
  try {
    post();
  } catch (...) {
    // A refused record is dropped whole, so the next insert starts clean.
    buffer_.clear();
    modified_ = false;
    state_ = State::Browse;
    throw;
  }
}

void Table::deleteRecord() {
  requireWritable();
  if (state_ == State::Insert) {
    cancel();
    return;
  }
  cancel();
  if (row_ < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no record to delete.")
                      .arg(QDir::toNativeSeparators(filePath())));
  const int row = row_;
  const std::int64_t id = order_[row];
  {
    Use use(st_->remove);
    sqlite3_bind_int64(use.stmt, 1, id);
    if (sqlite3_step(use.stmt) != SQLITE_DONE) fail(QStringLiteral("Cannot delete the record"));
  }
  forget(id);
  order_.erase(order_.begin() + row);
  emit recordRemoved(row);
  const int n = int(order_.size());
  bof_ = n == 0;
  eof_ = row >= n;
  setCurrent(row < n ? row : n - 1);
}

}  // namespace qdl::db
