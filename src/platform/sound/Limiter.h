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
// How: the input is looked at in chunks of kChunk frames. A chunk's required
// gain is kCeiling over its largest magnitude (1 when nothing passes full
// scale). The envelope takes the smallest requirement of the last six chunks
// at once and recovers towards it with a time constant of kRelease seconds;
// the applied gain is the mean of the envelope's last five chunk values,
// interpolated linearly across each output chunk. With the output delayed by
// six chunks, every gain applied to a sample is at most that sample's
// chunk's requirement, so nothing clips, and the gain moves smoothly: from no
// reduction to the full reduction within five chunks (1.8 ms), the attack.
//
// Allocation-free and lock-free: process() runs in the audio callback.

#include <array>
#include <cstdint>

namespace qdl::sound::detail {

class Limiter {
 public:
  static constexpr int kChunk = 16;            // frames per gain decision
  static constexpr int kDelay = 6 * kChunk;    // 96 frames, 2.2 ms at 44100 Hz
  static constexpr float kCeiling = 31655.0f;  // -0.3 dB below full scale
  static constexpr double kRelease = 0.2;      // seconds, time constant of the recovery
  static constexpr int kRate = 44100;

  Limiter();

  // Takes `frames` frames of interleaved stereo sums from `in` and writes as
  // many frames of 16-bit output to `out`: the input of kDelay frames ago,
  // limited.
  void process(const float* in, std::int16_t* out, int frames);

  // The gain applied to the frame last written (1 when nothing is limited).
  float currentGain() const { return lastGain_; }

 private:
  static constexpr int kSlots = 7;  // chunks held: the one filling and six delayed
  static constexpr int kHold = 6;   // chunks a requirement is held
  static constexpr int kAverage = 5;

  void finishChunk();

  std::array<float, 2 * kChunk * kSlots> delay_{};
  std::array<float, kHold> required_{};  // requirement of the last chunks, newest at head
  std::array<float, kAverage> envelope_{};
  int requiredHead_ = 0;
  int envelopeHead_ = 0;
  float env_ = 1.0f;
  float gainFrom_ = 1.0f;  // gain at the start of the chunk being output
  float gainTo_ = 1.0f;    // gain at its end
  float peakHigh_ = 0.0f;  // largest and smallest sample of the chunk being filled
  float peakLow_ = 0.0f;
  int slot_ = 0;  // chunk being filled
  int fill_ = 0;  // frames in it
  float releaseStep_ = 0.0f;
  float lastGain_ = 1.0f;
};

}  // namespace qdl::sound::detail
