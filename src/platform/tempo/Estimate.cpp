#include "platform/tempo/Estimate.h"

#include <algorithm>
#include <cmath>

#include "platform/tempo/BeatFit.h"
#include "platform/tempo/Meter.h"
#include "platform/tempo/Periodicity.h"

namespace qdl::tempo {

namespace {

constexpr double kMinBeatSeconds = 8;    // how much of the song must have a steady beat
constexpr double kMaxLagSeconds = 10.5;  // autocorrelation reach: 8 periods at 46 BPM
// aubio's confidence in its tempo, averaged over the beats, that counts as a
// beat. Music with drums stays well above; sustained chords whose partials
// beat against each other (a periodic but beatless flux) well below.
constexpr double kMinConfidence = 0.025;
// Tempos the analysis ever reports, whatever range is asked for.
constexpr int kSlowest = 30, kFastest = 300;

double bpmOf(double frames, double frameRate) { return 60 * frameRate / frames; }
double framesOf(double bpm, double frameRate) { return 60 * frameRate / bpm; }

// The strongest tempos of the pulse (local maxima of the comb over the
// autocorrelation between 50 and 220 BPM), best first.
std::vector<double> pulseTempos(const std::vector<double>& acf, double frameRate, int count) {
  std::vector<std::pair<double, double>> peaks;  // (score, bpm)
  double before = -1e300, here = -1e300;
  for (double bpm = 50; bpm <= 220.25; bpm += 0.25) {
    const double next = combAt(acf, framesOf(bpm, frameRate), 4);
    if (here > before && here >= next) peaks.push_back({here, bpm - 0.25});
    before = here;
    here = next;
  }
  std::sort(peaks.rbegin(), peaks.rend());
  std::vector<double> out;
  for (std::size_t i = 0; i < peaks.size() && int(out.size()) < count; ++i)
    out.push_back(peaks[i].second);
  return out;
}

// How well the octave family of a period fits the song: the mean
// autocorrelation at its members from 0.25 to 2 seconds.
double familyScore(const std::vector<double>& acf, double period, double frameRate) {
  while (period >= 0.25 * frameRate) period /= 2;
  double sum = 0;
  int count = 0;
  for (period *= 2; period <= 2 * frameRate; period *= 2) {
    sum += valueAt(acf, period);
    ++count;
  }
  return count ? sum / count : -1;
}

// aubio's beats inside the parts with a steady beat, and the mean of its
// confidence there relative to kMinConfidence. (The confidence is a ratio
// whose divisor can come near zero or go negative, so each value is held to
// 0..1 first.)
double aubioBeats(const Onsets& o, const Pulse& pulse, std::vector<double>& beats) {
  double confidence = 0;
  for (std::size_t i = 0; i < o.beats.size(); ++i) {
    const auto f = std::size_t(o.beats[i] * pulse.frameRate);
    if (f >= pulse.rhythmic.size() || !pulse.rhythmic[f]) continue;
    beats.push_back(o.beats[i]);
    confidence += std::clamp(double(o.beatConfidence[i]), 0.0, 1.0);
  }
  return beats.empty() ? 0 : confidence / double(beats.size()) / kMinConfidence;
}

// The tempo's family (which of the tempos related by 3/2 or 2/3 is the
// beat's), given as one member of it.
double familyOf(const std::vector<double>& acf, double frameRate, const BeatPeriod& aubio) {
  // Candidates: aubio's tempo and the pulse's strongest, each also at 3/2
  // and 2/3 of it (a tracker may lock onto dotted notes or triplets, a comb
  // onto three off-beat hats). The true beat's family holds its eighth
  // notes, bar halves and bars; the others fall between them. aubio's family
  // wins unless another one scores clearly better.
  double best = 0, bestScore = -1e300, aubioScore = -1e300;
  auto consider = [&](double bpm) {
    const double score = familyScore(acf, framesOf(bpm, frameRate), frameRate);
    if (score > bestScore) bestScore = score, best = bpm;
    return score;
  };
  const double aubioBpm = aubio.seconds > 0 && aubio.share >= 0.5 ? 60 / aubio.seconds : 0;
  if (aubioBpm > 0) aubioScore = consider(aubioBpm);
  for (double seed : pulseTempos(acf, frameRate, 2))
    for (double ratio : {1.0, 1.5, 2.0 / 3}) consider(seed * ratio);
  return aubioBpm > 0 && aubioScore >= 0.9 * bestScore ? aubioBpm : best;
}

}  // namespace

Result estimateTempo(const Onsets& o, const Range& range) {
  Result r;
  const Pulse pulse = pulseOf(o);
  const double fr = pulse.frameRate;
  if (fr <= 0 || pulse.rhythmicFrames < kMinBeatSeconds * fr) {
    r.strength = std::min(pulse.bestWindow, 0.99);
    return r;
  }
  std::vector<double> beats;
  r.strength = std::min(pulse.strength, aubioBeats(o, pulse, beats));
  if (r.strength < 1) return r;

  const auto acf = autocorrelation(pulse.all, pulse.rhythmic, int(kMaxLagSeconds * fr));
  const double family = familyOf(acf, fr, beatPeriod(beats));
  if (family <= 0) {
    r.strength = std::min(r.strength, 0.99);
    return r;
  }
  // The exact period: the one whose multiples up to 10 s line up best with
  // the song's repetitions (a good deal more exact than aubio's beat times).
  double bpm = bpmOf(refinePeriod(acf, framesOf(family, fr), 0.02), fr);

  // The octave: the slowest member in the range, then faster members while
  // the drums say the faster one is the beat. The range holds the whole
  // numbers shown, so 179.99 BPM counts as 180.
  const int lo = std::clamp(std::min(range.minBpm, range.maxBpm), kSlowest, kFastest);
  const int hi = std::clamp(std::max(range.minBpm, range.maxBpm), kSlowest, kFastest);
  auto below = [lo](double b) { return std::lround(b) < lo; };
  auto above = [hi](double b) { return std::lround(b) > hi; };
  while (above(bpm)) bpm /= 2;
  while (below(bpm) && !above(bpm * 2)) bpm *= 2;
  while (!below(bpm / 2)) bpm /= 2;
  while (!below(bpm) && !above(bpm * 2) && meterEvidence(pulse, framesOf(bpm * 2, fr)).fast())
    bpm *= 2;
  // A range narrower than an octave may hold no member: take the nearer.
  if (below(bpm) && lo / bpm > 2 * bpm / hi) bpm *= 2;
  r.outcome = Outcome::Tempo;
  r.exactBpm = bpm;
  r.bpm = int(std::lround(bpm));
  return r;
}

}  // namespace qdl::tempo
