#pragma once
// Helpers for the sound tests: signals, buffer writes, rendering a virtual card.

#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

namespace qdl::test {

// Interleaved 16-bit samples of a sine of `hz` at `rate` (all channels equal).
inline std::vector<std::int16_t> sine(int frames, int channels, double hz, double amplitude,
                                      double rate = 44100.0) {
  std::vector<std::int16_t> out(size_t(frames) * size_t(channels));
  for (int i = 0; i < frames; ++i) {
    const auto v =
        std::int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    for (int c = 0; c < channels; ++c) out[size_t(i) * size_t(channels) + size_t(c)] = v;
  }
  return out;
}

inline std::vector<std::int16_t> constant(int samples, std::int16_t value) {
  return std::vector<std::int16_t>(size_t(samples), value);
}

// Writes samples at byte `offset` through lock/unlock (wrapping like the API does).
inline void write(sound::SoundBuffer& buffer, int offset,
                  const std::vector<std::int16_t>& samples) {
  const int bytes = int(samples.size() * 2);
  const sound::LockedRegion r = buffer.lock(offset, bytes);
  const auto* src = reinterpret_cast<const std::byte*>(samples.data());
  std::memcpy(r.first.data(), src, r.first.size());
  if (!r.second.empty()) std::memcpy(r.second.data(), src + r.first.size(), r.second.size());
  buffer.unlock(r);
}

// Largest magnitude of the samples.
inline int peakOf(const std::vector<std::int16_t>& samples) {
  int p = 0;
  for (std::int16_t s : samples) p = std::max(p, std::abs(int(s)));
  return p;
}

// Renders `frames` frames of virtual card `card` and returns them.
inline std::vector<std::int16_t> render(int card, int frames) {
  sound::VirtualCards::advance(card, frames);
  return sound::VirtualCards::takeCaptured(card);
}

}  // namespace qdl::test
