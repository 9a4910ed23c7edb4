#pragma once
// Sound output: device listing, device objects and looping secondary buffers.
//
// This layer emulates the classic looping-buffer sound API on Linux. A caller
// lists the output devices, opens a device object by GUID (or the system
// default), creates secondary buffers of any PCM format on it, fills them by
// lock/unlock and plays them looping. Every card plays a fixed primary format
// of 44100 Hz, 16 bit, stereo; the mixer resamples each buffer from its
// playback frequency to that rate, applies its volume, sums all buffers of the
// card in float and hands the sum to a look-ahead limiter: below full scale
// the card plays the sum unchanged, kOutputDelayFrames later; a sum that
// would pass full scale is brought down smoothly instead of clipping.
//
// Backends, chosen by the environment variable QUANDREL_AUDIO at each listing
// and each open:
//   unset, empty or "portaudio"  PortAudio (real cards)
//   "virtual"                    two virtual cards with a manual clock that the
//                                caller advances (see VirtualCards.h)
//   "virtual-realtime"           the same two cards paced by a real-time clock
// With QUANDREL_AUDIO_CAPTURE=<folder>, each opened virtual card also writes
// its output to a WAV file in that folder (quandrel-card-a.wav, ...-b.wav).
//
// Threads: every function here is called from one application thread (the UI
// thread) or, for distinct objects, from any thread. The mixer runs in the
// backend's audio thread and never waits for these calls: a change reaches it
// through a queue at the start of its next block, and what it plays is
// published after each block. play(), stop(), cursor moves and writes that
// move the cursor return once the mixer has taken them (one block, 5 to
// 10 ms; at once on the manual clock or a sleeping card); volume, frequency
// and fades return at once.
//
// Units: sizes, offsets and cursors in bytes of the buffer's own format;
// volume in hundredths of a decibel (0 full level, -10000 silent, gain
// 10^(v/2000)); frequency in hertz (samples per second of the buffer's data).

#include <QString>
#include <QUuid>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace qdl::sound {

// Raised when a device or buffer cannot be created, a GUID text does not
// parse, or an argument is out of range. The message is the text a user sees.
class SoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The backend that QUANDREL_AUDIO selects; throws SoundError for an unknown
// value.
enum class Backend { PortAudio, Virtual, VirtualRealtime };
Backend currentBackend();

// PCM format of a buffer: 1 or 2 channels, 8 (unsigned) or 16 (signed) bits.
struct WaveFormat {
  int channels = 2;
  int sampleRate = 44100;
  int bitsPerSample = 16;

  int blockAlign() const { return channels * bitsPerSample / 8; }
  int bytesPerSecond() const { return sampleRate * blockAlign(); }
  bool operator==(const WaveFormat&) const = default;
};

// One entry of the device listing.
struct DeviceInfo {
  std::optional<QUuid> guid;  // absent for the system's default device entry
  QString description;        // what a user recognises; unique within a listing
  QString module;             // the driver layer (host API name, or "virtual")
};

// Lists the output devices of the current backend: first the system default
// entry (no GUID, description "Primary Sound Driver"), then one entry per
// output device. GUIDs and descriptions are the same on every run as long as
// the devices are. Throws SoundError when the backend cannot be initialised.
std::vector<DeviceInfo> enumerateDevices();

// GUID text in registry form: 38 characters, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// uppercase hexadecimal digits.
QString guidToText(const QUuid& guid);
// Parses a GUID in registry form (braces required, either letter case).
// Throws SoundError naming the text when it does not parse (also for "").
QUuid guidFromText(const QString& text);

