#pragma once
// A table of records in an SQLite file, with one cursor and one active order.
//
// The table lives in the file databaseName()/tableName() (for the song
// library: <BaseDir>/Data/data.db). It is created from field and index
// definitions; secondary indexes are real SQLite indexes, and those marked
// case-insensitive use a collation that folds case for every letter, umlauts
// included (see Collation.h). A unique index refuses only keys that are
// equal letter for letter: a case-insensitive unique index orders without
// regard to case and puts keys that differ only in case next to each other
// (in byte order). The active order is an index; it is both the order in
// which rows are numbered (row 0 .. recordCount()-1, the row numbers grids
// use) and the order of the nearest-key search.
//
// The cursor stands on one record (or none when the table is empty). Reading
// fields reads the current record; edit() or insert() start a change that
// post() writes and cancel() drops. Moving the cursor while a change is
// pending posts it first when fields were set, else cancels it.
//
// Row numbers come from a vector of the record ids in the active order, read
// from the index when the order is chosen (8 bytes per record) and kept up to
// date by every change; record data is read on demand by id and cached for a
// few hundred rows. Nothing else of the table is held in memory.
//
// The file is opened in exclusive mode with a write-ahead log: no other
// program or second instance can change the table under the cursor. The
// case-insensitive indexes need the collation, so other SQLite tools can
// read the table but not change it. A file that is not one of our tables is
// never written to, not even its journal mode. A table on a read-only medium
// or in a folder we may not write is opened read-only: reading, ordering and
// searching work, every change throws ReadOnlyError.
//
// Failures throw DbError (DuplicateKeyError for a duplicate unique key,
// ReadOnlyError for a change of a read-only table, InUseError for a table
// another program holds). All calls come from the user-interface thread.

#include <QFlags>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/db/DbError.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qdl::db {

enum class FieldType {
  AutoInc,   // 64-bit record key assigned by the store on insert; the primary index
  String,    // text of at most `size` characters (size 0: no limit)
  SmallInt,  // 16-bit signed integer
  Integer,   // 32-bit signed integer
  Boolean,
};

struct FieldDef {
  QString name;
  FieldType type = FieldType::String;
  int size = 0;  // String only: width in characters, 0 for unlimited
  bool required = false;
  bool operator==(const FieldDef&) const = default;
};

enum class IndexOption { Primary = 1, Unique = 2, CaseInsensitive = 4 };
Q_DECLARE_FLAGS(IndexOptions, IndexOption)

struct IndexDef {
  QString name;    // empty for the primary index
  QString fields;  // one field name
  IndexOptions options;
  bool operator==(const IndexDef&) const = default;
};

// What createTable does when a file is already at the table's place.
enum class CreateMode {
  Replace,       // replaces a table of ours there (never a foreign file)
  KeepExisting,  // leaves whatever is there and creates nothing
};

class Table : public QObject {
  Q_OBJECT

 public:
  enum class State { Inactive, Browse, Edit, Insert };

  explicit Table(QObject* parent = nullptr);
  ~Table() override;

  // Location: the folder and the file name of the table.
  void setDatabaseName(const QString& folder);
  QString databaseName() const { return folder_; }
  void setTableName(const QString& fileName);
  QString tableName() const { return fileName_; }
  QString filePath() const;

  // Creates the table file from the definitions. Closes the table first;
  // leaves it closed. A new file is built under a temporary name beside it
  // and appears under its own name only when complete, so a full disk or an
  // interrupted start never leaves an empty or half-made table behind, and
  // of two programs creating it at once only one succeeds. An empty file
  // (left by an interrupted creation) counts as no file. At a file that is
  // there: Replace replaces a table of this program (a file that is not one
  // of its tables is never replaced: DbError); KeepExisting leaves it.
  // Returns whether a table was created.
  bool createTable(const QList<FieldDef>& fields, const QList<IndexDef>& indexes,
                   CreateMode mode = CreateMode::Replace);
  // Whether a file that may be a table (not an empty one) is at its place.
  bool fileExists() const;

  // Opens the table; the cursor stands on the first record of the active
  // order. A missing, damaged or foreign file throws DbError naming its path
  // and is left as it was; a table another program has open throws
  // InUseError. A file of a newer build (a version above schemaVersion())
  // throws DbError ("made by a newer Quandrel") and is left byte for byte.
  // A writable table of an earlier build is brought to this build's version
  // step by step (see TableFile.cpp), all steps in one transaction, each a
  // savepoint of its own: a step that fails undoes them all, leaving the
  // file byte for byte as it was, and throws DbError naming the file and
  // the step; no record is lost either way.
  // Read-only when the file or its folder cannot be written; such a table
  // of an earlier version is read as it is, without its update. A
  // write-ahead log left beside a read-only file (a crash before the medium
  // became read-only) is read from a copy of both in the temporary folder,
  // so the last committed changes are seen.
  void open();
  void close();  // drops a pending change
  bool isOpen() const { return db_ != nullptr; }
  bool isReadOnly() const { return readOnly_; }

