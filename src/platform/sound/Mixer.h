#pragma once
// The mixer of one card (internal): the voices (secondary buffers) of every
// device object on the card, summed into the card's 44100 Hz stereo stream.
//
// All voice state is guarded by Card::mutex. The backend's audio thread calls
// Card::render(); application threads change voices under the same lock. The
// render path allocates nothing: every work buffer is sized when the voice is
// created.

#include "platform/sound/Kernel.h"
#include "platform/sound/Limiter.h"
#include "platform/sound/Sound.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qdl::sound::detail {

constexpr int kCardRate = 44100;
constexpr int kMaxBlock = 1024;     // frames mixed per step
constexpr int kMinFrequency = 100;  // playback frequency limits, Hz
constexpr int kMaxFrequency = 200000;
constexpr std::uint64_t kOne = 1ull << 32;  // 1.0 in 32.32 fixed point
constexpr int kMaxFade = 1024;              // longest fade, output frames

// Shared by a device object and its buffers.
struct DeviceState {
  bool open = true;
  bool primaryPlaying = true;
};

struct Voice {
  Voice(const WaveFormat& format, int bytes, std::shared_ptr<DeviceState> device);

  WaveFormat format;
  int frames = 0;
  std::vector<std::byte> data;      // the ring, bytes of `format`
  std::vector<std::uint8_t> fresh;  // per frame: written since last played
  std::shared_ptr<DeviceState> device;

  bool playing = false;
  bool looping = true;
  int volume = 0;
  int frequency = 0;
  int misses = 0;
  bool inStale = false;  // the last frame played was stale

  // Resampler state: position in the ring in 32.32 fixed point, step per
  // output frame in the same unit, and the kernel for that step.
  std::int64_t pos = 0;       // whole frames, 0..frames-1
  std::uint32_t frac = 0;     // fraction of a frame
  std::uint64_t step = kOne;  // frequency / 44100
  const KernelBank* bank = nullptr;
  int history = 0;          // frames before pos that hold data played in sequence
  double sinceStart = 0.0;  // frames read since play() or a cursor move
  float gain = 1.0f;        // applied at the end of the last block
  float targetGain = 1.0f;  // reached by a ramp over the next block

  std::vector<float> left, right;  // work: the input frames one block needs

  // Fades, in output frames of the card (0: start and stop at once). A start
  // ramps up from silence; a stop or a cursor move while playing leaves a
  // tail: the next fadeFrames of the old position, rendered at once and
  // ramped down, which the card plays out while the voice goes on or rests.
  int fadeFrames = 0;
  int fadeInDone = -1;       // frames of the fade-in mixed so far; -1 when not fading in
  std::vector<float> tail;   // interleaved stereo, kMaxFade frames
  int tailFrames = 0;        // frames in the tail
  int tailRead = 0;          // of which already played
  std::vector<float> shape;  // work: a fade factor per frame of one block

  // The step of each recent block, newest last, so that the output still
  // pending in the card is turned back into ring frames at the speed it was
  // rendered with, not the speed set now (a pitch raise must not move the
  // heard position back).
  struct RecentBlock {
    int frames = 0;
    std::uint64_t step = kOne;
  };
  static constexpr int kRecentBlocks = 512;
  std::vector<RecentBlock> recent = std::vector<RecentBlock>(kRecentBlocks);
  int recentHead = 0;   // where the next block goes
  int recentCount = 0;  // blocks logged since play() or a cursor move
  // The heard position last reported while playing, -1 after a start, stop or
  // cursor move. The position never goes back between two reports, whatever
  // the card's latency figure does: a cursor that went back would look like a
  // wrap of the ring to the one who refills it.
  mutable double lastHeard = -1.0;

  void setFrequencyLocked(int hz, const KernelBank* kernel);
  // Adds `n` frames (n <= kMaxBlock) of this voice to `acc` (interleaved stereo)
  // and moves on.
  void mixInto(float* acc, int n);
  // Adds up to `n` frames of the tail to `acc` and moves on in it.
  void addTail(float* acc, int n);
  // While playing with fades: renders the tail from the read position.
  void fadeOutLocked();
  // Moves the read position to `frame` (of the ring); while playing with
  // fades the new position fades in, and the old one fades out unless the
  // caller has rendered its tail already.
  void moveLocked(std::int64_t frame, bool fadeOut = true);
  // Heard position in frames, given how many output frames the card has
  // rendered that have not been heard yet.
  double heardPosition(double pendingOutputFrames) const;
  // Forgets the rendering history: after play(), stop() and cursor moves.
  void restartLocked();

