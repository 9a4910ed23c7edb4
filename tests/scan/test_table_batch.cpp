// The two table operations the scan relies on: a key lookup that leaves the
// cursor alone, and batches of changes written in one transaction.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>

#include "platform/db/Table.h"

using namespace qdl::db;

namespace {

struct SmallTable : ::testing::Test {
  QTemporaryDir dir;
  Table table;
  void SetUp() override {
    table.setDatabaseName(dir.path());
    table.setTableName("t.db");
    table.createTable(
        {{"Index", FieldType::AutoInc},
         {"DateiName", FieldType::String, 255},
         {"StartZeit", FieldType::Integer}},
        {{"", "Index", IndexOption::Primary | IndexOption::Unique},
         {"iDateiname", "DateiName", IndexOption::Unique | IndexOption::CaseInsensitive}});
    table.setIndexName("iDateiname");
    table.open();
  }
};

TEST_F(SmallTable, ContainsKeyComparesLikeTheIndexAndKeepsTheCursor) {
  table.insertRecord({QVariant(), "/music/b.mp3"});
  table.insertRecord({QVariant(), "/music/Ä.mp3"});
  table.first();
  // File names are unique letter for letter: a case variant is another file.
  EXPECT_TRUE(table.containsKey("/music/b.mp3"));
  EXPECT_FALSE(table.containsKey("/MUSIC/B.MP3"));
  EXPECT_TRUE(table.containsKey(QString::fromUtf8("/music/Ä.mp3")));
  EXPECT_FALSE(table.containsKey(QString::fromUtf8("/music/ä.mp3")));
  EXPECT_FALSE(table.containsKey("/music/b.mp"));
  EXPECT_FALSE(table.containsKey(QVariant()));
  EXPECT_EQ(table.currentRow(), 0);
  table.setIndexName("");
  EXPECT_TRUE(table.containsKey(1));
  EXPECT_FALSE(table.containsKey(3));
}

TEST_F(SmallTable, BatchesNestKeepRefusedInsertsOutAndSurviveReopening) {
  table.beginBatch();
  table.beginBatch();
  for (int i = 0; i < 100; ++i) table.insertRecord({QVariant(), QString("/m/%1.mp3").arg(i)});
  EXPECT_THROW(table.insertRecord({QVariant(), "/m/7.mp3"}), DuplicateKeyError);
  table.endBatch();
  EXPECT_TRUE(table.inBatch());
  table.first();
  table.deleteRecord();
  table.endBatch();
  EXPECT_FALSE(table.inBatch());
  EXPECT_EQ(table.recordCount(), 99);
  table.close();
  table.open();
  EXPECT_EQ(table.recordCount(), 99);

  // A batch still open when the table closes is written, not lost.
  table.beginBatch();
  table.insertRecord({QVariant(), "/m/late.mp3"});
  table.close();
  EXPECT_FALSE(table.inBatch());
  table.open();
  EXPECT_TRUE(table.containsKey("/m/late.mp3"));
  table.endBatch();  // unmatched: nothing happens
  EXPECT_EQ(table.recordCount(), 100);
}

}  // namespace

TEST_F(SmallTable, ABatchTheDiskRefusesIsReportedAndTheCursorShowsTheFile) {
  table.insertRecord({QVariant(), "/m/kept.mp3"});
  const std::int64_t kept = table.currentId();
  // A full disk, made by a small file size limit for this process.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  // SQLite refuses either an insert (when its cache spills), losing the
  // whole batch, or the commit at the end of the batch.
  table.beginBatch();
  QString error;
  try {
    for (int i = 0; i < 400; ++i) {
      table.insertRecord({QVariant(), QString("/m/%1/").arg(i) + QString(2000, 'x')});
      // A cue point stored meanwhile (a cue press during a scan).
      if (i == 0) table.setStoredValue(kept, "StartZeit", 4321);
    }
    table.endBatch();
  } catch (const DbError& e) {
    error = e.message();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_DFL);
  ASSERT_FALSE(error.isEmpty()) << "the disk never refused";
  EXPECT_TRUE(error.contains("t.db")) << error.toStdString();
  EXPECT_FALSE(error.contains("cue point")) << error.toStdString();
  // The cursor shows what the file holds, the batch is over, and the table
  // goes on working.
  EXPECT_FALSE(table.inBatch());
  EXPECT_EQ(table.recordCount(), 1);
  table.endBatch();
  table.insertRecord({QVariant(), "/m/after.mp3"});
  table.close();
  table.open();
  EXPECT_EQ(table.recordCount(), 2);
  // The cue point outlived the batch.
  EXPECT_EQ(table.storedValue(kept, "StartZeit").value_or(QVariant()).toInt(), 4321);
}

TEST_F(SmallTable, ATableOpenElsewhereIsReportedInUseNotDamaged) {
  table.insertRecord({QVariant(), "/m/a.mp3"});
  Table second;
  second.setDatabaseName(dir.path());
  second.setTableName("t.db");
  second.setIndexName("iDateiname");
  try {
    second.open();
    FAIL() << "a second program opened the table";
  } catch (const DbError& e) {
    EXPECT_TRUE(e.message().contains("in use")) << e.message().toStdString();
    EXPECT_FALSE(e.message().contains("damaged")) << e.message().toStdString();
  }
  EXPECT_EQ(table.recordCount(), 1);
}