// The output buffer of the cards: the mixed sound a card holds ahead of what
// is heard, the larger part of the time from a press to its sound. The
// choices are named by their length in whole milliseconds, as the settings
// and the device dialog show them:
//    3  128 frames (2.9 ms)
//    6  256 frames (5.8 ms)
//   10  440 frames (10 ms), the default
//   11  512 frames (11.6 ms)
// PortAudio plays the buffer in two callbacks of half of it each; a virtual
// real-time card renders the whole buffer in one step every buffer's time.
inline constexpr std::array<int, 4> kOutputBufferChoices = {3, 6, 10, 11};
inline constexpr int kDefaultOutputBuffer = 10;
// The frames of a choice; 0 for a value that is none.
int outputBufferFrames(int milliseconds);
// Sets the output buffer of every card: cards opened from now on open their
// streams with it, and each open card whose stream has another buffer
// reopens it on a thread of the card's own. Returns at once. A buffer that
// plays goes silent only while its stream is reopened, and goes on where it
// was. Throws SoundError for a value that is no choice (nothing changes).
void setOutputBuffer(int milliseconds);
int outputBuffer();  // the choice set last (kDefaultOutputBuffer at first)

class SoundBuffer;
class OutputTap;

// An opened device object. Several device objects may open the same card; they
// share the card's one output stream and their buffers are mixed together.
// The primary buffer (fixed format 44100 Hz, 16 bit, stereo) is playing as soon
// as the device is open; while it is stopped, the device's buffers are neither
// heard nor advanced. Destroying the device stops the primary buffer and
// releases the card; buffers that outlive their device fall silent and stay
// safe to call.
class Device {
 public:
  static constexpr WaveFormat kPrimaryFormat{2, 44100, 16};
  // The limiter's look-ahead: every card plays what is mixed this many
  // frames later (2.2 ms). The play cursors allow for it.
  static constexpr int kOutputDelayFrames = 96;

  // Opens the device with this GUID, or the system default device when none
  // is given. Throws SoundError with a reason when the device is not present
  // or its output cannot be started.
  static std::unique_ptr<Device> open(const std::optional<QUuid>& guid = std::nullopt);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  std::optional<QUuid> guid() const;  // as opened (empty for the default)
  QString description() const;        // the card's listing description
  WaveFormat primaryFormat() const { return kPrimaryFormat; }

  void playPrimary();
  void stopPrimary();
  bool isPrimaryPlaying() const;

  // Creates a secondary buffer of `bytes` bytes of `format` on this device, at
  // full volume, at the format's own frequency, stopped, cursor 0, filled
  // with silence. Throws SoundError for an unsupported format or size
  // (channels 1..2; 8 or 16 bits; 100..200000 Hz; size a positive multiple of
  // the block align, at most 64 MiB).
  std::unique_ptr<SoundBuffer> createBuffer(const WaveFormat& format, int bytes);

  // The card's output stream: frames per callback and the latency from the
  // mixer to the output as the backend reports it, in seconds.
  int framesPerBuffer() const;
  double outputLatency() const;

  // True once the card has stopped playing what is mixed for it: its stream
  // ended or failed (a USB card pulled out), or no sound was asked of it for
  // half a second while a buffer plays. A lost card does not come back; the
  // program must open the devices anew (after a restart).
  bool isLost() const;

  // Gives the card's output, after the limiter, to `tap` as well: every
  // frame the card renders from now on, until another tap (or none) is set.
  // One tap per card: setting it on any device object of the card replaces
  // the card's tap. Returns once the card's rendering thread no longer uses
  // the previous tap. While a tap is set the card does not sleep in silence.
  void setTap(std::shared_ptr<OutputTap> tap);

  struct Impl;

 private:
  explicit Device(std::shared_ptr<Impl> impl);
  std::shared_ptr<Impl> d_;
};

// A region handed out by SoundBuffer::lock: the bytes from the offset to the
// end of the buffer, and, when the range wraps, the rest from offset 0.
struct LockedRegion {
  std::span<std::byte> first;
  std::span<std::byte> second;  // empty unless the range wrapped
};

