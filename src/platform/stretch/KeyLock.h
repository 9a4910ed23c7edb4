#pragma once
// Key lock for one deck: the stage between the song's decoded PCM and the
// deck's looping ring.
//
// The mixer plays a deck's ring faster or slower by its pitch, which moves
// tempo and key together. With key lock on, this stage shifts the decoded
// PCM by the inverse of the pitch (Rubber Band, real-time mode) at a time
// ratio of 1, so the resampler brings the key back to where it was while the
// tempo follows the pitch. One song frame stays one ring frame: positions,
// the time display, cue points, seeks and the song's end stay exact.
//
// The stretcher looks ahead of what it hands out. The stage therefore reads
// the song's blocks ahead as it needs them and keeps them (heldFrames), and
// hands out every block aligned frame for frame with the song: its start
// delay is fed and thrown away when it starts. It starts at the first block
// wanted with key lock on, fed with the song's sound just before that block,
// so switching on in the middle of a song starts without a gap.
//
// Switching on or off crossfades from the one signal to the other over the
// first kCrossfadeMs of the block; both share the timeline, so nothing
// jumps. reset() after a seek drops everything held.
//
// Units: frames of the song's rate; PCM signed 16-bit interleaved.
// Threads: one stage belongs to one player and is called under its lock.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace qdl::stretch {

class KeyLock {
 public:
  // Fills one block (blockFrames frames) with the song's next PCM; true
  // when that block holds the song's end.
  using ReadBlock = std::function<bool(std::int16_t* dest)>;

  // Length of the crossfade of a switch.
  static constexpr int kCrossfadeMs = 5;

  KeyLock(int sampleRate, int channels, int blockFrames);
  ~KeyLock();
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

  // Drops what is held and stops the stretcher: the next block is the one
  // `read` delivers next (after the song was sought).
  void reset();

  // Writes the next block into `out`: the song's PCM as it is when `on` is
  // false, shifted in pitch by `pitchScale` (0.5 .. 2) when true. Returns
  // whether the song's block at the same place holds its end.
  bool next(std::int16_t* out, bool on, double pitchScale, const ReadBlock& read);

  // Frames read from the song and not yet handed out.
  int heldFrames() const { return static_cast<int>(readFrames_ - position_); }
  int blockFrames() const { return blockFrames_; }
  // Whether the stretcher runs (the last block was shifted).
  bool stretching() const { return active_; }
  // The stretcher's start delay at `pitchScale` (for the tests).
  int startDelay(double pitchScale);

 private:
  void ensureStretcher();
  // Reads blocks until frames up to `frame` (exclusive) are held.
  void readUpTo(std::int64_t frame, const ReadBlock& read);
  // Starts the stretcher at the next block, fed with what came before it.
  void prime(double pitchScale);
  // Feeds `count` held frames from `from` on (frames before what is held
  // and never read count as silence).
  void feed(std::int64_t from, int count);
  // Writes the next block of shifted PCM into stretched_.
  void stretchBlock(double pitchScale, const ReadBlock& read);
  // Drops held frames that no start of the stretcher needs any more.
  void trim();

  const int sampleRate_;
  const int channels_;
  const int blockFrames_;
  const int fadeFrames_;
  std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;

  // The song's PCM held: frames heldStart_ .. readFrames_, counted from the
  // last reset; position_ is the first frame not yet handed out.
  std::vector<std::int16_t> held_;
  std::int64_t heldStart_ = 0;
  std::int64_t readFrames_ = 0;
  std::int64_t position_ = 0;
  std::deque<bool> ends_;  // the end flag of each block read and not handed out

  bool active_ = false;     // the stretcher runs, aligned with position_
  std::int64_t fedTo_ = 0;  // the next frame it is fed
  int discard_ = 0;         // output frames still to drop (its start delay)
  double scale_ = 1.0;      // the pitch scale it was last given

  std::vector<float> planar_;            // channels x chunk, for feeding
  std::vector<float> out_;               // channels x blockFrames, retrieved
  std::vector<std::int16_t> plain_;      // one block as read
  std::vector<std::int16_t> stretched_;  // one block shifted
};

}  // namespace qdl::stretch
