#include "platform/tempo/Meter.h"

#include <algorithm>
#include <cmath>

namespace qdl::tempo {

namespace {

constexpr int kPerBeat = 8;               // bins per fast beat
constexpr int kBeats = 4;                 // one bar of the fast tempo
constexpr int kBins = kPerBeat * kBeats;  // the fold's length
using Fold = std::array<double, kBins>;

// The mean of x over the frames with a steady beat, folded onto one bar of
// the fast tempo.
Fold foldOf(const std::vector<float>& x, const std::vector<char>& rhythmic, double period) {
  Fold sum{}, count{};
  const double bar = kBeats * period;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!rhythmic[i]) continue;
    const double phase = std::fmod(double(i), bar) / bar;
    const int b = std::min(kBins - 1, int(phase * kBins));
    sum[b] += x[i];
    count[b] += 1;
  }
  for (int b = 0; b < kBins; ++b) sum[b] = count[b] > 0 ? sum[b] / count[b] : 0;
  return sum;
}

// The fold less its part that repeats every fast beat (hats, a kick on every
// beat): what is left tells the beats of the bar apart.
Fold offBeatPart(const Fold& f) {
  Fold res{};
  for (int b = 0; b < kBins; ++b) {
    double m = 0;
    for (int k = 0; k < kBeats; ++k) m += f[(b + kPerBeat * k) % kBins];
    res[b] = f[b] - m / kBeats;
  }
  return res;
}

// How strongly the largest accent of `f` that is not the kick's (with the
// every-beat parts removed) comes back two fast beats later: about 1 for a
// snare on 2 and 4 of the fast bar, about 0 for one that comes once per
// fast bar. A kick's attack reaches into the snare's band too, so places
// where the kick layer `low` has an accent of its own do not count.
double repeatsEverySecondBeat(const Fold& f, const Fold& low) {
  const Fold res = offBeatPart(f), kick = offBeatPart(low);
  const double kickTop = *std::max_element(kick.begin(), kick.end());
  const double top = *std::max_element(res.begin(), res.end());
  int best = -1;
  for (int b = 0; b < kBins; ++b)
    if (kick[b] < 0.5 * kickTop && (best < 0 || res[b] > res[best])) best = b;
  if (best < 0 || res[best] <= 0.25 * top) return 0;
  double other = -1e300;
  for (int d = -1; d <= 1; ++d)
    other = std::max(other, res[(best + kBins / 2 + d + kBins) % kBins]);
  return std::clamp(other / res[best], 0.0, 1.0);
}

// The share of the fold's variance that repeats every fast beat.
double everyBeatShare(const Fold& f) {
  double mean = 0;
  for (double v : f) mean += v;
  mean /= kBins;
  const Fold res = offBeatPart(f);
  double all = 0, rest = 0;
  for (int b = 0; b < kBins; ++b) {
    all += (f[b] - mean) * (f[b] - mean);
    rest += res[b] * res[b];
  }
  return all > 0 ? 1 - rest / all : 0;
}

}  // namespace

bool MeterEvidence::fast() const {
  const double one = kickRepeat[0], two = kickRepeat[1], four = kickRepeat[2],
               eight = kickRepeat[3];
  // A kick line that comes back after eight fast beats but hardly after four
  // is a one-bar figure of the slow tempo (hip-hop), not a two-bar one of
  // the fast.
  if (eight >= 0.3 && four < 0.48 * eight) return false;
  // The same, less marked, when the snare does not come every second fast
  // beat either, unless the kick never comes back within two fast beats
  // (the two-step of drum and bass).
  const bool twoStep = one < 0.05 && two < 0.12;
  if (snareRepeat < 0.1 && eight >= 0.25 && four < 0.7 * eight && !twoStep) return false;
  // A kick line that comes back every second fast beat, with neither a snare
  // on 2 and 4 of the fast bar nor the same hits on every fast beat, keeps
  // the slow tempo's beats (reggaeton, a slow rock beat).
  if (two >= 0.25 && fourFloor < 0.72 && backbeat < 0.4) return false;
  // Otherwise the fast tempo: drum and bass, hard dance and trance drums
  // fill the fast grid.
  return true;
}

MeterEvidence meterEvidence(const Pulse& pulse, double fastPeriod) {
  MeterEvidence e;
  if (fastPeriod <= 0 || pulse.rhythmicFrames == 0) return e;
  const Fold low = foldOf(pulse.band[Low], pulse.rhythmic, fastPeriod);
  const Fold lowMid = foldOf(pulse.band[LowMid], pulse.rhythmic, fastPeriod);
  const Fold highMid = foldOf(pulse.band[HighMid], pulse.rhythmic, fastPeriod);
  // The snare layer: the 1..5 kHz band, once as it is and once with what the
  // 150 Hz..1 kHz band has at the same place taken away (a kick with a hard
  // attack reaches into the upper band too, but is stronger below it).
  Fold bright{};
  for (int b = 0; b < kBins; ++b) bright[b] = std::max(0.0, highMid[b] - lowMid[b]);
  e.backbeat = std::max(repeatsEverySecondBeat(highMid, low), repeatsEverySecondBeat(bright, low));
  e.fourFloor = everyBeatShare(low);
  // How the snare layer repeats after 2 fast beats: the 1..5 kHz band where
  // neither the kick's band nor the hats' band rises as much.
  std::vector<float> snare(pulse.all.size());
  for (std::size_t i = 0; i < snare.size(); ++i)
    snare[i] = std::max(0.f, pulse.band[HighMid][i] - pulse.band[Low][i] - pulse.band[High][i]);
  e.snareRepeat =
      valueAt(autocorrelation(snare, pulse.rhythmic, int(2.5 * fastPeriod)), 2 * fastPeriod);
  // How the kick and bass line repeats after 1, 2, 4 and 8 fast beats.
  const auto r = autocorrelation(pulse.band[Low], pulse.rhythmic, int(8.5 * fastPeriod));
  for (int k = 0; k < 4; ++k) e.kickRepeat[k] = valueAt(r, (1 << k) * fastPeriod);
  return e;
}

}  // namespace qdl::tempo
