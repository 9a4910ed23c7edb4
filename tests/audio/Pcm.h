#pragma once
// Helpers for tests on decoded 16-bit PCM from the generated MP3 fixtures.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/mp3/Decoder.h"

namespace qdl::test {

inline std::string fixture(const std::string& name) {
  return std::string(QDL_FIXTURE_DIR) + "/" + name;
}

// The whole file decoded frame by frame, padding of the last frame included.
inline std::vector<std::uint8_t> decodeAll(const std::string& path) {
  mp3::Decoder d;
  std::string reason;
  if (!d.open(path, reason)) return {};
  std::vector<std::uint8_t> pcm;
  const int bytes = d.output().frameBytes;
  while (d.decode() == mp3::DecodeStatus::Ok) pcm.insert(pcm.end(), d.frame(), d.frame() + bytes);
  return pcm;
}

inline std::vector<std::int16_t> samples(const std::uint8_t* data, std::size_t bytes) {
  std::vector<std::int16_t> s(bytes / 2);
  std::memcpy(s.data(), data, s.size() * 2);
  return s;
}

inline double rms(const std::vector<std::int16_t>& s) {
  double sum = 0;
  for (auto v : s) sum += double(v) * v;
  return s.empty() ? 0 : std::sqrt(sum / s.size());
}

// Sign changes per second of channel 0 (twice the frequency of a sine).
inline double crossingsPerSecond(const std::vector<std::int16_t>& s, int channels, int rate) {
  int n = 0;
  for (std::size_t i = channels; i < s.size(); i += channels)
    if ((s[i] >= 0) != (s[i - channels] >= 0)) ++n;
  return n * double(rate) / (s.size() / channels);
}

// Mean absolute difference of `len` samples of a and b.
inline double meanDiff(const std::int16_t* a, const std::int16_t* b, std::size_t len) {
  double sum = 0;
  for (std::size_t i = 0; i < len; ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return sum / len;
}

// Shift in sample frames (within +-range) at which `block` best matches
// `ref` around sample frame `expected`.
inline int bestShift(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& block,
                     long expected, int channels, int range) {
  int best = 0;
  double bestDiff = std::numeric_limits<double>::max();
  const std::size_t len = std::min<std::size_t>(block.size(), 4096);
  for (int k = -range; k <= range; ++k) {
    const long start = (expected + k) * channels;
    if (start < 0 || std::size_t(start) + len > ref.size()) continue;
    const double d = meanDiff(ref.data() + start, block.data(), len);
    if (d < bestDiff) {
      bestDiff = d;
      best = k;
    }
  }
  return best;
}

}  // namespace qdl::test
