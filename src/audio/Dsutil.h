#pragma once
// Sound devices and the stream player of a deck.
//
// TSoundDevice is one opened output device: a device object of the sound
// layer whose primary buffer plays as long as the object lives. The main
// window keeps its devices in four slots (LeftMain, LeftHead, RightMain,
// RightHead); one device object may fill two devices.
//
// TStreamPlayer plays one MP3 file on a deck: it owns the file's TMp3Source
// and a looping secondary buffer of half a second of PCM on the deck's main
// device and, when the deck has one, an identical buffer on its headphone
// device. The ring is two halves of BufferBytes / 2 bytes, and the half that
// the play cursor has just left is refilled. On a card with a clock of its
// own the deck feeder's thread does that (see DeckFeeder.h) from the first
// Update after a SetPosition on, so a busy window thread never starves the
// deck; on the manual clock of the virtual cards Update, polled by the deck's
// 10 ms timer, refills on the caller's thread.
//
// Units: positions and lengths in hundredths of a second; sizes, offsets and
// cursors in bytes of the song's PCM format; volume in hundredths of a
// decibel (0 full level, -10000 silent); pitch in tenths of a percent.
//
// Threads: everything here is called from the UI thread; the player's state
// that the feeder shares is guarded by a lock of the player's own.

#include <QString>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "audio/Formate.h"
#include "platform/sound/Sound.h"

namespace qdl::stretch {
class KeyLock;
}

class QWidget;

namespace qdl {
class DeckFeeder;
class IniFile;

// The playing state of a device's primary buffer: the card plays the
// device's buffers only while it runs. Does not own the device.
class PrimaryBufferHandle {
 public:
  PrimaryBufferHandle() = default;
  explicit PrimaryBufferHandle(sound::Device* device) : device_(device) {}

  void Play();  // looping; nothing without a device
  void Stop();
  bool IsPlaying() const;

 private:
  sound::Device* device_ = nullptr;
};

}  // namespace qdl

// One opened output device. Owned by the main window's device devices.
class TSoundDevice {
 public:
  // Opens the device with `guid` (none: the system's default device) and
  // plays its primary buffer (44100 Hz, 16 bit, stereo). `window` is the
  // application's window; the sound layer needs no cooperative level, so it
  // is only kept for symmetry with the callers. Throws qdl::sound::SoundError
  // with the reason when the device cannot be opened; nothing is left open.
  TSoundDevice(QWidget* window, const std::optional<QUuid>& guid);
  // Stops the primary buffer, then releases the device. Buffers created on
  // it fall silent (the sound layer keeps them safe to call).
  virtual ~TSoundDevice();
  TSoundDevice(const TSoundDevice&) = delete;
  TSoundDevice& operator=(const TSoundDevice&) = delete;

  qdl::PrimaryBufferHandle PrimaryBuffer;           // the device's primary buffer
  std::unique_ptr<qdl::sound::Device> DirectSound;  // owned; players make buffers on it

 protected:
  // A device object that opens nothing (DirectSound stays empty); for
  // stand-ins in tests.
  TSoundDevice() = default;
};

// Plays one MP3 file through a half-second ring on a deck's devices.
class TStreamPlayer {
 public:
  // Opens `fileName` and creates a secondary buffer of the song's format
  // and BufferBytes bytes on `mainSound` and, when given, on `headSound`.
  // Fills nothing: call SetPosition before the first Play. The devices are
  // not owned and must outlive the player's use of its buffers.
  // Throws qdl::Mp3OpenError when the file cannot be opened as MP3 data and
  // qdl::sound::SoundError ("<file>: ...") when there is no main device or
  // a buffer cannot be created; no half-made player remains.
  TStreamPlayer(qdl::sound::Device* mainSound, qdl::sound::Device* headSound,
                const QString& fileName);
  // Releases MainBuffer, then HeadBuffer, then the source.
  ~TStreamPlayer();
  TStreamPlayer(const TStreamPlayer&) = delete;
  TStreamPlayer& operator=(const TStreamPlayer&) = delete;