// A looping secondary buffer.
//
// Play cursor: the byte being heard now. The mixer reads ahead of it by what
// the card has rendered but not yet played: for PortAudio the latency the
// callback reports (DAC time minus now) plus the block just rendered, less the
// time since that callback; for the real-time virtual card the 10 ms block
// less the time since it was rendered; for the manual clock nothing; and on
// every card the limiter's Device::kOutputDelayFrames. That lead, converted
// to the buffer's frequency, never reaches back before the byte where play()
// or a cursor move started. stop() sets the mixer's position back to the heard byte, so
// play() resumes exactly there.
//
// Resampling: a Kaiser-windowed sinc (32 taps at or below the card's rate,
// stretched above it so nothing aliases) with coefficients interpolated
// between 512 phases; spurious components stay below -105 dB. At exactly
// 44100 Hz and a whole-frame position the kernel is the identity, so samples
// pass unchanged. A frequency change keeps the read position continuous, so
// it does not click; a volume change ramps over one mixer block (1024 frames
// at most).
//
// Fades (setFadeFrames): with a fade length set, play() ramps up from
// silence, and stop() and a cursor move while playing let the old position
// ramp down (raised cosine) while the buffer rests or goes on from the new
// one. Without (the default) they take effect at once.
class SoundBuffer {
 public:
  ~SoundBuffer();
  SoundBuffer(const SoundBuffer&) = delete;
  SoundBuffer& operator=(const SoundBuffer&) = delete;

  const WaveFormat& format() const;
  int bytes() const;

  // Starts playing from the cursor (fading in, see setFadeFrames); looping
  // wraps at the end, otherwise the buffer stops there and its cursor
  // returns to 0.
  void play(bool looping = true);
  // Stops (fading out, see setFadeFrames); the cursor stays on the byte
  // last heard, so play() resumes there.
  void stop();
  bool isPlaying() const;

  // Play cursor in bytes, a multiple of the block align, 0 <= cursor < bytes().
  int currentPosition() const;
  // Moves the play cursor (rounded down to the block align); also while
  // playing. Throws SoundError when bytes is outside 0 .. bytes()-1.
  void setCurrentPosition(int bytes);

  // Locks `bytes` bytes from `offset` for writing; the region holds the
  // buffer's current data. The written data reaches the mixer at unlock().
  // One lock at a time. Throws SoundError for a range outside the buffer
  // (offset 0..bytes()-1, bytes 1..bytes()) or a second lock.
  LockedRegion lock(int offset, int bytes);
  // Hands the written region to the mixer. The spans may be shortened from
  // their end to what was written. Throws SoundError without a lock.
  void unlock(const LockedRegion& region);
  // unlock() and setCurrentPosition(cursor) in one step: the mixer never
  // plays the new bytes from the old position, nor old bytes from the new
  // one. Throws SoundError as those do; on a bad cursor before anything is
  // written, with the lock still held.
  void unlockAndMove(const LockedRegion& region, int cursor);

  // Length of the fades of play(), stop() and cursor moves while playing, in
  // frames of the card's output (44100 Hz): 0 (none, the default) up to
  // 1024; false (and unchanged) otherwise.
  bool setFadeFrames(int frames);
  int fadeFrames() const;

  // Volume in hundredths of a decibel, -10000..0; false (and unchanged)
  // outside that range.
  bool setVolume(int hundredthsDb);
  int volume() const;
  // A gain in hundredths of a decibel applied with the volume,
  // -2400..+1200 (a level trim before the volume: positive values lift the
  // sound above full level, the card's limiter catches what goes over);
  // false (and unchanged) outside that range. Ramps as a volume change does.
  bool setGain(int hundredthsDb);
  int gain() const;

  // Playback frequency in hertz, 100..200000, or 0 for the format's own
  // rate; false (and unchanged) otherwise. A change takes effect smoothly.
  bool setFrequency(int hz);
  int frequency() const;

  // How many times the mixer entered bytes that had not been rewritten since
  // they were last played (once per entry into such a stretch). Bytes never
  // written count as not rewritten.
  int refillMisses() const;

  struct Impl;

 private:
  friend class Device;
  explicit SoundBuffer(std::unique_ptr<Impl> impl);
  void commit(const LockedRegion& region, int cursor);  // cursor < 0: no move
  std::unique_ptr<Impl> d_;
};

}  // namespace qdl::sound
