// Libraries made by earlier builds (tests/data/libraries: their files as SQL
// text, turned back into files here) opened by this build: brought to its
// version without losing a record, a field value, a cue point or a note; a
// second open that changes nothing; a newer build's library refused and left
// byte for byte; a step that cannot apply undone. And the analysis table of
// the current version: its rows go with their records.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "support/LibraryFixtures.h"

using qdl::db::DbError;
using qdl::db::Table;

namespace {

const QString kMusic = QStringLiteral("/tmp/qdl-library-fixture/music/");

QByteArray bytesOf(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList sql(const QString& path, const QString& statements) {
  return qdl::test::sqlRows(path, statements);
}
void restore(const QString& name, const QString& path) { qdl::test::restoreLibrary(name, path); }

QStringList records(const QString& path) { return sql(path, "SELECT * FROM data ORDER BY rowid"); }
QStringList notes(const QString& path) {
  return sql(path, "SELECT * FROM sqlite_master WHERE name='data_notes'").isEmpty()
             ? QStringList()
             : sql(path, "SELECT list, text FROM data_notes ORDER BY text");
}
int version(const QString& path) { return sql(path, "PRAGMA user_version").value(0).toInt(); }

struct Fixture {
  const char* name;
  int version;
  int records;
  QStringList notes;
};
const Fixture kFixtures[] = {
    // Made by the last build of the first version: "song.mp3" was refused
    // beside "Song.mp3".
    {"library-v1", 1, 5, {}},
    {"library-v2", 2, 6, {"mount points|/media/dj/USB"}},
};

// The data module's table on a library file.
struct Library {
  explicit Library(const QString& folder) {
    table.setDatabaseName(folder);
    table.setTableName("data.db");
    table.setIndexFieldNames("Interpret");
  }
  TDataModule1 data;
  Table& table = *data.Table1;
};

TEST(Migrations, EveryEarlierLibraryIsBroughtToThisVersionAndKeepsEveryValue) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.db");
    restore(f.name, path);
    ASSERT_EQ(version(path), f.version);
    const QStringList before = records(path);
    ASSERT_EQ(before.size(), f.records);
    ASSERT_EQ(notes(path), f.notes);

    {
      Library lib(dir.path());
      lib.table.open();
      EXPECT_EQ(lib.table.fileVersion(), Table::schemaVersion());
      EXPECT_EQ(lib.table.recordCount(), f.records);
      // Cue points and tempos as the console set them.
      EXPECT_EQ(*lib.table.storedValue(1, "StartZeit"), 150);
      EXPECT_EQ(*lib.table.storedValue(1, "EndZeit"), 9000);
      EXPECT_EQ(*lib.table.storedValue(1, "Beats"), 124);
      EXPECT_EQ(*lib.table.storedValue(1, "Analyse"), true);
      EXPECT_EQ(*lib.table.storedValue(2, "Beats"), 93);
      EXPECT_EQ(*lib.table.storedValue(3, "StartZeit"), 4321);
      EXPECT_EQ(lib.table.notes("mount points"),
                f.notes.isEmpty() ? QStringList() : QStringList{"/media/dj/USB"});
      EXPECT_FALSE(lib.data.songAnalysis(1));
      lib.table.findNearest("gamma");
      EXPECT_EQ(lib.table.asString("Interpret"), "Gamma");
    }
    EXPECT_EQ(version(path), Table::schemaVersion());
    EXPECT_EQ(records(path), before);
    EXPECT_EQ(notes(path), f.notes);
    EXPECT_EQ(sql(path, "SELECT count(*) FROM data_analysis"), QStringList{"0"});

    // A second open finds nothing to do and leaves the file as it is.
    const QByteArray migrated = bytesOf(path);
    {
      Library lib(dir.path());
      lib.table.open();
      EXPECT_EQ(lib.table.fileVersion(), Table::schemaVersion());
    }
    EXPECT_TRUE(bytesOf(path) == migrated);

    // The migrated library works as a new one: file names unique letter for
    // letter (the first version folded case), analyses kept beside their
    // records and gone with them.
    Library lib(dir.path());
    lib.table.open();
    const QString upper = kMusic + "SONG.mp3";
    lib.table.insertRecord(
        {QVariant(), "Gamma", "Song", QVariant(), QVariant(), QVariant(), upper});
    EXPECT_THROW(
        lib.table.insertRecord({QVariant(), "x", "x", QVariant(), QVariant(), QVariant(), upper}),
        qdl::db::DuplicateKeyError);
    const Table::Analysis measured{124.0371, {0.25f, 0.7337f, 1.2175f}};
    EXPECT_TRUE(lib.table.setAnalysis(1, measured));
    EXPECT_TRUE(lib.table.setAnalysis(2, {93.5, {}}));
    EXPECT_EQ(lib.data.songAnalysis(1), measured);
    // The grid, loudness and overview rows likewise.
    const Table::BeatGrid grid{0.4125, 124.0371};
    const Table::Loudness loud{-9.25, -0.4};
    const QByteArray shape("\x00\x7f\x10", 3);
    for (qint64 key : {1, 2}) {
      EXPECT_TRUE(lib.table.setBeatGrid(key, grid));
      EXPECT_TRUE(lib.table.setLoudness(key, loud));
      EXPECT_TRUE(lib.table.setOverview(key, shape));
    }
    EXPECT_FALSE(lib.table.setBeatGrid(99, grid));  // no such record
    EXPECT_EQ(lib.table.beatGrid(2), grid);
    EXPECT_EQ(lib.table.loudness(2), loud);
    EXPECT_EQ(lib.table.overview(2), shape);
    lib.table.removeLoudness(2);
    EXPECT_FALSE(lib.table.loudness(2));
    ASSERT_TRUE(lib.table.moveToId(1));
    lib.table.deleteRecord();
    EXPECT_FALSE(lib.data.songAnalysis(1));
    EXPECT_FALSE(lib.table.beatGrid(1));
    EXPECT_FALSE(lib.table.overview(1));
    lib.table.close();
    EXPECT_EQ(sql(path, "SELECT \"Index\", Tempo FROM data_analysis"), QStringList{"2|93.5"});
    EXPECT_EQ(sql(path, "SELECT \"Index\", Bpm FROM data_grid"), QStringList{"2|124.0371"});
    EXPECT_EQ(sql(path, "SELECT count(*) FROM data_overview"), QStringList{"1"});
    EXPECT_EQ(records(path).size(), f.records);  // one deleted, one added
  }
}

