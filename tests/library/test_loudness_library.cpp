// The loudness in the library: measured in the tempo analysis's pass and
// stored beside the record (songs of known level, made with sox and lame),
// records whose tempo is done taken for their loudness alone, silence and
// files without audio stored as measured without a loudness, ReplayGain
// rows replaced by a measurement and never the other way round, and a
// cancel that keeps what was measured.
#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "RunAnalysis.h"
#include "library/Datamod.h"
#include "library/SongLoudness.h"
#include "library/TempoAnalysis.h"
#include "platform/db/Table.h"
#include "support/LevelSongs.h"
#include "support/TempDir.h"

using qdl::library::songLoudness;
using qdl::library::TempoAnalysis;
using qdl::loudness::Level;

namespace {

class LoudnessLibrary : public ::testing::Test {
 protected:
  LoudnessLibrary() {
    table.setDatabaseName(cwd.file("Data"));
    table.setTableName("data.db");
    QDir().mkpath(cwd.file("Data"));
    data.CreateSongTable();
    QDir().mkpath(cwd.file("music"));
  }

  qint64 add(const QString& path, const QVariant& beats = {}, const QVariant& analyse = false) {
    table.insertRecord({QVariant(), QFileInfo(path).baseName(), "T", beats, "G", "2024", path,
                        QVariant(), 0, QVariant(), analyse});
    return table.currentId();
  }
  QString song(const char* name, double lufs) {
    const QString path = cwd.file(QStringLiteral("music/") + QLatin1String(name));
    qdl::test::LevelSong s;
    s.lufs = lufs;
    s.seconds = 6;
    EXPECT_EQ(qdl::test::makeLevelSong(s, path), QString());
    return path;
  }
  void run(TempoAnalysis& a) { qdl::test::runAnalysis(a); }

