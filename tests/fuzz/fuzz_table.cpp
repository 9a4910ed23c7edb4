// Any bytes as the song table's file (Data/data.db): the table opens or is
// refused with a DbError, and a refused file is left byte for byte as it
// was (no journal mode switched, nothing written). A table that opens is
// read whole in each of its orders, searched, and changed: a record added,
// edited and deleted, or every change refused with a DbError.

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "library/Datamod.h"
#include "platform/db/Collation.h"
#include "platform/db/Table.h"

namespace qdl::fuzz {
namespace {

void removeFiles(const QString& folder) {
  for (const char* name : {"data.db", "data.db-wal", "data.db-shm", "data.db-journal"})
    QFile::remove(folder + QLatin1Char('/') + QLatin1String(name));
}

// Reads every field of at most `limit` records in the active order.
void readAll(db::Table& t, int limit) {
  int n = 0;
  for (t.first(); !t.eof() && n < limit; t.next(), ++n)
    for (int f = 0; f < t.fieldCount(); ++f) (void)t.fieldByName(t.fieldDefs()[f].name).toString();
}

void use(db::Table& t, const QByteArray& bytes) {
  QDL_FUZZ_CHECK(t.recordCount() >= 0);
  readAll(t, 2000);
  for (const db::IndexDef& x : t.indexDefs()) {
    t.setIndexName(x.name);
    readAll(t, 50);
    t.findNearest(QString::fromUtf8(bytes.right(8)));
    if (t.recordCount() > 0)
      QDL_FUZZ_CHECK(t.currentRow() >= 0 && t.currentRow() < t.recordCount());
  }
  // A change, as the scan and the editor make them.
  try {
    QVariantList record;
    for (const db::FieldDef& f : t.fieldDefs())
      record << (f.type == db::FieldType::AutoInc  ? QVariant()
                 : f.type == db::FieldType::String ? QVariant(QStringLiteral("/fuzz/new.mp3"))
                                                   : QVariant(1));
    t.insertRecord(record);
    t.edit();
    for (const db::FieldDef& f : t.fieldDefs())
      if (f.type == db::FieldType::String) t.setFieldValue(f.name, QStringLiteral("changed"));
    t.post();
    t.deleteRecord();
  } catch (const db::DbError&) {
    if (t.isOpen() && t.state() != db::Table::State::Browse) t.cancel();
  }
}

}  // namespace

void table(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const QString folder = scratch() + QStringLiteral("/Data");
  QDir().mkpath(folder);
  removeFiles(folder);
  const QString path = folder + QStringLiteral("/data.db");
  if (!writeFile(path, bytes)) return;
  db::Table t;
  t.setDatabaseName(folder);
  t.setTableName(QStringLiteral("data.db"));
  t.setIndexFieldNames(QStringLiteral("Interpret"));
  try {
    t.open();
  } catch (const db::DbError&) {
    QDL_FUZZ_CHECK(!t.isOpen());
    const QByteArray after = readFile(path);
    if (after != bytes) {  // where the refused file changed, for the report
      std::fprintf(stderr, "refused file changed: %lld bytes before, %lld after\n",
                   static_cast<long long>(bytes.size()), static_cast<long long>(after.size()));
      for (qsizetype i = 0, shown = 0; i < std::min(after.size(), bytes.size()) && shown < 12; ++i)
        if (after[i] != bytes[i])
          std::fprintf(stderr, "  byte %lld: %02x -> %02x\n", static_cast<long long>(i),
                       unsigned(std::uint8_t(bytes[i])), unsigned(std::uint8_t(after[i]))),
              ++shown;
    }
    QDL_FUZZ_CHECK(after == bytes);
    QDL_FUZZ_CHECK(!QFile::exists(path + QStringLiteral("-wal")));
    return;
  }
  try {
    use(t, bytes);
  } catch (const db::DbError&) {
    // A damaged page met while reading: told like any storage error.
  }
  t.close();
  removeFiles(folder);
}

// A library as the console makes it, with a few songs, on pages of 512
// bytes so that a mutation often hits its structure.
std::vector<QByteArray> tableSeeds() {
  const QString folder = scratch() + QStringLiteral("/seed");
  QDir().mkpath(folder);
  {
    TDataModule1 dm;
    dm.Table1->setDatabaseName(folder);
    dm.Table1->setTableName(QStringLiteral("data.db"));
    dm.CreateSongTable();
    const char* const songs[][3] = {{"Ärzte", "Schrei nach Liebe", "1993"},
                                    {"abba", "Waterloo", "1974"},
                                    {"Daft Punk", "One More Time", "2000"},
                                    {"daft punk", "Aerodynamic", "2001"}};
    int i = 0;
    for (const auto& s : songs)
      dm.Table1->insertRecord({QVariant(), QString::fromUtf8(s[0]), QString::fromUtf8(s[1]),
                               QVariant(120 + i), QStringLiteral("House"), QString::fromUtf8(s[2]),
                               QStringLiteral("/music/%1.mp3").arg(i++), QString(), 250 * i,
                               QVariant(), false});
    dm.Table1->close();
  }
  sqlite3* db = nullptr;
  const QByteArray file = QFile::encodeName(folder + QStringLiteral("/data.db"));
  if (sqlite3_open(file.constData(), &db) == SQLITE_OK) {
    db::registerNoCaseCollation(db);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA page_size=512; VACUUM;", nullptr, nullptr,
                 nullptr);
  }
  sqlite3_close(db);
  std::vector<QByteArray> seeds{readFile(QString::fromLocal8Bit(file))};
  QDir(folder).removeRecursively();
  return seeds;
}

}  // namespace qdl::fuzz
