// The table store against real SQLite files: definitions, keys, the
// nearest-key search, orders, the edit cycle, grids bound to the cursor and
// files that are not tables of ours.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>

#include <QFile>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

#include "platform/db/Collation.h"
#include "platform/db/GridBinding.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "support/ScriptedDialogs.h"

using namespace qdl::db;

namespace {

const QList<FieldDef> kFields = {
    {"Nr", FieldType::AutoInc, 0, false},  {"Name", FieldType::String, 8, false},
    {"Path", FieldType::String, 0, false}, {"Count", FieldType::SmallInt, 0, false},
    {"Big", FieldType::Integer, 0, false}, {"Flag", FieldType::Boolean, 0, false},
};
const QList<IndexDef> kIndexes = {
    {"", "Nr", IndexOption::Primary | IndexOption::Unique},
    {"iPath", "Path", IndexOption::Unique | IndexOption::CaseInsensitive},
    {"iName", "Name", IndexOption::CaseInsensitive},
    {"iCount", "Count", {}},
};

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    table.setDatabaseName(dir.path());
    table.setTableName("songs.db");
    table.createTable(kFields, kIndexes);
    table.setIndexName("iName");
    table.open();
  }
  void add(const QString& name, const QString& path, const QVariant& count = QString()) {
    table.insertRecord({QVariant(), name, path, count, QString(), false});
  }
  // Names of all records in the active order, walking the cursor.
  QStringList names() {
    QStringList out;
    for (table.first(); !table.eof(); table.next()) out << table.asString("name");
    return out;
  }
  QTemporaryDir dir;
  Table table;
};

