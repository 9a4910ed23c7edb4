// `quandrel analyse [--redo]` on a library in a temporary folder: its
// summary and exit codes, a second run and a redo, Ctrl+C, and the
// arguments and settings it refuses without changing anything.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "library/AnalyseCommand.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "support/BeatSongs.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

namespace {

using qdl::test::CommandRun;
using qdl::test::runCommand;

CommandRun analyse(const QStringList& args) {
  return runCommand(qdl::library::runAnalyseCommand, args);
}

QString summary(int toAnalyse, int tempo, int noTempo, int unreadable, int notReachable,
                int grids) {
  return QStringLiteral(
             "records to analyse: %1\ntempo found: %2\nno tempo: %3\nunreadable: %4\n"
             "not reachable: %5\ngrids added: %6\n")
      .arg(toAnalyse)
      .arg(tempo)
      .arg(noTempo)
      .arg(unreadable)
      .arg(notReachable)
      .arg(grids);
}

QByteArray bytesOf(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Makes the library of the current folder with records for these files.
void makeLibrary(const QStringList& files) {
  TDataModule1 data;
  data.Table1->setDatabaseName(QDir::current().filePath("Data"));
  data.Table1->setTableName("data.db");
  QDir().mkpath("Data");
  data.CreateSongTable();
  for (const QString& f : files) data.AddSongFile(f);
}

// The stored Beats and Analyse of each record, in key order.
QStringList stored() {
  TDataModule1 data;
  data.Table1->setDatabaseName(QDir::current().filePath("Data"));
  data.Table1->setTableName("data.db");
  data.Table1->open();
  QStringList out;
  data.Table1->forEachStored({"Beats", "Analyse"}, [&](qint64, const QVariantList& v) {
    out << QStringLiteral("%1/%2").arg(v[0].isValid() ? v[0].toString() : "-",
                                       v[1].toBool() ? "analysed" : "to do");
  });
  return out;
}

TEST(AnalyseCommand, AnalysesWhatIsToDoThenOnlyWhatIsLeftAndRedoesOnRequest) {
  qdl::test::TempCwd cwd;
  qdl::test::BeatSong song;
  song.style = qdl::test::BeatStyle::Techno;
  song.bpm = 132;
  song.seconds = 20;
  song.seed = 301;
  const QString beat = cwd.file("beat.mp3");
  const QString error = qdl::test::makeBeatSong(song, beat);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const QString sine = QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3");
  const QString text = cwd.file("notes.mp3");
  QFile t(text);
  ASSERT_TRUE(t.open(QIODevice::WriteOnly));
  t.write("Not an MP3 file, only text that carries the name of one.\n");
  t.close();
  const QString gone = cwd.file("stick/gone.mp3");
  makeLibrary({beat, sine, text, gone});
  const QByteArray beatBytes = bytesOf(beat), sineBytes = bytesOf(sine);

  CommandRun r = analyse({});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, summary(4, 1, 1, 1, 1, 1));
  EXPECT_TRUE(r.err.contains("analysing: 0 of 4")) << r.err.toStdString();
  EXPECT_EQ(stored(), (QStringList{"132/analysed", "-/analysed", "-/analysed", "-/to do"}));
  EXPECT_TRUE(bytesOf(beat) == beatBytes);
  EXPECT_TRUE(bytesOf(sine) == sineBytes);

  // Only the song of the stick is left; the stick is still not there.
  r = analyse({});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, summary(1, 0, 0, 0, 1, 0));

  // A redo with a range that holds only the half tempo.
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Tempo]\r\nMinBPM=50\r\nMaxBPM=100\r\n");
  ini.close();
  r = analyse({"--redo"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, summary(4, 1, 1, 1, 1, 1));
  EXPECT_EQ(stored(), (QStringList{"66/analysed", "-/analysed", "-/analysed", "-/to do"}));
  EXPECT_TRUE(bytesOf(beat) == beatBytes);
}

std::vector<qint64> keysOf(const qdl::db::Table& t) {
  std::vector<qint64> keys;
  t.forEachStored({"DateiName"}, [&](qint64 key, const QVariantList&) { keys.push_back(key); });
  return keys;
}

