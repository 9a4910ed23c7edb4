#include "platform/db/Table.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "platform/db/Collation.h"
#include "platform/db/TableSql.h"

namespace qdl::db {
namespace {

constexpr qsizetype kCacheRows = 512;

// Cuts a text to `width` code points (0: no limit), never inside a
// surrogate pair.
QString cutToWidth(const QString& text, int width) {
  if (width <= 0 || text.size() <= width) return text;
  qsizetype i = 0;
  for (int n = 0; n < width && i < text.size(); ++n)
    i += (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
  return text.left(i);
}

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

}  // namespace

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
  const QString alsoLost = restoreStoredValues();
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
                why + alsoLost);
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

void Table::runBeside(const std::function<void()>& work) {
  requireOpen();
  const State state = state_;
  const bool modified = modified_;
  const QVariantList buffer = buffer_;
  const std::int64_t current = currentId();
  const int row = row_;
  const bool eof = eof_, bof = bof_;
  const QString wantIndex = wantIndexName_, wantFields = wantFieldNames_;
  const int activeIndex = activeIndex_;
  std::vector<std::int64_t> before = order_;
  std::sort(before.begin(), before.end());

  std::exception_ptr failure;
  {
    const QSignalBlocker quiet(this);
    state_ = State::Browse;
    modified_ = false;
    buffer_.clear();
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    // A change `work` left pending is its own and is dropped.
    buffer_.clear();
    state_ = State::Browse;
    wantIndexName_ = wantIndex;
    wantFieldNames_ = wantFields;
    if (activeIndex_ != activeIndex && db_) {
      activeIndex_ = activeIndex;
      try {
        prepareStatements();
        rebuildOrder();
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
    row_ = current >= 0 && db_ ? positionOf(current) : (order_.empty() ? -1 : 0);
    eof_ = eof;
    bof_ = bof;
    state_ = state;
    modified_ = modified;
    buffer_ = buffer;
  }

  // What the views must hear: the records added, in the order's ascending
  // rows (each row counted with the ones added before it); a record gone
  // (a batch rolled back) resets them.
  std::vector<int> added;
  bool gone = order_.size() < before.size();
  for (int r = 0; r < int(order_.size()); ++r)
    if (!std::binary_search(before.begin(), before.end(), order_[r])) added.push_back(r);
  if (order_.size() - added.size() != before.size()) gone = true;
  if (gone) {
    emit tableReset();
    emit currentChanged(row_);
  } else {
    for (int r : added) emit recordInserted(r);
    if (row_ != row || !added.empty()) emit currentChanged(row_);
  }
  if (failure) std::rethrow_exception(failure);
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
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
    batchStored_.clear();
    return;
  }
  // The changes are lost: make the order say what the file holds.
  const QString why = errorText(db_);
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  const QString alsoLost = restoreStoredValues();
  cache_.clear();
  rebuildOrder();
  row_ = order_.empty() ? -1 : 0;
  bof_ = eof_ = order_.empty();
  emit tableReset();
  emit currentChanged(row_);
  throw DbError(QStringLiteral("Cannot write the table \"%1\": %2")
                    .arg(QDir::toNativeSeparators(filePath()), why + alsoLost));
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
  if (beforePost_) beforePost_();
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
