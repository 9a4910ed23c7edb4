#include "platform/db/Table.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/db/Collation.h"

namespace qdl::db {
namespace {

// Marks a file as one of this program's tables ("QDLT" in the header).
constexpr int kApplicationId = 0x51444C54;
constexpr int kSchemaVersion = 1;
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

// Opens a connection with the collation registered and the file locked for
// this program alone, and checks that the file is one of its tables (or, with
// create, a new empty file). Throws DbError naming the path.
sqlite3* openConnection(const QString& path, bool create) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const QString native = QDir::toNativeSeparators(path);
  auto failWith = [&](const QString& what) {
    const QString text = QStringLiteral("%1 \"%2\": %3").arg(what, native, errorText(db));
    sqlite3_close_v2(db);
    throw DbError(text);
  };
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
    failWith(QStringLiteral("Cannot open the table"));
  sqlite3_extended_result_codes(db, 1);
  if (registerNoCaseCollation(db) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
    failWith(QStringLiteral("Cannot open the table"));

  // Reading the header tells a damaged or foreign file before anything is
  // written to it.
  sqlite3_stmt* st = nullptr;
  int appId = -1;
  int pages = -1;
  int rc = sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr);
  if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) appId = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  // A table that another Quandrel (or a scan from the command line) has open
  // is locked, not damaged: saying so keeps the user from deleting it.
  if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
    failWith(
        QStringLiteral("The table is in use by another program (another Quandrel or a scan "
                       "from the command line); close it and try again"));
  if (appId == -1) failWith(QStringLiteral("The table is damaged or not a table of Quandrel"));
  if (sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    pages = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  const bool fresh = create && pages == 0;
  if (appId != kApplicationId && !fresh) {
    sqlite3_close_v2(db);
    throw DbError(QStringLiteral("\"%1\" is not a table of Quandrel (damaged or written by "
                                 "another program); it was left as it is.")
                      .arg(native));
  }
  if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                   nullptr) != SQLITE_OK)
    failWith(QStringLiteral("Cannot open the table"));
  return db;
}

}  // namespace

void Table::createTable(const QList<FieldDef>& fields, const QList<IndexDef>& indexes) {
  close();
  const QString path = filePath();
  const QString table = quoted(QFileInfo(fileName_).completeBaseName());
  auto invalid = [&](const QString& why) {
    throw DbError(QStringLiteral("Cannot create the table \"%1\": %2")
                      .arg(QDir::toNativeSeparators(path), why));
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
    const bool text = fields[field].type == FieldType::String;
    const QString collation = !text ? QString()
                                    : QStringLiteral(" COLLATE %1")
                                          .arg(x.options.testFlag(IndexOption::CaseInsensitive)
                                                   ? QLatin1String(kNoCaseCollation)
                                                   : QLatin1String("BINARY"));
    statements << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4%5)")
                      .arg(x.options.testFlag(IndexOption::Unique) ? QStringLiteral("UNIQUE ")
                                                                   : QString(),
                           quoted(x.name), table, quoted(fields[field].name), collation);
  }
  statements << QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId);
  statements << QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion);

  // An existing file is replaced only when it is one of our tables.
  const bool existed = QFileInfo::exists(path);
  sqlite3* db = openConnection(path, !existed);
  const QByteArray script =
      ("BEGIN IMMEDIATE;" + statements.join(QLatin1Char(';')) + ";COMMIT").toUtf8();
  if (sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    const QString text = QStringLiteral("Cannot create the table \"%1\": %2")
                             .arg(QDir::toNativeSeparators(path), errorText(db));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    if (!existed) QFile::remove(path);
    throw DbError(text);
  }
  sqlite3_close_v2(db);
  emit tableReset();
}

