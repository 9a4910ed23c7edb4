#include "library/TempoAnalysis.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "library/SongLoudness.h"
#include "platform/analysis/Overview.h"
#include "platform/db/Table.h"
#include "platform/fs/Folders.h"
#include "platform/ini/IniFile.h"
#include "platform/tempo/BeatGrid.h"

namespace qdl::library {
namespace {

const QString kDateiName = QStringLiteral("DateiName");
const QString kBeats = QStringLiteral("Beats");
const QString kAnalyse = QStringLiteral("Analyse");

constexpr int kLowestBpm = 30;
constexpr int kHighestBpm = 300;
// The worker's nice value where the idle class cannot be had.
constexpr int kWorkerNice = 10;

bool sameBeats(const QVariant& a, const QVariant& b) {
  if (!a.isValid() || a.isNull() || !b.isValid() || b.isNull())
    return (!a.isValid() || a.isNull()) && (!b.isValid() || b.isNull());
  return a.toInt() == b.toInt();
}

int tempoSetting(const IniFile& settings, const char* key, int def) {
  const QString section = QString::fromLatin1(kTempoSection);
  const QString name = QString::fromLatin1(key);
  const int value = settings.readInteger(section, name, def);
  if (value < kLowestBpm || value > kHighestBpm)
    throw ConversionError(
        QStringLiteral("'%1' is not a tempo from %2 to %3 BPM for [%4] %5 in the settings file %6")
            .arg(settings.readString(section, name, QString()))
            .arg(kLowestBpm)
            .arg(kHighestBpm)
            .arg(section, name, QDir::toNativeSeparators(settings.fileName()))
            .toStdString());
  return value;
}

// Runs `write` in one batch of the table: all of it is stored or none.
template <typename Write>
void inOneBatch(db::Table& table, Write write) {
  table.beginBatch();
  try {
    write();
  } catch (...) {
    try {
      table.endBatch();
    } catch (const db::DbError&) {
      // The first failure is the one to tell.
    }
    throw;
  }
  table.endBatch();
}

// Values are written Analyse first: should the second write fail outside a
// transaction, the record reads "analysed, no tempo" (done again by a redo),
// never as a Beats the user typed. The exact tempo and the beat times go
// into the analysis table in the same transaction; no tempo removes them.
// The loudness, when given, goes into the same transaction.
void writeResult(db::Table& table, qint64 key, bool setBeats, const QVariant& beats,
                 const db::Table::Analysis* analysis = nullptr,
                 const std::optional<loudness::Level>* level = nullptr) {
  inOneBatch(table, [&] {
    table.setStoredValue(key, kAnalyse, true);
    if (setBeats) table.setStoredValue(key, kBeats, beats);
    if (analysis)
      table.setAnalysis(key, *analysis);
    else if (setBeats)
      table.removeAnalysis(key);
    if (level) storeMeasuredLoudness(table, key, *level);
  });
}

// What a record holds when the analysis found no grid for it (grid readers
// take a tempo of 0 as none).
constexpr db::Table::BeatGrid kNoGrid{0, 0};

// A song's grid, or the mark that it has none (a tempo whose beats place no
// grid), so that later runs do not decode it for one again.
void writeGrid(db::Table& table, qint64 key, const tempo::BeatGrid& grid) {
  if (grid.valid())
    table.setBeatGrid(key, {grid.firstBeat, grid.bpm});
  else
    table.setBeatGrid(key, kNoGrid);
}

void lowerWorkerPriority() {
  // The idle class runs the calling thread only on a core nobody else wants,
  // and any other thread that wakes takes the core at once: the
  // user-interface thread, which refills the decks, never waits for the
  // analysis. Linux gives each thread its own policy and nice value.
#ifdef SCHED_IDLE
  sched_param idle{};
  idle.sched_priority = 0;
  if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle) == 0) return;
#endif
  setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
}

}  // namespace

QString tempoSummaryText(const TempoCounts& c) {
  QString s = QStringLiteral(
                  "records to analyse: %1\ntempo found: %2\nno tempo: %3\nunreadable: %4\n"
                  "not reachable: %5\n")
                  .arg(c.toAnalyse)
                  .arg(c.tempo)
                  .arg(c.noTempo)
                  .arg(c.unreadable)
                  .arg(c.notReachable);
  s += QStringLiteral("grids added: %1\n").arg(c.grids);
  if (c.gridDisagrees > 0)
    s += QStringLiteral("typed tempo disagrees with the measured one, no grid: %1\n")
             .arg(c.gridDisagrees);
  if (c.skipped > 0) s += QStringLiteral("changed meanwhile: %1\n").arg(c.skipped);
  if (c.loudnessOnly > 0) s += QStringLiteral("loudness only: %1\n").arg(c.loudnessOnly);
  return s;
}

