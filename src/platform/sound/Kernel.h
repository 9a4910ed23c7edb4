#pragma once
// Interpolation kernels of the band-limited resampler (internal).
//
// A kernel bank holds a Kaiser-windowed sinc, tabulated for kPhases fractional
// positions between two input frames plus the difference to the next phase, so
// the mixer interpolates the coefficients linearly between phases. A bank
// serves every step (input frames per output frame) up to its maxStep: for
// steps above 1 the sinc is stretched by maxStep so its cut-off stays below
// the output's Nyquist frequency and nothing aliases.
//
// At step 1 and phase 0 the kernel is exactly 1 at the centre and 0 elsewhere,
// so unpitched playback at the card's rate passes samples through unchanged.

#include <vector>

namespace qdl::sound::detail {

struct KernelBank {
  static constexpr int kZeroCrossings = 16;  // half-width of the sinc at step <= 1
  static constexpr int kPhaseBits = 9;
  static constexpr int kPhases = 1 << kPhaseBits;

  double maxStep = 1.0;  // largest step this bank may serve
  int halfTaps = 0;      // input frames on each side of the position
  int taps = 0;          // 2 * halfTaps, a multiple of 4
  // Row p (p = 0..kPhases) holds the coefficient for input frames
  // n - halfTaps + 1 .. n + halfTaps at position n + p / kPhases.
  std::vector<float> coeffs;  // (kPhases + 1) * taps
  std::vector<float> deltas;  // kPhases * taps: row p+1 minus row p
};

// The bank for `step`. Builds it on first use (a fraction of a millisecond);
// banks live until the process ends, so the pointer stays valid. Call from
// application threads, not from the audio callback.
const KernelBank* kernelBankForStep(double step);

// The widest bank any step up to `maxStep` can use (for sizing work buffers).
int maxHalfTapsForStep(double maxStep);

}  // namespace qdl::sound::detail