TEST(Migrations, ALibraryOfANewerBuildIsRefusedByNameAndLeftByteForByte) {
  const int newer = Table::schemaVersion() + 1;
  for (const char* name : {"library-v1", "library-v2", ""}) {
    SCOPED_TRACE(name);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.db");
    if (*name) {
      restore(name, path);
    } else {
      Library fresh(dir.path());
      fresh.data.CreateSongTable();
    }
    sql(path, QStringLiteral("PRAGMA user_version=%1").arg(newer));
    const QByteArray before = bytesOf(path);
    Library lib(dir.path());
    try {
      lib.table.open();
      ADD_FAILURE() << "a newer library was opened";
    } catch (const DbError& e) {
      EXPECT_TRUE(e.message().contains("made by a newer Quandrel")) << e.what();
      EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(path))) << e.what();
    }
    EXPECT_FALSE(lib.table.isOpen());
    EXPECT_TRUE(bytesOf(path) == before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.db"});
  }
}

// Something of another program's in the analysis table's way: a trigger of
// its name (the step creates the table first, then fails), or a view with
// the table's name; with the rollback journal and with the write-ahead log a
// library that a build of its version has opened is in. The steps before
// the failing one (the first version's index rebuild) are undone too.
TEST(Migrations, AStepThatCannotApplyUndoesTheUpdateAndLeavesTheFileByteForByte) {
  struct Case {
    const char* fixture;
    const char* journal;
    const char* obstacle;
    const char* removal;
  } cases[] = {
      {"library-v2", "DELETE",
       "CREATE TRIGGER data_analysis_delete AFTER UPDATE ON data BEGIN SELECT 1; END",
       "DROP TRIGGER data_analysis_delete"},
      {"library-v2", "WAL",
       "CREATE TRIGGER data_analysis_delete AFTER UPDATE ON data BEGIN SELECT 1; END",
       "DROP TRIGGER data_analysis_delete"},
      {"library-v2", "DELETE", "CREATE VIEW data_analysis AS SELECT 1 AS x",
       "DROP VIEW data_analysis"},
      {"library-v1", "DELETE", "CREATE VIEW data_analysis AS SELECT 1 AS x",
       "DROP VIEW data_analysis"},
      {"library-v1", "WAL",
       "CREATE TRIGGER data_analysis_delete AFTER UPDATE ON data BEGIN SELECT 1; END",
       "DROP TRIGGER data_analysis_delete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + ", " + c.journal + ": " + c.obstacle);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.db");
    restore(c.fixture, path);
    sql(path, QStringLiteral("PRAGMA journal_mode=%1").arg(c.journal));
    sql(path, c.obstacle);
    const QByteArray before = bytesOf(path);
    const QStringList rows = records(path);
    const int from = version(path);
    Library lib(dir.path());
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        lib.table.open();
        ADD_FAILURE() << "the step applied";
      } catch (const DbError& e) {
        const QString message = e.message();
        EXPECT_TRUE(message.contains(QStringLiteral("Cannot update the library \"%1\" from "
                                                    "version %2 to %3 (the step to version 3")
                                         .arg(QDir::toNativeSeparators(path))
                                         .arg(from)
                                         .arg(Table::schemaVersion())))
            << e.what();
      }
      EXPECT_FALSE(lib.table.isOpen());
      EXPECT_TRUE(bytesOf(path) == before);
      EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.db"});
    }
    EXPECT_EQ(version(path), from);
    EXPECT_EQ(records(path), rows);
    // Once the obstacle is gone, the next open updates the library.
    sql(path, c.removal);
    lib.table.open();
    EXPECT_EQ(lib.table.fileVersion(), Table::schemaVersion());
    EXPECT_EQ(lib.table.recordCount(), rows.size());
  }
}