tempo::Range tempoRangeSetting(const IniFile& settings) {
  tempo::Range range;
  range.minBpm = tempoSetting(settings, kTempoMinKey, range.minBpm);
  range.maxBpm = tempoSetting(settings, kTempoMaxKey, range.maxBpm);
  if (range.minBpm > range.maxBpm)
    throw ConversionError(
        QStringLiteral("[%1] %2 (%3) is above [%1] %4 (%5) in the settings file %6")
            .arg(QString::fromLatin1(kTempoSection), QString::fromLatin1(kTempoMinKey))
            .arg(range.minBpm)
            .arg(QString::fromLatin1(kTempoMaxKey))
            .arg(range.maxBpm)
            .arg(QDir::toNativeSeparators(settings.fileName()))
            .toStdString());
  // Every tempo has a fold (a doubling or halving) inside a range at least
  // an octave wide; a narrower one would store some songs at a tempo
  // outside the range the user set.
  if (range.maxBpm < 2 * range.minBpm)
    throw ConversionError(
        QStringLiteral("[%1] %2 (%3) is less than twice [%1] %4 (%5) in the settings file %6: "
                       "a range narrower than an octave cannot hold every tempo")
            .arg(QString::fromLatin1(kTempoSection), QString::fromLatin1(kTempoMaxKey))
            .arg(range.maxBpm)
            .arg(QString::fromLatin1(kTempoMinKey))
            .arg(range.minBpm)
            .arg(QDir::toNativeSeparators(settings.fileName()))
            .toStdString());
  return range;
}

TempoAnalysis::TempoAnalysis(db::Table& table, QObject* parent)
    : QObject(parent),
      analyser([this](const QString& path, const tempo::Range& range,
                      const tempo::CancelCheck& cancelled) {
        return tempo::analyseFile(QFile::encodeName(path).toStdString(), range, cancelled, sinks_);
      }),
      table_(table) {}

TempoAnalysis::~TempoAnalysis() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

int TempoAnalysis::start(const tempo::Range& range, bool redo) {
  if (running_) return counts_.total();
  if (table_.isOpen() && table_.isReadOnly())
    throw db::ReadOnlyError(
        QStringLiteral("The library %1 cannot be written (a read-only medium or folder).")
            .arg(QDir::toNativeSeparators(table_.filePath())));
  std::vector<Job> jobs;
  table_.forEachStored({kDateiName, kBeats, kAnalyse}, [&](qint64 key, const QVariantList& v) {
    const QString path = v[0].toString();
    if (path.isEmpty()) return;
    const bool hasBeats = v[1].isValid();
    const bool analysed = v[2].toBool();
    Job job;
    job.key = key;
    job.path = path;
    if (!((!hasBeats && !analysed) || (redo && analysed))) {
      job.tempo = false;
      job.grid = hasBeats && (analysed || v[1].toInt() > 0);
      job.beats = v[1];
      job.typed = !analysed;
    }
    jobs.push_back(std::move(job));
  });
  // What the records whose tempo is done still want: a grid when they have
  // none, a loudness when none was measured. Read after the walk, which
  // holds its own statement open. The file is decoded even where the
  // analysis table holds the tracker's beats: the tracker often locks onto
  // the off-beats (an off-beat bass, open hats), which only the song's
  // onsets tell from the beat, and a grid half a beat off is worse than
  // none.
  int gridJobs = 0;
  std::erase_if(jobs, [&](Job& job) {
    if (job.tempo) return false;
    if (job.grid && table_.beatGrid(job.key)) job.grid = false;
    job.loudness = loudnessToMeasure(table_, job.key);
    if (!job.grid && !job.loudness) return true;
    gridJobs += job.grid;
    return false;
  });
  counts_ = TempoCounts{};
  counts_.toAnalyse = int(jobs.size()) - gridJobs;
  counts_.gridToFind = gridJobs;
  lastFile_.clear();
  lastBpm_ = 0;
  error_.clear();
  redo_ = redo;
  stop_ = false;
  if (jobs.empty()) return 0;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread(
      [this, jobs = std::move(jobs), range]() mutable { work(std::move(jobs), range); });
  return counts_.total();
}

