#pragma once
// Measurements on rendered sound: tone frequency, strongest spurious
// component, largest sample-to-sample step. Used by the sound tests and the
// sound benchmarks.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace qdl::test {

// One channel (0 left, 1 right) of interleaved stereo samples, as doubles.
inline std::vector<double> channel(const std::vector<std::int16_t>& stereo, int ch) {
  std::vector<double> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i + size_t(ch)];
  return out;
}

// Frequency of a clean tone in Hz from its rising zero crossings (linear
// interpolation between samples).
inline double toneFrequency(const std::vector<double>& x, double rate = 44100.0) {
  double first = -1, last = -1;
  int cycles = -1;
  for (size_t i = 1; i < x.size(); ++i)
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double t = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
      if (first < 0) first = t;
      last = t;
      ++cycles;
    }
  return cycles > 0 ? cycles * rate / (last - first) : 0.0;
}

inline double maxStep(const std::vector<double>& x) {
  double m = 0;
  for (size_t i = 1; i < x.size(); ++i) m = std::max(m, std::abs(x[i] - x[i - 1]));
  return m;
}

// In-place radix-2 FFT; size must be a power of two.
inline void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2 * std::numbers::pi / double(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k, w *= wl) {
        const auto u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Frequency in Hz of the strongest spectral peak (Hann window, parabolic
// interpolation between bins); robust against short dropouts in the signal.
inline double peakFrequency(const std::vector<double>& x, double rate = 44100.0) {
  size_t n = 1;
  while (n * 2 <= x.size()) n *= 2;
  std::vector<std::complex<double>> a(n);
  for (size_t i = 0; i < n; ++i)
    a[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n)));
  fft(a);
  size_t best = 1;
  for (size_t k = 1; k < n / 2 - 1; ++k)
    if (std::abs(a[k]) > std::abs(a[best])) best = k;
  const double l = std::log(std::abs(a[best - 1])), c = std::log(std::abs(a[best])),
               r = std::log(std::abs(a[best + 1]));
  const double shift = 0.5 * (l - r) / (l - 2 * c + r);
  return (double(best) + shift) * rate / double(n);
}

// Level in dB of the strongest component other than a tone of frequency f
// (and DC), relative to the tone. The tone is fitted by least squares and
// subtracted; the rest is analysed under a Blackman-Harris window. Uses the
// first power-of-two number of samples of x.
inline double spuriousDb(const std::vector<double>& x, double f, double rate = 44100.0) {
  size_t n = 1;
  while (n * 2 <= x.size()) n *= 2;
  // Least-squares fit of a*cos + b*sin + c.
  double s[3][4] = {};
  for (size_t i = 0; i < n; ++i) {
    const double ph = 2 * std::numbers::pi * f * double(i) / rate;
    const double basis[3] = {std::cos(ph), std::sin(ph), 1.0};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) s[r][c] += basis[r] * basis[c];
      s[r][3] += basis[r] * x[i];
    }
  }
  for (int p = 0; p < 3; ++p)  // Gauss-Jordan on the 3x3 normal equations
    for (int r = 0; r < 3; ++r)
      if (r != p) {
        const double k = s[r][p] / s[p][p];
        for (int c = 0; c < 4; ++c) s[r][c] -= k * s[p][c];
      }
  const double a = s[0][3] / s[0][0], b = s[1][3] / s[1][1], dc = s[2][3] / s[2][2];
  const double amplitude = std::hypot(a, b);

  std::vector<std::complex<double>> r(n);
  double wsum = 0;
  for (size_t i = 0; i < n; ++i) {
    const double ph = 2 * std::numbers::pi * f * double(i) / rate;
    const double t = 2 * std::numbers::pi * double(i) / double(n);
    const double w =
        0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
    wsum += w;
    r[i] = w * (x[i] - a * std::cos(ph) - b * std::sin(ph) - dc);
  }
  fft(r);
  double peak = 0;
  for (size_t k = 4; k < n / 2; ++k) peak = std::max(peak, std::abs(r[k]));
  return 20 * std::log10(peak / (amplitude / 2 * wsum));
}

}  // namespace qdl::test
