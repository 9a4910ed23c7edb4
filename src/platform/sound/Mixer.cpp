#include "platform/sound/Mixer.h"

#include "platform/sound/WavWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

namespace qdl::sound::detail {
namespace {

using Vec4 = float __attribute__((vector_size(16)));

inline Vec4 load4(const float* p) {
  Vec4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline float sum4(Vec4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

constexpr int kPhaseShift = 32 - KernelBank::kPhaseBits;
constexpr std::uint32_t kPhaseMask = (1u << kPhaseShift) - 1;
constexpr float kPhaseScale = 1.0f / float(1u << kPhaseShift);
constexpr int kHistoryCap = 1 << 20;

// Raised-cosine fades: the factor after k of n frames fading in, and of
// frame i of n fading out (reaching 0 on the last). The slope stays below a
// quarter of the signal's own at 1 kHz, so a fade never makes a step of its
// own.
inline float fadeUp(int k, int n) {
  return k >= n ? 1.0f : float(0.5 - 0.5 * std::cos(std::numbers::pi * k / n));
}
inline float fadeDown(int i, int n) {
  return i + 1 >= n ? 0.0f : float(0.5 + 0.5 * std::cos(std::numbers::pi * (i + 1) / n));
}

int windowCapacity() {
  const double maxStep = double(kMaxFrequency) / kCardRate;
  return int(std::ceil(kMaxBlock * maxStep)) + 2 * maxHalfTapsForStep(maxStep) + 8;
}

static_assert(Limiter::kDelay == Device::kOutputDelayFrames);
static_assert(Limiter::kRate == kCardRate);
static_assert(Limiter::kMaxFrames >= kMaxBlock);

}  // namespace

Voice::Voice(const WaveFormat& f, int bytes, std::shared_ptr<DeviceState> dev)
    : format(f),
      frames(bytes / f.blockAlign()),
      data(size_t(bytes), f.bitsPerSample == 8 ? std::byte{0x80} : std::byte{0}),
      fresh(size_t(frames)),
      device(std::move(dev)),
      left(size_t(windowCapacity())),
      right(size_t(windowCapacity())),
      tail(size_t(2 * kMaxFade)),
      shape(size_t(std::max(kMaxBlock, kMaxFade))) {
  publish(CardTiming{});
}

void Voice::setFrequencyLocked(int hz, const KernelBank* kernel) {
  frequency = hz;
  step = (std::uint64_t(hz) << 32) / kCardRate;
  bank = kernel;
}

void Voice::loadWindow(std::int64_t first, int count) {
  const int channels = format.channels;
  const bool eight = format.bitsPerSample == 8;
  const std::byte* bytes = data.data();
  const int align = format.blockAlign();
  std::int64_t idx = looping ? ((first % frames) + frames) % frames : first;
  for (int j = 0; j < count; ++j, ++idx) {
    if (looping && idx == frames) idx = 0;
    const std::int64_t rel = first + j - pos;
    if (rel < -history || (!looping && (idx < 0 || idx >= frames))) {
      left[j] = right[j] = 0.0f;
      continue;
    }
    const std::byte* frame = bytes + idx * align;
    for (int ch = 0; ch < channels; ++ch) {
      float v;
      if (eight) {
        v = float((int(std::to_integer<unsigned char>(frame[ch])) - 128) * 256);
      } else {
        std::int16_t s;
        std::memcpy(&s, frame + 2 * ch, 2);
        v = float(s);
      }
      (ch == 0 ? left : right)[j] = v;
    }
  }
}

void Voice::consume(int count) {
  for (int k = 0; k < count; ++k) {
    std::atomic<std::uint8_t>& f = fresh[size_t(pos)];
    if (f.load(std::memory_order_acquire)) {
      f.store(0, std::memory_order_relaxed);
      inStale = false;
    } else if (!inStale) {
      ++misses;
      inStale = true;
    }
    if (++pos == frames) {
      pos = 0;
      if (!looping) {
        playing = false;
        frac = 0;
        history = 0;
        restartLocked();
        return;
      }
    }
  }
  history = std::min(history + count, kHistoryCap);
}

void Voice::render(float* acc, int n, const float* fade) {
  const KernelBank& b = *bank;
  const int half = b.halfTaps;
  const int taps = b.taps;
  const std::uint64_t span = std::uint64_t(frac) + std::uint64_t(n - 1) * step;
  const int count = int(span >> 32) + 2 * half;
  loadWindow(pos - half + 1, count);

  const float g0 = gain;
  const float dg = (targetGain - gain) / float(n);
  const bool stereo = format.channels == 2;
  const float* l = left.data();
  const float* r = stereo ? right.data() : left.data();
  auto gainAt = [&](int i) { return (g0 + dg * float(i + 1)) * (fade ? fade[i] : 1.0f); };

  if (step == kOne && frac == 0 && b.maxStep == 1.0) {
    // Whole frames at the card's rate: the kernel is the identity.
    if (!fade) {
      for (int i = 0; i < n; ++i) {
        const float g = g0 + dg * float(i + 1);
        acc[2 * i] += l[half - 1 + i] * g;
        acc[2 * i + 1] += r[half - 1 + i] * g;
      }
    } else {
      for (int i = 0; i < n; ++i) {
        const float g = gainAt(i);
        acc[2 * i] += l[half - 1 + i] * g;
        acc[2 * i + 1] += r[half - 1 + i] * g;
      }
    }
    return;
  }
  std::uint64_t x = frac;
  for (int i = 0; i < n; ++i, x += step) {
    const int base = int(x >> 32);
    const std::uint32_t f = std::uint32_t(x);
    const size_t row = size_t(f >> kPhaseShift) * taps;
    const float a = float(f & kPhaseMask) * kPhaseScale;
    const float* kc = b.coeffs.data() + row;
    const float* kd = b.deltas.data() + row;
    const float* xl = l + base;
    const float* xr = r + base;
    Vec4 sl = {0, 0, 0, 0}, sr = {0, 0, 0, 0};
    if (stereo) {
      for (int t = 0; t < taps; t += 4) {
        const Vec4 c = load4(kc + t) + a * load4(kd + t);
        sl += c * load4(xl + t);
        sr += c * load4(xr + t);
      }
    } else {
      for (int t = 0; t < taps; t += 4) sl += (load4(kc + t) + a * load4(kd + t)) * load4(xl + t);
      sr = sl;
    }
    const float g = gainAt(i);
    acc[2 * i] += sum4(sl) * g;
    acc[2 * i + 1] += sum4(sr) * g;
  }
}

void Voice::mixInto(float* acc, int n) {
  const float* fade = nullptr;
  if (fadeInDone >= 0) {
    for (int i = 0; i < n; ++i) shape[size_t(i)] = fadeUp(fadeInDone + i + 1, fadeFrames);
    fadeInDone += n;
    if (fadeInDone >= fadeFrames) fadeInDone = -1;
    fade = shape.data();
  }
  // A silent voice (a muted headphone ring, a deck faded all the way out)
  // adds nothing: its cursor moves on without the filter's work.
  if (gain != 0.0f || targetGain != 0.0f) render(acc, n, fade);
  gain = targetGain;

  const std::uint64_t total = std::uint64_t(frac) + std::uint64_t(n) * step;
  frac = std::uint32_t(total);
  sinceStart += double(n) * double(step) / double(kOne);
  recent[size_t(recentHead)] = {n, step};
  recentHead = (recentHead + 1) % kRecentBlocks;
  recentCount = std::min(recentCount + 1, kRecentBlocks);
  consume(int(total >> 32));
}

void Voice::addTail(float* acc, int n) {
  const int m = std::min(n, tailFrames - tailRead);
  const float* t = tail.data() + 2 * tailRead;
  for (int j = 0; j < 2 * m; ++j) acc[j] += t[j];
  tailRead += m;
  if (tailRead == tailFrames) tailRead = tailFrames = 0;
}

void Voice::fadeOutLocked() {
  if (fadeFrames <= 0 || !playing) return;
  // What is left of an earlier tail goes to the front; the new one adds to it.
  const int left = tailFrames - tailRead;
  float* t = tail.data();
  if (left > 0 && tailRead > 0) std::memmove(t, t + 2 * tailRead, sizeof(float) * size_t(2 * left));
  if (left < fadeFrames) std::fill(t + 2 * left, t + 2 * fadeFrames, 0.0f);
  tailRead = 0;
  tailFrames = std::max(left, fadeFrames);
  for (int i = 0; i < fadeFrames; ++i) {
    const float up = fadeInDone >= 0 ? fadeUp(fadeInDone + i + 1, fadeFrames) : 1.0f;
    shape[size_t(i)] = fadeDown(i, fadeFrames) * up;
  }
  render(t, fadeFrames, shape.data());
  fadeInDone = -1;
}

void Voice::moveLocked(std::int64_t frame, bool fadeOut) {
  if (fadeOut) fadeOutLocked();
  pos = frame;
  frac = 0;
  history = 0;
  restartLocked();
  inStale = false;
  if (playing && fadeFrames > 0) fadeInDone = 0;
}

void Voice::restartLocked() {
  sinceStart = 0.0;
  recentCount = 0;
  lastHeard = -1.0;
  ++restarts;
}

double Voice::behindFor(double pendingOutputFrames) const {
  // Walk back over the pending output block by block, each at its own step.
  double behind = 0.0;
  double left = std::max(pendingOutputFrames, 0.0);
  for (int k = 0, at = recentHead; k < recentCount && left > 0.0; ++k) {
    at = (at + kRecentBlocks - 1) % kRecentBlocks;
    const double take = std::min(left, double(recent[size_t(at)].frames));
    behind += take * double(recent[size_t(at)].step) / double(kOne);
    left -= take;
  }
  return behind + left * double(step) / double(kOne);
}

double Voice::heardPosition(double pendingOutputFrames) const {
  const double behind = std::min(behindFor(pendingOutputFrames), std::max(sinceStart, 0.0));
  double p = double(pos) + double(frac) / double(kOne) - behind;
  if (p < 0) p = looping ? p + frames : 0.0;
  if (playing && lastHeard >= 0.0) {
    // A small step back (up to 1/16 of the ring, 31 ms in a deck's ring) is
    // jitter in the latency figure; anything further is the ring moving on
    // past its end, also after a long stall of the one who asks.
    double forward = p - lastHeard;
    if (looping && forward < 0) forward += frames;
    if (forward < 0 || (looping && forward > frames - frames / 16.0)) p = lastHeard;
  }
  if (playing) lastHeard = p;
  return p;
}

namespace {
std::atomic<const std::function<void()>*> sleepHook{nullptr};
}  // namespace

void setSleepHook(const std::function<void()>* hook) { sleepHook.store(hook); }

namespace {
std::atomic<const RenderHook*> renderHook{nullptr};
}  // namespace

void setRenderHook(const RenderHook* hook) { renderHook.store(hook); }

void Voice::publish(const CardTiming& timing) {
  const double pendingOld = Limiter::kDelay + (timing.realtime ? timing.latencyFrames : 0.0);
  const double pendingNew = pendingOld + (timing.realtime ? timing.lastBlock : 0);
  const std::uint64_t flags =
      (playing ? 1u : 0u) | (looping ? 2u : 0u) | (timing.realtime ? 4u : 0u);
  const std::array<std::uint64_t, kWords> w = {
      std::bit_cast<std::uint64_t>(double(pos) + double(frac) / double(kOne)),
      std::bit_cast<std::uint64_t>(playing ? behindFor(pendingNew) : 0.0),
      std::bit_cast<std::uint64_t>(playing ? behindFor(pendingOld) : 0.0),
      std::bit_cast<std::uint64_t>(sinceStart),
      std::bit_cast<std::uint64_t>(timing.latencyFrames),
      std::uint64_t(timing.renderedAt),
      std::uint64_t(timing.lastBlock),
      restarts,
      std::uint64_t(misses),
      flags,
      0,
      0};
  publishedPlaying = playing;
  const std::uint32_t seq = sequence_.load(std::memory_order_relaxed);
  sequence_.store(seq + 1, std::memory_order_relaxed);
  // Each word is a release store: a reader that sees one of them sees the odd
  // sequence number stored before it, and tries again.
  for (int i = 0; i < kWords; ++i) words_[size_t(i)].store(w[size_t(i)], std::memory_order_release);
  sequence_.store(seq + 2, std::memory_order_release);
}

Voice::Published Voice::published() const {
  std::array<std::uint64_t, kWords> w{};
  for (;;) {
    const std::uint32_t before = sequence_.load(std::memory_order_acquire);
    if (before & 1u) {
      std::this_thread::yield();
      continue;
    }
    for (int i = 0; i < kWords; ++i)
      w[size_t(i)] = words_[size_t(i)].load(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) == before) break;
  }
  Published p;
  p.readPos = std::bit_cast<double>(w[0]);
  p.behindNew = std::bit_cast<double>(w[1]);
  p.behindOld = std::bit_cast<double>(w[2]);
  p.sinceStart = std::bit_cast<double>(w[3]);
  p.timing.latencyFrames = std::bit_cast<double>(w[4]);
  p.timing.renderedAt = std::int64_t(w[5]);
  p.timing.lastBlock = int(w[6]);
  p.restarts = std::uint32_t(w[7]);
  p.misses = int(w[8]);
  p.playing = (w[9] & 1u) != 0;
  p.looping = (w[9] & 2u) != 0;
  p.timing.realtime = (w[9] & 4u) != 0;
  return p;
}

namespace {
std::int64_t steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

Card::Card(QString description) : description_(std::move(description)) {
  voices.reserve(kMaxVoices);
}

Card::~Card() {
  output_.reset();  // stops the audio thread before anything it uses goes away
  capture_.reset();
}

void Card::setCapture(std::unique_ptr<WavWriter> capture) { capture_ = std::move(capture); }

void Card::setTap(std::shared_ptr<OutputTap> tap) {
  std::shared_ptr<OutputTap> old;
  {
    std::lock_guard lock(control);
    old = std::exchange(tapOwner_, tap);
    tap_.store(tap.get(), std::memory_order_seq_cst);
  }
  // render() marks itself busy before it loads the tap (both sequentially
  // consistent): once it is seen idle here, it has either finished with the
  // old tap or will load the new one.
  while (tapBusy_.load(std::memory_order_seq_cst)) std::this_thread::yield();
  old.reset();
  if (tap) wake();
}

bool Card::render(std::int16_t* out, int frames, double latencyFrames) {
  // A wake() from here on changes the word, and the card stays awake.
  const std::uint64_t wakes = sleep_.load(std::memory_order_acquire) & ~std::uint64_t(1);
  if (wakes != seenWakes_) idleFrames_ = 0;  // a buffer started since the last block
  seenWakes_ = wakes;
  bool sounded = false;
  {
    RealtimeSection section;
    applyQueued();
    for (int done = 0; done < frames;) {
      const int n = std::min(kMaxBlock, frames - done);
      float* acc = limiter_.next(n);
      for (Voice* v : voices) {
        if (!v->device->open.load(std::memory_order_relaxed) ||
            !v->device->primaryPlaying.load(std::memory_order_relaxed))
          continue;
        sounded = sounded || v->playing || v->tailFrames > 0;
        if (v->playing) v->mixInto(acc, n);
        if (v->tailFrames > 0) v->addTail(acc, n);
      }
      limiter_.limit(out + 2 * done);
      done += n;
    }
    realtime_ = latencyFrames >= 0.0;
    latencyFrames_ = std::max(latencyFrames, 0.0);
    lastBlock_ = frames;
    lastRenderNs_ = steadyNs();
    lastRender_.store(lastRenderNs_, std::memory_order_relaxed);
    lostAfterMs_.store(kLostAfter.count(), std::memory_order_relaxed);
    realtimeSeen_.store(realtime_, std::memory_order_relaxed);
    const CardTiming t = timing();
    int playing = 0;
    for (Voice* v : voices) {
      // A voice that stopped at its end in this block publishes that too.
      if (v->playing || v->publishedPlaying) v->publish(t);
      playing += v->playing && v->device->open.load(std::memory_order_relaxed) &&
                 v->device->primaryPlaying.load(std::memory_order_relaxed);
    }
    playingVoices_.store(playing, std::memory_order_relaxed);
  }
  if (capture_) capture_->write(out, frames);
  tapBusy_.store(true, std::memory_order_seq_cst);
  OutputTap* tap = tap_.load(std::memory_order_seq_cst);
  if (tap) tap->push(out, frames);
  tapBusy_.store(false, std::memory_order_release);
  if (latencyFrames >= 0.0)
    if (const RenderHook* hook = renderHook.load(std::memory_order_acquire))
      (*hook)(out, frames, latencyFrames);
  // The limiter's delay has long been played out by then.
  idleFrames_ = sounded ? 0 : std::min(idleFrames_ + frames, kIdleFrames);
  if (latencyFrames < 0.0 || idleFrames_ < kIdleFrames || tap) return false;
  std::uint64_t expected = wakes;
  if (!sleep_.compare_exchange_strong(expected, wakes | 1u, std::memory_order_acq_rel)) {
    idleFrames_ = 0;  // woken while mixing this block
    return false;
  }
  if (const std::function<void()>* hook = sleepHook.load()) (*hook)();
  return true;
}

void Card::wake() {
  std::lock_guard lock(control);
  wakeLocked();
}

void Card::wakeLocked() {
  std::uint64_t word = sleep_.load(std::memory_order_acquire);
  while (!sleep_.compare_exchange_weak(word, (word + 2) & ~std::uint64_t(1),
                                       std::memory_order_acq_rel)) {
  }
  if (!(word & 1u)) return;
  // The stream has not rendered while it slept: that is no lost card.
  lastRender_.store(steadyNs());
  lostAfterMs_.store(kLostAfterWake.count());
  if (output_) output_->resume();
}

void Card::streamPausing() {
  const std::int64_t now = steadyNs();
  lastRender_.store(now);
  lostAfterMs_.store(kLostAfterWake.count());
  graceUntil_.store(now + std::chrono::nanoseconds(kLostAfterWake).count());
}

CardTiming Card::timing() const { return {realtime_, latencyFrames_, lastBlock_, lastRenderNs_}; }

void Card::applyQueued() {
  const std::uint32_t head = queueHead_.load(std::memory_order_acquire);
  std::uint32_t tail = queueTail_.load(std::memory_order_relaxed);
  if (tail == head) return;
  const std::uint32_t first = tail;
  for (; tail != head; ++tail) apply(queue_[tail % kQueue]);
  queueTail_.store(tail, std::memory_order_release);
  applied_.store(applied_.load(std::memory_order_relaxed) + (tail - first),
                 std::memory_order_release);
}

bool Card::run(const Command& command, bool wait) {
  std::lock_guard lock(control);
  if (!output_ || isAsleep()) {
    // No rendering thread runs: this thread owns the voices.
    apply(command);
    if (command.kind == Command::Play) wakeLocked();
    int playing = 0;
    for (Voice* v : voices)
      playing += v->playing && v->device->open.load() && v->device->primaryPlaying.load();
    playingVoices_.store(playing);
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  auto waitFor = [&](auto done) {
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  };
  // A full queue means a card that has stopped rendering: the command is lost.
  if (!waitFor([&] {
        return queueHead_.load(std::memory_order_relaxed) -
                   queueTail_.load(std::memory_order_acquire) <
               kQueue;
      }))
    return false;
  const std::uint32_t head = queueHead_.load(std::memory_order_relaxed);
  queue_[head % kQueue] = command;
  queueHead_.store(head + 1, std::memory_order_release);
  const std::uint64_t ticket = ++posted_;
  wakeLocked();  // a card that was deciding to sleep stays awake for it
  if (!wait) return true;
  return waitFor([&] { return applied_.load(std::memory_order_acquire) >= ticket; });
}

void Card::keepOrphan(std::unique_ptr<Voice> voice, std::vector<std::byte> bytes) {
  std::lock_guard lock(control);
  orphans_.emplace_back(std::move(voice), std::move(bytes));
}

void Card::apply(const Command& c) {
  Voice* const v = c.voice;
  switch (c.kind) {
    case Command::AddVoice:
      if (voices.size() < voices.capacity()) voices.push_back(v);
      break;
    case Command::RemoveVoice:
      std::erase(voices, v);
      return;
    case Command::Play:
      v->looping = c.flag;
      if (v->playing) break;
      v->playing = true;
      v->restartLocked();
      v->inStale = false;
      v->gain = v->targetGain;
      if (v->fadeFrames > 0) v->fadeInDone = 0;
      break;
    case Command::Stop: {
      if (!v->playing) break;
      v->lastHeard = c.restarts == v->restarts ? c.heard : -1.0;
      v->fadeOutLocked();
      // Resume from what was heard: the mixer's read position minus what is
      // still in the limiter and the card's output buffers.
      const double heard = v->heardPosition(pendingFramesLocked());
      const double read = double(v->pos) + double(v->frac) / double(kOne);
      double back = read - heard;
      if (back < 0) back += v->frames;
      const double whole = std::floor(heard);
      v->pos = std::int64_t(whole) % v->frames;
      v->frac = std::uint32_t((heard - whole) * double(kOne));
      v->history = std::max(0, v->history - int(std::ceil(back)));
      // The stretch mixed but not yet heard is played again on resume: it is
      // not stale sound.
      const int again = std::min(int(std::ceil(back)) + 1, v->frames);
      for (int k = 0; k < again; ++k)
        v->fresh[size_t((v->pos + k) % v->frames)].store(1, std::memory_order_relaxed);
      v->playing = false;
      v->fadeInDone = -1;
      v->restartLocked();
      break;
    }
    case Command::Move:
      v->moveLocked(c.frame);
      break;
    case Command::Write: {
      // A tail of the old position is rendered before its bytes are replaced.
      v->fadeOutLocked();
      const int align = v->format.blockAlign();
      auto write = [&](int at, int n) {
        if (n <= 0) return;
        std::memcpy(v->data.data() + at, c.bytes + at, size_t(n));
        for (int f = at / align, end = (at + n + align - 1) / align; f < end; ++f)
          v->fresh[size_t(f)].store(1, std::memory_order_relaxed);
      };
      write(c.offset, c.first);
      write(0, c.second);
      v->moveLocked(c.frame, false);
      break;
    }
    case Command::Volume:
      v->volume = c.number;
      v->targetGain = c.gain;
      if (!v->playing) v->gain = c.gain;
      break;
    case Command::Frequency:
      v->setFrequencyLocked(c.number, c.bank);
      break;
    case Command::Fade:
      v->fadeFrames = c.number;
      break;
  }
  v->publish(timing());
}

bool Card::isLost() {
  if (lost_) return true;
  if (!realtimeSeen_.load()) return false;
  bool playing = false;
  if (output_) {
    playing = playingVoices_.load() > 0;
  } else {
    // The manual clock: the caller owns the voices.
    for (const Voice* v : voices)
      playing = playing || (v->playing && v->device->open && v->device->primaryPlaying);
  }
  const std::int64_t now = steadyNs();
  if (now < graceUntil_.load()) return false;  // a reopened stream settles
  const std::int64_t silentNs = now - lastRender_.load();
  return playing && silentNs > lostAfterMs_.load() * 1000000;
}

double Card::pendingFramesLocked() const {
  const double limited = Limiter::kDelay;
  if (!realtime_) return limited;
  const double elapsed = double(steadyNs() - lastRenderNs_) * 1e-9 * kCardRate;
  return limited + latencyFrames_ + lastBlock_ - std::clamp(elapsed, 0.0, double(lastBlock_));
}

}  // namespace qdl::sound::detail
