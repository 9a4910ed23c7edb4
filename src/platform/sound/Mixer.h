#pragma once
// The mixer of one card (internal): the voices (secondary buffers) of every
// device object on the card, summed into the card's 44100 Hz stereo stream.
//
// The voices belong to the thread that renders the card (the backend's audio
// thread, Card::render()). Application threads never touch them while that
// thread may run: they send commands (play, stop, cursor moves, writes with a
// move, volume, frequency, fades) through a single-producer queue that
// render() applies at the start of a block, and read what render() publishes
// after each block (a sequence lock that only the readers retry). A refill
// without a move writes the ring directly and marks its frames fresh with
// atomic stores: it only ever writes where the cursor has left. The render
// path allocates nothing, takes no lock and makes no system call: every work
// buffer is sized when the voice is created (see Realtime.h for the check).
//
// While the card has no rendering thread (the manual clock) or sleeps, the
// application thread that holds Card::control applies commands itself.

#include "platform/sound/Kernel.h"
#include "platform/sound/Limiter.h"
#include "platform/sound/OutputTap.h"
#include "platform/sound/Realtime.h"
#include "platform/sound/Sound.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace qdl::sound::detail {

class Card;

constexpr int kCardRate = 44100;
constexpr int kMaxBlock = 1024;     // frames mixed per step
constexpr int kMinFrequency = 100;  // playback frequency limits, Hz
constexpr int kMaxFrequency = 200000;
constexpr std::uint64_t kOne = 1ull << 32;  // 1.0 in 32.32 fixed point
constexpr int kMaxFade = 1024;              // longest fade, output frames

// Shared by a device object and its buffers.
struct DeviceState {
  std::atomic<bool> open{true};
  std::atomic<bool> primaryPlaying{true};
};

// What the rendering thread tells the card's timing to a voice's readers.
struct CardTiming {
  bool realtime = false;
  double latencyFrames = 0.0;   // from the mixer's output to the card's
  int lastBlock = 0;            // frames of the last block
  std::int64_t renderedAt = 0;  // steady clock, ns, when it was rendered
};

struct Voice {
  Voice(const WaveFormat& format, int bytes, std::shared_ptr<DeviceState> device);

  WaveFormat format;
  int frames = 0;
  std::vector<std::byte> data;  // the ring, bytes of `format`
  // Per frame: written since last played. Set by whoever writes the ring,
  // cleared by the rendering thread.
  std::vector<std::atomic<std::uint8_t>> fresh;
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
  std::uint32_t restarts = 0;  // counts restartLocked()

  // What readers see, published by the rendering thread after each block and
  // each command: the read position, the frames still to be heard behind it
  // at the start and at the end of the last block's playing time, and so on.
  struct Published {
    double readPos = 0.0;
    double behindNew = 0.0;  // ring frames behind readPos, just after the block
    double behindOld = 0.0;  // and a block's time later
    double sinceStart = 0.0;
    CardTiming timing;
    std::uint32_t restarts = 0;
    int misses = 0;
    bool playing = false;
    bool looping = true;
  };
  void publish(const CardTiming& timing);
  Published published() const;    // any thread
  bool publishedPlaying = false;  // as last published (the publishing thread)

 private:
  void loadWindow(std::int64_t first, int count);
  // Adds n frames from the read position to acc without moving on, each
  // frame scaled by the volume ramp and, when given, by fade[i].
  void render(float* acc, int n, const float* fade);
  void consume(int count);
  double behindFor(double pendingOutputFrames) const;

  static constexpr int kWords = 12;
  std::atomic<std::uint32_t> sequence_{0};
  std::array<std::atomic<std::uint64_t>, kWords> words_{};
};

// A change to a voice (or to a card's list of voices), made by the rendering
// thread at the start of a block.
struct Command {
  enum Kind : std::uint8_t {
    AddVoice,
    RemoveVoice,
    Play,       // flag: looping
    Stop,       // heard, restarts: the last heard position reported, and when
    Move,       // frame
    Write,      // bytes, offset, first, second, frame: a write that moves the cursor
    Volume,     // number: hundredths of a dB, gain
    Frequency,  // number: Hz, bank
    Fade,       // number: frames
  };
  Kind kind = Play;
  bool flag = false;
  Voice* voice = nullptr;
  std::int64_t frame = 0;
  int number = 0;
  int offset = 0, first = 0, second = 0;
  float gain = 1.0f;
  double heard = -1.0;
  std::uint32_t restarts = 0;
  const KernelBank* bank = nullptr;
  const std::byte* bytes = nullptr;
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
  // Plays with a buffer of `frames` frames from now on (see setOutputBuffer):
  // returns at once; the stream changes on the output's own thread.
  virtual void setBufferFrames(int frames) = 0;
};