void TempoAnalysis::cancel() { stop_ = true; }

// ---- The worker thread -------------------------------------------------------

void TempoAnalysis::work(std::vector<Job> jobs, tempo::Range range) {
  lowerWorkerPriority();
  for (const Job& job : jobs) {
    if (stop_) break;
    Measured measured;
    const Found found = job.grid ? findGrid(job, range, measured) : analyse(job, range, measured);
    if (found == Found::Cancelled) break;
    QMetaObject::invokeMethod(
        this, [this, job, found, measured = std::move(measured)] { store(job, found, measured); },
        Qt::QueuedConnection);
  }
  QMetaObject::invokeMethod(
      this, [this] { workerEnded(); }, Qt::QueuedConnection);
}

TempoAnalysis::Found TempoAnalysis::analyse(const Job& job, const tempo::Range& range,
                                            Measured& measured) {
  loudness::Meter meter;
  analysis::OverviewBuilder overview;
  sinks_ = {&meter, &overview};
  const tempo::Result r = analyser(job.path, range, [this] { return stop_.load(); });
  sinks_.clear();
  if (r.outcome == tempo::Outcome::Cancelled) return Found::Cancelled;
  measured.level = meter.level();
  // A stick pulled out during the analysis leaves a result of half a file.
  const bool there = fs::fileState(job.path) == fs::FileState::Present;
  if (r.outcome == tempo::Outcome::Tempo || r.outcome == tempo::Outcome::NoTempo) {
    const analysis::Overview shape = overview.result();
    if (!shape.empty()) measured.overview = analysis::encode(shape);
  }
  switch (r.outcome) {
    case tempo::Outcome::Tempo:
      measured.bpm = r.bpm;
      measured.exactBpm = r.exactBpm;
      measured.beats.assign(r.beats.begin(), r.beats.end());
      measured.grid = r.grid;
      return there ? Found::Tempo : Found::NotThere;
    case tempo::Outcome::NoTempo:
      return there ? Found::NoTempo : Found::NotThere;
    default:
      // The file is there and can be read, yet is no MP3 audio.
      return there && QFileInfo(job.path).isReadable() ? Found::NotMpeg : Found::NotThere;
  }
}

TempoAnalysis::Found TempoAnalysis::findGrid(const Job& job, const tempo::Range& range,
                                             Measured& measured) {
  const Found found = analyse(job, range, measured);
  if (found != Found::Tempo) return found;
  // The grid keeps the record's tempo: the measured one folded to its
  // octave (also one outside the range), none where the two disagree.
  if (measured.grid.valid()) {
    const std::optional<double> bpm = tempo::foldTempo(measured.grid.bpm, job.beats.toInt());
    if (!bpm) return Found::Disagrees;
    measured.grid = tempo::withTempo(measured.grid, *bpm);
  }
  return found;
}

// ---- Back on the user-interface thread ----------------------------------------

bool TempoAnalysis::mayStore(const Job& job, bool& analysed) {
  const std::optional<QVariant> file = table_.storedValue(job.key, kDateiName);
  if (!file || file->toString() != job.path) return false;
  const QVariant beats = *table_.storedValue(job.key, kBeats);
  analysed = table_.storedValue(job.key, kAnalyse)->toBool();
  const bool stillToDo = (!beats.isValid() && !analysed) || (redo_ && analysed);
  if (!stillToDo) return false;
  // A Beats being typed into this record wins over the analysis.
  const bool typing = table_.state() == db::Table::State::Edit && table_.currentId() == job.key &&
                      !sameBeats(table_.fieldByName(kBeats), beats);
  return !typing;
}

bool TempoAnalysis::mayStoreGrid(const Job& job) {
  const std::optional<QVariant> file = table_.storedValue(job.key, kDateiName);
  if (!file || file->toString() != job.path) return false;
  const QVariant beats = *table_.storedValue(job.key, kBeats);
  const bool analysed = table_.storedValue(job.key, kAnalyse)->toBool();
  // The grid belongs to the tempo it was found for: a Beats typed, cleared or
  // analysed meanwhile makes it a grid of another song or tempo.
  if (!sameBeats(beats, job.beats) || analysed == job.typed) return false;
  if (table_.beatGrid(job.key)) return false;
  const bool typing = table_.state() == db::Table::State::Edit && table_.currentId() == job.key &&
                      !sameBeats(table_.fieldByName(kBeats), beats);
  return !typing;
}