TEST_F(TableTest, DefinitionsSurviveReopening) {
  table.close();
  Table other;
  other.setDatabaseName(dir.path());
  other.setTableName("songs.db");
  other.open();
  EXPECT_EQ(other.fieldDefs(), kFields);
  EXPECT_EQ(other.indexDefs(), kIndexes);
  EXPECT_EQ(other.recordCount(), 0);
  EXPECT_TRUE(other.eof());
  EXPECT_TRUE(other.bof());
  EXPECT_EQ(other.fieldIndex("PATH"), 2);
  EXPECT_EQ(other.fieldIndex("nope"), -1);

  // The indexes are real SQLite indexes with the case-folding collation; the
  // unique one refuses only names equal letter for letter.
  other.close();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(dir.filePath("songs.db")).constData(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name='iPath'", -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
               "CREATE UNIQUE INDEX \"iPath\" ON \"songs\" (\"Path\" COLLATE QDL_NOCASE, \"Path\" "
               "COLLATE BINARY)");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(TableTest, InsertRecordConvertsAndCutsValues) {
  table.insertRecord({99, "ABCDEFGHIJ", QString(300, 'p'), "", "", false});
  EXPECT_EQ(table.recordCount(), 1);
  EXPECT_EQ(table.fieldByName("nr").toLongLong(), 1);  // assigned by the store
  EXPECT_EQ(table.asString("NAME"), "ABCDEFGH");       // cut to width 8
  EXPECT_EQ(table.asString("path").size(), 300);       // unlimited text is never cut
  EXPECT_FALSE(table.fieldByName("Count").isValid());  // empty text: empty number
  EXPECT_FALSE(table.fieldByName("Big").isValid());
  EXPECT_FALSE(table.asBoolean("Flag"));

  table.insertRecord({QVariant(), "x", "/b", " 12 ", "-7", "true"});
  EXPECT_EQ(table.asInteger("Count"), 12);
  EXPECT_EQ(table.asInteger("Big"), -7);
  EXPECT_TRUE(table.asBoolean("Flag"));

  EXPECT_THROW(table.insertRecord({QVariant(), "y", "/c", "abc"}), DbError);
  EXPECT_THROW(table.insertRecord({QVariant(), "y", "/c", 40000}), DbError);
  EXPECT_THROW(table.fieldByName("Missing"), DbError);
  EXPECT_EQ(table.recordCount(), 2);
  EXPECT_EQ(table.state(), Table::State::Browse);
}

TEST_F(TableTest, UniqueKeysCompareExactTextAndCaseVariantsSitTogether) {
  // Paths that differ only in case are different files on Linux.
  add("a", "/Music/Ärzte.mp3");
  add("b", "/MUSIC/ärzte.MP3");
  add("c", "/music/other.mp3");
  add("d", "/Music/ärzte.mp3");
  try {
    add("e", "/Music/Ärzte.mp3");
    FAIL() << "duplicate accepted";
  } catch (const DuplicateKeyError& e) {
    EXPECT_TRUE(e.message().contains("songs.db")) << e.message().toStdString();
  }
  // The refused record is dropped whole: the next insert works.
  EXPECT_EQ(table.state(), Table::State::Browse);
  EXPECT_EQ(table.recordCount(), 4);

  // The order still folds case; variants follow each other in byte order.
  table.setIndexName("iPath");
  QStringList paths;
  for (table.first(); !table.eof(); table.next()) paths << table.asString("Path");
  EXPECT_EQ(paths, (QStringList{"/music/other.mp3", "/MUSIC/ärzte.MP3", "/Music/Ärzte.mp3",
                                "/Music/ärzte.mp3"}));
  // A search for a path lands on that very path, one for an unknown case
  // variant on the first variant, and a key lookup compares exactly.
  table.findNearest("/Music/ärzte.mp3");
  EXPECT_EQ(table.asString("Name"), "d");
  table.findNearest("/music/ÄRZTE.mp3");
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_TRUE(table.containsKey("/Music/Ärzte.mp3"));
  EXPECT_FALSE(table.containsKey("/music/ärzte.mp3"));

  // A post that duplicates a key stays in editing.
  table.findNearest("/music/other.mp3");
  table.setFieldValue("Path", "/MUSIC/ärzte.MP3");
  EXPECT_THROW(table.post(), DuplicateKeyError);
  EXPECT_EQ(table.state(), Table::State::Edit);
  table.cancel();
  EXPECT_EQ(table.asString("Path"), "/music/other.mp3");

  // Other failures are DbError but not DuplicateKeyError.
  try {
    table.insertRecord({QVariant(), "y", "/c", "abc"});
  } catch (const DuplicateKeyError&) {
    FAIL();
  } catch (const DbError&) {
  }
}

TEST_F(TableTest, NearestKeySearchLandsAsDocumented) {
  for (const char* n : {"Beatles", "abba", "ärzte", "Cure", "beach boys", "Zappa"})
    add(QString::fromUtf8(n), QStringLiteral("/m/") + QString::fromUtf8(n));
  EXPECT_EQ(names(), QStringList({"abba", "beach bo", "Beatles", "Cure", "Zappa",
                                  QString::fromUtf8("ärzte")}));

  table.findNearest("BEA");
  EXPECT_EQ(table.asString("Name"), "beach bo");
  table.findNearest("beat");
  EXPECT_EQ(table.asString("Name"), "Beatles");
  table.findNearest("c");
  EXPECT_EQ(table.asString("Name"), "Cure");
  table.findNearest(QString::fromUtf8("ÄR"));  // umlauts fold like ASCII
  EXPECT_EQ(table.asString("Name"), QString::fromUtf8("ärzte"));
  table.findNearest("");  // empty text: the first record
  EXPECT_EQ(table.asString("Name"), "abba");
  EXPECT_EQ(table.currentRow(), 0);
  table.findNearest(QString::fromUtf8("ü"));  // beyond every key: the last record
  EXPECT_EQ(table.asString("Name"), QString::fromUtf8("ärzte"));
  EXPECT_EQ(table.currentRow(), 5);

  table.setIndexName("ipath");  // index names without regard to case
  table.findNearest("/M/CURE");
  EXPECT_EQ(table.asString("Name"), "Cure");

  // A numeric index compares numbers.
  table.first();
  table.setFieldValue("Count", 20);
  table.post();
  table.setIndexFieldNames("count");
  table.findNearest("5");
  EXPECT_EQ(table.asInteger("Count"), 20);
}

TEST_F(TableTest, SwitchingTheOrderKeepsTheCurrentRecord) {
  add("c", "/1");
  add("a", "/3");
  add("b", "/2");
  table.findNearest("b");
  EXPECT_EQ(table.currentRow(), 1);
  table.setIndexName("iPath");
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_EQ(table.currentRow(), 1);
  table.setIndexName("");  // the primary order
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_EQ(table.currentRow(), 2);
  table.setIndexFieldNames("Name");
  EXPECT_EQ(table.indexName(), "");
  EXPECT_EQ(table.indexFieldNames(), "Name");
  EXPECT_EQ(table.currentRow(), 1);
  EXPECT_THROW(table.setIndexName("iNothing"), DbError);
  EXPECT_EQ(table.asString("Name"), "b");
}

TEST_F(TableTest, NavigationDeleteAndEditCycle) {
  add("a", "/a");
  add("b", "/b");
  add("c", "/c");
  table.first();
  EXPECT_TRUE(table.bof());
  table.next();
  table.next();
  EXPECT_FALSE(table.eof());
  table.next();
  EXPECT_TRUE(table.eof());
  EXPECT_EQ(table.asString("Name"), "c");

  // Delete: the cursor stands on the record that followed.
  table.first();
  table.deleteRecord();
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_FALSE(table.eof());
  table.last();
  table.deleteRecord();  // nothing follows: the new last record, at the end
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_TRUE(table.eof());

  int posts = 0;
  table.setAfterPost([&] { ++posts; });
  table.edit();
  table.setFieldValue("Name", "z");
  EXPECT_EQ(table.asString("name"), "z");  // the pending value
  table.cancel();
  EXPECT_EQ(table.asString("name"), "b");
  EXPECT_EQ(posts, 0);

  table.setFieldValue("Name", "z");  // starts editing by itself
  EXPECT_EQ(table.state(), Table::State::Edit);
  table.post();
  EXPECT_EQ(posts, 1);
  add("a", "/a");
  EXPECT_EQ(posts, 2);
  EXPECT_EQ(table.asString("Name"), "a");  // the inserted record is current
  EXPECT_EQ(names(), QStringList({"a", "z"}));

  // Moving with a pending change posts it.
  table.first();
  table.setFieldValue("Name", "y");
  table.next();
  EXPECT_EQ(posts, 3);
  EXPECT_EQ(names(), QStringList({"y", "z"}));

  table.insert();
  table.setFieldValue("Path", "/new");
  table.post();
  EXPECT_EQ(table.recordCount(), 3);
  EXPECT_EQ(table.currentRow(), 0);  // no name sorts first
}

TEST_F(TableTest, BatchesAndKeyLookups) {
  add("a", "/a");
  table.beginBatch();
  for (int i = 0; i < 20; ++i) add(QString("b%1").arg(i), QString("/b%1").arg(i));
  EXPECT_THROW(add("dup", "/a"), DuplicateKeyError);  // refused, the batch goes on
  table.setIndexName("iPath");
  EXPECT_TRUE(table.containsKey(QString("/b7")));
  const int row = table.currentRow();
  EXPECT_FALSE(table.containsKey(QString("/b")));
  EXPECT_FALSE(table.containsKey(QVariant()));
  EXPECT_EQ(table.currentRow(), row);
  table.close();  // writes the open batch
  EXPECT_FALSE(table.inBatch());
  table.open();
  EXPECT_EQ(table.recordCount(), 21);
  table.setIndexName("");
  EXPECT_TRUE(table.containsKey(21));
  EXPECT_FALSE(table.containsKey("x"));
}

TEST_F(TableTest, ModelFollowsTheCursorAndTheGridMovesIt) {
  for (int i = 0; i < 50; ++i)
    add(QString("n%1").arg(i, 2, 10, QChar('0')), QString("/p%1").arg(i));
  TableModel model(&table, {"Name", "Path"});
  QTableView view;
  new GridBinding(&view, &model);
  view.resize(300, 200);
  view.show();
  EXPECT_EQ(model.rowCount(), 50);
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Path");
  model.setHeaderData(1, Qt::Horizontal, "Datei");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Datei");

  table.findNearest("n3");
  EXPECT_EQ(view.currentIndex().row(), 30);
  EXPECT_EQ(model.data(model.index(30, 0)).toString(), "n30");

  view.selectionModel()->setCurrentIndex(
      model.index(7, 1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_EQ(table.currentRow(), 7);
  EXPECT_EQ(table.asString("Name"), "n07");

  // Inserts, moves and deletes reach the grid in place.
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  add("n155", "/x");
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.rowCount(), 51);
  EXPECT_EQ(view.currentIndex().row(), 16);
  table.setFieldValue("Name", "a");
  table.post();
  EXPECT_EQ(view.currentIndex().row(), 0);
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "a");
  table.deleteRecord();
  EXPECT_EQ(model.rowCount(), 50);
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "n00");

  // Switching the order resets the grid and keeps the highlighted record.
  table.findNearest("n42");
  table.setIndexName("iPath");
  EXPECT_EQ(model.data(view.currentIndex().siblingAtColumn(0)).toString(), "n42");

  // A refused post keeps the cursor, and the grid goes back to it.
  qdl::test::ScriptedDialogs dialogs;
  const int row = table.currentRow();
  table.setFieldValue("Path", "/p1");
  view.selectionModel()->setCurrentIndex(
      model.index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(table.currentRow(), row);
  EXPECT_EQ(view.currentIndex().row(), row);
  table.cancel();
}

TEST(TableFiles, DamagedOrForeignFilesAreReportedAndKept) {
  QTemporaryDir dir;
  Table table;
  table.setDatabaseName(dir.path());
  table.setTableName("data.db");
  auto expectRefused = [&](const QByteArray& content) {
    QFile f(dir.filePath("data.db"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    for (int createToo = 0; createToo < 2; ++createToo) {
      try {
        if (createToo)
          table.createTable(kFields, kIndexes);
        else
          table.open();
        FAIL() << "accepted";
      } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(dir.filePath("data.db"))) << e.message().toStdString();
      }
      EXPECT_FALSE(table.isOpen());
      QFile g(dir.filePath("data.db"));
      ASSERT_TRUE(g.open(QIODevice::ReadOnly));
      EXPECT_EQ(g.readAll(), content);
    }
  };
  expectRefused(QByteArray("this is a playlist, not a table\n").repeated(200));

  // SQLite files of another program, and one that carries our mark but not
  // our table, stay byte for byte as they were: no journal mode is switched
  // before the table is known as ours.
  auto foreignDb = [&](const char* sql) {
    QFile::remove(dir.filePath("data.db"));
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(dir.filePath("data.db")).constData(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QFile f(dir.filePath("data.db"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  };
  for (const char* sql :
       {"CREATE TABLE data (x TEXT); INSERT INTO data VALUES ('keep')",
        "PRAGMA application_id=1363430484; CREATE TABLE data (x BLOB); INSERT INTO data VALUES (1)",
        "PRAGMA application_id=1363430484; CREATE TABLE other (x TEXT)"}) {
    const QByteArray before = foreignDb(sql);
    ASSERT_GT(before.size(), 0);
    EXPECT_THROW(table.open(), DbError) << sql;
    // Without our mark it is never replaced either.
    if (!QByteArray(sql).contains("application_id")) {
      EXPECT_THROW(table.createTable(kFields, kIndexes), DbError);
    }
    EXPECT_FALSE(table.isOpen());
    QFile g(dir.filePath("data.db"));
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_EQ(g.readAll(), before) << sql;
    EXPECT_FALSE(QFile::exists(dir.filePath("data.db-wal")));
  }

  // An empty file, left by a creation that was interrupted, is no table:
  // opening it is refused, and creating the table puts one in its place.
  QFile::remove(dir.filePath("data.db"));
  QFile(dir.filePath("data.db")).open(QIODevice::WriteOnly);
  EXPECT_FALSE(table.fileExists());
  EXPECT_THROW(table.open(), DbError);
  EXPECT_TRUE(table.createTable(kFields, kIndexes, CreateMode::KeepExisting));
  table.open();
  EXPECT_EQ(table.recordCount(), 0);
  table.close();
  EXPECT_TRUE(table.fileExists());
  EXPECT_FALSE(table.createTable(kFields, kIndexes, CreateMode::KeepExisting));
  QFile::remove(dir.filePath("data.db"));

  // A missing table names its path.
  table.setTableName("none.db");
  try {
    table.open();
    FAIL();
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains(dir.filePath("none.db")));
  }

  // Our own table is replaced by createTable, and a second program cannot
  // open it while it is open.
  table.setTableName("own.db");
  table.createTable(kFields, kIndexes);
  table.open();
  table.insertRecord({QVariant(), "a", "/a"});
  Table second;
  second.setDatabaseName(dir.path());
  second.setTableName("own.db");
  EXPECT_THROW(second.open(), DbError);
  table.createTable(kFields, kIndexes);
  table.open();
  EXPECT_EQ(table.recordCount(), 0);
}

TEST(TableFiles, ATableOfTheEarlierBuildGetsItsFileNameIndexRebuiltWithoutLosingARecord) {
  // The earlier build's file: one unique index that folded case.
  QTemporaryDir dir;
  const QByteArray path = QFile::encodeName(dir.filePath("songs.db"));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.constData(), &db), SQLITE_OK);
  registerNoCaseCollation(db);
  ASSERT_EQ(
      sqlite3_exec(db,
                   "CREATE TABLE songs (\"Nr\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Name\" "
                   "VARCHAR(8), \"Path\" TEXT, \"Count\" SMALLINT, \"Big\" INTEGER, "
                   "\"Flag\" BOOLEAN);"
                   "CREATE UNIQUE INDEX \"iPath\" ON songs (\"Path\" COLLATE QDL_NOCASE);"
                   "CREATE INDEX \"iName\" ON songs (\"Name\" COLLATE QDL_NOCASE);"
                   "CREATE INDEX \"iCount\" ON songs (\"Count\");"
                   "INSERT INTO songs (Name, Path) VALUES ('a', '/m/Song.mp3'), ('b', '/m/x.mp3');"
                   "PRAGMA application_id=1363430484; PRAGMA user_version=1;",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);

  Table table;
  table.setDatabaseName(dir.path());
  table.setTableName("songs.db");
  table.setIndexName("iPath");
  table.open();
  EXPECT_EQ(table.indexDefs(), kIndexes);
  EXPECT_EQ(table.recordCount(), 2);
  table.insertRecord({QVariant(), "c", "/m/song.mp3"});
  EXPECT_EQ(table.recordCount(), 3);
  EXPECT_THROW(table.insertRecord({QVariant(), "d", "/m/x.mp3"}), DuplicateKeyError);
  table.close();

  ASSERT_EQ(sqlite3_open(path.constData(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM pragma_index_xinfo('iPath') WHERE key=1", -1, &st,
                     nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 2);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(TableFiles, CreationOnAFullDiskOrByTwoStartsNeverLeavesATableThatBlocksTheNext) {
  QTemporaryDir dir;
  auto tableFiles = [&] {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  };
  Table first;
  first.setDatabaseName(dir.path());
  first.setTableName("data.db");

  // A file size limit stands in for a full disk: the creation fails, is
  // reported, and leaves nothing behind, so the next start creates it.
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 1024;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(first.createTable(kFields, kIndexes, CreateMode::KeepExisting), DbError);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_TRUE(tableFiles().isEmpty()) << tableFiles().join(", ").toStdString();
  EXPECT_FALSE(first.fileExists());

  // Two starts at once: one creates the table, the other finds it made and
  // hears that it is in use while the first has it open.
  Table second;
  second.setDatabaseName(dir.path());
  second.setTableName("data.db");
  EXPECT_TRUE(first.createTable(kFields, kIndexes, CreateMode::KeepExisting));
  EXPECT_FALSE(second.createTable(kFields, kIndexes, CreateMode::KeepExisting));
  first.open();
  EXPECT_THROW(second.open(), InUseError);
  EXPECT_THROW(second.createTable(kFields, kIndexes), InUseError);
  EXPECT_EQ(tableFiles().filter(".new-").size(), 0);
  first.insertRecord({QVariant(), "a", "/a"});
  first.close();
  second.open();
  EXPECT_EQ(second.recordCount(), 1);
}

}  // namespace
