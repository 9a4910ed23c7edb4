#include "platform/tempo/Periodicity.h"

#include <algorithm>
#include <cmath>

namespace qdl::tempo {

namespace {

// The onsets of one band: the value above its running mean over about a
// third of a second, scaled to a mean of one.
std::vector<float> onsetsOf(const std::vector<float>& band, int halfWidth) {
  const int n = int(band.size());
  std::vector<double> prefix(n + 1, 0);
  for (int i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + band[i];
  std::vector<float> out(n);
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const int a = std::max(0, i - halfWidth), b = std::min(n, i + halfWidth + 1);
    const double mean = (prefix[b] - prefix[a]) / (b - a);
    out[i] = float(std::max(0.0, band[i] - mean));
    sum += out[i];
  }
  if (sum > 0)
    for (float& v : out) v = float(v * n / sum);
  return out;
}

// The largest normalised autocorrelation of x[from, from+len) over the lags.
double windowClarity(const std::vector<float>& x, int from, int len, int minLag, int maxLag) {
  double mean = 0;
  for (int i = from; i < from + len; ++i) mean += x[i];
  mean /= len;
  double energy = 0;
  for (int i = from; i < from + len; ++i) energy += (x[i] - mean) * (x[i] - mean);
  if (energy <= 0) return 0;
  double best = 0;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double s = 0;
    for (int i = from; i + lag < from + len; ++i) s += (x[i] - mean) * (x[i + lag] - mean);
    // Scaled for the overlap's length, so long lags are not penalised.
    best = std::max(best, s / energy * len / (len - lag));
  }
  return best;
}

}  // namespace

Pulse pulseOf(const Onsets& o) {
  Pulse p;
  p.frameRate = o.frameRate;
  const int n = int(o.flux[Low].size());
  if (n == 0 || o.frameRate <= 0) return p;
  const int half = std::max(1, int(std::lround(0.15 * o.frameRate)));
  p.all.assign(n, 0.f);
  std::vector<float> total(n, 0.f);
  for (int b = 0; b < kBands; ++b) {
    p.band[b] = onsetsOf(o.flux[b], half);
    const float weight = b == High ? 0.5f : 1.f;
    for (int i = 0; i < n; ++i) {
      p.all[i] += weight * p.band[b][i];
      total[i] += o.flux[b][i];
    }
  }

  // Windows of about six seconds, every 1.5 s. A window has a beat when its
  // onsets repeat clearly at some period from 0.25 to 1.5 s and are strong
  // enough to be heard as hits; a frame counts when a window holding it has.
  const int len = std::min(n, int(std::lround(6 * o.frameRate)));
  const int step = std::max(1, len / 4);
  const int minLag = int(0.25 * o.frameRate), maxLag = std::min(len / 2, int(1.5 * o.frameRate));
  p.rhythmic.assign(n, 0);
  std::vector<float> sorted(len);
  std::vector<double> strengths;
  if (len >= 2 * minLag && maxLag > minLag) {
    for (int from = 0; from + len <= n; from += step) {
      std::copy(total.begin() + from, total.begin() + from + len, sorted.begin());
      std::nth_element(sorted.begin(), sorted.begin() + len * 99 / 100, sorted.end());
      const double hits = sorted[len * 99 / 100] / kMinHits;
      const double clarity = windowClarity(p.all, from, len, minLag, maxLag) / kMinClarity;
      const double strength = std::min(hits, clarity);
      p.bestWindow = std::max(p.bestWindow, strength);
      if (strength < 1) continue;
      strengths.push_back(strength);
      std::fill(p.rhythmic.begin() + from, p.rhythmic.begin() + from + len, 1);
    }
  }
  p.rhythmicFrames = int(std::count(p.rhythmic.begin(), p.rhythmic.end(), 1));
  if (!strengths.empty()) {
    std::nth_element(strengths.begin(), strengths.begin() + strengths.size() / 2, strengths.end());
    p.strength = strengths[strengths.size() / 2];
  }
  return p;
}

std::vector<double> autocorrelation(const std::vector<float>& x, const std::vector<char>& mask,
                                    int maxLag) {
  const int n = int(x.size());
  maxLag = std::min(maxLag, n - 1);
  std::vector<double> r(std::max(0, maxLag + 1), 0);
  double mean = 0;
  int count = 0;
  for (int i = 0; i < n; ++i)
    if (mask[i]) mean += x[i], ++count;
  if (count == 0) return r;
  mean /= count;
  std::vector<float> y(n, 0.f);
  for (int i = 0; i < n; ++i)
    if (mask[i]) y[i] = float(x[i] - mean);
  for (int lag = 0; lag <= maxLag; ++lag) {
    double s = 0;
    for (int i = 0; i + lag < n; ++i) s += double(y[i]) * y[i + lag];
    r[lag] = s;
  }
  if (const double zero = r[0]; zero > 0)
    for (double& v : r) v /= zero;
  return r;
}

double valueAt(const std::vector<double>& r, double lag) {
  const int n = int(r.size());
  if (lag < 0 || lag > n - 1) return 0;
  const int i = std::min(int(lag), n - 1);
  const double t = lag - i;
  auto at = [&](int k) { return r[std::clamp(k, 0, n - 1)]; };
  const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
  // Catmull-Rom: passes through the samples, smooth between them.
  return p1 +
         0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
}

double combAt(const std::vector<double>& r, double lag, int terms) {
  if (lag <= 0) return 0;
  double sum = 0;
  for (int k = 1; k <= terms; ++k) sum += valueAt(r, k * lag);
  return sum / terms;
}

double refinePeriod(const std::vector<double>& r, double lag, double tolerance) {
  if (lag <= 0) return lag;
  const int terms = std::max(1, int((double(r.size()) - 2) / (lag * (1 + tolerance))));
  const int steps = 400;
  double best = lag, bestScore = -1e300;
  for (int s = -steps; s <= steps; ++s) {
    const double l = lag * (1 + tolerance * s / steps);
    const double score = combAt(r, l, terms);
    if (score > bestScore) bestScore = score, best = l;
  }
  return best;
}

}  // namespace qdl::tempo
