#include "platform/sound/Limiter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qdl::sound::detail {
namespace {

// What a plain conversion does: round to the nearest integer (ties to even)
// and saturate to 16 bits.
inline std::int16_t toSample(float x) {
  constexpr float kRound = 12582912.0f;  // 1.5 * 2^23: adding and taking away rounds
  const float clamped = x < -32768.0f ? -32768.0f : (x > 32767.0f ? 32767.0f : x);
  return std::int16_t(int((clamped + kRound) - kRound));
}

#ifdef __SSE2__
// Eight samples at once: the processor's rounding (to nearest, ties to even)
// and a saturating pack, exactly toSample for sums below 2^31.
inline void toSamples8(__m128 a, __m128 b, std::int16_t* out) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
}

// `count` samples (a multiple of 8): out go those of `leave`, scaled by the
// gain g (two frames per step of 4) unless Scaled is false; those of
// `enter` are taken into the peaks.
template <bool Scaled>
inline void pass(const float* leave, const float* enter, std::int16_t* out, int count, __m128 g,
                 __m128 twoSteps, __m128& hi, __m128& lo) {
  for (int j = 0; j < count; j += 8) {
    __m128 a = _mm_loadu_ps(leave + j), b = _mm_loadu_ps(leave + j + 4);
    if constexpr (Scaled) {
      a = _mm_mul_ps(a, g);
      g = _mm_add_ps(g, twoSteps);
      b = _mm_mul_ps(b, g);
      g = _mm_add_ps(g, twoSteps);
    }
    toSamples8(a, b, out + j);
    const __m128 x = _mm_loadu_ps(enter + j), y = _mm_loadu_ps(enter + j + 4);
    hi = _mm_max_ps(hi, _mm_max_ps(x, y));
    lo = _mm_min_ps(lo, _mm_min_ps(x, y));
  }
}
#endif

}  // namespace

Limiter::Limiter() : releaseStep_(float(1.0 - std::exp(-double(kChunk) / (kRelease * kRate)))) {
  required_.fill(1.0f);
  envelope_.fill(1.0f);
}

float* Limiter::next(int frames) {
  pending_ = frames;
  float* sum = buffer_.data() + 2 * kDelay;
  std::fill(sum, sum + 2 * frames, 0.0f);
  return sum;
}

void Limiter::limit(std::int16_t* out) {
  const float* leave = buffer_.data();
  const float* enter = buffer_.data() + 2 * kDelay;
  for (int frames = pending_; frames > 0;) {
    const int m = std::min(frames, kChunk - fill_);
    const int n = 2 * m;  // samples of this step
    const float from = gainFrom_, to = gainTo_;
    // Frame k of the chunk (from 0) leaves at the gain from + step * (k + 1).
    const float step = (to - from) / float(kChunk);
    const float first = from + step * float(fill_ + 1);
    int j = 0;

#ifdef __SSE2__
    // Out goes the sum of kDelay frames ago, at its gain; the new sum is
    // taken into the peaks of its chunk.
    j = n & ~7;
    __m128 hi = _mm_loadu_ps(high_.data()), lo = _mm_loadu_ps(low_.data());
    const __m128 g = _mm_setr_ps(first, first, first + step, first + step);
    const __m128 twoSteps = _mm_set1_ps(2 * step);
    if (from == 1.0f && to == 1.0f)
      pass<false>(leave, enter, out, j, g, twoSteps, hi, lo);
    else
      pass<true>(leave, enter, out, j, g, twoSteps, hi, lo);
    _mm_storeu_ps(high_.data(), hi);
    _mm_storeu_ps(low_.data(), lo);
#endif
    // What is left (or everything, without SSE2), one sample at a time.
    for (int k = j; k < n; ++k) {
      out[k] = toSample(leave[k] * (first + step * float(k / 2)));
      high_[0] = std::max(high_[0], enter[k]);
      low_[0] = std::min(low_[0], enter[k]);
    }

    leave += n;
    enter += n;
    out += n;
    frames -= m;
    fill_ += m;
    if (fill_ == kChunk) finishChunk();
  }
  // The last kDelay frames of the sum wait at the front for the next call.
  std::memmove(buffer_.data(), buffer_.data() + 2 * pending_, sizeof(float) * 2 * kDelay);
  pending_ = 0;
}

void Limiter::process(const float* in, std::int16_t* out, int frames) {
  while (frames > 0) {
    const int m = std::min(frames, kMaxFrames);
    std::memcpy(next(m), in, sizeof(float) * size_t(2 * m));
    limit(out);
    in += 2 * m;
    out += 2 * m;
    frames -= m;
  }
}

void Limiter::finishChunk() {
  // A chunk needs a gain below 1 only when one of its samples would round to
  // a value outside the 16-bit range.
  const float high = std::max(std::max(high_[0], high_[1]), std::max(high_[2], high_[3]));
  const float low = std::min(std::min(low_[0], low_[1]), std::min(low_[2], low_[3]));
  float required = 1.0f;
  if (high >= 32767.5f || low < -32768.5f) required = kCeiling / std::max(high, -low);
  required_[size_t(requiredHead_)] = required;
  if (++requiredHead_ == kHold) requiredHead_ = 0;
  float held = required_[0];
  for (int i = 1; i < kHold; ++i) held = std::min(held, required_[size_t(i)]);

  if (held <= env_) {
    env_ = held;
  } else {
    env_ += (held - env_) * releaseStep_;
    // A float never quite reaches 1 this way: a ten-thousandth is inaudible.
    if (held == 1.0f && env_ > 0.9999f) env_ = 1.0f;
  }
  envelope_[size_t(envelopeHead_)] = env_;
  if (++envelopeHead_ == kAverage) envelopeHead_ = 0;
  float sum = 0.0f;
  for (float e : envelope_) sum += e;

  gainFrom_ = gainTo_;
  gainTo_ = sum / float(kAverage);  // exactly 1 when every value is 1
  high_.fill(0.0f);
  low_.fill(0.0f);
  fill_ = 0;
}

}  // namespace qdl::sound::detail