// A library analysed before grids were kept, with a typed Beats and an
// analysed one whose file is gone: the typed song gets its grid from its file
// and keeps its Beats; the other keeps everything and is left for a run when
// its file is back (its stored beats alone make no grid).
TEST(AnalyseCommand, FillsTheGridsOfALibraryAnalysedBefore) {
  qdl::test::TempCwd cwd;
  qdl::test::BeatSong song;
  song.style = qdl::test::BeatStyle::House;
  song.bpm = 124;
  song.seconds = 20;
  song.seed = 302;
  const QString typed = cwd.file("typed.mp3");
  const QString error = qdl::test::makeBeatSong(song, typed);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const QString gone = cwd.file("stick/analysed.mp3");
  makeLibrary({typed, gone});
  std::vector<float> beats;
  for (int k = 0; k < 60; ++k) beats.push_back(float(0.25 + k * 60 / 128.0));
  {
    TDataModule1 data;
    qdl::db::Table& t = *data.Table1;
    t.setDatabaseName(QDir::current().filePath("Data"));
    t.setTableName("data.db");
    t.open();
    std::vector<qint64> keys;
    t.forEachStored({"DateiName"}, [&](qint64 key, const QVariantList&) { keys.push_back(key); });
    ASSERT_EQ(keys.size(), 2u);
    t.setStoredValue(keys[0], "Beats", 124);  // typed: Analyse stays false
    t.setStoredValue(keys[1], "Analyse", true);
    t.setStoredValue(keys[1], "Beats", 128);
    ASSERT_TRUE(t.setAnalysis(keys[1], {128.0, beats}));
  }
  const QByteArray typedBytes = bytesOf(typed);

  CommandRun r = analyse({});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  // The typed song is measured for its loudness in the same decode.
  EXPECT_EQ(r.out, summary(0, 0, 0, 0, 1, 1) + "loudness only: 1\n");
  EXPECT_TRUE(r.err.contains("analysing: 0 of 2")) << r.err.toStdString();
  EXPECT_EQ(stored(), (QStringList{"124/to do", "128/analysed"}));
  EXPECT_TRUE(bytesOf(typed) == typedBytes);
  TDataModule1 data;
  qdl::db::Table& t = *data.Table1;
  t.setDatabaseName(QDir::current().filePath("Data"));
  t.setTableName("data.db");
  t.open();
  std::vector<std::optional<qdl::db::Table::BeatGrid>> grids;
  t.forEachStored({"DateiName"},
                  [&](qint64 key, const QVariantList&) { grids.push_back(t.beatGrid(key)); });
  ASSERT_EQ(grids.size(), 2u);
  ASSERT_TRUE(grids[0]);
  EXPECT_NEAR(grids[0]->bpm, 124, 0.1);
  EXPECT_NEAR(std::remainder(grids[0]->firstBeat, 240 / 124.0), 0, 0.010);
  EXPECT_FALSE(grids[1]);
  ASSERT_EQ(keysOf(t).size(), 2u);
  EXPECT_EQ(t.analysis(keysOf(t)[1]), (qdl::db::Table::Analysis{128.0, beats}));
  t.close();

  // Only the song of the stick is left.
  r = analyse({});
  EXPECT_EQ(r.out, summary(0, 0, 0, 0, 1, 0));
}

TEST(AnalyseCommand, RefusesWrongArgumentsAMissingLibraryAndABrokenRange) {
  qdl::test::TempCwd cwd;
  CommandRun r = analyse({"--fast"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("unknown option '--fast'")) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Usage: quandrel analyse"));
  r = analyse({"music"});
  EXPECT_EQ(r.code, 2);
  EXPECT_FALSE(QFile::exists(cwd.file("Data")));

  r = analyse({});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("no song library")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(cwd.file("Data/data.db")));

  makeLibrary({QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3")});
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Tempo]\r\nMaxBPM=400\r\n");
  ini.close();
  r = analyse({});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("[Tempo] MaxBPM")) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(cwd.file("qdl.ini"))));
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(stored(), QStringList{"-/to do"});

  // A range narrower than an octave: one line naming file, section and key.
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Tempo]\r\nMinBPM=125\r\nMaxBPM=126\r\n");
  ini.close();
  r = analyse({});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("[Tempo] MaxBPM (126) is less than twice [Tempo] MinBPM (125)"))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(cwd.file("qdl.ini"))));
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(stored(), QStringList{"-/to do"});
}

TEST(AnalyseCommand, CtrlCStopsAndKeepsTheLibraryAsItWas) {
  qdl::test::TempCwd cwd;
  makeLibrary({QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_200_5s.mp3")});
  // Ctrl+C pressed every 100 ms until the command returns; one that comes
  // before the command catches it, or after, must not end the test.
  const auto previous = std::signal(SIGINT, SIG_IGN);
  std::atomic<bool> returned{false};
  std::thread press([&returned] {
    while (!returned) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      std::raise(SIGINT);
    }
  });
  const CommandRun r = analyse({});
  returned = true;
  press.join();
  std::signal(SIGINT, previous);
  EXPECT_EQ(r.code, 130) << r.out.toStdString();
  EXPECT_TRUE(r.out.endsWith("interrupted: the songs analysed until then are in the library\n"));
  EXPECT_TRUE(r.out.startsWith(summary(1, 0, 0, 0, 0, 0)));
  EXPECT_EQ(stored(), QStringList{"-/to do"});
}

}  // namespace
