// The tempo analysis of a whole library beside two playing decks, on the
// console itself with the virtual cards paced in real time
// (QUANDREL_AUDIO=virtual-realtime is set here):
//   AnalyseLibraryBesideTwoDecks: both decks play a 10-minute 320 kbps song
//     while "Tempo analysieren" analyses a library of 1,000 songs of 30..60 s;
//     reports the songs per second; the gaps between two ticks of the deck
//     timers (10 ms) while it runs and, for comparison, while the same two
//     decks play alone for a minute first (QDL_BENCH_ANALYSE_BASELINE_S):
//     the largest, the 99th percentile and how many of 30 ms or more per
//     minute (on a busy machine the long gaps are the machine's: compare the
//     two phases); and the refill misses of the decks' buffers (must be 0).
// The library's files are links to the 48 generated songs of bench_tempo
// (made on the first run, about a second each, and kept under
// /tmp/qdl-bench-tempo-v<generator>-17-48); QDL_BENCH_ANALYSE_SONGS chooses
// another library size.
//
// Run: ./bench_analyse
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchDialogs.h"
#include "Figures.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "library/Analyse.h"
#include "library/Datamod.h"
#include "library/TempoAnalysis.h"
#include "platform/db/Table.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "support/BeatSongs.h"

namespace {

using qdl::test::BeatSong;

constexpr int kSetSongs = 48;
constexpr unsigned kSetSeed = 17;

int librarySongs() {
  const int n = qEnvironmentVariableIntValue("QDL_BENCH_ANALYSE_SONGS");
  return n > 0 ? n : 1000;
}

// The song set of bench_tempo, made when missing.
QStringList songSet() {
  const QString dir = QStringLiteral("/tmp/qdl-bench-tempo-v%1-%2-%3")
                          .arg(qdl::test::kBeatSongsVersion)
                          .arg(kSetSeed)
                          .arg(kSetSongs);
  QDir().mkpath(dir);
  QStringList files;
  for (const BeatSong& s : qdl::test::beatSongSet(kSetSongs, kSetSeed)) {
    const QString path = dir + "/" + s.name();
    if (!QFileInfo::exists(path)) {
      std::fprintf(stderr, "making %s\n", qPrintable(s.name()));
      const QString error = qdl::test::makeBeatSong(s, path + ".part");
      if (!error.isEmpty() || !QFile::rename(path + ".part", path)) return {};
    }
    files << path;
  }
  return files;
}

// The gaps between two ticks of each deck timer while `measuring`.
struct TimerGaps {
  explicit TimerGaps(TFormQuandrel& f) {
    watch(f.TimerLinks, 0);
    watch(f.TimerRechts, 1);
  }
  void start() {
    for (QElapsedTimer& t : last) t.invalidate();
    gaps.clear();
    longAt.clear();
    clock.start();
    measuring = true;
  }
  void stop() {
    measuring = false;
    minutes = clock.nsecsElapsed() / 60e9;
  }
  void watch(QTimer* timer, int deck) {
    QObject::connect(timer, &QTimer::timeout, [this, deck] {
      if (!measuring) return;
      if (last[deck].isValid()) {
        gaps.push_back(last[deck].nsecsElapsed() / 1e6);
        if (gaps.back() >= 30) longAt.push_back(clock.nsecsElapsed() / 1e9);
      }
      last[deck].start();
    });
  }
  double worst() const { return gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end()); }
  // The gap that 99 % of the gaps do not exceed.
  double p99() {
    if (gaps.empty()) return 0;
    auto at = gaps.begin() + std::ptrdiff_t(gaps.size() * 99 / 100);
    std::nth_element(gaps.begin(), at, gaps.end());
    return *at;
  }
  // Gaps of 30 ms or more per minute measured.
  double longPerMinute() const {
    const auto n = std::count_if(gaps.begin(), gaps.end(), [](double g) { return g >= 30; });
    return minutes > 0 ? n / minutes : 0;
  }
  QElapsedTimer last[2];
  QElapsedTimer clock;
  std::vector<double> gaps;
  std::vector<double> longAt;  // when each gap of 30 ms or more ended, in s
  double minutes = 0;
  bool measuring = false;
};

// Summary of one phase's gaps.
struct GapFigures {
  double worst, p99, longPerMinute;
};
GapFigures figures(TimerGaps& g) { return {g.worst(), g.p99(), g.longPerMinute()}; }

// Seconds of the decks playing alone before the analysis, for comparison.
int baselineSeconds() {
  const int s = qEnvironmentVariableIntValue("QDL_BENCH_ANALYSE_BASELINE_S");
  return s > 0 ? s : 60;
}

int misses(const TFormQuandrel& f) {
  int n = 0;
  for (const TStreamPlayer* p : {f.PlayerLinks, f.PlayerRechts}) {
    if (!p) continue;
    n += p->MainBuffer->refillMisses();
    if (p->HeadBuffer) n += p->HeadBuffer->refillMisses();
  }
  return n;
}