void Table::open() {
  if (db_) return;
  const QString path = filePath();
  if (!QFileInfo(path).isFile())
    throw DbError(
        QStringLiteral("The table \"%1\" does not exist.").arg(QDir::toNativeSeparators(path)));
  db_ = openConnection(path, false);
  try {
    loadSchema();
    selectOrder(false);  // resolves the wanted order, then reads it
  } catch (...) {
    st_.reset();
    sqlite3_close_v2(db_);
    db_ = nullptr;
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
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
    sqlite3_finalize(st);
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
  for (int i = 0; i < names.size(); ++i) {
    IndexDef x;
    x.name = names[i];
    if (unique[i]) x.options |= IndexOption::Unique;
    int keys = 0;
    query(QStringLiteral("PRAGMA index_xinfo(%1)").arg(quoted(names[i])), [&](sqlite3_stmt* st) {
      if (sqlite3_column_int(st, 5) == 0) return;  // the record id appended to every entry
      ++keys;
      x.fields = text(st, 2);
      if (text(st, 4).compare(QLatin1String(kNoCaseCollation), Qt::CaseInsensitive) == 0)
        x.options |= IndexOption::CaseInsensitive;
    });
    if (keys != 1 || fieldIndex(x.fields) < 0)
      foreign(QStringLiteral("the index %1 is not on one field").arg(x.name));
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
    prepare(&st->exact, QStringLiteral("SELECT 1 FROM %1 WHERE rowid=?1").arg(table));
  } else {
    const QString col = quoted(fields_[f].name);
    const QString coll = orderCollation(f);
    prepare(&st->keyProbe, QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?1").arg(col, table));
    prepare(&st->nearest,
            QStringLiteral("SELECT rowid FROM %1 INDEXED BY %2 WHERE %3>=?1%4 ORDER BY %3%4, rowid "
                           "LIMIT 1")
                .arg(table, quoted(indexes_[activeIndex_].name), col, coll));
    prepare(&st->exact, QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE %3=?1%4 LIMIT 1")
                            .arg(table, quoted(indexes_[activeIndex_].name), col, coll));
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
    const QString coll = orderCollation(f);
    sql = QStringLiteral("SELECT rowid FROM %1 INDEXED BY %2 ORDER BY %3%4, rowid")
              .arg(table, quoted(indexes_[activeIndex_].name), col, coll);
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
  if (indexes_[activeIndex_].options.testFlag(IndexOption::CaseInsensitive))
    return compareNoCase(a.text.constData(), std::size_t(a.text.size()), b.text.constData(),
                         std::size_t(b.text.size()));
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
  {
    Use use(st_->nearest);
    if (f >= 0 && fields_[f].type == FieldType::String) {
      const QByteArray u = key.toString().toUtf8();
      sqlite3_bind_text(use.stmt, 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(use.stmt, 1, key.toLongLong());
    }
    const int rc = sqlite3_step(use.stmt);
    if (rc == SQLITE_ROW)
      id = sqlite3_column_int64(use.stmt, 0);
    else if (rc != SQLITE_DONE)
      fail(QStringLiteral("Cannot search the table"));
  }
  bof_ = eof_ = false;
  setCurrent(id < 0 ? int(order_.size()) - 1 : positionOf(id));
}

bool Table::containsKey(const QVariant& value) const {
  requireOpen();
  const int f = orderField();
  const QVariant key = f < 0 ? QVariant(value.toLongLong()) : convert(f, value);
  if (!key.isValid() || key.isNull()) return false;
  Use use(st_->exact);
  if (f >= 0 && fields_[f].type == FieldType::String) {
    const QByteArray u = key.toString().toUtf8();
    sqlite3_bind_text(use.stmt, 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_int64(use.stmt, 1, key.toLongLong());
  }
  const int rc = sqlite3_step(use.stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(QStringLiteral("Cannot search the table"));
  return rc == SQLITE_ROW;
}

void Table::beginBatch() {
  requireOpen();
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

QVariant Table::valueById(std::int64_t id, int field) const {
  if (!db_ || field < 0 || field >= fields_.size()) return {};
  return readRecord(id).value(field);
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
  requireOpen();
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
  requireOpen();
  if (state_ == State::Edit || state_ == State::Insert) return;
  if (row_ < 0)
    throw DbError(QStringLiteral("The table \"%1\" has no record to edit.")
                      .arg(QDir::toNativeSeparators(filePath())));
  buffer_ = readRecord(order_[row_]);
  modified_ = false;
  setState(State::Edit);
}

void Table::insert() {
  requireOpen();
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
  requireOpen();
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
  requireOpen();
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