  // The version of the table files this build writes and reads (SQLite's
  // user_version in the file's header); the version of the open file.
  static int schemaVersion();
  int fileVersion() const { return fileVersion_; }

  QList<FieldDef> fieldDefs() const { return fields_; }
  QList<IndexDef> indexDefs() const { return indexes_; }
  int fieldCount() const { return int(fields_.size()); }
  int fieldIndex(const QString& name) const;  // case-insensitive; -1 when unknown

  int recordCount() const { return int(order_.size()); }

  // Active order, by index name (case-insensitive; empty: primary index) or
  // by field name (the index on that field). May be set while closed; takes
  // effect on open. The current record stays current.
  void setIndexName(const QString& name);
  QString indexName() const;
  void setIndexFieldNames(const QString& fields);
  QString indexFieldNames() const;

  // Nearest-key search on the active index's field: the first record whose
  // key is equal to or greater than value (without regard to case for a
  // case-insensitive index; on a unique one, the record whose key is equal
  // letter for letter when there is one); the last record when every key is
  // smaller; the first record for an empty or null value.
  void findNearest(const QVariant& value);

  // Navigation in the active order.
  void first();
  void last();
  void next();   // at the last record: sets eof() and stays
  void prior();  // at the first record: sets bof() and stays
  // Goes to the record in `row`, posting or dropping a pending change first;
  // when posting moves records, the cursor still lands on that record.
  void moveTo(int row);
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  int currentRow() const { return row_; }  // -1 when there is no record
  // The record id (the auto-increment field's value) of the current record,
  // -1 when there is none.
  std::int64_t currentId() const;
  // Makes the record with this id current, in the active order, posting or
  // dropping a pending change first; false (the cursor stays) when there
  // is no such record.
  bool moveToId(std::int64_t id);

  // Runs `work` beside a change the user is making: `work` may move the
  // cursor, switch the order, read and add records as if no change were
  // pending, and afterwards the pending change (edit or insert, with what
  // was typed) is neither posted nor dropped, and the active order and the
  // current record are as they were. Views bound to the table see none of
  // the cursor's moves, only the records `work` added. Inside, fields read
  // what the file holds. An exception from `work` is rethrown after the
  // table is given back.
  void runBeside(const std::function<void()>& work);

  // Deletes the current record; the cursor stands on the record that followed
  // (none left: on the new last record, with eof() set).
  void deleteRecord();

  State state() const { return state_; }
  bool isModified() const { return modified_; }
  void edit();    // change the current record
  void insert();  // start a new record (all fields empty)
  void post();    // write the change; then the after-post callback runs
  void cancel();  // drop the change
  // Posts or drops a pending change, then reads the order and the records
  // again; the current record stays current when it still exists.
  void refresh();

  // Fields by name (case-insensitive), of the current record or of the
  // pending change. Empty fields read as an invalid QVariant. Setting a field
  // in browse state starts edit(). Texts longer than their width are cut;
  // empty text or an invalid QVariant leaves a numeric field empty; other
  // values are converted, and a text that is no number throws DbError.
  QVariant fieldByName(const QString& name) const;
  QString asString(const QString& name) const { return fieldByName(name).toString(); }
  int asInteger(const QString& name) const { return fieldByName(name).toInt(); }
  bool asBoolean(const QString& name) const { return fieldByName(name).toBool(); }
  void setFieldValue(const QString& name, const QVariant& value);

  // Inserts a whole record given in field order (an auto-increment field's
  // value is ignored) and posts it; it becomes the current record.
  void insertRecord(const QVariantList& values);

  // True when a record's key in the active index equals value, compared as
  // the index compares: letter for letter for a unique index, without regard
  // to case for another case-insensitive index. The cursor does not move.
  bool containsKey(const QVariant& value) const;

  // Groups the changes made until the matching endBatch() into one
  // transaction, so that many inserts or deletes cost one write of the file
  // instead of one each. Calls nest; the outermost endBatch() commits (a
  // failed commit throws DbError and rereads the order). close() commits an
  // open batch.
  void beginBatch();
  void endBatch();
  bool inBatch() const { return batchDepth_ > 0; }

  // Value of a field in row `row` of the active order, for grids.
  QVariant valueAt(int row, int field) const;

  // The ids of all records in the active order, and a stored field of a
  // record by id (invalid when the record is gone). A reader that walks the
  // table while the program goes on (the report) keeps this copy, so a later
  // change of the order cannot mix two orders in one walk.
  std::vector<std::int64_t> recordIds() const { return order_; }
  QVariant valueById(std::int64_t id, int field) const;