// Runs the event loop for `ms` milliseconds, or until `done` says so.
void runLoop(int ms, const std::function<bool()>& done = {}) {
  QEventLoop loop;
  QTimer check;
  check.setInterval(50);
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done && done()) loop.quit();
  });
  check.start();
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void AnalyseLibraryBesideTwoDecks(benchmark::State& state) {
  const QStringList set = songSet();
  if (set.isEmpty()) {
    state.SkipWithError("no songs (sox, lame missing?)");
    return;
  }
  const int songs = librarySongs();
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile ini(dir.filePath("qdl.ini"));
    if (!ini.open(QIODevice::WriteOnly)) return state.SkipWithError("no qdl.ini");
    using qdl::sound::VirtualCards;
    ini.write(QStringLiteral("[Devices]\r\nMode=2\r\nCard_1=%1\r\nCard_2=%2\r\n"
                             "[present Devices]\r\n%1=%3\r\n%2=%4\r\n")
                  .arg(VirtualCards::description(0), VirtualCards::description(1),
                       qdl::sound::guidToText(VirtualCards::guid(0)),
                       qdl::sound::guidToText(VirtualCards::guid(1)))
                  .toUtf8());
    ini.close();
    qdl::bench::NoDialogs dialogs;
    qdl::ui::setDialogs(&dialogs);
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    TFormQuandrel& f = *FormQuandrel;
    qdl::db::Table& table = *DataModule1->Table1;

    // The library: links to the song set, one record each.
    QDir().mkpath(dir.filePath("music"));
    table.beginBatch();
    for (int i = 0; i < songs; ++i) {
      const QString link =
          dir.filePath(QStringLiteral("music/song%1.mp3").arg(i, 4, 10, QChar('0')));
      const QByteArray target = QFile::encodeName(set[i % set.size()]);
      if (::link(target.constData(), QFile::encodeName(link).constData()) != 0)
        QFile::link(set[i % set.size()], link);
      DataModule1->AddSongFile(link);
    }
    const QString deckSong =
        QStringLiteral(QDL_FIXTURE_DIR "/bench_noise_44k_stereo_cbr320_10min.mp3");
    table.insertRecord({QVariant(), "Deck", "Ten minutes", QVariant(), "Noise", "2026", deckSong,
                        QVariant(), 0, QVariant(), false});
    table.endBatch();

    table.setIndexName("iDateiname");
    table.findNearest(deckSong);
    f.LoadDB_LinksClick();
    f.LoadDB_RechtsClick();
    f.Play_LinksMouseDown();
    f.Play_RechtsMouseDown();
    TimerGaps gaps(f);

    // Without the analysis first.
    runLoop(500);
    gaps.start();
    runLoop(1000 * baselineSeconds());
    gaps.stop();
    const GapFigures alone = figures(gaps);
    const int missesBefore = misses(f);

    gaps.start();
    QElapsedTimer wall;
    wall.start();
    state.ResumeTiming();
    f.Analyse1->trigger();
    runLoop(3600 * 1000, [] { return !FormAnalyse->isRunning(); });
    state.PauseTiming();
    const double seconds = wall.nsecsElapsed() / 1e9;
    gaps.stop();
    const GapFigures beside = figures(gaps);
    const qdl::library::TempoCounts c = FormAnalyse->analysis()->counts();
    const int missed = misses(f) - missesBefore;
    const bool playing = f.StatusBar_Links->panelText(0) == "playing" &&
                         f.StatusBar_Rechts->panelText(0) == "playing";
    if (c.done != songs + 1) state.SkipWithError("not every song was analysed");

    state.counters["songs"] = c.done;
    state.counters["with_tempo"] = c.tempo;
    state.counters["songs_per_s"] = c.done / seconds;
    state.counters["max_timer_gap_ms"] = beside.worst;
    state.counters["p99_timer_gap_ms"] = beside.p99;
    state.counters["gaps_over_30ms_per_min"] = beside.longPerMinute;
    state.counters["alone_max_timer_gap_ms"] = alone.worst;
    state.counters["alone_p99_timer_gap_ms"] = alone.p99;
    state.counters["alone_gaps_over_30ms_per_min"] = alone.longPerMinute;
    state.counters["refill_misses"] = missed;
    using qdl::bench::figure;
    figure("Analysis beside two decks: songs analysed per second", c.done / seconds, "songs/s");
    figure("Analysis beside two decks: refill misses", missed, "", qdl::bench::atMost(0));
    figure("Analysis beside two decks: deck timers' largest gap", beside.worst, "ms",
           qdl::bench::below(30));
    figure("Analysis beside two decks: deck timers' 99th percentile gap", beside.p99, "ms");
    figure("Decks alone: deck timers' largest gap", alone.worst, "ms");
    std::printf(
        "tempo analysis of %d songs beside two playing decks: %.1f s, %.1f songs/s, %d with "
        "tempo; refill misses %d; decks %s\n"
        "deck timers' gaps while it runs: largest %.1f ms, 99th percentile %.1f ms, %.2f of 30 ms "
        "or more per minute\n"
        "deck timers' gaps in %d s without it: largest %.1f ms, 99th percentile %.1f ms, %.2f of "
        "30 ms or more per minute\n",
        c.done, seconds, c.done / seconds, c.tempo, missed, playing ? "still playing" : "STOPPED",
        beside.worst, beside.p99, beside.longPerMinute, baselineSeconds(), alone.worst, alone.p99,
        alone.longPerMinute);
    // Where the long gaps fell (QDL_BENCH_VERBOSE=1), to tell the analysis's
    // start and end from its run.
    if (qEnvironmentVariableIntValue("QDL_BENCH_VERBOSE")) {
      std::printf("gaps of 30 ms or more ended at (s into the analysis of %.1f s):", seconds);
      for (double t : gaps.longAt) std::printf(" %.2f", t);
      std::printf("\n");
    }

    qdl::app::destroyWindows();
    qdl::ui::setDialogs(nullptr);
    QDir::setCurrent(old);
    state.ResumeTiming();
  }
}
BENCHMARK(AnalyseLibraryBesideTwoDecks)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
