#include "platform/sound/SoundBufferImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qdl::sound {
namespace {

[[noreturn]] void fail(const QString& text) { throw SoundError(text.toStdString()); }

}  // namespace

SoundBuffer::SoundBuffer(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}

SoundBuffer::~SoundBuffer() {
  std::lock_guard lock(d_->card->mutex);
  std::erase(d_->card->voices, d_->voice.get());
}

const WaveFormat& SoundBuffer::format() const { return d_->voice->format; }
int SoundBuffer::bytes() const { return int(d_->voice->data.size()); }

void SoundBuffer::play(bool looping) {
  {
    std::lock_guard lock(d_->card->mutex);
    detail::Voice& v = *d_->voice;
    v.looping = looping;
    if (v.playing) return;
    v.playing = true;
    v.restartLocked();
    v.inStale = false;
    v.gain = v.targetGain;
    if (v.fadeFrames > 0) v.fadeInDone = 0;
  }
  d_->card->wake();  // a card that slept with nothing to play starts again
}

void SoundBuffer::stop() {
  std::lock_guard lock(d_->card->mutex);
  detail::Voice& v = *d_->voice;
  if (!v.playing) return;
  v.fadeOutLocked();
  // Resume from what was heard: the mixer's read position minus what is still
  // in the limiter and the card's output buffers.
  const double heard = v.heardPosition(d_->card->pendingFramesLocked());
  const double read = double(v.pos) + double(v.frac) / double(detail::kOne);
  double back = read - heard;
  if (back < 0) back += v.frames;
  const double whole = std::floor(heard);
  v.pos = std::int64_t(whole) % v.frames;
  v.frac = std::uint32_t((heard - whole) * double(detail::kOne));
  v.history = std::max(0, v.history - int(std::ceil(back)));
  // The stretch mixed but not yet heard is played again on resume: it is not
  // stale sound.
  const int again = std::min(int(std::ceil(back)) + 1, v.frames);
  for (int k = 0; k < again; ++k) v.fresh[size_t((v.pos + k) % v.frames)] = 1;
  v.playing = false;
  v.fadeInDone = -1;
  v.restartLocked();
}

bool SoundBuffer::isPlaying() const {
  std::lock_guard lock(d_->card->mutex);
  return d_->voice->playing;
}

int SoundBuffer::currentPosition() const {
  std::lock_guard lock(d_->card->mutex);
  const detail::Voice& v = *d_->voice;
  const double pending = v.playing ? d_->card->pendingFramesLocked() : 0.0;
  const auto frame = std::int64_t(std::floor(v.heardPosition(pending))) % v.frames;
  return int(frame) * v.format.blockAlign();
}

void SoundBuffer::setCurrentPosition(int bytes) {
  if (bytes < 0 || bytes >= this->bytes())
    fail(QStringLiteral("Play position %1 is outside the sound buffer of %2 bytes")
             .arg(bytes)
             .arg(this->bytes()));
  std::lock_guard lock(d_->card->mutex);
  detail::Voice& v = *d_->voice;
  v.moveLocked(bytes / v.format.blockAlign());
}

LockedRegion SoundBuffer::lock(int offset, int count) {
  const int size = bytes();
  if (offset < 0 || offset >= size || count < 1 || count > size)
    fail(QStringLiteral("Cannot lock %1 bytes at %2 of a sound buffer of %3 bytes")
             .arg(count)
             .arg(offset)
             .arg(size));
  if (d_->locked) fail(QStringLiteral("The sound buffer is already locked"));
  const int first = std::min(count, size - offset);
  const int second = count - first;
  std::byte* staging = d_->staging.data();
  {
    std::lock_guard lock(d_->card->mutex);
    const std::byte* ring = d_->voice->data.data();
    std::memcpy(staging + offset, ring + offset, size_t(first));
    std::memcpy(staging, ring, size_t(second));
  }
  d_->locked = true;
  d_->lockOffset = offset;
  d_->lockBytes = count;
  return {std::span(staging + offset, size_t(first)), std::span(staging, size_t(second))};
}

void SoundBuffer::unlock(const LockedRegion& region) { commit(region, -1); }

void SoundBuffer::unlockAndMove(const LockedRegion& region, int cursor) {
  if (cursor < 0 || cursor >= bytes())
    fail(QStringLiteral("Play position %1 is outside the sound buffer of %2 bytes")
             .arg(cursor)
             .arg(bytes()));
  commit(region, cursor);
}

void SoundBuffer::commit(const LockedRegion& region, int cursor) {
  if (!d_->locked) fail(QStringLiteral("The sound buffer is not locked"));
  const int size = bytes();
  const int offset = d_->lockOffset;
  const int first = std::min(d_->lockBytes, size - offset);
  const int second = d_->lockBytes - first;
  std::byte* staging = d_->staging.data();
  const bool firstOk = region.first.empty() || (region.first.data() == staging + offset &&
                                                int(region.first.size()) <= first);
  const bool secondOk = region.second.empty() ||
                        (region.second.data() == staging && int(region.second.size()) <= second);
  if (!firstOk || !secondOk) fail(QStringLiteral("The unlocked region is not the locked one"));
  d_->locked = false;

  std::lock_guard lock(d_->card->mutex);
  detail::Voice& v = *d_->voice;
  const int align = v.format.blockAlign();
  // A tail of the old position is rendered before its bytes are replaced.
  if (cursor >= 0) v.fadeOutLocked();
  auto write = [&](int at, int n) {
    if (n <= 0) return;
    std::memcpy(v.data.data() + at, staging + at, size_t(n));
    std::fill(v.fresh.begin() + at / align, v.fresh.begin() + (at + n + align - 1) / align, 1);
  };
  write(offset, int(region.first.size()));
  write(0, int(region.second.size()));
  if (cursor >= 0) v.moveLocked(cursor / align, false);
}

bool SoundBuffer::setFadeFrames(int frames) {
  if (frames < 0 || frames > detail::kMaxFade) return false;
  std::lock_guard lock(d_->card->mutex);
  d_->voice->fadeFrames = frames;
  return true;
}

int SoundBuffer::fadeFrames() const {
  std::lock_guard lock(d_->card->mutex);
  return d_->voice->fadeFrames;
}

bool SoundBuffer::setVolume(int hundredthsDb) {
  if (hundredthsDb < -10000 || hundredthsDb > 0) return false;
  const float gain = hundredthsDb <= -10000 ? 0.0f : float(std::pow(10.0, hundredthsDb / 2000.0));
  std::lock_guard lock(d_->card->mutex);
  detail::Voice& v = *d_->voice;
  v.volume = hundredthsDb;
  v.targetGain = gain;
  if (!v.playing) v.gain = gain;
  return true;
}

int SoundBuffer::volume() const {
  std::lock_guard lock(d_->card->mutex);
  return d_->voice->volume;
}

bool SoundBuffer::setFrequency(int hz) {
  if (hz == 0) hz = format().sampleRate;
  if (hz < detail::kMinFrequency || hz > detail::kMaxFrequency) return false;
  const detail::KernelBank* bank = detail::kernelBankForStep(double(hz) / detail::kCardRate);
  std::lock_guard lock(d_->card->mutex);
  d_->voice->setFrequencyLocked(hz, bank);
  return true;
}

int SoundBuffer::frequency() const {
  std::lock_guard lock(d_->card->mutex);
  return d_->voice->frequency;
}

int SoundBuffer::refillMisses() const {
  std::lock_guard lock(d_->card->mutex);
  return d_->voice->misses;
}

}  // namespace qdl::sound
