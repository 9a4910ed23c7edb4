// Check and scan speed on a generated tree of 20,000 MP3 files (tagged,
// 1.1 KiB each) in 2,000 folders, with a warm file cache, against a real
// song table:
//   BareWalk          walking the tree the scan's way, no table, no tags
//   BareWalkAndTags   the same plus reading every file's ID3v1 block
//   FirstScan         scan into an empty library (every file added)
//   Rescan            scan again (every file already present)
//   Retag             tags of 20,000 records read again (every record
//                     changes: the library held file names)
//   ...V2             the same on a tree of 20,000 files with ID3v2 tags
//                     only (2.3 and 2.4 in turn), every fourth with 300 KB
//                     of cover art, beside the ID3v1 tree in the same run
//   Check100k         check of 100,000 records whose files all exist
//   BareStat100k      testing the 100,000 files, no table
//   WindowScanTimer   the scan run from the check and scan window with a
//                     10 ms timer running, as the decks' refill timers do;
//                     reports the largest gap between two timer ticks
// Counter "items_per_second" is files (or records) per second.
// The trees live in $QDL_BENCH_DIR or the temporary folder and are removed
// at the end.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>
#include <memory>

#include "../tests/scan/ScanTree.h"
#include "Figures.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/fs/Folders.h"
#include "platform/ui/RadioGroup.h"

namespace {

constexpr int kFolders = 2000;
constexpr int kFilesPerFolder = 10;
constexpr int kFiles = kFolders * kFilesPerFolder;
constexpr int kCheckRecords = 100000;

struct Trees {
  QTemporaryDir dir{qEnvironmentVariable("QDL_BENCH_DIR", QDir::tempPath()) +
                    QStringLiteral("/qdl-scan-XXXXXX")};
  QString songs;    // the 20,000 tagged files
  QString songsV2;  // the 20,000 files with ID3v2 tags
  QString present;  // 100,000 empty files for the check
  Trees() {
    songs = dir.filePath(QStringLiteral("songs"));
    present = dir.filePath(QStringLiteral("present"));
    qdl::test::writeTree(songs, kFolders, kFilesPerFolder);
    songsV2 = dir.filePath(QStringLiteral("songsv2"));
    qdl::test::writeTreeV2(songsV2, kFolders, kFilesPerFolder, 4, 300 * 1000);
  }
  QStringList presentFiles() {
    static QStringList files;
    if (!files.isEmpty()) return files;
    for (int i = 0; i < kCheckRecords; ++i) {
      const QString folder = QStringLiteral("%1/%2").arg(present).arg(i / 100);
      if (i % 100 == 0) QDir().mkpath(folder);
      const QString path = QStringLiteral("%1/%2.mp3").arg(folder).arg(i);
      QFile f(path);
      f.open(QIODevice::WriteOnly);
      files << path;
    }
    return files;
  }
};

Trees& trees() {
  static Trees t;
  return t;
}

// A song library in a fresh folder.
struct Library {
  QTemporaryDir dir;
  TDataModule1 data;
  Library() {
    data.Table1->setDatabaseName(dir.path());
    data.Table1->setTableName(QStringLiteral("data.db"));
    data.CreateSongTable();
    data.Table1->setIndexName(QStringLiteral("iDateiname"));
  }
};

// The walk in the scan's order, with an action per file.
template <typename F>
void walk(const QString& folder, F&& perFile) {
  std::vector<qdl::fs::FolderEntry> entries;
  QStringList names;
  qdl::fs::listFolder(folder, qdl::fs::Hidden::Skip, entries);
  for (const auto& e : entries) {
    if (e.kind != qdl::fs::EntryKind::Folder) continue;
    const QString sub = folder + e.name + QLatin1Char('/');
    walk(sub, perFile);
    qdl::fs::findFiles(sub, ".mp3", qdl::fs::Hidden::Include, names);
    for (const QString& n : names) perFile(sub + n);
  }
}

void BareWalk(benchmark::State& state) {
  const QString root = trees().songs + QLatin1Char('/');
  int files = 0;
  for (auto _ : state) {
    files = 0;
    walk(root, [&](const QString&) { ++files; });
  }
  state.SetItemsProcessed(state.iterations() * files);
}

void BareWalkAndTags(benchmark::State& state) {
  const QString root = trees().songs + QLatin1Char('/');
  int tags = 0;
  for (auto _ : state) {
    tags = 0;
    walk(root,
         [&](const QString& path) { tags += qdl::id3::hasTag(qdl::id3::readBlock(path)) ? 1 : 0; });
  }
  state.SetItemsProcessed(state.iterations() * tags);
}

// The tree of a benchmark: 0 the ID3v1 tree, 1 the ID3v2 tree.
QString treeRoot(const benchmark::State& state) {
  return (state.range(0) == 0 ? trees().songs : trees().songsV2) + QLatin1Char('/');
}
const char* treeName(const benchmark::State& state) {
  return state.range(0) == 0 ? "ID3v1 tree" : "ID3v2 tree (2.3/2.4, cover art in every 4th)";
}

void FirstScan(benchmark::State& state) {
  const QString root = treeRoot(state);
  int added = 0;
  qdl::bench::Samples seconds;
  for (auto _ : state) {
    state.PauseTiming();
    auto library = std::make_unique<Library>();
    qdl::library::SongScanner scanner(library->data);
    state.ResumeTiming();
    const double t0 = qdl::bench::wallSeconds();
    scanner.scanRoot(root);
    seconds.add(qdl::bench::wallSeconds() - t0);
    added = scanner.counts().added;
    state.PauseTiming();
    library.reset();
    state.ResumeTiming();
  }
  if (added != kFiles) state.SkipWithError("not every file was added");
  state.SetItemsProcessed(state.iterations() * added);
  qdl::bench::figure(QStringLiteral("Scan: first scan of 20,000 files, %1, median")
                         .arg(QLatin1String(treeName(state)))
                         .toStdString(),
                     added / seconds.median(), "files/s", qdl::bench::atLeast(10000));
}

void Rescan(benchmark::State& state) {
  const QString root = treeRoot(state);
  Library library;
  {
    qdl::library::SongScanner first(library.data);
    first.scanRoot(root);
  }
  int present = 0;
  qdl::bench::Samples seconds;
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    qdl::library::SongScanner scanner(library.data);
    scanner.scanRoot(root);
    seconds.add(qdl::bench::wallSeconds() - t0);
    present = scanner.counts().alreadyPresent;
  }
  if (present != kFiles) state.SkipWithError("files were not seen as present");
  state.SetItemsProcessed(state.iterations() * present);
  qdl::bench::figure(QStringLiteral("Scan: rescan of 20,000 files already present, %1, median")
                         .arg(QLatin1String(treeName(state)))
                         .toStdString(),
                     present / seconds.median(), "files/s", qdl::bench::atLeast(40000));
}

