#pragma once
// Writes 44100 Hz 16-bit stereo PCM to a WAV file (internal). The header's
// sizes are brought up to date about once a second of audio and on close, so
// a file cut short by a crash still plays.

#include <QString>

#include <cstdint>
#include <cstdio>

namespace qdl::sound::detail {

class WavWriter {
 public:
  // Throws SoundError when the file cannot be created.
  explicit WavWriter(const QString& path);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  void write(const std::int16_t* frames, int count);

 private:
  void patchHeader();

  std::FILE* file_ = nullptr;
  std::uint32_t dataBytes_ = 0;
  std::uint32_t sinceHeader_ = 0;
};

}  // namespace qdl::sound::detail
