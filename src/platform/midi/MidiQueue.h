#pragma once
// The bounded queue between the threads that receive MIDI and the window's
// thread. A flood never grows it and never blocks a sender for long:
// - a control change replaces the value of one still waiting for the same
//   controller, channel and number (the latest value wins; a fader moved
//   quickly sends many values, the console needs the last);
// - notes keep their order; when the queue is full, notes are dropped and
//   counted, while a control change is still kept (its latest value, after
//   the queued messages), so a fader ends where it stopped even in a flood.
// push() says when the queue was empty before, so the sender wakes the
// window's thread once per batch, not once per message.
// Any thread may push; one thread takes. A short lock guards the entries.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/midi/MidiParser.h"

namespace qdl::midi {

struct Incoming {
  int controller = 0;  // the port it came from (MidiHub's controller id)
  MidiMessage message;
};

class MidiQueue {
 public:
  explicit MidiQueue(std::size_t capacity = 512);

  // Adds a message; true when the queue was empty before (wake the taker).
  bool push(const Incoming& in);
  // Everything waiting, in order; the queue is empty afterwards.
  std::vector<Incoming> takeAll();
  std::size_t capacity() const { return capacity_; }
  // Messages dropped because the queue was full.
  std::uint64_t dropped() const;
  // Control changes merged into one waiting.
  std::uint64_t merged() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<Incoming> entries_;
  std::vector<Incoming> lateControls_;  // control changes that came while full
  std::uint64_t dropped_ = 0;
  std::uint64_t merged_ = 0;
};

}  // namespace qdl::midi
