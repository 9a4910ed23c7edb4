#include "platform/tempo/BeatGrid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace qdl::tempo {

namespace {

constexpr std::size_t kMinBeats = 8;
// Bins of the beat phase histogram over one period.
constexpr int kPhaseBins = 120;
// The histogram's kernel, a share of the period: the tracker's beats wobble
// by a few percent of the period around the beat.
constexpr double kPhaseSpread = 0.03;
// Beats within this share of the period of the histogram's peak make the
// mean that places the phase.
constexpr double kPhaseReach = 0.125;
// aubio reports a beat this long after the attack that makes it; measured on
// generated songs of known beat (bench_tempo), the same at 44.1 and 48 kHz.
constexpr double kTrackerLagSeconds = 0.0;
// The envelope frame f describes the audio around (f + kFrameCentre) frames
// from the start (its window ends one hop after that), measured like the lag.
constexpr double kFrameCentre = 0.0;
// The snare's beats stand out when their mean strength exceeds the other
// beats' by this share.
// How much the difference between every second beat (the backbeat) counts
// beside the strength of the beats when choosing the beat's phase.
constexpr double kAlternationWeight = 2;
constexpr double kBackbeatMargin = 0.15;
// The kick, bass and chords tell 1 from 3 only when one of them is this much
// stronger; the drums' entry is the surer sign in most songs.
constexpr double kOneMargin = 0.5;
// The drums' entry compares this many beats after a beat with as many before
// it; a rise counts as the entry when it reaches this share of the song's
// largest.
constexpr std::size_t kEntrySpan = 8;
constexpr double kEntryShare = 0.7;

double wrap(double x) { return x - std::floor(x); }     // into [0, 1)
double centred(double x) { return x - std::round(x); }  // into [-0.5, 0.5]
double positiveMod(double x, double m) { return x - std::floor(x / m) * m; }

// The histogram of the beats' phases (shares of the period), circular.
std::array<double, kPhaseBins> phaseHistogram(const std::vector<double>& beats, double period) {
  std::array<double, kPhaseBins> h{};
  const int reach = int(std::ceil(3 * kPhaseSpread * kPhaseBins));
  for (double b : beats) {
    if (b < 0) continue;
    const double x = wrap(b / period) * kPhaseBins;
    const int centre = int(x);
    for (int k = centre - reach; k <= centre + reach; ++k) {
      const double d = (k + 0.5 - x) / (kPhaseSpread * kPhaseBins);
      h[std::size_t((k % kPhaseBins + kPhaseBins) % kPhaseBins)] += std::exp(-0.5 * d * d);
    }
  }
  return h;
}

// The mean phase (a share of the period) of the beats near `around`.
double meanPhase(const std::vector<double>& beats, double period, double around) {
  double sum = 0;
  int count = 0;
  for (double b : beats) {
    const double d = centred(b / period - around);
    if (std::abs(d) > kPhaseReach) continue;
    sum += d;
    ++count;
  }
  return wrap(around + (count ? sum / count : 0));
}

// The song's onset envelopes as strengths at given times.
class Envelopes {
 public:
  explicit Envelopes(const Onsets& o) : rate_(o.frameRate) {
    for (int b = 0; b < kBands; ++b) {
      const auto& f = o.flux[std::size_t(b)];
      const double mean = f.empty() ? 0 : std::accumulate(f.begin(), f.end(), 0.0) / f.size();
      norm_[std::size_t(b)] = mean > 0 ? 1 / mean : 0;
      flux_[std::size_t(b)] = &f;
    }
    frames_ = o.flux[0].size();
  }
  double seconds() const { return rate_ > 0 ? double(frames_) / rate_ : 0; }
  bool usable() const { return rate_ > 0 && frames_ > 0; }

  // A band's strongest normalised value within a frame of `t`.
  double at(int band, double t) const {
    const long f = std::lround(t * rate_ - kFrameCentre);
    double best = 0;
    for (long k = f - 1; k <= f + 1; ++k)
      if (k >= 0 && std::size_t(k) < frames_) best = std::max(best, double((*flux_[band])[k]));
    return best * norm_[std::size_t(band)];
  }
  double all(double t) const {
    double s = 0;
    for (int b = 0; b < kBands; ++b) s += at(b, t);
    return s;
  }

