#include "platform/tempo/BeatFit.h"

#include <algorithm>
#include <cmath>

namespace qdl::tempo {

namespace {

// The interval most beats keep to: a histogram over tempo from 40 to 260 BPM
// in steps of a quarter BPM, each interval spread over about one BPM.
double modeInterval(const std::vector<double>& beats) {
  constexpr double kLow = 40, kHigh = 260, kStep = 0.25, kSpread = 1.0;
  std::vector<double> h(std::size_t((kHigh - kLow) / kStep) + 1, 0);
  for (std::size_t i = 1; i < beats.size(); ++i) {
    const double d = beats[i] - beats[i - 1];
    if (d <= 60 / kHigh || d >= 60 / kLow) continue;
    const double bpm = 60 / d;
    const int centre = int((bpm - kLow) / kStep);
    const int reach = int(3 * kSpread / kStep);
    for (int k = std::max(0, centre - reach); k <= std::min(int(h.size()) - 1, centre + reach);
         ++k) {
      const double x = (kLow + k * kStep - bpm) / kSpread;
      h[k] += std::exp(-0.5 * x * x);
    }
  }
  const auto best = std::max_element(h.begin(), h.end());
  if (*best <= 0) return 0;
  return 60 / (kLow + double(best - h.begin()) * kStep);
}

}  // namespace

BeatPeriod beatPeriod(const std::vector<double>& beats) {
  BeatPeriod result;
  const double p0 = modeInterval(beats);
  if (p0 <= 0) return result;
  // Runs of beats whose intervals are one or two periods (a beat the tracker
  // skipped) within 10 %; each run has its own offset, all share the period.
  double num = 0, den = 0;
  std::size_t onRuns = 0;
  std::size_t i = 0;
  std::vector<std::pair<double, double>> run;  // (beat number, time)
  while (i < beats.size()) {
    run.assign(1, {0, beats[i]});
    std::size_t j = i + 1;
    for (; j < beats.size(); ++j) {
      const double k = (beats[j] - beats[j - 1]) / p0;
      const double whole = std::round(k);
      if (whole < 1 || whole > 2 || std::abs(k - whole) > 0.1) break;
      run.push_back({run.back().first + whole, beats[j]});
    }
    i = j;
    if (run.size() < 4) continue;
    onRuns += run.size();
    double mn = 0, mt = 0;
    for (const auto& [n, t] : run) mn += n, mt += t;
    mn /= double(run.size());
    mt /= double(run.size());
    for (const auto& [n, t] : run) num += (n - mn) * (t - mt), den += (n - mn) * (n - mn);
  }
  if (den <= 0) return result;
  result.seconds = num / den;
  result.share = double(onRuns) / double(beats.size());
  return result;
}

}  // namespace qdl::tempo