 private:
  void loadWindow(std::int64_t first, int count);
  // Adds n frames from the read position to acc without moving on, each
  // frame scaled by the volume ramp and, when given, by fade[i].
  void render(float* acc, int n, const float* fade);
  void consume(int count);
};

// A card's output stream, owned by its card.
//
// When Card::render() says the card may sleep, the stream stops asking for
// output after that block (a real-time clock waits, PortAudio completes the
// stream). The card alone keeps the sleep state: every time it goes from
// asleep to awake it calls resume() once, from any application thread, and
// the stream must run again whether or not it has yet finished the block
// that let it sleep. resume() returns at once; the stream is started again
// on a thread of the output's own, never on the caller's.
class Output {
 public:
  virtual ~Output() = default;
  virtual int framesPerBuffer() const = 0;
  virtual double latency() const = 0;  // seconds
  virtual void resume() {}
};

// Called on the rendering thread each time a card has decided to sleep,
// before its output learns of it; tests use it to play a buffer exactly
// then. Null (the default) for none; the caller keeps the function alive
// while it is set.
void setSleepHook(const std::function<void()>* hook);

class WavWriter;

class Card {
 public:
  explicit Card(QString description);
  ~Card();

  const QString& description() const { return description_; }

  // Mixes `frames` frames into `out` (interleaved stereo) through the
  // limiter. `latencyFrames` is the time until the first of them is heard,
  // or a negative value for a manual clock (the output is then taken as
  // heard at once, after the limiter's delay). Returns true when nothing
  // has sounded on the card for kIdleFrames: a real-time stream may then
  // sleep, asking for no output until wake().
  bool render(std::int16_t* out, int frames, double latencyFrames);

  // A buffer starts playing (or a device's primary buffer again): a card
  // that sleeps, or has just decided to, starts its stream again. Any
  // thread, without the mutex held; never waits for the stream.
  void wake();
  bool isAsleep() const { return (sleep_.load(std::memory_order_acquire) & 1u) != 0; }
  // Two seconds of silence let a card sleep: a stream that runs with nothing
  // to play costs a wake-up per callback for nothing.
  static constexpr int kIdleFrames = 2 * kCardRate;

  // Output frames mixed but not yet heard, now: the limiter's delay and what
  // the backend holds. Call with mutex held.
  double pendingFramesLocked() const;

  // The card no longer plays: its stream ended or failed (a USB card pulled
  // out), or, on a real-time clock, nothing was rendered for half a second
  // while a buffer plays. A stream woken from its sleep gets longer for its
  // first output: the sound server may first have to resume an output it
  // suspended while nothing played, and that can take most of a second.
  void markLost() { lost_ = true; }
  static constexpr std::chrono::milliseconds kLostAfter{500};
  static constexpr std::chrono::milliseconds kLostAfterWake{2500};
  bool isLost();

  void setOutput(std::unique_ptr<Output> output) { output_ = std::move(output); }
  Output* output() const { return output_.get(); }
  void setCapture(std::unique_ptr<WavWriter> capture);

  std::mutex mutex;
  std::vector<Voice*> voices;  // guarded by mutex

 private:
  QString description_;
  std::unique_ptr<Output> output_;
  std::unique_ptr<WavWriter> capture_;
  Limiter limiter_;  // the mixer sums into it; used by the rendering thread only
  // Timing of the last render, for the heard position (guarded by mutex).
  bool realtime_ = false;
  double latencyFrames_ = 0.0;
  int lastBlock_ = 0;
  std::chrono::steady_clock::time_point lastRender_;
  std::chrono::milliseconds lostAfter_ = kLostAfter;  // until the next render (mutex)
  std::atomic<bool> lost_{false};
  int idleFrames_ = 0;           // frames rendered since something last sounded (rendering thread)
  std::uint64_t seenWakes_ = 0;  // the wake count at the last block (rendering thread)
  // The one sleep state of the card: bit 0 set while asleep, the bits above
  // count the calls of wake(). render() sets bit 0 only if no wake() came
  // since it began its block (a compare-and-swap on the whole word), and
  // wake() clears it and learns in the same step whether the card slept:
  // a wake at any moment either keeps the card awake or restarts it.
  std::atomic<std::uint64_t> sleep_{0};
};

}  // namespace qdl::sound::detail
