#include "platform/sound/Mixer.h"

#include "platform/sound/WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

int windowCapacity() {
  const double maxStep = double(kMaxFrequency) / kCardRate;
  return int(std::ceil(kMaxBlock * maxStep)) + 2 * maxHalfTapsForStep(maxStep) + 8;
}

}  // namespace

Voice::Voice(const WaveFormat& f, int bytes, std::shared_ptr<DeviceState> dev)
    : format(f),
      frames(bytes / f.blockAlign()),
      data(size_t(bytes), f.bitsPerSample == 8 ? std::byte{0x80} : std::byte{0}),
      fresh(size_t(frames), 0),
      device(std::move(dev)),
      left(size_t(windowCapacity())),
      right(size_t(windowCapacity())) {}

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
    if (fresh[size_t(pos)]) {
      fresh[size_t(pos)] = 0;
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

void Voice::mixInto(float* acc, int n) {
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

  if (step == kOne && frac == 0 && b.maxStep == 1.0) {
    // Whole frames at the card's rate: the kernel is the identity.
    for (int i = 0; i < n; ++i) {
      const float g = g0 + dg * float(i + 1);
      acc[2 * i] += l[half - 1 + i] * g;
      acc[2 * i + 1] += r[half - 1 + i] * g;
    }
  } else {
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
      const float g = g0 + dg * float(i + 1);
      acc[2 * i] += sum4(sl) * g;
      acc[2 * i + 1] += sum4(sr) * g;
    }
  }
  gain = targetGain;

  const std::uint64_t total = std::uint64_t(frac) + std::uint64_t(n) * step;
  frac = std::uint32_t(total);
  sinceStart += double(n) * double(step) / double(kOne);
  recent[size_t(recentHead)] = {n, step};
  recentHead = (recentHead + 1) % kRecentBlocks;
  recentCount = std::min(recentCount + 1, kRecentBlocks);
  consume(int(total >> 32));
}

void Voice::restartLocked() {
  sinceStart = 0.0;
  recentCount = 0;
  lastHeard = -1.0;
}

double Voice::heardPosition(double pendingOutputFrames) const {
  // Walk back over the pending output block by block, each at its own step.
  double behind = 0.0;
  double left = std::max(pendingOutputFrames, 0.0);
  for (int k = 0, at = recentHead; k < recentCount && left > 0.0; ++k) {
    at = (at + kRecentBlocks - 1) % kRecentBlocks;
    const double take = std::min(left, double(recent[size_t(at)].frames));
    behind += take * double(recent[size_t(at)].step) / double(kOne);
    left -= take;
  }
  behind += left * double(step) / double(kOne);
  behind = std::min(behind, std::max(sinceStart, 0.0));
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

Card::Card(QString description)
    : description_(std::move(description)), acc_(size_t(2 * kMaxBlock)) {}

Card::~Card() {
  output_.reset();  // stops the audio thread before anything it uses goes away
  capture_.reset();
}

void Card::setCapture(std::unique_ptr<WavWriter> capture) { capture_ = std::move(capture); }

void Card::render(std::int16_t* out, int frames, double latencyFrames) {
  for (int done = 0; done < frames;) {
    const int n = std::min(kMaxBlock, frames - done);
    float* acc = acc_.data();
    std::fill(acc, acc + 2 * n, 0.0f);
    {
      std::lock_guard lock(mutex);
      for (Voice* v : voices)
        if (v->playing && v->device->open && v->device->primaryPlaying) v->mixInto(acc, n);
    }
    std::int16_t* o = out + 2 * done;
    for (int i = 0; i < 2 * n; ++i) {
      const float s = std::nearbyint(acc[i]);
      o[i] = std::int16_t(std::clamp(s, -32768.0f, 32767.0f));
    }
    done += n;
  }
  {
    std::lock_guard lock(mutex);
    realtime_ = latencyFrames >= 0.0;
    latencyFrames_ = std::max(latencyFrames, 0.0);
    lastBlock_ = frames;
    lastRender_ = std::chrono::steady_clock::now();
  }
  if (capture_) capture_->write(out, frames);
}

bool Card::isLost() {
  if (lost_) return true;
  std::lock_guard lock(mutex);
  if (!realtime_) return false;
  bool playing = false;
  for (const Voice* v : voices)
    playing = playing || (v->playing && v->device->open && v->device->primaryPlaying);
  return playing && std::chrono::steady_clock::now() - lastRender_ > std::chrono::milliseconds(500);
}

double Card::pendingFramesLocked() const {
  if (!realtime_) return 0.0;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - lastRender_).count() *
      kCardRate;
  return latencyFrames_ + lastBlock_ - std::clamp(elapsed, 0.0, double(lastBlock_));
}

}  // namespace qdl::sound::detail
