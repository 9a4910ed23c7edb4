// Figures of the song list report with generated libraries:
//   pdf/N: the list of N songs (10,000 and 100,000) written as PDF, from the
//          open table to the closed file; pages, songs per second, and how
//          far the resident memory rose above its level at the start of the
//          run (flat: the pages are not held, so 100,000 songs take about as
//          much as 10,000);
//   preview_first_page/N: from the preview request (the print selection's
//          Vorschau) to the first page painted on the screen.
// Libraries are generated once into /tmp/qdl-bench-report-<N> (or
// $QDL_BENCH_DIR/<N>) by a child process.
//
// Run: QT_QPA_PLATFORM=offscreen ./bench_report
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "Figures.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/report/PreviewWindow.h"
#include "platform/ui/Dialogs.h"
#include "print/Report.h"

namespace {

QString baseDir(int songs) {
  const QString dir = qEnvironmentVariable("QDL_BENCH_DIR");
  return dir.isEmpty() ? QStringLiteral("/tmp/qdl-bench-report-%1").arg(songs)
                       : QStringLiteral("%1/%2").arg(dir).arg(songs);
}

const char* kSyllables[] = {"ka", "ri", "mo", "bel", "son", "the", "dra", "lu", "xen",
                            "ö",  "ä",  "pa", "stu", "ne",  "ve",  "gro", "ja", "ü"};

QString word(std::mt19937& rng, int syllables) {
  QString w;
  for (int i = 0; i < syllables; ++i) w += QString::fromUtf8(kSyllables[rng() % 18]);
  w[0] = w[0].toUpper();
  return w;
}

void generate(int songs) {
  const QString base = baseDir(songs);
  QDir().mkpath(base + "/Data");
  TDataModule1 dm;
  dm.Table1->setDatabaseName(base + "/Data");
  dm.Table1->setTableName("data.db");
  dm.CreateSongTable();
  std::mt19937 rng(42);
  const char* genres[] = {"Rock", "Pop", "Jazz", "Techno", "House", "Schlager", "Klassik"};
  dm.Table1->beginBatch();
  for (int i = 0; i < songs; ++i) {
    std::mt19937 artistRng(unsigned(i / 8) * 7919u);
    const QString artist = word(artistRng, 3) + " " + word(artistRng, 4);
    const QString title = word(rng, 3) + " " + word(rng, 3) + " " + word(rng, 2);
    dm.Table1->insertRecord({QVariant(), artist.left(30), title.left(30), 90 + int(rng() % 60),
                             QString::fromLatin1(genres[rng() % 7]),
                             QString::number(1960 + int(rng() % 60)),
                             QStringLiteral("/home/dj/Musik/%1/%2.mp3").arg(artist).arg(i),
                             QVariant(), 0, QVariant(), false});
  }
  dm.Table1->endBatch();
}

long rssKb() {
  long size = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The open library and the report in German, as the console has them.
struct Library {
  TDataModule1 dm;
  TFormSprache strings;
  TFormQReport report;
  explicit Library(int songs) {
    dm.Table1->setDatabaseName(baseDir(songs) + "/Data");
    dm.Table1->setTableName("data.db");
    dm.Table1->setIndexName("iInterpret");
    dm.Table1->open();
    strings.FillGerman();
    report.setTexts(strings.Druck, strings.Spalten);
    FormSprache = &strings;  // the preview reads its texts from there
  }
  ~Library() { FormSprache = nullptr; }
};

void BM_Pdf(benchmark::State& state) {
  const int songs = int(state.range(0));
  Library lib(songs);
  const QString file = QDir::temp().filePath("qdl-bench-report.pdf");
  // One page first, so that loading the fonts does not count as the run's.
  lib.report.writePdf(*lib.dm.Table1, file, [](int page, int) { return page == 0; });
  for (auto _ : state) {
    const long start = rssKb();
    long peak = start;
    int pages = 0;
    QElapsedTimer timer;
    timer.start();
    const auto r = lib.report.writePdf(*lib.dm.Table1, file, [&](int page, int count) {
      if (page % 16 == 0) peak = std::max(peak, rssKb());
      pages = count;
      return true;
    });
    const double seconds = timer.elapsed() / 1000.0;
    if (r.outcome != qdl::report::Outcome::Done) state.SkipWithError(qPrintable(r.error));
    state.counters["pages"] = pages;
    state.counters["songs_per_s"] = songs / std::max(seconds, 1e-6);
    state.counters["rss_rise_MB"] = double(std::max(peak, rssKb()) - start) / 1024.0;
    state.counters["pdf_MB"] = double(QFileInfo(file).size()) / (1024.0 * 1024.0);
    const std::string name =
        "Song list: PDF of " + QLocale(QLocale::English).toString(songs).toStdString() + " songs";
    qdl::bench::figure(name, seconds, "s", qdl::bench::below(songs > 10000 ? 60 : 10));
    qdl::bench::figure(name + ", resident memory rise", state.counters["rss_rise_MB"], "MB",
                       qdl::bench::below(20));
  }
  QFile::remove(file);
}
BENCHMARK(BM_Pdf)->Arg(10000)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Shows the modal preview until its first page is painted, then closes it.
class FirstPageDialogs final : public qdl::ui::DialogService {
 public:
  qint64 firstPageMs = -1;
  QElapsedTimer clock;
  qdl::ui::Answer messageBox(QWidget*, const QString& text, const QString&,
                             qdl::ui::Buttons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return qdl::ui::Answer::Ok;
  }
  void showError(QWidget*, const QString& text) override {
    std::fprintf(stderr, "error: %s\n", qPrintable(text));
  }
  int execDialog(QDialog* dialog) override {
    auto* preview = qobject_cast<qdl::report::PreviewWindow*>(dialog);
    dialog->show();
    while (preview && preview->pagesPainted() == 0) QApplication::processEvents();
    firstPageMs = clock.elapsed();
    dialog->hide();
    return QDialog::Accepted;
  }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return QString();
  }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                       const QString&) override {
    return QString();
  }
  bool printerSetup(QWidget*, QPrinter&, const QString&, const QString&) override { return false; }
};

void BM_PreviewFirstPage(benchmark::State& state) {
  Library lib(int(state.range(0)));
  FirstPageDialogs dialogs;
  qdl::ui::DialogService* previous = qdl::ui::setDialogs(&dialogs);
  qdl::bench::Samples ms;
  for (auto _ : state) {
    dialogs.clock.start();
    lib.report.Preview(*lib.dm.Table1, nullptr);
    state.counters["first_page_ms"] = double(dialogs.firstPageMs);
    ms.add(double(dialogs.firstPageMs));
  }
  qdl::ui::setDialogs(previous);
  qdl::bench::figure("Song list: preview of " +
                         QLocale(QLocale::English).toString(int(state.range(0))).toStdString() +
                         " songs, first page, median",
                     ms.median(), "ms", qdl::bench::below(1000));
}
BENCHMARK(BM_PreviewFirstPage)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  for (int songs : {10000, 100000}) {
    if (QFileInfo::exists(baseDir(songs) + "/Data/data.db")) continue;
    const pid_t child = fork();
    if (child == 0) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      QApplication app(argc, argv);
      generate(songs);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
