#pragma once
// Where the beats of a recorded deck are heard, measured from the onsets of
// its kick drum: the recording (interleaved stereo, 16 bit) is low-passed to
// the kick's band, and the rises of its envelope are the onsets. Two decks
// that play in time have their kicks at the same moments.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace qdl::test {

// Onset strength, one value per `hop` frames.
inline std::vector<double> kickOnsets(const std::vector<std::int16_t>& stereo, int rate,
                                      int hop = 16) {
  const std::size_t frames = stereo.size() / 2;
  // Four one-pole low-passes at 120 Hz keep the kick, drop hats and claps.
  const double a = std::exp(-2 * std::numbers::pi * 120.0 / rate);
  double lp[4] = {0, 0, 0, 0};
  double envelope = 0, previous = 0;
  const double release = std::exp(-1.0 / (0.02 * rate));  // 20 ms
  std::vector<double> onsets;
  onsets.reserve(frames / std::size_t(hop) + 1);
  for (std::size_t n = 0; n < frames; ++n) {
    double x = (stereo[2 * n] + stereo[2 * n + 1]) / 65536.0;
    for (double& y : lp) x = y = (1 - a) * x + a * y;
    envelope = std::max(std::abs(x), envelope * release);
    if ((n + 1) % std::size_t(hop) != 0) continue;
    onsets.push_back(std::max(0.0, envelope - previous));
    previous = envelope;
  }
  return onsets;
}

// The times (seconds from the recording's first frame) of the kicks of a
// deck whose grid puts a beat at `first` and every `period` seconds after:
// for each beat, the steepest rise within `window` seconds of it. A beat
// without a rise there gives nothing. The window only says which rise is
// the beat's kick; the time is where the rise is heard.
inline std::vector<double> kickTimes(const std::vector<double>& onsets, int rate, double first,
                                     double period, int hop = 16, double window = 0.04) {
  std::vector<double> times;
  const double length = double(onsets.size()) * hop / rate;
  for (double beat = first; beat + window < length; beat += period) {
    const long from = std::max(0L, long((beat - window) * rate / hop));
    const long to = std::min(long(onsets.size()) - 1, long((beat + window) * rate / hop));
    long at = -1;
    for (long i = from; i <= to; ++i)
      if (onsets[size_t(i)] > 0 && (at < 0 || onsets[size_t(i)] > onsets[size_t(at)])) at = i;
    if (at >= 0) times.push_back(double(at + 1) * hop / rate);
  }
  return times;
}

// How far each kick of `b` falls from the nearest kick of `a` (seconds).
inline std::vector<double> kickOffsets(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> offsets;
  for (const double t : b) {
    double nearest = 1e9;
    for (const double u : a)
      if (std::abs(t - u) < std::abs(nearest)) nearest = t - u;
    if (!a.empty()) offsets.push_back(nearest);
  }
  return offsets;
}

}  // namespace qdl::test
