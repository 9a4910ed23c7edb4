#pragma once
// Private state of a SoundBuffer (internal).

#include "platform/sound/Mixer.h"

#include <atomic>
#include <mutex>

namespace qdl::sound {

struct SoundBuffer::Impl {
  std::shared_ptr<detail::Card> card;
  std::unique_ptr<detail::Voice> voice;  // registered with the card while it lives
  // A lock hands out this copy of the ring; unlock writes it back (a write
  // that moves the cursor through the rendering thread, so the mixer never
  // plays the new bytes from the old position).
  std::vector<std::byte> staging;
  bool locked = false;
  int lockOffset = 0;
  int lockBytes = 0;
  // The values last set, as the setters' callers see them at once.
  std::atomic<int> volume{0};
  std::atomic<int> gain{0};
  // Sends the volume and the gain as one factor to the mixer.
  void sendVolume();
  std::atomic<int> frequency{0};
  std::atomic<int> fadeFrames{0};
  // The heard position last reported and the voice's restart count then:
  // the position never goes back between two reports (see Voice::lastHeard).
  std::mutex reported;
  double lastHeard = -1.0;
  std::uint32_t lastRestarts = 0;
};

}  // namespace qdl::sound
