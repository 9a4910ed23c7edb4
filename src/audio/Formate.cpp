#include "audio/Formate.h"

#include "platform/mp3/Decoder.h"

#include <QFile>

#include <algorithm>
#include <cstring>

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
    const bool ok = decoder_->decode(frame) == mp3::DecodeStatus::Ok;
    if (!ok) std::memset(frame, BitsPerSample < 16 ? 0x80 : 0, FrameBytes);
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
  CarryBytes = 0;
  CarryTime = 0.0;
  endOffset_ = -1;

  // Land about one frame before the target, then decode that frame: its
  // part at or after the target becomes the carry-over.
  const double s = t * 0.01;
  decoder_->seekToTime(s > FrameSeconds ? static_cast<float>(s - FrameSeconds) : 0.0f);
  std::uint8_t* frame = work_.data();
  if (decoder_->decode(frame) != mp3::DecodeStatus::Ok)
    std::memset(frame, BitsPerSample < 16 ? 0x80 : 0, FrameBytes);

  CarryTime = timeCodeHundredths(decoder_->status().time) - t;
  int carry = static_cast<int>((BytesPerSecond / 100) * CarryTime);
  carry = std::clamp(carry, 0, FrameBytes);
  carry -= carry % blockAlign();  // whole sample frames keep the channel order
  CarryBytes = carry;
  std::memmove(work_.data(), frame + (FrameBytes - CarryBytes), CarryBytes);
  if (decoder_->atEnd()) endOffset_ = CarryBytes;
}

}  // namespace qdl
