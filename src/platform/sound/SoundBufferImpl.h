#pragma once
// Private state of a SoundBuffer (internal).

#include "platform/sound/Mixer.h"

namespace qdl::sound {

struct SoundBuffer::Impl {
  std::shared_ptr<detail::Card> card;
  std::unique_ptr<detail::Voice> voice;  // registered with the card while it lives
  // A lock hands out this copy of the ring; unlock copies it back under the
  // card's lock, so the mixer never reads bytes that are being written.
  std::vector<std::byte> staging;
  bool locked = false;
  int lockOffset = 0;
  int lockBytes = 0;
};

}  // namespace qdl::sound