// The overview of a song decoded whole goes with what else was stored of it.
void TempoAnalysis::storeOverview(const Job& job, const Measured& measured) {
  if (!measured.overview.isEmpty()) table_.setOverview(job.key, measured.overview);
}

void TempoAnalysis::storeSide(const Job& job, Found found, const Measured& measured) {
  if (job.grid)
    ++counts_.gridDone;
  else
    ++counts_.done;
  lastFile_ = job.path;
  lastBpm_ = 0;
  try {
    if (found == Found::NotThere) {
      ++counts_.notReachable;
    } else {
      bool grid = false;
      bool gridRefused = false;
      bool loud = false;
      inOneBatch(table_, [&] {
        if (job.grid && found == Found::Tempo && measured.grid.valid()) {
          if (mayStoreGrid(job)) {
            writeGrid(table_, job.key, measured.grid);
            grid = true;
          } else {
            gridRefused = true;
          }
        } else if (job.grid && found != Found::Cancelled && mayStoreGrid(job)) {
          // No grid in this song (no steady beat, another tempo than the
          // typed one, no audio): marked, so later runs do not decode it
          // for a grid again.
          table_.setBeatGrid(job.key, kNoGrid);
        }
        if (job.loudness) loud = storeLoudness(job, found, measured);
        if (grid || loud) storeOverview(job, measured);
      });
      if (found == Found::Disagrees && job.grid) ++counts_.gridDisagrees;
      if (grid) ++counts_.grids;
      if (loud) ++counts_.loudnessOnly;
      if (gridRefused || (!job.grid && !loud)) ++counts_.skipped;
    }
  } catch (const db::DbError& e) {
    if (job.grid)
      --counts_.gridDone;
    else
      --counts_.done;
    error_ = e.message();
    stop_ = true;
  }
  emit resultHandled();
}

void TempoAnalysis::store(const Job& job, Found found, const Measured& measured) {
  if (!error_.isEmpty()) return;  // the run has failed: nothing more is stored
  if (!job.tempo) return storeSide(job, found, measured);
  ++counts_.done;
  lastFile_ = job.path;
  lastBpm_ = 0;
  try {
    bool analysed = false;
    const std::optional<loudness::Level> silent;
    if (found == Found::NotThere) {
      ++counts_.notReachable;
    } else if (!mayStore(job, analysed)) {
      // The tempo is the user's now; what the song measured still holds.
      inOneBatch(table_, [&] {
        if (storeLoudness(job, found, measured)) storeOverview(job, measured);
      });
      ++counts_.skipped;
    } else if (found == Found::Tempo) {
      const db::Table::Analysis analysis{measured.exactBpm, measured.beats};
      inOneBatch(table_, [&] {
        writeResult(table_, job.key, true, measured.bpm, &analysis, &measured.level);
        writeGrid(table_, job.key, measured.grid);
        storeOverview(job, measured);
      });
      lastBpm_ = measured.bpm;
      ++counts_.tempo;
      counts_.grids += measured.grid.valid();
    } else if (found == Found::NoTempo) {
      inOneBatch(table_, [&] {
        writeResult(table_, job.key, true, QVariant(), nullptr, &measured.level);
        table_.removeBeatGrid(job.key);  // no tempo, no grid
        storeOverview(job, measured);
      });
      ++counts_.noTempo;
    } else {
      if (!analysed)
        writeResult(table_, job.key, false, QVariant(), nullptr, &silent);
      else
        storeMeasuredLoudness(table_, job.key, silent);
      ++counts_.unreadable;
    }
  } catch (const db::DbError& e) {
    --counts_.done;
    error_ = e.message();
    stop_ = true;
  }
  emit resultHandled();
}

bool TempoAnalysis::storeLoudness(const Job& job, Found found, const Measured& measured) {
  const std::optional<QVariant> file = table_.storedValue(job.key, kDateiName);
  if (!file || file->toString() != job.path) return false;
  if (!loudnessToMeasure(table_, job.key)) return false;
  storeMeasuredLoudness(table_, job.key, found == Found::NotMpeg ? std::nullopt : measured.level);
  return true;
}

void TempoAnalysis::workerEnded() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  emit finished();
}

}  // namespace qdl::library
