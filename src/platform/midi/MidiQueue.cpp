#include "platform/midi/MidiQueue.h"

namespace qdl::midi {

MidiQueue::MidiQueue(std::size_t capacity) : capacity_(capacity ? capacity : 1) {
  entries_.reserve(capacity_);
}

bool MidiQueue::push(const Incoming& in) {
  std::lock_guard lock(mutex_);
  if (in.message.type == MidiMessage::Control) {
    for (Incoming& e : entries_) {
      if (e.controller == in.controller && e.message.type == MidiMessage::Control &&
          e.message.channel == in.message.channel && e.message.number == in.message.number) {
        e.message.value = in.message.value;
        ++merged_;
        return false;
      }
    }
  }
  if (entries_.size() >= capacity_) {
    ++dropped_;
    return false;
  }
  entries_.push_back(in);
  return entries_.size() == 1;
}

std::vector<Incoming> MidiQueue::takeAll() {
  std::vector<Incoming> out;
  out.reserve(capacity_);
  std::lock_guard lock(mutex_);
  out.swap(entries_);
  return out;
}

std::uint64_t MidiQueue::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::uint64_t MidiQueue::merged() const {
  std::lock_guard lock(mutex_);
  return merged_;
}

}  // namespace qdl::midi