// Tags read again into a library whose 20,000 records hold only their file
// names (as a scan before ID3v2 made them): every record changes.
void Retag(benchmark::State& state) {
  const QString root = treeRoot(state);
  QStringList paths;
  walk(root, [&](const QString& path) { paths << path; });
  int read = 0, changed = 0;
  qdl::bench::Samples seconds;
  for (auto _ : state) {
    state.PauseTiming();
    auto library = std::make_unique<Library>();
    qdl::db::Table& table = *library->data.Table1;
    table.beginBatch();
    for (const QString& p : std::as_const(paths))
      table.insertRecord({QVariant(), QFileInfo(p).completeBaseName(), QString(), QString(),
                          QString(), QString(), p, QString(), 0, QString(), false});
    table.endBatch();
    qdl::library::SongScanner scanner(library->data);
    state.ResumeTiming();
    const double t0 = qdl::bench::wallSeconds();
    scanner.retagRoot(root);
    seconds.add(qdl::bench::wallSeconds() - t0);
    read = scanner.counts().tagsRead;
    changed = scanner.counts().retagged;
    state.PauseTiming();
    library.reset();
    state.ResumeTiming();
  }
  if (read != kFiles || changed != kFiles) state.SkipWithError("not every record was retagged");
  state.SetItemsProcessed(state.iterations() * read);
  qdl::bench::figure(QStringLiteral("Scan: --retag of 20,000 records, %1, median")
                         .arg(QLatin1String(treeName(state)))
                         .toStdString(),
                     read / seconds.median(), "records/s", qdl::bench::atLeast(5000));
}

