#pragma once
// Finds jumps in a card's output: samples whose waveform bends further than
// anything the decks were given can make it bend.
//
// The bend of sample n is |y[n+1] - 2 y[n] + y[n-1]|, per channel. The
// songs of the set bend little (slow sweeps); resampling at a pitch p scales
// a song's bend by p squared, a volume ramp or a 3 ms fade adds a little,
// and so does the limiter's gain when it comes down within 1.1 ms. A click,
// a dropout, a half second played twice or a cursor moved without its fade
// all make the waveform step, and a step of s bends it by s: far above the
// bound as long as the step is not tiny. The caller gives the bound of each
// stretch of output from what the decks on the card play (see SoakSet), and
// excuses stretches where a jump is what the user asked for (the seek
// preview loops its half second).

#include <QString>
#include <cstdint>
#include <vector>

namespace qdl::soak {

struct Jump {
  std::int64_t frame = 0;  // output frame of the card since the set began
  int channel = 0;
  double bend = 0;
  double bound = 0;
};

class JumpCheck {
 public:
  // Checks the next frames of interleaved stereo output against `bound`;
  // an excused stretch is only followed, not checked.
  void feed(const std::vector<std::int16_t>& frames, double bound, bool excused);

  std::int64_t frames() const { return frame_; }
  std::int64_t jumpCount() const { return count_; }
  // The first jumps found (at most kKept).
  const std::vector<Jump>& jumps() const { return jumps_; }
  // The largest bend over its bound of all checked samples.
  double worstRatio() const { return worst_; }

  static constexpr int kKept = 1000;

 private:
  std::int64_t frame_ = 0;
  int y1_[2] = {0, 0};  // the sample before, per channel
  int y2_[2] = {0, 0};  // the one before that
  std::int64_t count_ = 0;
  double worst_ = 0;
  std::vector<Jump> jumps_;
};

}  // namespace qdl::soak