  // Reads MainBuffer's play cursor and returns the position of the byte
  // under it (never below 0). On the manual clock it refills the half the
  // cursor has just left; elsewhere it lets the feeder refill from now on.
  int Update();
  // No refills until the next Update: the seek preview loops the ring as it
  // stands.
  void PauseRefills();
  // Seeks the source to `hundredths`, fills the whole ring from there and
  // moves both play cursors to 0, each buffer in one step (a playing buffer
  // crossfades from its old sound to the new). Does not start or stop the
  // buffers.
  void SetPosition(int hundredths);
  // The same at sample frame `sample` of the song: a move finer than a
  // hundredth, for putting beats on beats.
  void SetSamplePosition(std::int64_t sample);
  // The sample frame of the song under MainBuffer's play cursor.
  std::int64_t PlayingSample();
  // How long after a position change or Play the new sound is heard:
  // the main card's output lead (its latency, half a block on average and
  // the limiter's look-ahead), in seconds of the card's output.
  double OutputLead() const;
  void Play();  // both buffers, looping, fading in over kFadeFrames
  void Stop();  // both buffers, fading out; the cursors stay, so Play resumes
  // Playback frequency SampleRate + pitch * (SampleRate / 1000) on both.
  void SetPitch(int tenthsOfPercent);
  // Playback frequency in Hz on both rings, finer than SetPitch's steps.
  void SetFrequency(int hz);
  // The playback frequency SetPitch or SetFrequency set last, Hz.
  int Frequency() const { return frequency_; }
  void SetVolume(int hundredthsDb);      // MainBuffer only
  void SetHeadVolume(int hundredthsDb);  // HeadBuffer only; nothing without
  // Key lock: while on, the pitch changes the tempo but not the key. Takes
  // effect with the next block written to the ring (crossfaded); the ring
  // already written plays as it was.
  void SetKeyLock(bool on) { keyLock_ = on; }
  bool KeyLock() const { return keyLock_; }
  // The song's level trim before the volumes (auto-gain), on both buffers,
  // in hundredths of a dB, clamped to -2400..+1200.
  void SetGain(int hundredthsDb);
  // The deck's time text "hh:mm:ss:cc" of `hundredths` (elapsed) or "-" and
  // the time left to Duration (remaining; shown as 0 once past the end).
  // Sets NearEnd to 1 when less than 7 seconds are left, else 0.
  QString FormatTime(int hundredths, bool elapsed);

  // Length of the fades of play, stop and position changes: 3 ms of the
  // cards' 44100 Hz output.
  static constexpr int kFadeFrames = 132;

  std::unique_ptr<qdl::TMp3Source> Source;  // owned
  int NearEnd = 0;                          // 1 when the last FormatTime saw less than 7 s left
  std::atomic<int> EndCount{0};             // refills whose block met the end of the input
  qdl::sound::Device* MainSound = nullptr;  // not owned, never null
  qdl::sound::Device* HeadSound = nullptr;  // not owned, may be null
  std::unique_ptr<qdl::sound::SoundBuffer> MainBuffer;  // owned
  std::unique_ptr<qdl::sound::SoundBuffer> HeadBuffer;  // owned, null without HeadSound
  int HalfBytes = 0;                                    // Source->BufferBytes / 2
  std::atomic<std::uint32_t> LastCursor{0};             // the play cursor at the last refill check

  // Has the source deliver one block and writes it at `offset` (0 or
  // HalfBytes) into MainBuffer and, when present, HeadBuffer.
  void FillHalf(int offset);

 private:
  friend class qdl::DeckFeeder;
  // On the feeder's thread: refills what the cursor has left while fed and
  // playing; returns how soon to look again.
  std::chrono::milliseconds feed();
  // Refills the half the cursor `p` has just left (feedMutex_ held).
  void refill(std::uint32_t p);

  // Keeps the headphone ring's cursor on the main ring's (see Update).
  void trackHeadphones(std::uint32_t mainCursor);

  // Reads the next block of the song's PCM through the key lock stage into
  // `dest` (HalfBytes); true when it holds the song's end (feedMutex_ held).
  bool readBlock(std::uint8_t* dest);

