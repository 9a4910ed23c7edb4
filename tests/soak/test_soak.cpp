// The simulated set (SoakSet): ten minutes of a night by default; scripts/soak
// plays longer ones (QDL_SOAK_MINUTES, QDL_SOAK_SEED). And a proof that the
// set's output check would catch what a listener hears: faults put into a
// set on purpose are found where they were put, and nowhere else.

#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Figures.h"
#include "app/Mainform.h"
#include "audio/Dsutil.h"
#include "platform/ui/Controls.h"
#include "soak/SoakSet.h"

namespace {

using qdl::soak::SoakFigures;
using qdl::soak::SoakOptions;
using qdl::soak::SoakSet;

SoakOptions options() {
  SoakOptions o;
  o.songFolder = QStringLiteral(QDL_SOAK_SONG_DIR);
  bool ok = false;
  const double minutes = qEnvironmentVariable("QDL_SOAK_MINUTES").toDouble(&ok);
  if (ok && minutes > 0) o.minutes = minutes;
  const uint seed = qEnvironmentVariable("QDL_SOAK_SEED").toUInt(&ok);
  if (ok) o.seed = seed;
  o.progress = o.minutes >= 60;
  return o;
}

void print(const SoakOptions& o, const SoakFigures& f) {
  std::printf("simulated: %.2f h (seed %u) in %.0f s of real time, %.0f times real time\n", f.hours,
              o.seed, f.realSeconds, f.hours * 3600 / f.realSeconds);
  std::printf("actions: %d (", f.actions);
  bool first = true;
  for (auto it = f.actionsByKind.begin(); it != f.actionsByKind.end(); ++it) {
    std::printf("%s%s %d", first ? "" : ", ", qPrintable(it.key()), it.value());
    first = false;
  }
  std::printf(")\nautoplay hand-overs: %d\n", f.handOvers);
  std::printf("refill misses: %d (and %d loop passes of the seek preview, on purpose)\n",
              f.refillMisses, f.previewPasses);
  std::printf("output jumps: %lld; largest bend %.2f of its bound\n",
              static_cast<long long>(f.jumps), f.worstBend);
  std::printf("messages: %d, errors shown: %d\n", f.messages, f.errors);
  std::printf(
      "heap: %.1f MiB at the start, %.1f MiB at minute %.0f, %.1f MiB at the end "
      "(%.1f MiB at most after minute %.0f)\n",
      f.heapStartMB, f.heapHour1MB, f.memoryMark, f.heapEndMB, f.heapMaxAfterHour1MB, f.memoryMark);
  std::printf("resident: %.1f MiB at minute %.0f, %.1f MiB at the end\n", f.rssHour1MB,
              f.memoryMark, f.rssEndMB);
  std::printf(
      "library: %d records at the end, %d record readings checked, %d cue points stored, "
      "%d record faults, %d file faults, integrity %s\n",
      f.records, f.recordsChecked, f.cuePointsStored, f.recordFaults, f.fileFaults,
      qPrintable(f.integrity));
  using qdl::bench::atMost;
  using qdl::bench::figure;
  const std::string at = " (" + std::to_string(int(std::lround(f.hours * 60))) + " min set)";
  figure("Soak: hours simulated", f.hours, "h");
  figure("Soak: actions taken", f.actions, "actions");
  figure("Soak: refill misses" + at, f.refillMisses, "misses", atMost(0));
  figure("Soak: output jumps the songs do not make" + at, double(f.jumps), "samples", atMost(0));
  figure("Soak: record and file faults" + at, f.recordFaults + f.fileFaults, "faults", atMost(0));
  figure("Soak: heap at minute " + std::to_string(int(f.memoryMark)), f.heapHour1MB, "MiB");
  figure("Soak: heap at the end" + at, f.heapEndMB, "MiB");
  figure("Soak: heap growth after minute " + std::to_string(int(f.memoryMark)),
         f.heapEndMB - f.heapHour1MB, "MiB", atMost(4));
}

TEST(Soak, ASetPlaysThroughWithoutAFault) {
  const SoakOptions o = options();
  SoakSet set(o);
  const SoakFigures f = set.run();
  print(o, f);
  RecordProperty("refill_misses", f.refillMisses);
  RecordProperty("jumps", int(f.jumps));
  RecordProperty("actions", f.actions);
  EXPECT_TRUE(set.failures().isEmpty())
      << qPrintable(set.failures().join(QLatin1Char('\n'))) << "\nreproduce: scripts/soak "
      << o.minutes / 60 << ' ' << o.seed;
  EXPECT_EQ(f.refillMisses, 0);
  EXPECT_EQ(f.jumps, 0);
  EXPECT_EQ(f.recordFaults + f.fileFaults, 0);
  EXPECT_EQ(f.integrity, QStringLiteral("ok"));
  EXPECT_GT(f.handOvers, int(o.minutes / 2)) << "autoplay kept the set going";
  EXPECT_GT(f.actions, int(o.minutes * 10));
}

// Faults a listener hears, put into a set of autoplay alone at known
// moments on the deck that plays: the check must find a jump soon after
// each (a stalled timer is heard when the cursor reaches the half it did not
// refill, up to half a second later), and none anywhere else.
TEST(Soak, TheOutputCheckFindsRealGlitchesAndNothingElse) {
  SoakOptions o;
  o.songFolder = QStringLiteral(QDL_SOAK_SONG_DIR);
  o.minutes = 0.25;
  o.djActions = false;
  SoakSet set(o);
  const std::int64_t at[] = {300, 600, 900, 1200};  // steps of 10 ms
  QTimer* stalled = nullptr;
  int faults = 0;
  set.beforeStep = [&](SoakSet& s, std::int64_t step) {
    TFormQuandrel& f = s.console();
    if (stalled && step == at[0] + 40) stalled->start();
    if (std::find(std::begin(at), std::end(at), step) == std::end(at)) return;
    const bool left = f.StatusBar_Links->panelText(0) == QLatin1String("playing");
    if (!left && f.StatusBar_Rechts->panelText(0) != QLatin1String("playing")) return;
    TStreamPlayer* p = left ? f.PlayerLinks : f.PlayerRechts;
    qdl::sound::SoundBuffer& ring = *p->MainBuffer;
    const int bytes = p->Source->BufferBytes;
    const int align = p->Source->Channels * 2;
    ++faults;
    if (step == at[0]) {  // the deck timer stalls for 400 ms
      stalled = left ? f.TimerLinks : f.TimerRechts;
      stalled->stop();
    } else if (step == at[1]) {  // a pause and a start without their fades: clicks
      ring.setFadeFrames(0);
      ring.stop();
      ring.play();
      ring.setFadeFrames(TStreamPlayer::kFadeFrames);
    } else if (step == at[2]) {  // 20 ms of the ring ahead of the cursor lost: a dropout
      const int from = (ring.currentPosition() / align + 2205) * align % bytes;
      const auto region = ring.lock(from, std::min(882 * align, bytes - from));
      std::fill(region.first.begin(), region.first.end(), std::byte{0});
      ring.unlock(region);
    } else {  // the cursor moved without its fade
      ring.setFadeFrames(0);
      ring.setCurrentPosition((ring.currentPosition() + 7777 * align) % bytes);
      ring.setFadeFrames(TStreamPlayer::kFadeFrames);
    }
  };
  const SoakFigures f = set.run();
  ASSERT_EQ(faults, 4) << "a deck must play at each fault";
  const auto& jumps = set.output(0).jumps();
  auto within = [&jumps](std::int64_t from, std::int64_t to) {
    for (const auto& j : jumps)
      if (j.frame >= from * 441 && j.frame < to * 441) return true;
    return false;
  };
  EXPECT_TRUE(within(at[0], at[0] + 100)) << "the stalled timer";
  EXPECT_TRUE(within(at[1], at[1] + 2)) << "the click";
  EXPECT_TRUE(within(at[2], at[2] + 10)) << "the dropout";
  EXPECT_TRUE(within(at[3], at[3] + 2)) << "the cursor moved without its fade";
  for (const auto& j : jumps) {
    bool near = false;
    for (const std::int64_t step : at)
      near = near || (j.frame >= step * 441 && j.frame < (step + 100) * 441);
    EXPECT_TRUE(near) << "a jump at " << j.frame / 44100.0 << " s where nothing was done";
  }
  EXPECT_GE(f.refillMisses, 1) << "the stalled timer";
  EXPECT_EQ(set.output(1).jumpCount(), 0) << "the headphones";
}

}  // namespace
