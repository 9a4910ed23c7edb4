#pragma once
// Periodicity of the onset envelopes: where a song has a steady beat and how
// strongly it repeats at a given period.

#include <array>
#include <vector>

#include "platform/tempo/Onsets.h"

namespace qdl::tempo {

// The envelopes made comparable: each band with its slow level taken away
// (what is left are the onsets), scaled to a mean of one over the song.
struct Pulse {
  double frameRate = 0;
  std::array<std::vector<float>, kBands> band;
  std::vector<float> all;      // the bands together, the hats' band at half weight
  std::vector<char> rhythmic;  // per frame: inside a window with a steady beat
  int rhythmicFrames = 0;
  double strength = 0;    // the median beat strength of those windows (1 = just a beat)
  double bestWindow = 0;  // the best beat strength of any window
};

// A window's beat strength is the smaller of two ratios, each 1 at the
// least that counts: how clearly its onsets repeat at one period (the
// normalised autocorrelation, kMinClarity), and how strong its hits are
// (the flux summed over the bands that the strongest 1 % of its frames
// reach, kMinHits: a steady tone or hum stays far below, music with drums
// far above, even a sparse one with a hit a second).
constexpr double kMinClarity = 0.3;
constexpr double kMinHits = 8;

Pulse pulseOf(const Onsets& onsets);

// Autocorrelation of `x` (its mean taken away) over the frames marked in
// `mask`, for lags 0..maxLag, normalised so that lag 0 is 1.
std::vector<double> autocorrelation(const std::vector<float>& x, const std::vector<char>& mask,
                                    int maxLag);

// `r` at a fractional lag (cubic through the four neighbours; 0 outside).
double valueAt(const std::vector<double>& r, double lag);

// The mean of `r` at the first `terms` multiples of `lag`: how well a pulse
// of that period and its multiples line up with the repetitions of the song.
double combAt(const std::vector<double>& r, double lag, int terms);

// The period within `tolerance` (a fraction) of `lag` whose multiples, as
// many as `r` reaches, line up best with its peaks. The far multiples pin the
// period down to a small fraction of a frame.
double refinePeriod(const std::vector<double>& r, double lag, double tolerance);

}  // namespace qdl::tempo