  // One field of the record whose key (the auto-increment field) is `key`,
  // wherever the cursor stands. storedValue reads what the file holds (an
  // empty field as an invalid QVariant), nullopt when no record has that
  // key. setStoredValue writes the value at once and returns false when no
  // record has that key; grids are told, the cursor stays on its record, a
  // change being edited on that record takes the value too, and the
  // after-post callback does not run; a field of the active order is
  // refused (DbError): its change moves the record, which edit and post do.
  // Both throw DbError like fieldByName and post; setStoredValue throws
  // ReadOnlyError for a read-only table. A value stored while a batch is
  // open is written again when that batch is rolled back (its error then
  // says when that failed too), so a failing scan does not take it along.
  std::optional<QVariant> storedValue(std::int64_t key, const QString& name) const;
  bool setStoredValue(std::int64_t key, const QString& name, const QVariant& value);
  // Every record's stored values of the named fields, in key order: `visit`
  // gets the key and the values (empty fields invalid), one record at a
  // time, from one pass over the file. The cursor, the order and the record
  // cache stay as they are; `visit` must not change the table. Throws
  // DbError like storedValue.
  void forEachStored(
      const QStringList& names,
      const std::function<void(std::int64_t key, const QVariantList& values)>& visit) const;

  // Short texts kept in the table's file beside the records, in named lists:
  // what the program remembers about the table as a whole. A list never
  // written reads as empty. addNote writes at once (inside an open batch it
  // is committed or rolled back with it) and keeps a text once per list; it
  // throws ReadOnlyError for a read-only table, DbError like post.
  QStringList notes(const QString& list) const;
  void addNote(const QString& list, const QString& text);

  // What the tempo analysis measured of a record, kept in a table of its
  // own beside the records (<table>_analysis, keyed by the record's key):
  // the exact tempo in beats per minute and the beat times. A record's row
  // goes with the record (a trigger in the file deletes it), so deleting a
  // record, also by the check, leaves no row behind. analysis() is nullopt
  // when the record has none (or the file is of a version without that
  // table, read-only); setAnalysis writes at once (inside an open batch with
  // it) and returns false, writing nothing, when no record has that key;
  // removeAnalysis drops a record's row. Throw DbError like storedValue and
  // setStoredValue (ReadOnlyError for a read-only table).
  struct Analysis {
    double tempo = 0;          // beats per minute, not rounded
    std::vector<float> beats;  // beat times in seconds, as the tracker placed them
    bool operator==(const Analysis&) const = default;
  };
  std::optional<Analysis> analysis(std::int64_t key) const;
  bool setAnalysis(std::int64_t key, const Analysis& analysis);
  void removeAnalysis(std::int64_t key);
  // The beat times as they are stored: 32-bit IEEE floats, little-endian,
  // seconds from the start, one after the other (4 bytes a beat, a
  // five-minute song at 128 BPM in 2.5 KB, to a quarter millisecond after
  // an hour).
  static QByteArray encodeBeats(const std::vector<float>& beats);
  static std::vector<float> decodeBeats(const QByteArray& blob);

  // What the other analyses measured of a record, each in a table of its
  // own beside the records, keyed by the record's key and gone with the
  // record like the tempo analysis: the beat grid (<table>_grid), the
  // loudness (<table>_loudness) and the envelope overview (<table>_overview).
  // Reading gives nullopt when the record has no row (or the file is of a
  // version without the table, read-only); a set writes at once and returns
  // false, writing nothing, when no record has that key; a remove drops the
  // record's row. Errors as for the analysis.
  struct BeatGrid {
    double firstBeat = 0;  // seconds from the start of the song to a downbeat
    double bpm = 0;        // the grid's tempo: one beat every 60 / bpm seconds;
                           // 0: the analysis found no grid in the song
    bool operator==(const BeatGrid&) const = default;
  };
  std::optional<BeatGrid> beatGrid(std::int64_t key) const;
  bool setBeatGrid(std::int64_t key, const BeatGrid& grid);
  void removeBeatGrid(std::int64_t key);
  struct Loudness {
    double integrated = 0;  // EBU R128 integrated loudness, LUFS
    double truePeak = 0;    // true peak, dBTP
    bool operator==(const Loudness&) const = default;
  };
  std::optional<Loudness> loudness(std::int64_t key) const;
  bool setLoudness(std::int64_t key, const Loudness& loudness);
  void removeLoudness(std::int64_t key);
  // The overview as its analyser encodes it; the table keeps the bytes.
  std::optional<QByteArray> overview(std::int64_t key) const;
  bool setOverview(std::int64_t key, const QByteArray& overview);
  void removeOverview(std::int64_t key);

