// One field of a record read and written by the record's key while the
// cursor stands elsewhere: what a deck does with the cue point of the song it
// was loaded from.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "platform/db/Table.h"

using namespace qdl::db;

namespace {

TEST(StoredValue, ReadAndWriteByKeyWhereverTheCursorStands) {
  QTemporaryDir dir;
  Table table;
  table.setDatabaseName(dir.path());
  table.setTableName("songs.db");
  table.createTable({{"Nr", FieldType::AutoInc, 0, false},
                     {"Name", FieldType::String, 8, false},
                     {"Cue", FieldType::Integer, 0, false}},
                    {{"", "Nr", IndexOption::Primary | IndexOption::Unique},
                     {"iName", "Name", IndexOption::CaseInsensitive}});
  table.setIndexName("iName");
  table.open();
  table.insertRecord({QVariant(), "b", 20});
  const qint64 b = table.fieldByName("Nr").toLongLong();
  table.insertRecord({QVariant(), "a", QVariant()});
  const qint64 a = table.fieldByName("Nr").toLongLong();
  ASSERT_EQ(table.asString("Name"), "a");  // the cursor stands on "a", row 0

  EXPECT_EQ(table.storedValue(b, "cue"), QVariant(20));
  EXPECT_EQ(table.storedValue(a, "Cue"), QVariant());  // an empty field
  EXPECT_EQ(table.storedValue(999, "Cue"), std::nullopt);

  QSignalSpy changed(&table, &Table::recordChanged);
  EXPECT_TRUE(table.setStoredValue(b, "Cue", 432));
  EXPECT_EQ(table.storedValue(b, "Cue"), QVariant(432));
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toInt(), 1);
  EXPECT_EQ(table.asString("Name"), "a") << "the cursor stays";
  EXPECT_EQ(table.fieldByName("Cue"), QVariant());
  EXPECT_FALSE(table.setStoredValue(999, "Cue", 1)) << "no such record: nothing written";

  // A change being edited on that record keeps the written value when posted.
  table.setFieldValue("Name", "aa");
  EXPECT_TRUE(table.setStoredValue(a, "Cue", 77));
  table.post();
  EXPECT_EQ(table.storedValue(a, "Cue"), QVariant(77));
  EXPECT_EQ(table.storedValue(a, "Name"), QVariant("aa"));

  // The order's own field (its change moves the record) and the key are refused.
  EXPECT_THROW(table.setStoredValue(a, "Name", "z"), DbError);
  EXPECT_THROW(table.setStoredValue(a, "Nr", 5), DbError);
}

}  // namespace
