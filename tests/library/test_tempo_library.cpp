// The tempo analysis of the song library: which records it takes, what it
// stores, what it never touches (a typed Beats, a record changed while its
// file was analysed, the MP3 files), a redo, the range setting, and
// generated songs of known tempo analysed end to end. (Cancel: see the
// console's test of the menu entry.)
#include <gtest/gtest.h>
#include <sched.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "RunAnalysis.h"
#include "library/Datamod.h"
#include "library/SongLoudness.h"
#include "library/TempoAnalysis.h"
#include "platform/db/Table.h"
#include "platform/ini/IniFile.h"
#include "support/BeatSongs.h"
#include "support/TempDir.h"

using qdl::library::TempoAnalysis;
using qdl::library::TempoCounts;
using qdl::tempo::Outcome;
using qdl::tempo::Result;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QByteArray bytesOf(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A song library in a temporary current folder.
class Library : public ::testing::Test {
 protected:
  Library() {
    table.setDatabaseName(cwd.file("Data"));
    table.setTableName("data.db");
    QDir().mkpath(cwd.file("Data"));
    data.CreateSongTable();
  }

  // Adds a record; beats and analyse as stored (invalid: empty).
  qint64 add(const QString& path, const QVariant& beats = {}, const QVariant& analyse = false) {
    table.insertRecord({QVariant(), QFileInfo(path).baseName(), "T", beats, "G", "2024", path,
                        QVariant(), 0, QVariant(), analyse});
    return table.currentId();
  }
  QVariant beats(qint64 key) { return *table.storedValue(key, "Beats"); }
  QVariant analysed(qint64 key) { return *table.storedValue(key, "Analyse"); }

  // Runs the analysis to its end (or its cancel) in an event loop.
  void run(TempoAnalysis& a, bool redo = false, qdl::tempo::Range range = {}) {
    qdl::test::runAnalysis(a, redo, range);
  }

  qdl::test::TempCwd cwd;
  TDataModule1 data;
  qdl::db::Table& table = *data.Table1;
};

// Answers by the file's name: "bpm<N>" a tempo of N, "beatless" no tempo,
// anything else unreadable; remembers what it was asked and the scheduling
// policy of the thread that asked.
struct FakeAnalyser {
  std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
  std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();
  std::shared_ptr<std::atomic<int>> policy = std::make_shared<std::atomic<int>>(-1);
  TempoAnalysis::Analyser fn() const {
    return [m = mutex, asked = asked, policy = policy](
               const QString& path, const qdl::tempo::Range&, const qdl::tempo::CancelCheck&) {
      {
        const std::lock_guard<std::mutex> lock(*m);
        *asked << QFileInfo(path).fileName();
      }
      *policy = sched_getscheduler(0);
      Result r;
      const QString name = QFileInfo(path).baseName();
      if (name.contains("bpm")) {
        r.outcome = Outcome::Tempo;
        r.bpm = name.mid(name.indexOf("bpm") + 3).toInt();
        r.exactBpm = r.bpm + 0.25;
        r.beats = {0.125, 0.125 + 60 / r.exactBpm};
        r.grid = {0.125, r.exactBpm};
      } else if (name.contains("beatless")) {
        r.outcome = Outcome::NoTempo;
      } else {
        r.outcome = Outcome::Unreadable;
        r.reason = "not MP3 data";
      }
      return r;
    };
  }
  QStringList names() const {
    const std::lock_guard<std::mutex> lock(*mutex);
    return *asked;
  }
};

TEST_F(Library, StoresEachOutcomeTakesOnlyWhatIsToDoAndRedoKeepsTypedBeats) {
  const QString music = cwd.file("music/");
  for (const char* name : {"a_bpm128.mp3", "b_beatless.mp3", "c_bpm90.mp3", "d_bpm100.mp3",
                           "e_text.mp3", "f_bpm140.mp3", "g_beatless.mp3"})
    writeFile(music + name, "some bytes");
  const qint64 tempo = add(music + "a_bpm128.mp3");
  const qint64 none = add(music + "b_beatless.mp3");
  const qint64 typed = add(music + "c_bpm90.mp3", 93);     // typed by hand: never analysed
  const qint64 old = add(music + "d_bpm100.mp3", {}, {});  // Analyse empty, as old records have
  const qint64 text = add(music + "e_text.mp3");
  const qint64 done = add(music + "f_bpm140.mp3", 70, true);  // analysed in an earlier run
  const qint64 doneNone = add(music + "g_beatless.mp3", {}, true);
  const qint64 unplugged = add(cwd.file("stick/h_bpm120.mp3"));
  const qint64 noFile = add(QString());
  // Songs done in an earlier run have their loudness too (a record without
  // one is taken for it alone).
  for (const qint64 key : {typed, done, doneNone})
    ASSERT_TRUE(qdl::library::storeMeasuredLoudness(table, key, qdl::loudness::Level{-14, -1}));

  TempoAnalysis a(table);
  FakeAnalyser fake;
  a.analyser = fake.fn();
  run(a);
  // Five for their tempo, the typed and the analysed Beats for their grid.
  EXPECT_EQ(fake.names().size(), 7) << fake.names().join(' ').toStdString();
  // The worker only takes a core no other thread wants: the decks' refill
  // never waits for it.
  EXPECT_EQ(*fake.policy, SCHED_IDLE);
  const TempoCounts c = a.counts();
  EXPECT_EQ(c.toAnalyse, 5);
  EXPECT_EQ(c.done, 5);
  EXPECT_EQ(c.tempo, 2);
  EXPECT_EQ(c.noTempo, 1);
  EXPECT_EQ(c.unreadable, 1);
  EXPECT_EQ(c.notReachable, 1);
  EXPECT_EQ(c.skipped, 0);
  EXPECT_EQ(qdl::library::tempoSummaryText(c),
            "records to analyse: 5\ntempo found: 2\nno tempo: 1\nunreadable: 1\n"
            "not reachable: 1\ngrids added: 4\n");
  // The grids: the typed and the earlier analysed Beats keep their tempo,
  // the grid the measured one in their octave.
  const std::pair<qint64, std::optional<qdl::db::Table::BeatGrid>> grids[] = {
      {tempo, qdl::db::Table::BeatGrid{0.125, 128.25}},
      {old, qdl::db::Table::BeatGrid{0.125, 100.25}},
      {typed, qdl::db::Table::BeatGrid{0.125, 90.25}},
      {done, qdl::db::Table::BeatGrid{0.125, 70.125}},
      {none, std::nullopt},
      {text, std::nullopt},
      {doneNone, std::nullopt},
      {unplugged, std::nullopt},
  };
  for (const auto& [key, grid] : grids) {
    SCOPED_TRACE(table.storedValue(key, "DateiName")->toString().toStdString());
    EXPECT_EQ(table.beatGrid(key), grid);
  }
  EXPECT_EQ(c.gridToFind, 2);
  EXPECT_EQ(c.gridDone, 2);
  EXPECT_EQ(c.grids, 4);

  struct Expect {
    qint64 key;
    QVariant beats;
    bool analysed;
  };
  const Expect afterFirst[] = {
      {tempo, 128, true},   {none, {}, true},       {typed, 93, false},
      {old, 100, true},     {text, {}, true},       {done, 70, true},
      {doneNone, {}, true}, {unplugged, {}, false}, {noFile, {}, false},
  };
  for (const Expect& e : afterFirst) {
    SCOPED_TRACE(table.storedValue(e.key, "DateiName")->toString().toStdString());
    EXPECT_EQ(beats(e.key), e.beats);
    EXPECT_EQ(analysed(e.key).toBool(), e.analysed);
  }
  // The exact tempo and the beat times beside the rounded Beats.
  auto measured = [](double bpm) {
    return std::optional(qdl::db::Table::Analysis{bpm, {0.125f, float(0.125 + 60 / bpm)}});
  };
  const std::pair<qint64, std::optional<qdl::db::Table::Analysis>> analysesAfterFirst[] = {
      {tempo, measured(128.25)}, {old, measured(100.25)}, {none, std::nullopt},
      {typed, std::nullopt},     {text, std::nullopt},    {done, std::nullopt},
  };
  for (const auto& [key, analysis] : analysesAfterFirst) {
    SCOPED_TRACE(table.storedValue(key, "DateiName")->toString().toStdString());
    EXPECT_EQ(data.songAnalysis(key), analysis);
  }
  // An analysis row of an earlier run where a redo finds no tempo now.
  ASSERT_TRUE(table.setAnalysis(doneNone, {99.5, {1.0f}}));

  // The user types over an analysed value: it becomes theirs.
  ASSERT_TRUE(table.moveToId(tempo));
  table.setFieldValue("Beats", 127);
  table.post();
  EXPECT_FALSE(analysed(tempo).toBool());
  // Emptying an analysed value keeps the song out of the next plain run.
  ASSERT_TRUE(table.moveToId(old));
  table.setFieldValue("Beats", QVariant());
  table.post();
  EXPECT_TRUE(analysed(old).toBool());

  // A redo takes every analysed record, never a typed one.
  run(a, true);
  EXPECT_EQ(a.counts().toAnalyse, 6);
  const Expect afterRedo[] = {
      {tempo, 127, false}, {none, {}, true},  {typed, 93, false},   {old, 100, true},
      {text, {}, true},    {done, 140, true}, {doneNone, {}, true}, {unplugged, {}, false},
  };
  for (const Expect& e : afterRedo) {
    SCOPED_TRACE(table.storedValue(e.key, "DateiName")->toString().toStdString());
    EXPECT_EQ(beats(e.key), e.beats);
    EXPECT_EQ(analysed(e.key).toBool(), e.analysed);
  }
  // A redo rewrites the analyses it redoes and removes those it no longer
  // finds; a typed Beats keeps the measurement that was there.
  EXPECT_EQ(data.songAnalysis(done), measured(140.25));
  EXPECT_EQ(data.songAnalysis(tempo), measured(128.25));
  EXPECT_FALSE(data.songAnalysis(doneNone));
  // A song that has no tempo any more has no grid either.
  EXPECT_EQ(table.beatGrid(done), (qdl::db::Table::BeatGrid{0.125, 140.25}));
}

TEST_F(Library, TypedBeatsAndEarlierAnalysesGetAGridOnlyFromTheirFiles) {
  const QString music = cwd.file("music/");
  for (const char* name : {"a_bpm64.mp3", "b_bpm123.mp3", "c_beatless.mp3", "d_bpm120.mp3",
                           "e_bpm126.mp3", "f_bpm99.mp3"})
    writeFile(music + name, "some bytes");
  const qint64 half = add(music + "a_bpm64.mp3", 128);  // typed twice the measured tempo (64.25)
  const qint64 disagrees = add(music + "b_bpm123.mp3", 128);  // 123.25 is 3.7 % off: no grid
  const qint64 beatless = add(music + "c_beatless.mp3", 90);
  // Analysed before grids were kept: the beats are in the library, yet the
  // file is decoded (the tracker's beats may lie on the off-beats).
  const qint64 before = add(music + "d_bpm120.mp3", 120, true);
  std::vector<float> steady;
  for (int k = 0; k < 40; ++k) steady.push_back(float(0.3 + k * 0.5));
  ASSERT_TRUE(table.setAnalysis(before, {120.0, steady}));
  // Typed over an earlier analysis whose beats are still there.
  const qint64 typedOver = add(music + "e_bpm126.mp3", 63);
  std::vector<float> slow;
  for (int k = 0; k < 40; ++k) slow.push_back(float(1.1 + k * 60 / 126.0));
  ASSERT_TRUE(table.setAnalysis(typedOver, {126.0, slow}));
  // Has a grid already: not taken.
  const qint64 hasGrid = add(music + "f_bpm99.mp3", 99, true);
  ASSERT_TRUE(table.setBeatGrid(hasGrid, {0.5, 99.2}));
  ASSERT_TRUE(table.setLoudness(hasGrid, {-9.5, -0.5}));  // and its loudness

  TempoAnalysis a(table);
  FakeAnalyser fake;
  a.analyser = fake.fn();
  run(a);
  // Each song without a grid is decoded once; the one with a grid not at all.
  QStringList asked = fake.names();
  asked.sort();
  EXPECT_EQ(asked, (QStringList{"a_bpm64.mp3", "b_bpm123.mp3", "c_beatless.mp3", "d_bpm120.mp3",
                                "e_bpm126.mp3"}));
  const TempoCounts c = a.counts();
  EXPECT_EQ(c.toAnalyse, 0);
  EXPECT_EQ(c.gridToFind, 5);
  EXPECT_EQ(c.gridDone, 5);
  EXPECT_EQ(c.grids, 3);
  EXPECT_EQ(c.gridDisagrees, 1);
  EXPECT_EQ(qdl::library::tempoSummaryText(c),
            "records to analyse: 0\ntempo found: 0\nno tempo: 0\nunreadable: 0\n"
            "not reachable: 0\ngrids added: 3\n"
            "typed tempo disagrees with the measured one, no grid: 1\n"
            "loudness only: 5\n");

  struct Expect {
    qint64 key;
    QVariant beats;
    bool analysed;
    std::optional<qdl::db::Table::BeatGrid> grid;
  };
  const Expect expected[] = {
      {half, 128, false, qdl::db::Table::BeatGrid{0.125, 128.5}},
      // Tried without a grid found: marked (a tempo of 0), not decoded again.
      {disagrees, 128, false, qdl::db::Table::BeatGrid{0, 0}},
      {beatless, 90, false, qdl::db::Table::BeatGrid{0, 0}},
      {before, 120, true, qdl::db::Table::BeatGrid{0.125, 120.25}},
      {typedOver, 63, false, qdl::db::Table::BeatGrid{0.125, 63.125}},
      {hasGrid, 99, true, qdl::db::Table::BeatGrid{0.5, 99.2}},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(table.storedValue(e.key, "DateiName")->toString().toStdString());
    EXPECT_EQ(beats(e.key), e.beats);
    EXPECT_EQ(analysed(e.key).toBool(), e.analysed);
    const auto grid = table.beatGrid(e.key);
    ASSERT_EQ(grid.has_value(), e.grid.has_value());
    if (grid) {
      EXPECT_NEAR(grid->firstBeat, e.grid->firstBeat, 0.002);
      EXPECT_NEAR(grid->bpm, e.grid->bpm, 1e-4);
    }
  }
  // The analyses of the library are untouched.
  EXPECT_EQ(data.songAnalysis(before), (qdl::db::Table::Analysis{120.0, steady}));
  EXPECT_EQ(data.songAnalysis(typedOver), (qdl::db::Table::Analysis{126.0, slow}));
  EXPECT_FALSE(data.songAnalysis(half));

  // A second run finds nothing to do: the songs without a grid were marked.
  EXPECT_EQ(a.start({}), 0);
  EXPECT_EQ(beats(half), 128);
}

TEST_F(Library, ACancelKeepsTheGridsStoredUntilThen) {
  QStringList files;
  for (int i = 0; i < 3; ++i) {
    files << cwd.file(QStringLiteral("music/%1.mp3").arg(i));
    writeFile(files.last(), "x");
  }
  std::vector<qint64> keys;
  for (const QString& f : files) keys.push_back(add(f, 125));  // typed: grid only
  TempoAnalysis a(table);
  // The first file is measured at once, the others wait for the cancel.
  a.analyser = [first = files[0]](const QString& path, const qdl::tempo::Range&,
                                  const qdl::tempo::CancelCheck& cancelled) {
    Result r;
    while (path != first && !cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (path != first) {
      r.outcome = Outcome::Cancelled;
      return r;
    }
    r.outcome = Outcome::Tempo;
    r.bpm = 125;
    r.exactBpm = 125.1;
    r.grid = {0.2, 125.1};
    return r;
  };
  ASSERT_EQ(a.start({}), 3);
  QEventLoop loop;
  QObject::connect(&a, &TempoAnalysis::resultHandled, &a, &TempoAnalysis::cancel);
  QObject::connect(&a, &TempoAnalysis::finished, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(a.cancelled());
  EXPECT_EQ(a.counts().grids, 1);
  EXPECT_EQ(table.beatGrid(keys[0]), (qdl::db::Table::BeatGrid{0.2, 125.1}));
  EXPECT_FALSE(table.beatGrid(keys[1]));
  EXPECT_FALSE(table.beatGrid(keys[2]));
  // The next run takes only what is left.
  EXPECT_EQ(a.start({}), 2);
  a.cancel();
  QEventLoop wait;
  QObject::connect(&a, &TempoAnalysis::finished, &wait, &QEventLoop::quit);
  wait.exec();
}

// A fake that finds 125 BPM in every file once `release` is set.
TempoAnalysis::Analyser waitingAnalyser(std::shared_ptr<std::atomic<bool>> release) {
  return [=](const QString&, const qdl::tempo::Range&, const qdl::tempo::CancelCheck& cancelled) {
    Result r;
    while (!release->load()) {
      if (cancelled()) {
        r.outcome = Outcome::Cancelled;
        return r;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.outcome = Outcome::Tempo;
    r.bpm = 125;
    return r;
  };
}

TEST_F(Library, RecordsChangedWhileTheirFilesAreAnalysedKeepWhatTheyHave) {
  QStringList files;
  for (int i = 0; i < 5; ++i) {
    files << cwd.file(QStringLiteral("music/%1.mp3").arg(i));
    writeFile(files.last(), "x");
  }
  const qint64 typedMeanwhile = add(files[0]);
  const qint64 deleted = add(files[1]);
  const qint64 moved = add(files[2]);
  const qint64 typing = add(files[3]);
  const qint64 untouched = add(files[4]);

  TempoAnalysis a(table);
  auto release = std::make_shared<std::atomic<bool>>(false);
  a.analyser = waitingAnalyser(release);
  ASSERT_EQ(a.start({}), 5);

  ASSERT_TRUE(table.moveToId(typedMeanwhile));
  table.setFieldValue("Beats", 99);
  table.post();
  ASSERT_TRUE(table.moveToId(deleted));
  table.deleteRecord();
  ASSERT_TRUE(table.moveToId(moved));
  table.setFieldValue("DateiName", cwd.file("music/other.mp3"));
  table.post();
  // The user is typing a Beats into this record when its result comes.
  ASSERT_TRUE(table.moveToId(typing));
  table.setFieldValue("Beats", 101);

  release->store(true);
  QEventLoop loop;
  QObject::connect(&a, &TempoAnalysis::finished, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(a.counts().skipped, 4);
  EXPECT_EQ(a.counts().tempo, 1);
  EXPECT_EQ(table.fieldByName("Beats").toInt(), 101);  // still being typed
  table.post();
  EXPECT_EQ(beats(typing).toInt(), 101);
  EXPECT_FALSE(analysed(typing).toBool());
  EXPECT_EQ(beats(typedMeanwhile).toInt(), 99);
  EXPECT_FALSE(analysed(typedMeanwhile).toBool());
  EXPECT_FALSE(table.storedValue(deleted, "Beats"));
  EXPECT_FALSE(beats(moved).isValid());
  EXPECT_FALSE(analysed(moved).toBool());
  EXPECT_EQ(beats(untouched).toInt(), 125);
  EXPECT_TRUE(analysed(untouched).toBool());
}

TEST(TempoRange, ComesFromTheSettingsFileAndBrokenValuesNameTheirPlace) {
  qdl::test::TempCwd cwd;
  struct Case {
    const char* ini;
    int min, max;
    const char* error;  // a part of the message, or nullptr
  } cases[] = {
      {"", 70, 180, nullptr},
      {"[Tempo]\r\nMinBPM=85\r\nMaxBPM=170\r\n", 85, 170, nullptr},
      {"[tempo]\r\nmaxbpm= 200 \r\n", 70, 200, nullptr},
      {"[Tempo]\r\nMinBPM=50\r\nMaxBPM=100\r\n", 50, 100, nullptr},  // one octave
      // Narrower than an octave: not every tempo has a fold inside.
      {"[Tempo]\r\nMinBPM=125\r\nMaxBPM=126\r\n", 0, 0,
       "[Tempo] MaxBPM (126) is less than twice [Tempo] MinBPM (125)"},
      {"[Tempo]\r\nMinBPM=85\r\nMaxBPM=169\r\n", 0, 0,
       "[Tempo] MaxBPM (169) is less than twice [Tempo] MinBPM (85)"},
      {"[Tempo]\r\nMinBPM=100\r\n", 0, 0,
       "[Tempo] MaxBPM (180) is less than twice [Tempo] MinBPM (100)"},
      {"[Tempo]\r\nMinBPM=schnell\r\n", 0, 0,
       "'schnell' is not a valid integer value for [Tempo] MinBPM"},
      {"[Tempo]\r\nMaxBPM=500\r\n", 0, 0,
       "'500' is not a tempo from 30 to 300 BPM for [Tempo] MaxBPM"},
      {"[Tempo]\r\nMinBPM=20\r\n", 0, 0, "[Tempo] MinBPM"},
      {"[Tempo]\r\nMinBPM=180\r\nMaxBPM=90\r\n", 0, 0,
       "[Tempo] MinBPM (180) is above [Tempo] MaxBPM (90)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    writeFile(cwd.file("qdl.ini"), c.ini);
    try {
      const qdl::tempo::Range r = qdl::library::tempoRangeSetting(qdl::openSettings());
      EXPECT_EQ(c.error, nullptr);
      EXPECT_EQ(r.minBpm, c.min);
      EXPECT_EQ(r.maxBpm, c.max);
    } catch (const qdl::ConversionError& e) {
      ASSERT_NE(c.error, nullptr) << e.what();
      const QString message = QString::fromUtf8(e.what());
      EXPECT_TRUE(message.contains(c.error)) << e.what();
      EXPECT_TRUE(message.contains(QDir::toNativeSeparators(cwd.file("qdl.ini")))) << e.what();
    }
  }
}

// ---- End to end: real songs, the real analysis, the real table ------------------

qdl::test::BeatSong beatSong(qdl::test::BeatStyle style, double bpm, unsigned seed) {
  qdl::test::BeatSong s;
  s.style = style;
  s.bpm = bpm;
  s.seconds = 30;
  s.seed = seed;
  return s;
}

TEST_F(Library, GeneratedSongsAreAnalysedIntoTheLibraryAndNoFileChanges) {
  using qdl::test::BeatStyle;
  struct Song {
    qdl::test::BeatSong song;
    int bpm;  // expected; 0 no tempo
  };
  qdl::test::BeatSong house = beatSong(BeatStyle::House, 124, 201);
  house.introSeconds = 5;
  const Song songs[] = {
      {house, 124},
      {beatSong(BeatStyle::HipHop, 91.5, 202), 92},
      {beatSong(BeatStyle::DrumAndBass, 174, 203), 174},
  };
  const QString music = cwd.file("music/");
  QDir().mkpath(music);
  QList<std::pair<qint64, int>> expected;
  for (const Song& s : songs) {
    const QString path = music + s.song.name();
    const QString error = qdl::test::makeBeatSong(s.song, path);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    data.AddSongFile(path);
    expected << std::pair{table.currentId(), s.bpm};
  }
  // Silence and a steady tone: analysed, no tempo.
  for (const QStringList& effects :
       {QStringList{"trim", "0", "15"}, QStringList{"synth", "15", "sine", "440", "vol", "0.5"}}) {
    const QString wav = cwd.file("tone.wav");
    const QString mp3 = music + effects.first() + ".mp3";
    ASSERT_EQ(
        QProcess::execute(
            "sox", QStringList{"-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav} + effects),
        0);
    ASSERT_EQ(QProcess::execute("lame", {"--quiet", "-b", "128", wav, mp3}), 0);
    data.AddSongFile(mp3);
    expected << std::pair{table.currentId(), 0};
  }
  std::map<QString, QByteArray> before;
  for (const QString& f : QDir(music).entryList(QDir::Files)) before[f] = bytesOf(music + f);
  // The tag write-back is on, as while the editor is open: the analysis's
  // stores must not reach it.
  data.editorVisible = [] { return true; };

  TempoAnalysis a(table);
  run(a);
  EXPECT_EQ(a.counts().toAnalyse, 5);
  EXPECT_EQ(a.counts().tempo, 3);
  EXPECT_EQ(a.counts().noTempo, 2);
  for (const auto& [key, bpm] : expected) {
    SCOPED_TRACE(table.storedValue(key, "DateiName")->toString().toStdString());
    EXPECT_TRUE(analysed(key).toBool());
    const auto analysis = data.songAnalysis(key);
    if (bpm == 0) {
      EXPECT_FALSE(beats(key).isValid());
      EXPECT_FALSE(analysis);
    } else {
      EXPECT_NEAR(beats(key).toInt(), bpm, 1);
      ASSERT_TRUE(analysis);
      EXPECT_EQ(std::lround(analysis->tempo), beats(key).toInt());
      // The beats of a 30-second song, in order.
      EXPECT_GT(analysis->beats.size(), std::size_t(30 * 70 / 60 / 2));
      EXPECT_TRUE(std::is_sorted(analysis->beats.begin(), analysis->beats.end()));
      EXPECT_LE(analysis->beats.back(), 30.5f);
    }
  }
  for (const auto& [name, bytes] : before)
    EXPECT_TRUE(bytesOf(music + name) == bytes) << name.toStdString() << " was changed";
}

}  // namespace
