// Any bytes as an MP3 file: the decoder opens it or fails with a reason,
// decodes in whole frames with a bounded amount of work and survives seeks
// by time, sample and offset; the MP3 source built on it hands out exact
// blocks, reports the end once and for good, and keeps its time in step.

#include <sys/mman.h>
#include <unistd.h>

#include <QString>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/Formate.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/mp3/Decoder.h"

namespace qdl::fuzz {
namespace {

using mp3::DecodeStatus;

// Decodes up to `frames` frames and checks what each call promises.
void decodeSome(mp3::Decoder& d, int frames) {
  for (int i = 0; i < frames; ++i) {
    const std::int64_t before = d.position();
    const DecodeStatus st = d.decode();
    QDL_FUZZ_CHECK(st == DecodeStatus::Ok || st == DecodeStatus::EndOfInput ||
                   st == DecodeStatus::Error);
    QDL_FUZZ_CHECK(d.position() == before + d.output().samplesPerFrame);
    if (st != DecodeStatus::Ok) {
      for (int b = 0; b < d.output().frameBytes; ++b) QDL_FUZZ_CHECK(d.frame()[b] == 0);
      return;
    }
  }
}

void decoder(const std::string& path, const std::uint8_t* data, std::size_t size) {
  mp3::Decoder d;
  std::string reason;
  if (!d.open(path, reason)) {
    QDL_FUZZ_CHECK(!reason.empty());
    QDL_FUZZ_CHECK(!d.isOpen());
    return;
  }
  const auto& out = d.output();
  QDL_FUZZ_CHECK(out.channels == 1 || out.channels == 2);
  QDL_FUZZ_CHECK(out.sampleRate >= 8000 && out.sampleRate <= 48000);
  QDL_FUZZ_CHECK(out.samplesPerFrame == 384 || out.samplesPerFrame == 576 ||
                 out.samplesPerFrame == 1152);
  QDL_FUZZ_CHECK(out.frameBytes == out.samplesPerFrame * out.channels * 2);
  QDL_FUZZ_CHECK(d.input().totalSamples > 0);
  QDL_FUZZ_CHECK(d.input().durationSeconds == d.input().totalSamples / out.sampleRate);
  decodeSome(d, 400);
  const std::uint32_t pick = size >= 4 ? std::uint32_t(data[size - 1]) << 8 | data[size - 2] : 0;
  if (d.seekToTime(float(pick % 1000) * 0.01f)) decodeSome(d, 8);
  if (d.seekToOffset(std::int64_t(pick) * 7 % std::int64_t(size + 1))) decodeSome(d, 8);
  if (d.seekToSample(std::int64_t(pick) * 13)) decodeSome(d, 8);
  if (d.seekToTime(0.0f)) QDL_FUZZ_CHECK(d.position() == 0);
  decodeSome(d, 4);
}

void source(const QString& path, const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<TMp3Source> s;
  try {
    s = std::make_unique<TMp3Source>(path);
  } catch (const Mp3OpenError& e) {
    QDL_FUZZ_CHECK(!e.reason().isEmpty());
    return;
  }
  QDL_FUZZ_CHECK(s->BitsPerSample == 16);
  QDL_FUZZ_CHECK(s->Channels == 1 || s->Channels == 2);
  QDL_FUZZ_CHECK(s->BufferBytes > 0 && s->BufferBytes % (2 * s->Channels * 2) == 0);
  QDL_FUZZ_CHECK(s->Duration >= 0);
  std::vector<std::uint8_t> block(std::size_t(s->BufferBytes / 2));
  // Blocks until the end, which once reported stays; the time never goes
  // back and the carry-over stays below two frames.
  auto play = [&](int blocks) {
    bool ended = false;
    int last = s->GetTime();
    for (int i = 0; i < blocks; ++i) {
      const int r = s->ReadBlock(block.data());
      QDL_FUZZ_CHECK(r == 0 || r == 10);
      QDL_FUZZ_CHECK(!ended || r == 10);
      ended = r == 10;
      QDL_FUZZ_CHECK(s->CarryBytes >= 0 && s->CarryBytes < 2 * s->FrameBytes);
      QDL_FUZZ_CHECK(s->GetTime() >= last);
      last = s->GetTime();
      if (ended && i > 3) break;
    }
  };
  play(40);
  const int at = size >= 3 ? int(data[size - 3]) * 37 : 0;
  s->Seek(at);
  QDL_FUZZ_CHECK(s->CarryBytes == 0);
  play(6);
  s->Seek(0);
  play(3);
}

}  // namespace

void mp3(const std::uint8_t* data, std::size_t size) {
  // The bytes as a file that has no name in any folder.
  const int fd = memfd_create("fuzz.mp3", MFD_CLOEXEC);
  if (fd < 0) return;
  for (std::size_t written = 0; written < size;) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += std::size_t(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  decoder(path, data, size);
  source(QString::fromStdString(path), data, size);
  close(fd);
}

std::vector<QByteArray> mp3Seeds() {
  std::vector<QByteArray> seeds = fixtureSeeds(16384);
  for (const QByteArray& whole : fixtureSeeds(0))
    if (whole.size() <= 65536) seeds.push_back(whole);
  return seeds;
}

}  // namespace qdl::fuzz
