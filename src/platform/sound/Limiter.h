#pragma once
// The look-ahead limiter at the end of a card's mixer (internal).
//
// The summed voices arrive as floats on the 16-bit scale. While no sample
// would leave the 16-bit range the limiter only delays them by kDelay frames
// and rounds them exactly as a plain conversion would: the output is the sum,
// sample for sample. When a sum would pass full scale, the gain of both
// channels is brought down in time for that sample to leave at kCeiling, and
// returns over a few hundred milliseconds once the sum is back in range.
//
// How: the sum is looked at in chunks of kChunk frames. A chunk's required
// gain is kCeiling over its largest magnitude (1 when nothing would leave
// the range). The envelope takes the smallest requirement of the last kHold
// chunks at once and recovers towards it with a time constant of kRelease
// seconds; the applied gain is the mean of the envelope's last kHold - 1
// chunk values, interpolated linearly across each chunk as it leaves. With
// the output delayed by kHold chunks, every gain applied to a sample is at
// most the requirement of that sample's chunk, so nothing clips, and the
// gain moves smoothly: from none to the full reduction within kHold - 1
// chunks (48 frames, 1.1 ms), the attack. Large chunks keep the cost per
// frame small: a few vector instructions besides the conversion to 16 bits
// that a mixer does anyway.
//
// Allocation-free and lock-free: next() and limit() run in the audio callback.

#include <array>
#include <cstdint>

namespace qdl::sound::detail {

class Limiter {
 public:
  static constexpr int kChunk = 48;              // frames per gain decision
  static constexpr int kHold = 2;                // chunks a requirement is held
  static constexpr int kDelay = kHold * kChunk;  // 96 frames, 2.2 ms at 44100 Hz
  static constexpr float kCeiling = 31655.0f;    // -0.3 dB below full scale
  static constexpr double kRelease = 0.2;        // seconds, time constant of the recovery
  static constexpr int kRate = 44100;

  static constexpr int kMaxFrames = 1024;  // frames per step

  Limiter();

  // The place for the next `frames` (1..kMaxFrames) frames of the sum,
  // interleaved stereo, zeroed: the mixer adds its voices into it.
  float* next(int frames);
  // Writes as many frames of 16-bit output to `out`: the sum of kDelay
  // frames ago, limited.
  void limit(std::int16_t* out);
  // next(), a copy of `in`, limit(): for a sum made elsewhere.
  void process(const float* in, std::int16_t* out, int frames);

 private:
  static constexpr int kAverage = kHold - 1;

  void finishChunk();

  // The sum: kDelay frames waiting to leave, then the frames of this step.
  std::array<float, 2 * (kDelay + kMaxFrames)> buffer_{};
  int pending_ = 0;                      // frames handed out by next()
  std::array<float, kHold> required_{};  // requirement of the last chunks, newest at head
  std::array<float, kAverage> envelope_{};
  int requiredHead_ = 0;
  int envelopeHead_ = 0;
  float env_ = 1.0f;
  float gainFrom_ = 1.0f;  // gain at the start of the chunk leaving
  float gainTo_ = 1.0f;    // gain at its end
  // Largest and smallest samples of the chunk coming in, in four lanes.
  std::array<float, 4> high_{};
  std::array<float, 4> low_{};
  int fill_ = 0;  // frames of the chunk coming in so far
  float releaseStep_ = 0.0f;
};

}  // namespace qdl::sound::detail
