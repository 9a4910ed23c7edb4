// Sync heard in the output: two generated songs of 120 and 126 BPM with
// known first beats play on the virtual cards' manual clock (one deck a
// card); the left deck is synced to the right one, and 60 s of both cards'
// output are recorded. The kicks are found in each recording near the beats
// each deck's grid names, and each kick of one deck is compared with the
// nearest kick of the other.
//
//   bench_sync

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "BenchDialogs.h"
#include "Figures.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/DeckModel.h"
#include "decks/Sync.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Dialogs.h"
#include "support/BeatPhase.h"
#include "support/BeatSongs.h"

namespace {

using qdl::sound::VirtualCards;

// Renders `ms` on both cards in 10 ms steps, the deck timers ticking after
// each, and keeps what the cards played when `keep` is given.
void run(int ms, std::vector<std::int16_t>* keepA = nullptr,
         std::vector<std::int16_t>* keepB = nullptr) {
  for (int t = 0; t < ms; t += 10) {
    for (int c = 0; c < VirtualCards::kCount; ++c) VirtualCards::advance(c, 441);
    if (FormQuandrel->TimerLinks->isActive()) FormQuandrel->TimerLinksTimer();
    if (FormQuandrel->TimerRechts->isActive()) FormQuandrel->TimerRechtsTimer();
    const auto a = VirtualCards::takeCaptured(0), b = VirtualCards::takeCaptured(1);
    if (keepA) keepA->insert(keepA->end(), a.begin(), a.end());
    if (keepB) keepB->insert(keepB->end(), b.begin(), b.end());
  }
}

// The output time of the first beat to come of a deck, and its beat.
double firstBeat(const qdl::decks::Deck& d, double* period) {
  const double rate = d.player()->Source->SampleRate;
  const double speed = qdl::decks::BaseFrequency(d) / rate;
  const double beat = 60.0 / d.grid()->bpm;
  *period = beat / speed;
  const double song = d.player()->PlayingSample() / rate;
  return std::fmod(d.grid()->firstBeat - song + 1000 * beat, beat) / speed;
}

void BM_SyncHeard(benchmark::State& state) {
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  // A minute and a half of each song, the 120 one with an intro.
  qdl::test::BeatSong slow, fast;
  slow.style = fast.style = qdl::test::BeatStyle::Techno;
  slow.bpm = 120;
  slow.introSeconds = 1.5;
  fast.bpm = 126;
  slow.seconds = fast.seconds = 80;
  slow.seed = 7;
  fast.seed = 8;
  const QString slowPath = dir.filePath("slow.mp3"), fastPath = dir.filePath("fast.mp3");
  for (const auto& [song, path] : {std::pair{slow, slowPath}, std::pair{fast, fastPath}}) {
    const QString error = qdl::test::makeBeatSong(song, path);
    if (!error.isEmpty()) return state.SkipWithError(error.toStdString().c_str());
  }
  QFile ini(dir.filePath("qdl.ini"));
  if (ini.open(QIODevice::WriteOnly)) {
    ini.write(QStringLiteral("[Devices]\r\nMode=2\r\nCard_1=%1\r\nCard_2=%2\r\n"
                             "[present Devices]\r\n%1=%3\r\n%2=%4\r\n")
                  .arg(VirtualCards::description(0), VirtualCards::description(1),
                       qdl::sound::guidToText(VirtualCards::guid(0)),
                       qdl::sound::guidToText(VirtualCards::guid(1)))
                  .toUtf8());
    ini.close();
  }
  qdl::bench::NoDialogs dialogs;
  qdl::ui::setDialogs(&dialogs);
  qdl::app::createWindows();
  qdl::app::showMainWindow();
  TFormQuandrel& f = *FormQuandrel;
  qdl::db::Table& t = *DataModule1->Table1;
  for (const auto& [path, first, bpm] :
       {std::tuple{slowPath, 1.5, 120.0}, std::tuple{fastPath, 0.0, 126.0}}) {
    t.insertRecord({QVariant(), "Bench", path, QVariant(), "Techno", "2026", path, QVariant(), 0,
                    QVariant(), false});
    t.setIndexName("iDateiname");
    t.findNearest(path);
    t.setBeatGrid(t.currentId(), {first, bpm});
  }
  double apart95 = 0, apartMedian = 0, tempoApart = 0, within = 0, kicks = 0;
  for (auto _ : state) {
    t.findNearest(slowPath);
    f.LoadDB_LinksClick();
    t.findNearest(fastPath);
    f.LoadDB_RechtsClick();
    f.actions->press("rechts.play");
    run(2230);
    f.actions->press("links.play");
    run(1170);
    const auto r = f.actions->press("links.sync");
    if (r.status != qdl::control::ActionResult::Done)
      return state.SkipWithError(r.why.toStdString().c_str());
    tempoApart = std::abs(*qdl::decks::PlayingTempo(*f.DeckLinks) -
                          *qdl::decks::PlayingTempo(*f.DeckRechts));
    run(500);
    double periodA = 0, periodB = 0;
    const double firstA = firstBeat(*f.DeckLinks, &periodA);
    const double firstB = firstBeat(*f.DeckRechts, &periodB);
    std::vector<std::int16_t> a, b;
    run(60000, &a, &b);
    const auto ka = qdl::test::kickTimes(qdl::test::kickOnsets(a, 44100), 44100, firstA, periodA);
    const auto kb = qdl::test::kickTimes(qdl::test::kickOnsets(b, 44100), 44100, firstB, periodB);
    qdl::bench::Samples ms;
    within = 0;
    for (const double d : qdl::test::kickOffsets(ka, kb)) {
      ms.add(std::abs(d) * 1000);
      within += std::abs(d) < 0.005;
    }
    kicks = double(ms.size());
    apart95 = ms.quantile(0.95);
    apartMedian = ms.median();
    f.actions->press("links.play");
    f.actions->press("rechts.play");
  }
  qdl::app::destroyWindows();
  qdl::ui::setDialogs(nullptr);
  qdl::bench::figure("Sync: tempos apart after Sync (120 to 126 BPM)", tempoApart, "BPM",
                     qdl::bench::below(0.05));
  qdl::bench::figure("Sync: kicks apart over 60 s of output, median", apartMedian, "ms",
                     qdl::bench::noTarget());
  qdl::bench::figure("Sync: kicks apart over 60 s of output, 95th percentile", apart95, "ms",
                     qdl::bench::below(5));
  qdl::bench::figure("Sync: kicks within 5 ms over 60 s of output",
                     kicks > 0 ? 100 * within / kicks : 0, "%", qdl::bench::noTarget());
  state.counters["kicks"] = kicks;
}
BENCHMARK(BM_SyncHeard)->Unit(benchmark::kSecond)->Iterations(1);

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
