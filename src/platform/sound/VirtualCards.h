#pragma once
// The two virtual cards of the virtual backends (QUANDREL_AUDIO=virtual or
// virtual-realtime): "Virtual Card A" and "Virtual Card B", with fixed GUIDs.
// The default device entry opens card A.
//
// QUANDREL_AUDIO_VIRTUAL_CARDS=<n> (0, 1 or 2; unset means 2) plugs in only the
// first n cards: the listing shows only those, and opening an absent card
// fails as a removed card does. Tests use it for machines with one card or
// none.
//
// With QUANDREL_AUDIO=virtual nothing plays by itself: advance() renders the
// next frames of a card on the calling thread (the mixer runs there), and the
// rendered output is kept in memory until taken. A card that no device has
// open renders silence. With virtual-realtime a timer thread renders each open
// card in 10 ms steps and nothing is kept in memory.

#include <QString>
#include <QUuid>

#include <cstdint>
#include <vector>

namespace qdl::sound {

class VirtualCards {
 public:
  static constexpr int kCount = 2;  // card 0 = A, card 1 = B

  static QUuid guid(int card);
  static QString description(int card);

  // Renders `frames` frames of the card now (manual clock). Throws SoundError
  // unless QUANDREL_AUDIO is "virtual" or for a card outside 0..kCount-1.
  static void advance(int card, int frames);

  // Output rendered by advance() since the last take: interleaved stereo
  // 16-bit samples at 44100 Hz. Takes it out of the card's store.
  static std::vector<std::int16_t> takeCaptured(int card);

  // Frames rendered by the card since the process started.
  static std::int64_t renderedFrames(int card);

  // Pulls the card out, as a USB card pulled from its socket: devices open on
  // it report it lost. The card is whole again once every device on it has
  // been closed and it is opened anew.
  static void unplug(int card);
};

}  // namespace qdl::sound