  // The phase (a share of the period) within `reach` of `around` where the
  // onsets of all bands, folded onto one period, peak.
  double foldedPeak(double period, double around, double reach) const {
    constexpr int kSteps = 200;
    std::vector<double> fold(kSteps, 0.0);
    for (std::size_t f = 0; f < frames_; ++f) {
      const double t = (double(f) + kFrameCentre) / rate_;
      const double d = centred(t / period - around);
      if (std::abs(d) > reach) continue;
      double v = 0;
      for (int b = 0; b < kBands; ++b) v += (*flux_[b])[f] * norm_[std::size_t(b)];
      const double x = (d + reach) / (2 * reach) * (kSteps - 1);
      const int i = int(x);
      const double w = x - i;
      fold[std::size_t(i)] += v * (1 - w);
      if (i + 1 < kSteps) fold[std::size_t(i + 1)] += v * w;
    }
    const auto best = std::max_element(fold.begin(), fold.end()) - fold.begin();
    // The centre of the peak's top (within half of its height), for a phase
    // finer than the frames.
    double num = 0, den = 0;
    const double top = fold[std::size_t(best)];
    for (long i = best; i >= 0 && fold[std::size_t(i)] >= top / 2; --i)
      num += i * fold[std::size_t(i)], den += fold[std::size_t(i)];
    for (long i = best + 1; i < kSteps && fold[std::size_t(i)] >= top / 2; ++i)
      num += i * fold[std::size_t(i)], den += fold[std::size_t(i)];
    const double x = den > 0 ? num / den : double(best);
    return wrap(around - reach + x / (kSteps - 1) * 2 * reach);
  }

 private:
  double rate_;
  std::size_t frames_ = 0;
  std::array<const std::vector<float>*, kBands> flux_{};
  std::array<double, kBands> norm_{};
};

// Where the drums come in: the beat where the strength of the eight beats
// from it on rises most over the eight before it (the song's start counts as
// silence before it), the first such rise of the song when several come
// close (a breakdown's end is a drums' entry too). -1 for a song too short.
long firstStrong(const std::vector<double>& strength) {
  const std::size_t n = strength.size();
  if (n < 2 * kEntrySpan) return -1;
  std::vector<double> rise(n - kEntrySpan + 1, 0.0);
  for (std::size_t k = 0; k < rise.size(); ++k) {
    double after = 0, before = 0;
    for (std::size_t j = k; j < k + kEntrySpan; ++j) after += strength[j];
    for (std::size_t j = k >= kEntrySpan ? k - kEntrySpan : 0; j < k; ++j) before += strength[j];
    rise[k] = (after - before) / kEntrySpan;
  }
  const double top = *std::max_element(rise.begin(), rise.end());
  for (std::size_t k = 0; k < rise.size(); ++k) {
    const bool peak =
        (k == 0 || rise[k] >= rise[k - 1]) && (k + 1 == rise.size() || rise[k] >= rise[k + 1]);
    if (peak && rise[k] >= kEntryShare * top) return long(k);
  }
  return -1;
}

// From the beats alone: the first beat of the first run of eight beats on
// the grid (within 8 % of the period of it: the tracker's beats in a steady
// part keep closer), as a number of periods from the phase.
long firstSteadyBeat(const std::vector<double>& beats, double period, double phase) {
  for (std::size_t i = 0; i + 8 <= beats.size(); ++i) {
    bool steady = true;
    for (std::size_t j = i; j < i + 8 && steady; ++j)
      steady = std::abs(centred(beats[j] / period - phase)) < 0.08 &&
               (j == i || beats[j] - beats[j - 1] < 2.5 * period);
    if (steady) return std::lround(beats[i] / period - phase);
  }
  return std::lround(beats.front() / period - phase);
}

}  // namespace

