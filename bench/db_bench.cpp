// Figures of the song table with a generated library (100,000 songs unless
// QDL_BENCH_SONGS says otherwise):
//   open: opening the table ordered by artist and showing the song grid;
//   search: one nearest-key search per keystroke, cursor moved and the grid's
//           current row shown and repainted (median and 99th percentile);
//   order: switching the active order with the grid bound;
//   memory: resident memory of the open library beyond the bare program.
// The library is generated once into $QDL_BENCH_DIR (default
// /tmp/qdl-bench-db-<songs>) by a child process, so its memory does not count.
//
// Run: QT_QPA_PLATFORM=offscreen ./bench_db
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Figures.h"
#include "library/Datamod.h"
#include "platform/db/Collation.h"
#include "platform/db/GridBinding.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"

namespace {

int songs() {
  return qEnvironmentVariableIntValue("QDL_BENCH_SONGS") > 0
             ? qEnvironmentVariableIntValue("QDL_BENCH_SONGS")
             : 100000;
}

QString baseDir() {
  const QString dir = qEnvironmentVariable("QDL_BENCH_DIR");
  return dir.isEmpty() ? QStringLiteral("/tmp/qdl-bench-db-%1").arg(songs()) : dir;
}

const char* kSyllables[] = {"ka", "ri", "mo", "bel", "son", "the", "dra", "lu", "xen",
                            "ö",  "ä",  "pa", "stu", "ne",  "ve",  "gro", "ja", "ü"};

QString word(std::mt19937& rng, int syllables) {
  QString w;
  for (int i = 0; i < syllables; ++i) w += QString::fromUtf8(kSyllables[rng() % 18]);
  if (rng() % 2) w[0] = w[0].toUpper();
  return w;
}

// Artists repeat (about 8 songs each), titles are mostly distinct.
void generate() {
  QDir().mkpath(baseDir() + "/Data");
  QFile::remove(baseDir() + "/Data/data.db");
  TDataModule1 dm;
  dm.Table1->setDatabaseName(baseDir() + "/Data");
  dm.Table1->setTableName("data.db");
  dm.CreateSongTable();
  std::mt19937 rng(42);
  const char* genres[] = {"Rock", "Pop", "Jazz", "Techno", "House", "Schlager", "Klassik"};
  QElapsedTimer timer;
  timer.start();
  const int n = songs();
  for (int i = 0; i < n; ++i) {
    std::mt19937 artistRng(unsigned(i / 8) * 7919u);
    const QString artist = word(artistRng, 2) + " " + word(artistRng, 3);
    const QString title = word(rng, 2) + " " + word(rng, 2);
    const QString path = QStringLiteral("/home/dj/Musik/%1/%2 - %3 %4.mp3")
                             .arg(artist.left(1), artist, title)
                             .arg(i);
    dm.Table1->insertRecord(
        {QVariant(), artist, title, QString(), QString::fromLatin1(genres[rng() % 7]),
         QString::number(1960 + int(rng() % 60)), path, QString(), 0, QString(), false});
  }
  std::fprintf(stderr, "generated %d songs in %.1f s (%.0f inserts/s, order kept up to date)\n", n,
               timer.elapsed() / 1000.0, n * 1000.0 / std::max<qint64>(1, timer.elapsed()));
}

long rssKb() {
  long size = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The open library with the main window's grid.
struct Library {
  TDataModule1 dm;
  QTableView view;
  qdl::db::TableModel* model;
  Library() {
    dm.Table1->setDatabaseName(baseDir() + "/Data");
    dm.Table1->setTableName("data.db");
    dm.Table1->setIndexFieldNames("Interpret");
    dm.Table1->open();
    benchmark::DoNotOptimize(dm.Table1->recordCount());
    model = dm.createGridModel({"Interpret", "Titel", "Genre", "Jahr"}, &view);
    new qdl::db::GridBinding(&view, model);
    view.resize(600, 500);
    view.show();
    paint();
  }
  void paint() { view.viewport()->repaint(); }
};

void reportPercentiles(benchmark::State& state, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  state.counters["max_us"] = us.back();
}

// "Song table (100,000 songs): <what>", the figure's name.
std::string named(const char* what) {
  return "Song table (" + QLocale(QLocale::English).toString(songs()).toStdString() +
         " songs): " + what;
}

void BM_OpenAndShowGrid(benchmark::State& state) {
  qdl::bench::Samples ms;
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    auto lib = std::make_unique<Library>();
    ms.add((qdl::bench::wallSeconds() - t0) * 1000);
    state.PauseTiming();
    lib.reset();
    state.ResumeTiming();
  }
  qdl::bench::figure(named("open and show the grid, median"), ms.median(), "ms",
                     qdl::bench::below(300));
}
BENCHMARK(BM_OpenAndShowGrid)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_SearchPerKeystroke(benchmark::State& state) {
  Library lib;
  lib.dm.Table1->setIndexName("iInterpret");
  // Typed texts: prefixes of artists of random records, letter by letter.
  std::mt19937 rng(7);
  QStringList keys;
  for (int i = 0; i < 200; ++i) {
    lib.dm.Table1->moveTo(int(rng() % unsigned(lib.dm.Table1->recordCount())));
    const QString artist = lib.dm.Table1->asString("Interpret").toLower();
    for (int n = 1; n <= artist.size(); ++n) keys << artist.left(n);
    keys << QString();
  }
  std::vector<double> us;
  qsizetype k = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    lib.dm.Table1->findNearest(keys[k++ % keys.size()]);
    lib.paint();
    us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  reportPercentiles(state, us);
  qdl::bench::figure(named("search per keystroke, median"), state.counters["median_us"] / 1000,
                     "ms", qdl::bench::below(1));
  qdl::bench::figure(named("search per keystroke, 99th percentile"),
                     state.counters["p99_us"] / 1000, "ms", qdl::bench::below(5));
}
BENCHMARK(BM_SearchPerKeystroke)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_SearchOnly(benchmark::State& state) {
  Library lib;
  lib.dm.Table1->setIndexName("iTitel");
  std::mt19937 rng(9);
  std::vector<double> us;
  for (auto _ : state) {
    const QString key = word(rng, 1);
    const auto t0 = std::chrono::steady_clock::now();
    lib.dm.Table1->findNearest(key);
    us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  reportPercentiles(state, us);
}
BENCHMARK(BM_SearchOnly)->Unit(benchmark::kMicrosecond)->Iterations(5000);

void BM_SwitchOrder(benchmark::State& state) {
  Library lib;
  const char* orders[] = {"iTitel", "iGenre", "iJahr", "iDateiname", "iInterpret"};
  int i = 0;
  std::vector<double> us;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    lib.dm.Table1->setIndexName(orders[i++ % 5]);
    lib.paint();
    us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  reportPercentiles(state, us);
  qdl::bench::figure(named("switch the order, slowest"), state.counters["max_us"] / 1000, "ms",
                     qdl::bench::below(150));
}
BENCHMARK(BM_SwitchOrder)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Memory(benchmark::State& state) {
  for (auto _ : state) {
    const long before = rssKb();
    Library lib;
    for (const char* o : {"iTitel", "iGenre", "iJahr", "iDateiname", "iInterpret"}) {
      lib.dm.Table1->setIndexName(o);
      lib.paint();
    }
    for (int i = 0; i < 2000; ++i) {  // scroll through a part of the grid
      lib.dm.Table1->moveTo(i * 37 % lib.dm.Table1->recordCount());
      lib.paint();
    }
    state.counters["library_MB"] = double(rssKb() - before) / 1024.0;
    state.counters["process_MB"] = double(rssKb()) / 1024.0;
  }
  qdl::bench::figure(named("memory of the open library"), state.counters["library_MB"], "MB",
                     qdl::bench::below(100));
}
BENCHMARK(BM_Memory)->Unit(benchmark::kMillisecond)->Iterations(1);

// The query plans: searches and orders run on the indexes.
void printPlans() {
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(baseDir() + "/Data/data.db").constData(), &db,
                  SQLITE_OPEN_READONLY, nullptr);
  qdl::db::registerNoCaseCollation(db);
  for (const char* sql :
       {"EXPLAIN QUERY PLAN SELECT rowid FROM data INDEXED BY iInterpret WHERE Interpret>=?1 "
        "COLLATE QDL_NOCASE ORDER BY Interpret COLLATE QDL_NOCASE, rowid LIMIT 1",
        "EXPLAIN QUERY PLAN SELECT rowid FROM data INDEXED BY iDateiname ORDER BY Dateiname "
        "COLLATE QDL_NOCASE, rowid"}) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "plan: %s\n", sqlite3_errmsg(db));
      continue;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
      std::fprintf(stderr, "plan: %s\n", sqlite3_column_text(st, 3));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  if (!QFileInfo::exists(baseDir() + "/Data/data.db")) {
    // Generated in a child so the parent's memory figures start clean.
    const pid_t child = fork();
    if (child == 0) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      QApplication app(argc, argv);
      generate();
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  printPlans();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
