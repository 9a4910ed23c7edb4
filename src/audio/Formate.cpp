#include "audio/Formate.h"

#include "platform/mp3/Decoder.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace qdl {

namespace {

int timeCodeHundredths(const mp3::TimeCode& t) {
  return t.hours * 360000 + t.minutes * 6000 + t.seconds * 100 + t.hundredths;
}

QString describe(const QString& fileName, const QString& reason) {
  return fileName + QStringLiteral(": ") + reason;
}

}  // namespace

Mp3OpenError::Mp3OpenError(const QString& fileName, const QString& reason)
    : std::runtime_error(describe(fileName, reason).toStdString()),
      fileName_(fileName),
      reason_(reason) {}

TMp3Source::TMp3Source(const QString& fileName) : decoder_(std::make_unique<mp3::Decoder>()) {
  std::string reason;
  if (!decoder_->open(QFile::encodeName(fileName).toStdString(), reason))
    throw Mp3OpenError(fileName, QString::fromStdString(reason));

  Channels = decoder_->status().mode == mp3::ModeSingleChannel ? 1 : 2;
  // One frame into the decoder's own buffer fills in the output description.
  decoder_->decode();
  const mp3::OutputInfo& out = decoder_->output();
  Duration = decoder_->input().durationSeconds * 100;
  BitsPerSample = out.bytesPerSample * 8;
  SampleRate = out.sampleRate;
  FrameBytes = out.frameBytes;
  BytesPerSecond = SampleRate * Channels * BitsPerSample / 8;
  FrameSeconds = FrameBytes * 100.0 / BytesPerSecond * 0.01;
  // Half a second, rounded down to a multiple of two sample frames: the
  // player fills its ring in two halves, and a half that ended inside a
  // sample frame (22050 Hz stereo, 11025 Hz) would swap channels or bytes
  // at every wrap. Rates of 32, 44.1 and 48 kHz are unchanged by this.
  BufferBytes = BytesPerSecond / 2;
  BufferBytes -= BufferBytes % (2 * blockAlign());
  decoder_->seekToOffset(0);

  const int half = BufferBytes / 2;
  FramesPerBlock = half / FrameBytes + (half % FrameBytes ? 1 : 0);
  CarryBytes = 0;
  CarryTime = 0.0;
  work_.assign(static_cast<std::size_t>(FramesPerBlock + 2) * FrameBytes, 0);
}

TMp3Source::~TMp3Source() = default;

int TMp3Source::ReadBlock(std::uint8_t* dest) {
  const int frames = FramesPerBlock - (CarryBytes > FrameBytes ? 1 : 0);
  std::uint8_t* frame = work_.data() + CarryBytes;
  for (int i = 0; i < frames; ++i, frame += FrameBytes) {
    const std::int64_t first = decoder_->position();
    const bool ok = decoder_->decode(frame) == mp3::DecodeStatus::Ok;
    if (!ok) std::memset(frame, BitsPerSample < 16 ? 0x80 : 0, FrameBytes);
    if (ok && first + FrameBytes / blockAlign() > decoder_->input().totalSamples - SampleRate / 100)
      fadeOutEnd(frame, first);
    if (endOffset_ < 0 && decoder_->atEnd())
      endOffset_ = static_cast<int>(frame - work_.data()) + (ok ? FrameBytes : 0);
  }
  const int total = CarryBytes + frames * FrameBytes;
  const int half = BufferBytes / 2;
  std::memcpy(dest, work_.data(), half);
  CarryBytes = total - half;
  std::memmove(work_.data(), work_.data() + half, CarryBytes);
  CarryTime = CarryBytes * 100.0 / BytesPerSecond;
  // The end is reported with the block that hands out the song's last
  // bytes, not with the block whose last decode call met the end: up to a
  // frame of sound can still sit in the carry-over then, and a player that
  // stops on the third end report would cut it off.
  const bool end = endOffset_ >= 0 && endOffset_ <= half;
  if (endOffset_ >= 0) endOffset_ = std::max(endOffset_ - half, 0);
  return end ? 10 : 0;
}

int TMp3Source::GetTime() const {
  return static_cast<int>(timeCodeHundredths(decoder_->status().time) - CarryTime);
}

void TMp3Source::Seek(int hundredths) {
  const int t = std::max(hundredths, 0);
  // The next block starts at the first sample at or after the target, so a
  // song at 0 starts with its first sample and GetTime is the target.
  SeekSample((static_cast<std::int64_t>(t) * SampleRate + 99) / 100);
}

void TMp3Source::SeekSample(std::int64_t sample) {
  CarryBytes = 0;
  CarryTime = 0.0;
  endOffset_ = -1;
  decoder_->seekToSample(std::max<std::int64_t>(sample, 0));
  if (decoder_->atEnd()) endOffset_ = 0;
}

std::int64_t TMp3Source::NextSample() const {
  return decoder_->position() - CarryBytes / blockAlign();
}

void TMp3Source::fadeOutEnd(std::uint8_t* frame, std::int64_t first) const {
  // The song's last 3 ms glide to silence, so a song cut in the middle of a
  // waveform does not end with a click.
  const std::int64_t total = decoder_->input().totalSamples;
  const int fade = std::max(1, SampleRate * 3 / 1000);
  const int perFrame = FrameBytes / blockAlign();
  const std::int64_t from = std::max(first, total - fade);
  const std::int64_t to = std::min(first + perFrame, total);
  for (std::int64_t n = from; n < to; ++n) {
    const double k = double(n - (total - fade) + 1) / fade;
    const double factor = 0.5 + 0.5 * std::cos(std::numbers::pi * k);
    auto* s = reinterpret_cast<std::int16_t*>(frame + (n - first) * blockAlign());
    for (int ch = 0; ch < Channels; ++ch) {
      std::int16_t v;
      std::memcpy(&v, s + ch, 2);
      v = static_cast<std::int16_t>(std::lround(v * factor));
      std::memcpy(s + ch, &v, 2);
    }
  }
}

}  // namespace qdl
