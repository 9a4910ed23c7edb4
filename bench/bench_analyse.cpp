// The tempo analysis of a whole library beside two playing decks, on the
// console itself with the virtual cards paced in real time
// (QUANDREL_AUDIO=virtual-realtime is set here):
//   AnalyseLibraryBesideTwoDecks: both decks play a 10-minute 320 kbps song
//     while "Tempo analysieren" analyses a library of 1,000 songs of 30..60 s;
//     reports the songs per second, the largest gap between two ticks of the
//     deck timers (10 ms) while it runs and, for comparison, in 10 s of the
//     same two decks without it, and the refill misses of the decks' buffers
//     (must be 0).
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

// Rejects every dialog without showing it; messages are printed.
class NoDialogs : public qdl::ui::DialogService {
 public:
  qdl::ui::Answer messageBox(QWidget*, const QString& text, const QString&,
                             qdl::ui::Buttons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return qdl::ui::Answer::No;
  }
  void showError(QWidget*, const QString& text) override {
    std::fprintf(stderr, "error: %s\n", qPrintable(text));
  }
  int execDialog(QDialog*) override { return 0; }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                       const QString&) override {
    return {};
  }
  bool printerSetup(QWidget*, QPrinter&, const QString&, const QString&) override { return false; }
};

// The largest gap between two ticks of each deck timer while `measuring`.
struct TimerGaps {
  explicit TimerGaps(TFormQuandrel& f) {
    watch(f.TimerLinks, 0);
    watch(f.TimerRechts, 1);
  }
  void start() {
    for (QElapsedTimer& t : last) t.invalidate();
    worst = 0;
    measuring = true;
  }
  void watch(QTimer* timer, int deck) {
    QObject::connect(timer, &QTimer::timeout, [this, deck] {
      if (!measuring) return;
      if (last[deck].isValid()) worst = std::max(worst, last[deck].nsecsElapsed() / 1e6);
      last[deck].start();
    });
  }
  QElapsedTimer last[2];
  double worst = 0;
  bool measuring = false;
};

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
    NoDialogs dialogs;
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
    runLoop(10000);
    const double baselineGap = gaps.worst;
    const int missesBefore = misses(f);

    gaps.start();
    QElapsedTimer wall;
    wall.start();
    state.ResumeTiming();
    f.Analyse1->trigger();
    runLoop(3600 * 1000, [] { return !FormAnalyse->isRunning(); });
    state.PauseTiming();
    const double seconds = wall.nsecsElapsed() / 1e9;
    gaps.measuring = false;
    const qdl::library::TempoCounts c = FormAnalyse->analysis()->counts();
    const int missed = misses(f) - missesBefore;
    const bool playing = f.StatusBar_Links->panelText(0) == "playing" &&
                         f.StatusBar_Rechts->panelText(0) == "playing";
    if (c.done != songs + 1) state.SkipWithError("not every song was analysed");

    state.counters["songs"] = c.done;
    state.counters["with_tempo"] = c.tempo;
    state.counters["songs_per_s"] = c.done / seconds;
    state.counters["max_timer_gap_ms"] = gaps.worst;
    state.counters["baseline_max_timer_gap_ms"] = baselineGap;
    state.counters["refill_misses"] = missed;
    std::printf(
        "tempo analysis of %d songs beside two playing decks: %.1f s, %.1f songs/s, %d with "
        "tempo; deck timers' largest gap %.1f ms (%.1f ms without the analysis); refill misses "
        "%d; decks %s\n",
        c.done, seconds, c.done / seconds, c.tempo, gaps.worst, baselineGap, missed,
        playing ? "still playing" : "STOPPED");

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
