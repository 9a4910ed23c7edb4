#include "platform/sound/WavWriter.h"

#include "platform/sound/Sound.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>

namespace qdl::sound::detail {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kHeaderBytes = 44;

void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

std::array<unsigned char, kHeaderBytes> header(std::uint32_t dataBytes) {
  std::array<unsigned char, kHeaderBytes> h{};
  std::memcpy(h.data(), "RIFF", 4);
  put32(h.data() + 4, 36 + dataBytes);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  put32(h.data() + 16, 16);
  put16(h.data() + 20, 1);  // PCM
  put16(h.data() + 22, 2);
  put32(h.data() + 24, kRate);
  put32(h.data() + 28, kRate * 4);
  put16(h.data() + 32, 4);
  put16(h.data() + 34, 16);
  std::memcpy(h.data() + 36, "data", 4);
  put32(h.data() + 40, dataBytes);
  return h;
}

}  // namespace

WavWriter::WavWriter(const QString& path) {
  file_ = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (!file_)
    throw SoundError(QStringLiteral("Cannot create the capture file %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                         .toStdString());
  const auto h = header(0);
  std::fwrite(h.data(), 1, h.size(), file_);
}

WavWriter::~WavWriter() {
  patchHeader();
  std::fclose(file_);
}

void WavWriter::write(const std::int16_t* frames, int count) {
  // WAV data is little-endian, as is every host this runs on.
  const size_t bytes = size_t(count) * 4;
  std::fwrite(frames, 1, bytes, file_);
  dataBytes_ += std::uint32_t(bytes);
  sinceHeader_ += std::uint32_t(bytes);
  if (sinceHeader_ >= kRate * 4) patchHeader();
}

void WavWriter::patchHeader() {
  sinceHeader_ = 0;
  const auto h = header(dataBytes_);
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(h.data(), 1, h.size(), file_);
  std::fseek(file_, 0, SEEK_END);
  std::fflush(file_);
}

}  // namespace qdl::sound::detail
