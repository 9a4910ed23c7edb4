// Mixer: deck volumes and headphone cue. The crossfader works through the
// deck volume bars (see the console's crossfader handlers).

#include "audio/Dsutil.h"
#include "decks/Deck.h"

namespace qdl::decks {

int BarVolume(int position) { return position == Deck::kVolumeMax ? -10000 : -position; }

void VolumeChange(DeckRefs& d) {
  if (!d.deck.player()) return;
  d.deck.player()->SetVolume(BarVolume(d.deck.volume()));
}

void HeadCueMouseDown(DeckRefs& d, const Shared& s) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  if (deck.headCue() == 0) {
    // A headphone bar at its bottom keeps the headphones silent.
    deck.player()->SetHeadVolume(BarVolume(s.mixer->headVolume()));
    deck.setHeadCue(1);  // its button shows LED_ON
  } else {
    deck.player()->SetHeadVolume(-10000);
    deck.setHeadCue(0);  // LED_OFF
  }
}

void HeadVolumeChange(DeckRefs& d, const Shared& s) {
  if (!d.deck.player() || d.deck.headCue() != 1) return;
  d.deck.player()->SetHeadVolume(BarVolume(s.mixer->headVolume()));
}

void CrossfaderChange(int previous, int position, Deck& left, Deck& right) {
  // Crossing the centre counts as passing it: the volume of the side that
  // was attenuated returns to 0, so the incoming deck is at its own level
  // and a jump from one end to the other never leaves both decks silent.
  // Only the final positions are set, so no deck blips up on the way.
  if (position > 0) {
    if (previous < 0) right.setVolume(0);
    left.setVolume(position);
  } else if (position < 0) {
    if (previous > 0) left.setVolume(0);
    right.setVolume(-position);
  } else {
    left.setVolume(0);
    right.setVolume(0);
  }
}

}  // namespace qdl::decks
