#include "platform/sound/SoundBufferImpl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace qdl::sound {
namespace {

[[noreturn]] void fail(const QString& text) { throw SoundError(text.toStdString()); }

}  // namespace

SoundBuffer::SoundBuffer(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}

using detail::Command;

SoundBuffer::~SoundBuffer() {
  Command c;
  c.kind = Command::RemoveVoice;
  c.voice = d_->voice.get();
  // A card that stopped rendering may still hold the voice: it stays alive.
  if (!d_->card->run(c, true)) d_->card->keepOrphan(std::move(d_->voice), std::move(d_->staging));
  std::lock_guard lock(d_->card->control);
  --d_->card->voiceCount;
}

const WaveFormat& SoundBuffer::format() const { return d_->voice->format; }
int SoundBuffer::bytes() const { return int(d_->voice->data.size()); }

void SoundBuffer::play(bool looping) {
  Command c;
  c.kind = Command::Play;
  c.voice = d_->voice.get();
  c.flag = looping;
  d_->card->run(c, true);  // a card that slept with nothing to play starts again
}

void SoundBuffer::stop() {
  Command c;
  c.kind = Command::Stop;
  c.voice = d_->voice.get();
  {
    std::lock_guard lock(d_->reported);
    c.heard = d_->lastHeard;
    c.restarts = d_->lastRestarts;
  }
  d_->card->run(c, true);
}

bool SoundBuffer::isPlaying() const { return d_->voice->published().playing; }

int SoundBuffer::currentPosition() const {
  const detail::Voice& v = *d_->voice;
  const detail::Voice::Published s = v.published();
  double p = s.readPos;
  if (s.playing) {
    // The output still pending in the card, between what it was just after
    // the last block and a block's time later.
    double t = 0.0;
    if (s.timing.realtime && s.timing.lastBlock > 0) {
      const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
      const double elapsed = double(now - s.timing.renderedAt) * 1e-9 * detail::kCardRate;
      t = std::clamp(elapsed, 0.0, double(s.timing.lastBlock)) / s.timing.lastBlock;
    }
    const double behind =
        std::min(s.behindNew + (s.behindOld - s.behindNew) * t, std::max(s.sinceStart, 0.0));
    p = s.readPos - behind;
    if (p < 0) p = s.looping ? p + v.frames : 0.0;
    std::lock_guard lock(d_->reported);
    if (d_->lastRestarts == s.restarts && d_->lastHeard >= 0.0) {
      // A small step back (up to 1/16 of the ring) is jitter in the latency
      // figure; anything further is the ring moving on past its end.
      double forward = p - d_->lastHeard;
      if (s.looping && forward < 0) forward += v.frames;
      if (forward < 0 || (s.looping && forward > v.frames - v.frames / 16.0)) p = d_->lastHeard;
    }
    d_->lastHeard = p;
    d_->lastRestarts = s.restarts;
  }
  const auto frame = std::int64_t(std::floor(p)) % v.frames;
  return int(frame) * v.format.blockAlign();
}

void SoundBuffer::setCurrentPosition(int bytes) {
  if (bytes < 0 || bytes >= this->bytes())
    fail(QStringLiteral("Play position %1 is outside the sound buffer of %2 bytes")
             .arg(bytes)
             .arg(this->bytes()));
  Command c;
  c.kind = Command::Move;
  c.voice = d_->voice.get();
  c.frame = bytes / d_->voice->format.blockAlign();
  d_->card->run(c, true);
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
  // Only this buffer's own writes change the ring.
  const std::byte* ring = d_->voice->data.data();
  std::memcpy(staging + offset, ring + offset, size_t(first));
  std::memcpy(staging, ring, size_t(second));
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

  detail::Voice& v = *d_->voice;
  if (cursor >= 0) {
    Command c;
    c.kind = Command::Write;
    c.voice = &v;
    c.bytes = staging;
    c.offset = offset;
    c.first = int(region.first.size());
    c.second = int(region.second.size());
    c.frame = cursor / v.format.blockAlign();
    d_->card->run(c, true);
    return;
  }
  // A refill writes where the cursor has left; its frames count as fresh
  // once their bytes are in.
  const int align = v.format.blockAlign();
  auto write = [&](int at, int n) {
    if (n <= 0) return;
    std::memcpy(v.data.data() + at, staging + at, size_t(n));
    for (int f = at / align, end = (at + n + align - 1) / align; f < end; ++f)
      v.fresh[size_t(f)].store(1, std::memory_order_release);
  };
  write(offset, int(region.first.size()));
  write(0, int(region.second.size()));
}

bool SoundBuffer::setFadeFrames(int frames) {
  if (frames < 0 || frames > detail::kMaxFade) return false;
  d_->fadeFrames = frames;
  Command c;
  c.kind = Command::Fade;
  c.voice = d_->voice.get();
  c.number = frames;
  d_->card->run(c, false);
  return true;
}

int SoundBuffer::fadeFrames() const { return d_->fadeFrames; }

void SoundBuffer::Impl::sendVolume() {
  const int v = volume;
  Command c;
  c.kind = Command::Volume;
  c.voice = voice.get();
  c.number = v;
  c.gain = v <= -10000 ? 0.0f : float(std::pow(10.0, (v + gain) / 2000.0));
  card->run(c, false);
}

bool SoundBuffer::setVolume(int hundredthsDb) {
  if (hundredthsDb < -10000 || hundredthsDb > 0) return false;
  d_->volume = hundredthsDb;
  d_->sendVolume();
  return true;
}

int SoundBuffer::volume() const { return d_->volume; }

bool SoundBuffer::setGain(int hundredthsDb) {
  if (hundredthsDb < -2400 || hundredthsDb > 1200) return false;
  if (d_->gain == hundredthsDb) return true;
  d_->gain = hundredthsDb;
  d_->sendVolume();
  return true;
}

int SoundBuffer::gain() const { return d_->gain; }

bool SoundBuffer::setFrequency(int hz) {
  if (hz == 0) hz = format().sampleRate;
  if (hz < detail::kMinFrequency || hz > detail::kMaxFrequency) return false;
  d_->frequency = hz;
  Command c;
  c.kind = Command::Frequency;
  c.voice = d_->voice.get();
  c.number = hz;
  c.bank = detail::kernelBankForStep(double(hz) / detail::kCardRate);
  d_->card->run(c, false);
  return true;
}

int SoundBuffer::frequency() const { return d_->frequency; }

int SoundBuffer::refillMisses() const { return d_->voice->published().misses; }

}  // namespace qdl::sound
