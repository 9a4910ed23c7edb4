#pragma once
// Helpers for the recording tests: decoding a recorded file, a signal on a
// virtual card, waiting for the writer.

#include <sndfile.h>

#include <QFile>
#include <QString>
#include <QThread>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

namespace qdl::test {

// The interleaved stereo samples of an audio file (FLAC, WAV or MP3) as
// libsndfile decodes it; empty when it does not open.
inline std::vector<std::int16_t> decodeFile(const QString& path, int* rate = nullptr) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (!f) return {};
  if (rate) *rate = info.samplerate;
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> block(4096 * std::size_t(info.channels));
  for (;;) {
    const sf_count_t n = sf_readf_short(f, block.data(), 4096);
    if (n <= 0) break;
    out.insert(out.end(), block.begin(), block.begin() + n * info.channels);
  }
  sf_close(f);
  return out;
}

// Waits (without a time limit of its own: the test's timeout ends a hang)
// until `done` holds.
inline void waitFor(const std::function<bool()>& done) {
  while (!done()) QThread::msleep(2);
}

// A stereo pattern of noise that depends on the frame's place only, so any
// lost, doubled or moved frame shows (and no encoder squeezes it away).
inline std::vector<std::int16_t> pattern(std::int64_t first, int frames) {
  std::vector<std::int16_t> out(std::size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const auto v = std::int16_t(std::uint16_t((std::uint64_t(first + i) * 2654435761u) >> 13));
    out[std::size_t(i) * 2] = v;
    out[std::size_t(i) * 2 + 1] = std::int16_t(-v);
  }
  return out;
}

}  // namespace qdl::test

namespace qdl::test {
inline int peakOf16(const std::vector<std::int16_t>& samples) {
  int p = 0;
  for (const std::int16_t s : samples) p = std::max(p, std::abs(int(s)));
  return p;
}
}  // namespace qdl::test