// Called on the rendering thread after each block a real-time output
// rendered, with the block (interleaved stereo), its frames and the frames
// until its first one is heard (0 on a virtual card). Benchmarks use it to
// learn when a sound reaches the card. Null (the default) for none; the
// caller keeps the function alive while it is set.
using RenderHook = std::function<void(const std::int16_t* out, int frames, double latencyFrames)>;
void setRenderHook(const RenderHook* hook);

// Every card opened now (application threads).
void forEachCard(const std::function<void(Card&)>& visit);

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
  void wakeLocked();  // the same, with `control` held
  bool isAsleep() const { return (sleep_.load(std::memory_order_acquire) & 1u) != 0; }
  // Two seconds of silence let a card sleep: a stream that runs with nothing
  // to play costs a wake-up per callback for nothing.
  static constexpr int kIdleFrames = 2 * kCardRate;

  // Output frames mixed but not yet heard, now: the limiter's delay and what
  // the backend holds. On the thread that owns the voices.
  double pendingFramesLocked() const;

  // Has the command carried out on the rendering thread, or at once while
  // the card has none (the manual clock) or sleeps. With `wait`, returns once
  // it is carried out (the rendering thread's next block; at most a second
  // for a card that has stopped rendering). Application threads; takes
  // `control`.
  bool run(const Command& command, bool wait);  // false: not carried out in time
  // Readers of published voices need no lock: Voice::published().
  // Owned by the rendering thread; the application threads hold `control`
  // while the card has none or sleeps.
  std::vector<Voice*> voices;
  static constexpr int kMaxVoices = 256;
  // Serialises the application threads that drive the card (and the manual
  // clock's rendering); never taken by the rendering thread.
  CheckedMutex control;
  // Keeps a voice whose removal a stalled card never confirmed, with the
  // bytes that commands still queued for it may read.
  void keepOrphan(std::unique_ptr<Voice> voice, std::vector<std::byte> bytes);
  int voiceCount = 0;  // voices added and not removed (control)

  // The card no longer plays: its stream ended or failed (a USB card pulled
  // out), or, on a real-time clock, nothing was rendered for half a second
  // while a buffer plays. A stream woken from its sleep gets longer for its
  // first output: the sound server may first have to resume an output it
  // suspended while nothing played, and that can take most of a second.
  void markLost() { lost_ = true; }
  // The output stops its stream for a moment (to reopen it): for as long
  // as a woken card has for its first output, a card that renders nothing
  // is not lost (a sound server may take a while to pace a new stream, and
  // may pause it once more after its first blocks). Any thread.
  void streamPausing();
  static constexpr std::chrono::milliseconds kLostAfter{500};
  static constexpr std::chrono::milliseconds kLostAfterWake{2500};
  bool isLost();

  void setOutput(std::unique_ptr<Output> output) { output_ = std::move(output); }
  Output* output() const { return output_.get(); }
  void setCapture(std::unique_ptr<WavWriter> capture);

  // The tap that gets a copy of every block after the limiter, or none.
  // Replacing it returns once the rendering thread no longer uses the old
  // one. While a tap is set the card never sleeps: a recording keeps its
  // silences. Application threads.
  void setTap(std::shared_ptr<OutputTap> tap);

 private:
  void apply(const Command& command);
  void applyQueued();
  CardTiming timing() const;
  static constexpr std::uint32_t kQueue = 512;
  std::array<Command, kQueue> queue_{};
  std::atomic<std::uint32_t> queueHead_{0};  // next slot the producer writes
  std::atomic<std::uint32_t> queueTail_{0};  // next slot render() reads
  std::atomic<std::uint64_t> applied_{0};    // commands carried out by render()
  std::uint64_t posted_ = 0;                 // commands queued (control)
  std::vector<std::pair<std::unique_ptr<Voice>, std::vector<std::byte>>> orphans_;  // (control)

  QString description_;
  std::unique_ptr<Output> output_;
  std::unique_ptr<WavWriter> capture_;
  std::shared_ptr<OutputTap> tapOwner_;  // (control)
  std::atomic<OutputTap*> tap_{nullptr};
  std::atomic<bool> tapBusy_{false};  // render() is between its load of tap_ and its push
  Limiter limiter_;                   // the mixer sums into it; used by the rendering thread only
  // Timing of the last render, for the heard position (rendering thread).
  bool realtime_ = false;
  double latencyFrames_ = 0.0;
  int lastBlock_ = 0;
  std::int64_t lastRenderNs_ = 0;
  // When the card last rendered, and how long it may go without (any thread).
  std::atomic<std::int64_t> lastRender_{0};
  std::atomic<std::int64_t> lostAfterMs_{kLostAfter.count()};
  std::atomic<bool> realtimeSeen_{false};  // the last render was on a real-time clock
  std::atomic<int> playingVoices_{0};      // voices that played after the last block
  std::atomic<bool> lost_{false};
  std::atomic<std::int64_t> graceUntil_{0};  // steady ns: silence before it is no loss
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