BeatGrid findBeatGrid(double bpm, const std::vector<double>& beats, const Onsets* onsets) {
  BeatGrid grid;
  if (!(bpm > 0) || beats.size() < kMinBeats) return grid;
  const double period = 60 / bpm;

  // The phase: the histogram's peak, made exact by the mean of the beats
  // near it. A tracker that counted twice the tempo (or dotted beats) has a
  // second peak half a period away; the onsets decide between them.
  std::vector<double> placed;
  placed.reserve(beats.size());
  for (double b : beats) placed.push_back(b - kTrackerLagSeconds);
  const auto h = phaseHistogram(placed, period);
  const auto peak = std::max_element(h.begin(), h.end()) - h.begin();
  double phase = meanPhase(placed, period, (double(peak) + 0.5) / kPhaseBins);

  const bool withEnvelopes = onsets && Envelopes(*onsets).usable();
  std::vector<double> strength;  // onset strength at each grid beat from the phase on
  if (withEnvelopes) {
    const Envelopes env(*onsets);
    // The tracker may lock onto the off-beats (open hats, an off-beat bass)
    // or the sixteenths between: of the four sixteenths from its phase, the
    // beat is where kick, snare and chords hit, not the hats.
    double bestScore = -1, bestPhase = phase;
    for (int m = 0; m < 4; ++m) {
      const double candidate = wrap(phase + m / 4.0);
      std::array<std::array<double, 2>, kBands> sum{};
      int n = 0;
      for (double t = candidate * period; t < env.seconds(); t += period, ++n)
        for (int b = 0; b < kBands; ++b) sum[std::size_t(b)][n % 2] += env.at(b, t);
      if (n < 2) continue;
      // The snare or clap on every second beat is the surest sign of the
      // beat: off-beat hats and bass lines come on every off-beat alike.
      const double alternation =
          std::abs(sum[LowMid][0] - sum[LowMid][1]) + std::abs(sum[HighMid][0] - sum[HighMid][1]);
      const double score = (sum[Low][0] + sum[Low][1] + sum[HighMid][0] + sum[HighMid][1]) / n +
                           kAlternationWeight * alternation / n;
      if (score > bestScore) bestScore = score, bestPhase = candidate;
    }
    phase = env.foldedPeak(period, bestPhase, kPhaseReach);
    // A beat just before the song's start is taken as its first beat (a
    // song that starts on the beat), not one period later.
    if (phase > 1 - kPhaseReach / 2) phase -= 1;

    for (double t = phase * period; t < env.seconds(); t += period) strength.push_back(env.all(t));
    const long first = firstStrong(strength);
    long one = first < 0 ? 0 : first;
    // Each beat of the bar: the mean strengths of the bands from the drums'
    // entry on (an intro's pads fall anywhere).
    std::array<std::array<double, kBands>, kBeatsPerBar> mean{};
    std::array<int, kBeatsPerBar> count{};
    for (long k = std::max(0L, first); k < long(strength.size()); ++k) {
      const double t = (phase + double(k)) * period;
      for (int b = 0; b < kBands; ++b) mean[std::size_t(k % kBeatsPerBar)][b] += env.at(b, t);
      ++count[std::size_t(k % kBeatsPerBar)];
    }
    if (*std::min_element(count.begin(), count.end()) >= 4) {
      for (int j = 0; j < kBeatsPerBar; ++j)
        for (int b = 0; b < kBands; ++b) mean[std::size_t(j)][b] /= count[std::size_t(j)];
      // The snare or clap (the upper middle band) on 2 and 4 tells the
      // downbeats' parity; kick, bass and chords (the two lower bands) tell 1
      // from 3.
      auto high = [&](int j) { return mean[std::size_t(j % 4)][HighMid]; };
      auto low = [&](int j) {
        return mean[std::size_t(j % 4)][Low] + mean[std::size_t(j % 4)][LowMid];
      };
      const double even = high(1) + high(3), odd = high(0) + high(2);
      int parity = -1;
      if (even > (1 + kBackbeatMargin) * odd) parity = 0;
      if (odd > (1 + kBackbeatMargin) * even) parity = 1;
      int best = -1;
      if (parity >= 0) {
        const int a = parity, b = parity + 2;
        if (low(a) > (1 + kOneMargin) * low(b)) best = a;
        if (low(b) > (1 + kOneMargin) * low(a)) best = b;
        // Without a clear "one", the first strong beat decides between the
        // two candidates.
        if (best < 0 && first >= 0)
          best = int(((first - parity) % 2 == 0) ? first % 4 : (first + 1) % 4);
      }
      if (best >= 0) one = best;
    }
    phase += double(one % kBeatsPerBar);
  } else {
    phase += double(firstSteadyBeat(placed, period, phase));
  }
  grid.bpm = bpm;
  grid.firstBeat = positiveMod(phase * period, kBeatsPerBar * period);
  return grid;
}

std::optional<double> foldTempo(double measured, double wanted, double tolerance) {
  if (!(measured > 0) || !(wanted > 0)) return std::nullopt;
  const double octaves = std::round(std::log2(wanted / measured));
  const double folded = measured * std::exp2(octaves);
  if (std::abs(folded / wanted - 1) > tolerance) return std::nullopt;
  return folded;
}

BeatGrid withTempo(const BeatGrid& grid, double bpm) {
  BeatGrid out;
  if (!grid.valid() || !(bpm > 0)) return out;
  out.bpm = bpm;
  out.firstBeat = positiveMod(grid.firstBeat, kBeatsPerBar * 60 / bpm);
  return out;
}

}  // namespace qdl::tempo
