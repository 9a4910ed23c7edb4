// The two table operations the scan relies on: a key lookup that leaves the
// cursor alone, and batches of changes written in one transaction.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

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
        {{"Index", FieldType::AutoInc}, {"DateiName", FieldType::String, 255}},
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
  EXPECT_TRUE(table.containsKey("/MUSIC/B.MP3"));
  EXPECT_TRUE(table.containsKey(QString::fromUtf8("/music/ä.mp3")));
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
  EXPECT_THROW(table.insertRecord({QVariant(), "/M/7.MP3"}), DuplicateKeyError);
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
