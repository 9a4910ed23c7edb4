#include "platform/midi/MidiQueue.h"

namespace qdl::midi {

MidiQueue::MidiQueue(std::size_t capacity) : capacity_(capacity ? capacity : 1) {
  entries_.reserve(capacity_);
}

namespace {
// Merges a control change into one for the same controller, channel and
// number in `entries`; false when there is none.
bool mergeInto(std::vector<Incoming>& entries, const Incoming& in) {
  for (Incoming& e : entries) {
    if (e.controller == in.controller && e.message.type == MidiMessage::Control &&
        e.message.channel == in.message.channel && e.message.number == in.message.number) {
      e.message.value = in.message.value;
      return true;
    }
  }
  return false;
}
// Control changes kept beside a full queue: one per controller, channel and
// number at most, so this many cover every control of several controllers.
constexpr std::size_t kLateControls = 4 * 16 * 128;
}  // namespace

bool MidiQueue::push(const Incoming& in) {
  std::lock_guard lock(mutex_);
  const bool wasEmpty = entries_.empty() && lateControls_.empty();
  if (in.message.type == MidiMessage::Control) {
    if (mergeInto(entries_, in) || mergeInto(lateControls_, in)) {
      ++merged_;
      return false;
    }
    // A full queue keeps the control's latest value beside it: a fader that
    // stops during a flood must end where it stopped, not where the last
    // value that found room put it.
    if (entries_.size() >= capacity_) {
      if (lateControls_.size() >= kLateControls) {
        ++dropped_;
        return false;
      }
      lateControls_.push_back(in);
      return wasEmpty;
    }
  }
  if (entries_.size() >= capacity_) {
    ++dropped_;
    return false;
  }
  entries_.push_back(in);
  return wasEmpty;
}

std::vector<Incoming> MidiQueue::takeAll() {
  std::vector<Incoming> out;
  out.reserve(capacity_);
  std::lock_guard lock(mutex_);
  out.swap(entries_);
  out.insert(out.end(), lateControls_.begin(), lateControls_.end());
  lateControls_.clear();
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