// Reading the tags alone: ID3v1 block and ID3v2 tag of every file, no table.
void BareWalkAndBothTags(benchmark::State& state) {
  const QString root = treeRoot(state);
  int tagged = 0;
  for (auto _ : state) {
    tagged = 0;
    walk(root, [&](const QString& path) {
      tagged += TDataModule1::songTags(path).interpret.isEmpty() ? 0 : 1;
    });
  }
  state.SetItemsProcessed(state.iterations() * tagged);
}

void Check100k(benchmark::State& state) {
  const QStringList files = trees().presentFiles();
  Library library;
  qdl::db::Table& table = *library.data.Table1;
  table.beginBatch();
  for (const QString& f : files)
    table.insertRecord({QVariant(), QStringLiteral("A"), QStringLiteral("T"), QString(), QString(),
                        QString(), f, QString(), 0, QString(), false});
  table.endBatch();
  int checked = 0;
  qdl::bench::Samples seconds;
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    qdl::library::SongScanner scanner(library.data);
    scanner.checkDatabase();
    seconds.add(qdl::bench::wallSeconds() - t0);
    checked = scanner.counts().checked;
    if (scanner.counts().removed != 0) state.SkipWithError("a present file was removed");
  }
  state.SetItemsProcessed(state.iterations() * checked);
  qdl::bench::figure("Check: 100,000 records whose files are there, median", seconds.median(), "s",
                     qdl::bench::below(3));
}

// The bare cost of a check: one file test per record, no table.
void BareStat100k(benchmark::State& state) {
  const QStringList files = trees().presentFiles();
  int missing = 0;
  for (auto _ : state)
    for (const QString& f : files) missing += qdl::fs::isFileMissing(f) ? 1 : 0;
  if (missing != 0) state.SkipWithError("files missing");
  state.SetItemsProcessed(state.iterations() * files.size());
}

void WindowScanTimer(benchmark::State& state) {
  const QString root = trees().songs;
  double worstGap = 0;
  double worstCpuGap = 0;
  int ticks = 0;
  auto cpuMs = [] {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
  };
  for (auto _ : state) {
    state.PauseTiming();
    auto library = std::make_unique<Library>();
    DataModule1 = &library->data;
    FormProgress = new TFormProgress;
    FormScan = new TFormScan;
    FormScan->volumeSource = [&] {
      return QList<qdl::fs::Volume>{{root, "/dev/bench", "ext4", qdl::fs::VolumeKind::Fixed}};
    };
    FormScan->mountPointSource = [] { return QStringList{}; };
    FormScan->show();
    FormScan->RGBedingung->setItemIndex(2);
    QElapsedTimer sinceTick;
    double lastCpu = 0;
    QTimer deck;
    deck.setInterval(10);
    QObject::connect(&deck, &QTimer::timeout, [&] {
      const double cpu = cpuMs();
      if (sinceTick.isValid() && FormScan->scanner()) {
        worstGap = std::max(worstGap, sinceTick.nsecsElapsed() / 1e6);
        worstCpuGap = std::max(worstCpuGap, cpu - lastCpu);
      }
      sinceTick.start();
      lastCpu = cpu;
      ++ticks;
    });
    deck.start();
    state.ResumeTiming();
    FormScan->btStart->click();
    state.PauseTiming();
    deck.stop();
    if (library->data.Table1->recordCount() != kFiles) state.SkipWithError("scan incomplete");
    delete FormScan;
    delete FormProgress;
    FormScan = nullptr;
    FormProgress = nullptr;
    DataModule1 = nullptr;
    library.reset();
    state.ResumeTiming();
  }
  // The wall-clock gap includes time the process was not scheduled; the
  // CPU gap is the work done on the thread between two ticks.
  state.counters["max_timer_gap_ms"] = worstGap;
  state.counters["max_timer_cpu_gap_ms"] = worstCpuGap;
  state.counters["timer_ticks"] = benchmark::Counter(ticks, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kFiles);
  qdl::bench::figure("Scan in the window: largest gap between 10 ms timer ticks", worstGap, "ms");
}

BENCHMARK(BareWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BareWalkAndTags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BareWalkAndBothTags)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(0)->Arg(1);
BENCHMARK(FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Arg(0)->Arg(1);
BENCHMARK(Rescan)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(0)->Arg(1);
BENCHMARK(Retag)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Arg(0)->Arg(1);
BENCHMARK(Check100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BareStat100k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WindowScanTimer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