  // Runs after every successful post and insertRecord.
  void setAfterPost(std::function<void()> callback) { afterPost_ = std::move(callback); }
  // Runs in post() while the change is still pending (state Edit or
  // Insert), before it is written: it may read the pending and the stored
  // values and set fields of the change. An exception from it keeps the
  // change pending and unwritten.
  void setBeforePost(std::function<void()> callback) { beforePost_ = std::move(callback); }

 signals:
  // Everything may have changed: opened, closed, created, order switched.
  void tableReset();
  void currentChanged(int row);
  void recordInserted(int row);
  void recordRemoved(int row);
  void recordMoved(int from, int to);  // `to` counted after the move
  void recordChanged(int row);
  void stateChanged(State state);

 private:
  struct Statements;
  struct Key;

  void requireOpen() const;
  void requireWritable() const;
  [[noreturn]] void fail(const QString& what) const;
  // SQLite rolled back the open batch by itself: resets the cursor to what
  // the file holds and throws.
  [[noreturn]] void batchRolledBack(const QString& why);
  void exec(const char* sql) const;
  void loadSchema();
  // Brings a writable file of an earlier version to schemaVersion(), one
  // step per version, all or none.
  void migrate();
  // The statements of the step to version 2: the unique text indexes that
  // folded case, rebuilt to compare exact text.
  QStringList exactUniqueIndexes() const;
  QString analysisName() const;  // the analysis table's name, unquoted
  // One row of a side table (suffix "_grid", "_loudness", "_overview"):
  // the values of `columns` (doubles, or a blob as QByteArray); nullopt when
  // the record has no row or the file has no such table.
  std::optional<QVariantList> sideRow(const char* suffix, const QStringList& columns,
                                      std::int64_t key) const;
  bool setSideRow(const char* suffix, const QStringList& columns, std::int64_t key,
                  const QVariantList& values);
  void removeSideRow(const char* suffix, std::int64_t key);
  bool exactTieBreak() const;  // the active index is unique and folds case
  void selectOrder(bool notify);
  void rebuildOrder();
  void prepareStatements();
  int positionOf(std::int64_t id) const;
  // Runs a one-key statement on the active index's key; the record id
  // found, or -1.
  std::int64_t lookUp(sqlite3_stmt* statement, int f, const QVariant& key) const;

  void requireKey() const;                     // throws DbError for a table without a key field
  int storedField(const QString& name) const;  // checks for storedValue and setStoredValue
  // One UPDATE of field f; false when no record has that key.
  bool writeStored(std::int64_t key, int f, const QVariant& value);
  // After a batch was rolled back: writes the values stored during it again;
  // a sentence for the error when some could not be written.
  QString restoreStoredValues();
  QString notesTable() const;  // the quoted name of the notes' own table
  int lowerBound(const Key& key, std::int64_t id) const;
  Key keyOf(std::int64_t id) const;
  Key keyOfValue(const QVariant& value) const;
  int compareKeys(const Key& a, const Key& b) const;
  int orderField() const;
  // The COLLATE clause for the field f of the active index ("" for numbers).
  QString orderCollation(int f) const;
  QVariantList readRecord(std::int64_t id) const;
  QVariant convert(int field, const QVariant& value) const;
  void writePending();
  void setCurrent(int row);
  void checkBrowseMode();
  void setState(State s);
  void forget(std::int64_t id) const;

  QString folder_;
  QString fileName_;
  sqlite3* db_ = nullptr;
  std::unique_ptr<Statements> st_;
  QString sqlTable_;
  QList<FieldDef> fields_;
  QList<IndexDef> indexes_;
  int keyField_ = -1;  // the auto-increment field, -1 if none
  bool readOnly_ = false;
  int fileVersion_ = 0;
  // The folder holding a read-only table's copy with its log, while open.
  std::unique_ptr<QTemporaryDir> readCopy_;
  // Unique case-insensitive indexes of an earlier build, which refused keys
  // differing only in case; rebuilt on open when the table can be written.
  QStringList legacyIndexes_;

  // The wanted order: an index name or a field list, resolved on open.
  QString wantIndexName_;
  QString wantFieldNames_;
  int activeIndex_ = -1;  // into indexes_; -1: record id order
  std::vector<std::int64_t> order_;

  int row_ = -1;
  bool eof_ = true;
  bool bof_ = true;
  State state_ = State::Inactive;
  bool modified_ = false;
  QVariantList buffer_;

  int batchDepth_ = 0;
  struct StoredWrite {
    std::int64_t key;
    int field;
    QVariant value;
  };
  std::vector<StoredWrite> batchStored_;  // setStoredValue's writes in the open batch
  mutable QHash<std::int64_t, QVariantList> cache_;
  std::function<void()> afterPost_;
  std::function<void()> beforePost_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(IndexOptions)

}  // namespace qdl::db
