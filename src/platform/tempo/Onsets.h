#pragma once
// What the analysis keeps of a song while it is decoded: aubio's beats and
// our own onset envelopes, one value per analysis frame of about 11.6 ms.
// A five-minute song needs about 26,000 frames of four floats.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qdl::tempo {

// Bands of the spectral flux, split where drums part: kick and bass below
// 150 Hz, snare bodies and chords up to 1 kHz, snare and clap noise up to
// 5 kHz, hats above.
enum Band { Low, LowMid, HighMid, High, kBands };
constexpr double kBandEdgesHz[kBands - 1] = {150, 1000, 5000};

struct Onsets {
  double frameRate = 0;  // envelope frames per second
  std::array<std::vector<float>, kBands> flux;
  std::vector<double> beats;          // aubio's beats, seconds from the start
  std::vector<float> beatConfidence;  // aubio's confidence in its tempo at each beat
};

// Turns interleaved 16-bit PCM of any rate and channel count into Onsets:
// a mono mix, brought to half the rate for 32 kHz and above through a
// half-band filter (the beat lives well below 10 kHz, and what an encoder
// leaves above it is noise), cut into hops of about 11.6 ms for aubio's
// tempo tracker and for our own band envelopes.
class OnsetTracker {
 public:
  OnsetTracker(int sampleRate, int channels);
  ~OnsetTracker();
  OnsetTracker(const OnsetTracker&) = delete;
  OnsetTracker& operator=(const OnsetTracker&) = delete;

  // False when aubio could not be set up for this format (nothing is kept).
  bool valid() const;
  void feed(const std::int16_t* pcm, std::size_t frames);
  const Onsets& onsets() const { return onsets_; }

 private:
  void push(float sample);  // one sample at the analysis rate
  void runHop();

  struct Aubio;
  std::unique_ptr<Aubio> aubio_;
  int channels_;
  bool halve_;
  int hop_;
  std::vector<float> history_;  // the half-band filter's input, kept twice in a row
  int historyPos_ = 0;
  bool second_ = false;  // the next input sample completes a pair
  std::vector<float> hopBuffer_;
  std::vector<float> recent_;  // the last window of samples
  std::vector<float> hann_;
  std::size_t filled_ = 0;
  std::vector<float> prevLog_;
  float reference_ = 0;        // the loudest recent bin's magnitude
  float releasePerFrame_ = 1;  // how fast the reference falls
  Onsets onsets_;
};

}  // namespace qdl::tempo
