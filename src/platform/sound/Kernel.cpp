#include "platform/sound/Kernel.h"

#include <array>
#include <cmath>
#include <mutex>
#include <numbers>

namespace qdl::sound::detail {
namespace {

// Kaiser window shape; 9.5 puts the side lobes near -95 dB.
constexpr double kBeta = 9.5;
// Steps above 1 are served by banks for 1 + k/16.
constexpr double kStepGrid = 1.0 / 16.0;
constexpr int kMaxBanks = 64;  // up to step 4.9, beyond 200000 Hz / 44100 Hz

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 60; ++k) {
    term *= q / (double(k) * double(k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

int bankIndex(double step) {
  if (step <= 1.0) return 0;
  int k = int(std::ceil((step - 1.0) / kStepGrid - 1e-9));
  return k < kMaxBanks ? k : kMaxBanks - 1;
}

KernelBank* buildBank(int index) {
  auto* bank = new KernelBank;
  bank->maxStep = 1.0 + index * kStepGrid;
  const double c = 1.0 / bank->maxStep;  // cut-off relative to the input's Nyquist
  const double z = KernelBank::kZeroCrossings;
  int half = int(std::ceil(z / c));
  half = (half + 1) / 2 * 2;  // taps a multiple of 4
  bank->halfTaps = half;
  bank->taps = 2 * half;
  const int phases = KernelBank::kPhases;
  const double i0Beta = besselI0(kBeta);
  bank->coeffs.resize(size_t(phases + 1) * bank->taps);
  bank->deltas.resize(size_t(phases) * bank->taps);
  for (int p = 0; p <= phases; ++p) {
    const double frac = double(p) / phases;
    for (int t = 0; t < bank->taps; ++t) {
      const double u = (t - half + 1) - frac;  // distance from the position, in input frames
      const double x = c * u;                  // in zero crossings
      double h = 0.0;
      if (std::abs(x) < z) {
        const double r = x / z;
        const double window = besselI0(kBeta * std::sqrt(1.0 - r * r)) / i0Beta;
        const double sinc =
            x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        h = c * sinc * window;
      }
      // Whole-frame positions at full bandwidth are exact: 1 at the centre, 0 elsewhere.
      if (index == 0 && (p == 0 || p == phases)) h = (u == 0.0) ? 1.0 : 0.0;
      bank->coeffs[size_t(p) * bank->taps + t] = float(h);
    }
  }
  for (int p = 0; p < phases; ++p)
    for (int t = 0; t < bank->taps; ++t) {
      const size_t i = size_t(p) * bank->taps + t;
      bank->deltas[i] = bank->coeffs[i + bank->taps] - bank->coeffs[i];
    }
  return bank;
}

std::mutex banksMutex;
// Never freed: the audio thread may still read a bank while the process exits.
std::array<KernelBank*, kMaxBanks> banks{};

}  // namespace

const KernelBank* kernelBankForStep(double step) {
  const int index = bankIndex(step);
  std::lock_guard lock(banksMutex);
  if (!banks[index]) banks[index] = buildBank(index);
  return banks[index];
}

int maxHalfTapsForStep(double maxStep) {
  const double s = 1.0 + bankIndex(maxStep) * kStepGrid;
  return int(std::ceil(KernelBank::kZeroCrossings * s)) + 2;
}

}  // namespace qdl::sound::detail