TEST(AnalysisTable, ANewTableHasItAndAReplacedTableLosesItsRows) {
  QTemporaryDir dir;
  Library lib(dir.path());
  lib.data.CreateSongTable();
  EXPECT_EQ(lib.table.fileVersion(), Table::schemaVersion());
  lib.table.insertRecord({QVariant(), "A", "T", 120, "G", "2024", "/m/a.mp3"});
  const qint64 key = lib.table.currentId();
  EXPECT_TRUE(lib.table.setAnalysis(key, {120.25, {0.5f, 1.0f}}));
  // Written again: replaced, not added.
  EXPECT_TRUE(lib.table.setAnalysis(key, {119.75, {0.25f}}));
  EXPECT_EQ(lib.data.songAnalysis(key), (Table::Analysis{119.75, {0.25f}}));
  // No row without its record.
  EXPECT_FALSE(lib.table.setAnalysis(key + 1, {100, {}}));
  EXPECT_FALSE(lib.data.songAnalysis(key + 1));
  lib.table.removeAnalysis(key);
  EXPECT_FALSE(lib.data.songAnalysis(key));
  lib.table.setAnalysis(key, {120, {}});

  // Replacing the table numbers records from 1 again: the old rows go.
  lib.data.CreateSongTable();
  lib.table.insertRecord({QVariant(), "B", "T", 90, "G", "2024", "/m/b.mp3"});
  EXPECT_EQ(lib.table.currentId(), key);
  EXPECT_FALSE(lib.data.songAnalysis(key));
}

TEST(AnalysisTable, BeatTimesAreLittleEndianFloatsOfSeconds) {
  struct Case {
    std::vector<float> beats;
    QByteArray blob;
  } cases[] = {
      {{}, QByteArray()},
      {{1.0f}, QByteArray("\x00\x00\x80\x3f", 4)},
      {{0.5f, -2.0f, 3600.25f}, QByteArray("\x00\x00\x00\x3f\x00\x00\x00\xc0\x00\x04\x61\x45", 12)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Table::encodeBeats(c.beats), c.blob);
    EXPECT_EQ(Table::decodeBeats(c.blob), c.beats);
  }
  // A cut-off blob reads its whole beats only.
  EXPECT_EQ(Table::decodeBeats(QByteArray("\x00\x00\x80\x3f\x01\x02", 6)),
            std::vector<float>{1.0f});
}

TEST(AnalysisTable, ATableWithoutAKeyFieldHasNoneAndSaysSo) {
  QTemporaryDir dir;
  Table table;
  table.setDatabaseName(dir.path());
  table.setTableName("plain.db");
  table.createTable({{"Name", qdl::db::FieldType::String, 8, false}}, {});
  table.open();
  EXPECT_EQ(table.fileVersion(), Table::schemaVersion());
  EXPECT_FALSE(table.analysis(1));
  EXPECT_THROW(table.setAnalysis(1, {}), DbError);
  table.close();
  EXPECT_EQ(sql(dir.filePath("plain.db"), "SELECT name FROM sqlite_master WHERE type='table'"),
            QStringList{"plain"});
}

}  // namespace
