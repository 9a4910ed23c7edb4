#include "platform/sound/Limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qdl::sound::detail {
namespace {

// What a plain conversion does: round to the nearest integer, saturate.
inline std::int16_t toSample(float x) {
  return std::int16_t(std::clamp(std::nearbyint(x), -32768.0f, 32767.0f));
}

}  // namespace

Limiter::Limiter() : releaseStep_(float(1.0 - std::exp(-double(kChunk) / (kRelease * kRate)))) {
  required_.fill(1.0f);
  envelope_.fill(1.0f);
}

void Limiter::process(const float* in, std::int16_t* out, int frames) {
  while (frames > 0) {
    const int m = std::min(frames, kChunk - fill_);
    float* fillAt = delay_.data() + 2 * (slot_ * kChunk + fill_);
    const float* leaveAt = delay_.data() + 2 * (((slot_ + 1) % kSlots) * kChunk + fill_);

    // Out goes the chunk six behind, at its gain.
    if (gainFrom_ == 1.0f && gainTo_ == 1.0f) {
      for (int j = 0; j < 2 * m; ++j) out[j] = toSample(leaveAt[j]);
      lastGain_ = 1.0f;
    } else {
      const float step = (gainTo_ - gainFrom_) / float(kChunk);
      for (int i = 0; i < m; ++i) {
        const float g = gainFrom_ + step * float(fill_ + i + 1);
        out[2 * i] = toSample(leaveAt[2 * i] * g);
        out[2 * i + 1] = toSample(leaveAt[2 * i + 1] * g);
        lastGain_ = g;
      }
    }

    // In comes the new sum.
    std::memcpy(fillAt, in, sizeof(float) * size_t(2 * m));
    float hi = peakHigh_, lo = peakLow_;
    for (int j = 0; j < 2 * m; ++j) {
      hi = std::max(hi, in[j]);
      lo = std::min(lo, in[j]);
    }
    peakHigh_ = hi;
    peakLow_ = lo;

    in += 2 * m;
    out += 2 * m;
    frames -= m;
    fill_ += m;
    if (fill_ == kChunk) finishChunk();
  }
}

void Limiter::finishChunk() {
  // A chunk needs a gain below 1 only when one of its samples would round to
  // a value outside the 16-bit range.
  float required = 1.0f;
  if (peakHigh_ >= 32767.5f || peakLow_ < -32768.5f)
    required = kCeiling / std::max(peakHigh_, -peakLow_);
  required_[size_t(requiredHead_)] = required;
  requiredHead_ = (requiredHead_ + 1) % kHold;
  const float held = *std::min_element(required_.begin(), required_.end());

  if (held <= env_) {
    env_ = held;
  } else {
    env_ += (held - env_) * releaseStep_;
    // A float never quite reaches 1 this way: a ten-thousandth is inaudible.
    if (held == 1.0f && env_ > 0.9999f) env_ = 1.0f;
  }
  envelope_[size_t(envelopeHead_)] = env_;
  envelopeHead_ = (envelopeHead_ + 1) % kAverage;
  float sum = 0.0f;
  for (float e : envelope_) sum += e;

  gainFrom_ = gainTo_;
  gainTo_ = sum / float(kAverage);  // exactly 1 when every value is 1
  peakHigh_ = 0.0f;
  peakLow_ = 0.0f;
  slot_ = (slot_ + 1) % kSlots;
  fill_ = 0;
}

}  // namespace qdl::sound::detail