  std::vector<std::uint8_t> block_;  // one half of PCM between source and buffers
  std::vector<std::uint8_t> ring_;   // a whole ring of PCM for SetPosition
  std::atomic<int> frequency_{0};    // playback frequency set by SetPitch, Hz
  int headCorrection_ = 0;           // Hz added to it on the headphone ring (feedMutex_)
  // The feeder's share: the source, the rings' writes, LastCursor and
  // writtenEnd_ change under this lock.
  std::mutex feedMutex_;
  bool fed_ = false;                  // the feeder refills (a card with its own clock)
  std::atomic<bool> feeding_{false};  // between an Update and SetPosition or PauseRefills
  int writtenEnd_ = 0;                // ring offset where the decoded sound ends (feedMutex_)
  // Between the source and the ring; holds blocks read ahead (feedMutex_).
  std::unique_ptr<qdl::stretch::KeyLock> stage_;
  // The source's time at the start of each block the stage holds, oldest
  // first: the time of the next sound for the ring (feedMutex_).
  std::deque<int> heldTimes_;
  std::atomic<bool> keyLock_{false};
};

namespace qdl {

// Lists the system's sound devices for the device dialog: skips the default
// entry (the one without a GUID), calls `addCard` with each description in
// listing order and writes "present Devices"/<description> = GUID text into
// `settings`. Entries of devices no longer present are left in the file.
// Returns the descriptions. Throws sound::SoundError when the sound system
// cannot list its devices and IniFileError when the file cannot be written.
QStringList listSoundDevices(IniFile& settings,
                             const std::function<void(const QString&)>& addCard = {});

// The main window's four device devices, by reference to its own fields.
struct DeviceSlots {
  TSoundDevice*& LeftMain;
  TSoundDevice*& LeftHead;
  TSoundDevice*& RightMain;
  TSoundDevice*& RightHead;
};

// A configured card that could not be opened.
struct DeviceOpenFailure {
  QString key;       // "Card_1" or "Card_2"
  QString cardName;  // its description from the settings file
  QString reason;    // the sound layer's reason
  // The name has no "present Devices" entry (typed by hand, or the file
  // edited): the user must choose the card again.
  bool notListed = false;
};

// The output buffer setting: "Devices"/"OutputBuffer" in whole milliseconds,
// one of sound::kOutputBufferChoices (3, 6, 10, 11); sound::kDefaultOutputBuffer
// when the key is missing or empty. Anything else throws ConversionError
// naming the value, the section and key, the choices and the file.
inline constexpr const char* kOutputBufferKey = "OutputBuffer";
int outputBufferSetting(const IniFile& settings);

struct OpenDevicesResult {
  // true: enable the headphone controls (mode 1 with its headphone card
  // open); false: disable them (modes 0 and 2, or no headphone card); empty:
  // leave them as they are (any other mode).
  std::optional<bool> headphoneControls;
  // Cards that could not be opened; their slots stay as they were and the
  // other slots are still filled. The caller tells the user.
  std::vector<DeviceOpenFailure> failures;
  // An output buffer setting that cannot be used (the default plays
  // instead): what is wrong, for the user; empty when it was fine.
  QString bufferProblem;
};

// Opens the devices that `settings` names into the devices, by the output mode
// "Devices"/"Mode" (default 0), first setting the cards' output buffer
// (outputBufferSetting; a broken one is reported in bufferProblem and the
// default is used):
//   0: "Card_1" opened twice, first into RightMain, then into LeftMain; the
//      head slots emptied.
//   1: "Card_1" once into LeftMain and RightMain, "Card_2" once into LeftHead
//      and RightHead.
//   2: "Card_1" into LeftMain, "Card_2" into RightMain; the head slots emptied.
//   other: nothing.
// A card is "Devices"/<key>; an empty name opens nothing and leaves its slots
// as they are; otherwise its GUID is "present Devices"/<name>. A card whose
// name has no entry there, whose GUID does not parse or that cannot be opened
// is reported in `failures` and leaves its slots as they are; the other card
// is still opened. A device taken out of a slot that no other slot holds any
// more is deleted. Throws ConversionError for a mode that is not a decimal
// integer: the set-up ends there and opens nothing.
OpenDevicesResult openSoundDevices(const IniFile& settings, DeviceSlots devices,
                                   QWidget* window = nullptr);

// Deletes each distinct device object of the slots exactly once and empties
// all four devices.
void closeSoundDevices(DeviceSlots devices);

}  // namespace qdl
