#pragma once
// Autoplay: when the song on one deck is within seven seconds of its end
// (its player's NearEnd) and the other deck is not playing, the other deck
// is loaded with the next song and started, as a user's load click and
// left-button press on play would do, so that the two songs overlap for
// their last seconds. The crossfader and the volume bars are not touched.
//
// The console's autoplay timer runs AutoPlayTick once a second while its
// "Autoplay" check box is ticked. Everything runs on the UI thread.

#include <functional>

#include "decks/Deck.h"

namespace qdl::decks {

// A deck as autoplay drives it: its controls and fields, and the console's
// own handlers for a load click and a press on play.
struct AutoplayDeck {
  DeckRefs deck;
  std::function<void()> load;
  std::function<void()> play;
};

// One tick; at most one hand-over: first from the left deck to the right,
// else from the right to the left. `takeNextSong` makes the next song the
// song table's current record and returns false when there is none; then
// nothing is handed over and the near-end deck asks again next tick.
// A tick that comes while an earlier one still runs (a load's message box
// is open) is held back: it does nothing.
void AutoPlayTick(AutoplayDeck left, AutoplayDeck right, const std::function<bool()>& takeNextSong);

}  // namespace qdl::decks
