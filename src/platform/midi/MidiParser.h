#pragma once
// MIDI bytes to the messages a controller mapping uses: note on, note off and
// control change, each with its channel (0..15), number and value (0..127).
//
// The parser takes any bytes, as a port delivers them, one buffer after the
// other, and keeps its state between buffers:
// - running status: data bytes after a channel message repeat its status;
// - a note on with velocity 0 is a note off;
// - real-time bytes (clock, start, stop, active sensing, reset) are dropped
//   wherever they stand, also inside another message, and keep the running
//   status;
// - system exclusive is dropped up to its end (F7) or the next status byte;
//   system common messages are dropped with their data bytes and end the
//   running status;
// - program change, aftertouch and pitch bend are read and dropped;
// - data bytes without a status are dropped.
// Nothing is allocated; one parser serves one port on one thread.

#include <cstddef>
#include <cstdint>

namespace qdl::midi {

struct MidiMessage {
  enum Type : std::uint8_t { NoteOn, NoteOff, Control };
  Type type = NoteOn;
  std::uint8_t channel = 0;  // 0..15 (MIDI channel 1..16)
  std::uint8_t number = 0;   // note or controller number, 0..127
  std::uint8_t value = 0;    // velocity or controller value, 0..127

  friend bool operator==(const MidiMessage&, const MidiMessage&) = default;
};

class MidiParser {
 public:
  // Feeds bytes; calls deliver(const MidiMessage&) for every message completed.
  template <class Deliver>
  void feed(const std::uint8_t* bytes, std::size_t size, Deliver&& deliver) {
    for (std::size_t i = 0; i < size; ++i) {
      MidiMessage m;
      if (take(bytes[i], m)) deliver(m);
    }
  }
  // Forgets a message begun and the running status (a port opened anew).
  void reset();
  // Bytes dropped so far (real-time, system, stray data, unused messages).
  std::uint64_t dropped() const { return dropped_; }

 private:
  // Takes one byte; true with `out` filled when a message is complete.
  bool take(std::uint8_t byte, MidiMessage& out);

  std::uint8_t status_ = 0;  // the running status, 0 when none
  std::uint8_t data_[2] = {0, 0};
  std::uint8_t have_ = 0;  // data bytes of the current message
  std::uint8_t need_ = 0;  // data bytes the status wants
  bool sysex_ = false;     // inside system exclusive
  bool system_ = false;    // reading the data of a system common message
  std::uint64_t dropped_ = 0;
};

}  // namespace qdl::midi