  qdl::test::TempCwd cwd;
  TDataModule1 data;
  qdl::db::Table& table = *data.Table1;
};

TEST_F(LoudnessLibrary, MeasuredInTheSamePassAndStoredBesideTheRecord) {
  struct Case {
    const char* file;
    double lufs;
    QVariant beats;  // typed: only the loudness is wanted
    qint64 key = -1;
  } cases[] = {
      {"quiet.mp3", -23, {}},
      {"reference.mp3", -14, {}},
      {"loud.mp3", -6, {}},
      {"typed.mp3", -14, 128},
  };
  for (Case& c : cases) c.key = add(song(c.file, c.lufs), c.beats);
  const qint64 silent = add(song("silent.mp3", -200));
  const QString textFile = cwd.file("music/text.mp3");
  {
    QFile f(textFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("no audio here, only text that looks nothing like MPEG frames\n");
  }
  const qint64 text = add(textFile);

  TempoAnalysis a(table);
  run(a);
  EXPECT_EQ(a.counts().total(), 6);
  EXPECT_EQ(a.counts().loudnessOnly, 1);
  EXPECT_TRUE(qdl::library::tempoSummaryText(a.counts()).endsWith("loudness only: 1\n"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto l = songLoudness(table, c.key);
    ASSERT_TRUE(l.has_value());
    EXPECT_FALSE(l->fromReplayGain);
    EXPECT_NEAR(l->level.integrated, c.lufs, 0.5);
    EXPECT_NEAR(l->level.truePeak, c.lufs, 0.5);
  }
  // A typed tempo stays the user's.
  EXPECT_EQ(table.storedValue(cases[3].key, "Beats")->toInt(), 128);
  EXPECT_FALSE(table.storedValue(cases[3].key, "Analyse")->toBool());
  // Silence and a file without audio have no loudness, yet count as done.
  EXPECT_FALSE(songLoudness(table, silent));
  EXPECT_FALSE(songLoudness(table, text));
  EXPECT_TRUE(table.loudness(silent).has_value());
  EXPECT_EQ(a.start({}), 0);
}

TEST_F(LoudnessLibrary, ReplayGainIsUsedUntilMeasuredAndNeverReplacesAMeasurement) {
  const qint64 tagged = add(song("tagged.mp3", -6), 120);
  // The tags say -18 - 4 = -22 LUFS (wrong, as tags of another master can be).
  ASSERT_TRUE(qdl::library::storeReplayGain(table, tagged, 4.0, 0.5));
  auto l = songLoudness(table, tagged);
  ASSERT_TRUE(l.has_value());
  EXPECT_TRUE(l->fromReplayGain);
  EXPECT_DOUBLE_EQ(l->level.integrated, -22);
  EXPECT_NEAR(l->level.truePeak, -6.02, 0.01);
  EXPECT_DOUBLE_EQ(*qdl::library::songGainDb(l, -14), 8);
  // A scan again replaces tags by tags.
  ASSERT_TRUE(qdl::library::storeReplayGain(table, tagged, 5.0, std::nullopt));
  l = songLoudness(table, tagged);
  EXPECT_DOUBLE_EQ(l->level.integrated, -23);
  EXPECT_DOUBLE_EQ(l->level.truePeak, 0);  // no peak tag: full scale assumed
  EXPECT_DOUBLE_EQ(*qdl::library::songGainDb(l, -14), 3);

  TempoAnalysis a(table);
  run(a);
  EXPECT_EQ(a.counts().loudnessOnly, 1);
  l = songLoudness(table, tagged);
  ASSERT_TRUE(l.has_value());
  EXPECT_FALSE(l->fromReplayGain);
  EXPECT_NEAR(l->level.integrated, -6, 0.5);
  // Tags read at the next scan leave the measurement alone.
  EXPECT_FALSE(qdl::library::storeReplayGain(table, tagged, 4.0, 0.5));
  EXPECT_NEAR(songLoudness(table, tagged)->level.integrated, -6, 0.5);
}

TEST_F(LoudnessLibrary, NonsenseReplayGainIsIgnored) {
  const qint64 key = add(cwd.file("music/x.mp3"));
  EXPECT_FALSE(qdl::library::storeReplayGain(table, key, NAN, 1.0));
  EXPECT_FALSE(qdl::library::storeReplayGain(table, key, 60, 1.0));
  EXPECT_FALSE(qdl::library::storeReplayGain(table, key, -3, 0.0));
  EXPECT_FALSE(qdl::library::storeReplayGain(table, key, -3, -1.0));
  EXPECT_FALSE(qdl::library::storeReplayGain(table, key + 100, -3, 1.0));
  EXPECT_FALSE(table.loudness(key).has_value());
  EXPECT_FALSE(qdl::library::songGainDb(songLoudness(table, key), -14));
}

// Feeds each file a second of a loud sine, then waits for `release` (or a
// cancel) before the second file.
TempoAnalysis::Analyser feedingAnalyser(TempoAnalysis& a,
                                        std::shared_ptr<std::atomic<bool>> release) {
  auto calls = std::make_shared<int>(0);
  return [&a, release, calls](const QString&, const qdl::tempo::Range&,
                              const qdl::tempo::CancelCheck& cancelled) {
    qdl::tempo::Result r;
    if ((*calls)++ > 0) {
      while (!release->load()) {
        if (cancelled()) {
          r.outcome = qdl::tempo::Outcome::Cancelled;
          return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    std::vector<std::int16_t> pcm(2 * 44100);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
      pcm[2 * i] = pcm[2 * i + 1] =
          std::int16_t(16384 * std::sin(2 * M_PI * 1000 * double(i) / 44100));  // -6 dBFS
    for (qdl::tempo::PcmSink* sink : a.sinks()) {
      sink->start(44100, 2);
      sink->add(pcm.data(), pcm.size() / 2);
    }
    r.outcome = qdl::tempo::Outcome::NoTempo;
    return r;
  };
}

TEST_F(LoudnessLibrary, CancelKeepsWhatWasMeasured) {
  QStringList files;
  for (const char* name : {"first.mp3", "second.mp3"}) {
    files << cwd.file(QStringLiteral("music/") + QLatin1String(name));
    QFile f(files.last());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  const qint64 first = add(files[0]);
  const qint64 second = add(files[1], 100);  // its loudness alone is wanted

  TempoAnalysis a(table);
  auto release = std::make_shared<std::atomic<bool>>(false);
  a.analyser = feedingAnalyser(a, release);
  ASSERT_EQ(a.start({}), 2);
  QEventLoop loop;
  QObject::connect(&a, &TempoAnalysis::resultHandled, &loop, [&] { a.cancel(); });
  QObject::connect(&a, &TempoAnalysis::finished, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_TRUE(a.cancelled());
  EXPECT_EQ(a.counts().done, 1);
  const auto l = songLoudness(table, first);
  ASSERT_TRUE(l.has_value());
  EXPECT_NEAR(l->level.integrated, -6, 0.5);
  EXPECT_FALSE(table.loudness(second).has_value());
  // The next run takes up what is left.
  release->store(true);
  a.analyser = feedingAnalyser(a, release);
  EXPECT_EQ(a.start({}), 1);
  QEventLoop again;
  QObject::connect(&a, &TempoAnalysis::finished, &again, &QEventLoop::quit);
  again.exec();
  EXPECT_TRUE(songLoudness(table, second).has_value());
  EXPECT_EQ(table.storedValue(second, "Beats")->toInt(), 100);
}

}  // namespace
