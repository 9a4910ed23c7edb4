// Deck timer ticks and deck loads on the console itself, on the virtual
// cards' manual clock (QUANDREL_AUDIO=virtual is set here).
//
// LoadToOverview: the time from the load of a 5-minute song whose record
// has no overview to the overview in the deck (made by the load's worker).
//
//   bench_decks --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchDialogs.h"
#include "Figures.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "decks/DeckPanel.h"
#include "decks/OverviewLoader.h"
#include "decks/OverviewView.h"
#include "library/Datamod.h"
#include "platform/analysis/Overview.h"
#include "platform/db/Table.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"

#include <cstdio>

#include <sys/resource.h>

namespace {

using qdl::sound::VirtualCards;

const QString kSong =
    QDir(QStringLiteral(QDL_FIXTURE_DIR)).filePath("bench_noise_44k_stereo_cbr320_10min.mp3");

// The console in a temporary folder with both virtual cards (mode 2) and one
// song in the library.
class Console {
 public:
  Console() {
    QDir::setCurrent(dir_.path());
    QFile ini(dir_.filePath("qdl.ini"));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write(QStringLiteral("[Devices]\r\nMode=2\r\nCard_1=%1\r\nCard_2=%2\r\n"
                               "[present Devices]\r\n%1=%3\r\n%2=%4\r\n")
                    .arg(VirtualCards::description(0), VirtualCards::description(1),
                         qdl::sound::guidToText(VirtualCards::guid(0)),
                         qdl::sound::guidToText(VirtualCards::guid(1)))
                    .toUtf8());
      ini.close();
    }
    // The first show creates the library and offers a scan, which the
    // dialog service below turns down.
    qdl::ui::setDialogs(&dialogs_);
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    DataModule1->Table1->insertRecord({QVariant(), "Bench", "Ten minutes", QVariant(), "Noise",
                                       "2026", kSong, QVariant(), 0, QVariant(), false});
    DataModule1->Table1->first();
  }
  ~Console() {
    qdl::app::destroyWindows();
    qdl::ui::setDialogs(nullptr);
  }

 private:
  QTemporaryDir dir_;
  qdl::bench::NoDialogs dialogs_;
};

// Renders 10 ms on both cards.
void advance10ms() {
  for (int c = 0; c < VirtualCards::kCount; ++c) VirtualCards::advance(c, 441);
  VirtualCards::takeCaptured(0);
  VirtualCards::takeCaptured(1);
}

void BM_DeckLoad(benchmark::State& state) {
  Console console;
  qdl::bench::Samples ms;
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    FormQuandrel->LoadDB_LinksClick();
    ms.add((qdl::bench::wallSeconds() - t0) * 1000);
    if (FormQuandrel->StatusBar_Links->panelText(0) != QLatin1String("loaded"))
      state.SkipWithError("the deck did not load");
  }
  qdl::bench::figure("Deck: load of a 10-minute 320 kbps song, median", ms.median(), "ms",
                     qdl::bench::below(60));
}
BENCHMARK(BM_DeckLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// A tick where the cursor stays in its half: only the cursor is read and the
// seek bar and time display follow.
void BM_TimerTickWithoutRefill(benchmark::State& state) {
  Console console;
  TFormQuandrel& f = *FormQuandrel;
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  qdl::bench::Samples us;
  for (auto _ : state) {
    state.PauseTiming();
    // Keep the clock where the next tick refills nothing: a tick right after
    // one that refilled.
    TStreamPlayer* p = f.PlayerLinks;
    int guard = 0;
    do {
      advance10ms();
      f.TimerLinksTimer();
    } while (++guard < 50 &&
             (p->MainBuffer->currentPosition() % p->HalfBytes) > p->HalfBytes - 2 * 1764);
    state.ResumeTiming();
    const double t0 = qdl::bench::wallSeconds();
    f.TimerLinksTimer();
    us.add((qdl::bench::wallSeconds() - t0) * 1e6);
  }
  qdl::bench::figure("Deck: timer tick without refill, median", us.median() / 1000, "ms",
                     qdl::bench::below(0.1));
}
BENCHMARK(BM_TimerTickWithoutRefill)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A tick right after the cursor changed halves: a quarter second of sound is
// decoded and written into the ring.
void BM_TimerTickWithRefill(benchmark::State& state) {
  Console console;
  TFormQuandrel& f = *FormQuandrel;
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  qdl::bench::Samples us;
  for (auto _ : state) {
    state.PauseTiming();
    TStreamPlayer* p = f.PlayerLinks;
    // Tick until the cursor is in its last 10 ms before the other half.
    int guard = 0;
    while (++guard < 100 &&
           (p->MainBuffer->currentPosition() % p->HalfBytes) < p->HalfBytes - 1764) {
      advance10ms();
      f.TimerLinksTimer();
    }
    advance10ms();  // now in the other half: this tick refills
    state.ResumeTiming();
    const double t0 = qdl::bench::wallSeconds();
    f.TimerLinksTimer();
    us.add((qdl::bench::wallSeconds() - t0) * 1e6);
  }
  qdl::bench::figure("Deck: timer tick with a refill, median", us.median() / 1000, "ms",
                     qdl::bench::below(2));
}
BENCHMARK(BM_TimerTickWithRefill)->Unit(benchmark::kMicrosecond)->UseRealTime();

// CPU seconds (user and system) of all of the process's threads.
double cpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
}

