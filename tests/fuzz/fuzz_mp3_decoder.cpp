// libFuzzer target for the MP3 decoder layer: any bytes as a file must open
// or fail with a reason, decode in whole frames with a bounded amount of
// work, and survive seeks by time and by offset. Built by scripts/fuzz-mp3.
#include "platform/mp3/Decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

using qdl::mp3::DecodeStatus;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Decodes up to `frames` frames and checks what each call promises.
void decodeSome(qdl::mp3::Decoder& d, int frames) {
  for (int i = 0; i < frames; ++i) {
    const std::int64_t before = d.position();
    const DecodeStatus st = d.decode();
    check(st == DecodeStatus::Ok || st == DecodeStatus::EndOfInput || st == DecodeStatus::Error);
    check(d.position() == before + d.output().samplesPerFrame);
    if (st != DecodeStatus::Ok) {
      for (int b = 0; b < d.output().frameBytes; ++b) check(d.frame()[b] == 0);
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("fuzz.mp3", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += std::size_t(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  qdl::mp3::Decoder d;
  std::string reason;
  if (!d.open(path, reason)) {
    check(!reason.empty());
    check(!d.isOpen());
  } else {
    const auto& out = d.output();
    check(out.channels == 1 || out.channels == 2);
    check(out.sampleRate >= 8000 && out.sampleRate <= 48000);
    check(out.samplesPerFrame == 384 || out.samplesPerFrame == 576 || out.samplesPerFrame == 1152);
    check(out.frameBytes == out.samplesPerFrame * out.channels * 2);
    check(d.input().totalSamples > 0);
    check(d.input().durationSeconds == d.input().totalSamples / out.sampleRate);
    decodeSome(d, 400);
    const std::uint32_t pick = size >= 4 ? std::uint32_t(data[size - 1]) << 8 | data[size - 2] : 0;
    const float seconds = float(pick % 1000) * 0.01f;
    if (d.seekToTime(seconds)) decodeSome(d, 8);
    if (d.seekToOffset(std::int64_t(pick) * 7 % std::int64_t(size + 1))) decodeSome(d, 8);
    if (d.seekToTime(0.0f)) check(d.position() == 0);
    decodeSome(d, 4);
  }
  close(fd);
  return 0;
}