void BM_LoadToOverview(benchmark::State& state) {
  Console console;
  const QString song =
      QDir(QStringLiteral(QDL_FIXTURE_DIR)).filePath("bench_chord_44k_stereo_cbr192_5min.mp3");
  qdl::db::Table& table = *DataModule1->Table1;
  table.insertRecord({QVariant(), "Bench", "Five minutes", QVariant(), "Chord", "2026", song,
                      QVariant(), 0, QVariant(), false});
  table.setIndexName(QStringLiteral("iDateiname"));
  table.findNearest(song);
  const qint64 key = table.currentId();
  TFormQuandrel& f = *FormQuandrel;
  const auto* loader = f.Panel1->overview->findChild<qdl::decks::OverviewLoader*>();
  qdl::bench::Samples ms, cpuMs;
  for (auto _ : state) {
    table.removeOverview(key);
    const double t0 = qdl::bench::wallSeconds();
    const double c0 = cpuSeconds();
    // The window's thread sleeps in its event loop until the overview is shown.
    QEventLoop loop;
    QObject::connect(loader, &qdl::decks::OverviewLoader::overviewChanged, &loop, [&] {
      if (loader->overview()) loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    f.LoadDB_LinksClick();
    if (!loader->overview()) loop.exec();
    ms.add((qdl::bench::wallSeconds() - t0) * 1000);
    cpuMs.add((cpuSeconds() - c0) * 1000);
    if (!loader->overview() || !f.Panel1->overview->isVisible())
      state.SkipWithError("no overview shown");
  }
  std::fprintf(stderr, "  load to overview: median %.0f ms, largest %.0f ms, CPU %.0f ms\n",
               ms.median(), ms.max(), cpuMs.median());
  qdl::bench::figure("Deck: load to overview of a 5-minute song without one, CPU of all threads",
                     cpuMs.median(), "ms", qdl::bench::noTarget());
  qdl::bench::figure("Deck: load to overview of a 5-minute song without one, median", ms.median(),
                     "ms", qdl::bench::atMost(300));
  qdl::bench::figure("Deck: load to overview of a 5-minute song without one, largest", ms.max(),
                     "ms", qdl::bench::noTarget());
}
// The time display's frame with the overview under it and without: the
// label repainted with its text changed, as the frame clock does while a
// deck plays (30 a second for each deck). The difference, for two decks at
// 30 frames a second, as a share of one core.
void BM_TimeFrameOverOverview(benchmark::State& state) {
  Console console;
  TFormQuandrel& f = *FormQuandrel;
  qdl::db::Table& table = *DataModule1->Table1;
  table.first();
  qdl::analysis::Overview o;
  for (int b = 0; b < 12000; ++b) {  // ten minutes of a song that breathes
    o.peak.push_back(std::uint8_t(120 + (b * 7) % 130));
    o.rms.push_back(std::uint8_t(60 + (b * 3) % 60));
  }
  table.setOverview(table.currentId(), qdl::analysis::encode(o));
  f.LoadDB_LinksClick();
  QCoreApplication::processEvents();
  qdl::decks::OverviewView* view = f.Panel1->overview;
  if (!view->isVisible()) {
    state.SkipWithError("no overview shown");
    return;
  }
  const auto frameUs = [&](bool shown) {
    view->setOverview(shown ? std::optional<qdl::analysis::Overview>(o) : std::nullopt);
    QCoreApplication::processEvents();
    qdl::bench::Samples us;
    for (int i = 0; i < 2000; ++i) {
      f.LabelZeitLinks->setText(QStringLiteral("00:01:%1:%2").arg(i / 100 % 60).arg(i % 100));
      const double t0 = qdl::bench::wallSeconds();
      f.LabelZeitLinks->repaint();
      us.add((qdl::bench::wallSeconds() - t0) * 1e6);
    }
    return us.median();
  };
  double shown = 0, hidden = 0;
  for (auto _ : state) {
    hidden = frameUs(false);
    shown = frameUs(true);
  }
  const double extraPct = (shown - hidden) * 1e-6 * 30 * 2 * 100;
  std::fprintf(stderr, "  time frame: %.1f us with the overview, %.1f us without\n", shown, hidden);
  qdl::bench::figure("Deck: time display frame over the overview, median", shown, "us",
                     qdl::bench::noTarget());
  qdl::bench::figure("Deck: time display frame without an overview, median", hidden, "us",
                     qdl::bench::noTarget());
  qdl::bench::figure("Deck: the overviews under two decks' time frames, share of one core",
                     extraPct, "%", qdl::bench::atMost(0.5));
}
BENCHMARK(BM_TimeFrameOverOverview)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK(BM_LoadToOverview)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QUANDREL_AUDIO", "virtual");
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
