#pragma once
// Autoplay: when the song on one deck is within seven seconds of its end
// (its player's NearEnd) and the other deck is not playing, the other deck
// is loaded with the next song and started, as a press on play would start
// it, so that the two songs overlap for their last seconds. The crossfader
// and the volume bars are not touched.
//
// Nobody may be at the console: a hand-over never waits for a click. A song
// that cannot be loaded (its file is gone or cannot be played) is passed
// over for the next one in the same tick, and the user is told without a
// box that waits for an answer.
//
// The console's autoplay timer runs AutoPlayTick once a second while its
// "Autoplay" check box is ticked. Everything runs on the UI thread.

#include <functional>

#include "decks/Deck.h"

namespace qdl::decks {

// A deck as autoplay drives it: its controls and fields, a load of the song
// table's current record that asks nothing (a refusal's text goes to `why`)
// and the console's own handler for a press on play.
struct AutoplayDeck {
  DeckRefs deck;
  std::function<LoadResult(QString* why)> load;
  std::function<void()> play;
};

// Where the songs come from: the playlist, or the song the grid shows.
struct AutoplaySongs {
  // Makes the next song the song table's current record; false when there
  // is none.
  std::function<bool()> take;
  // The song taken last could not be loaded: its file is gone or cannot be
  // played; `why` is the deck's message.
  std::function<void(const QString& why)> unplayable;
  // Tells the user, without waiting for an answer, that the deck cannot
  // load at all (it has no output device).
  std::function<void(const QString& why)> tell;
  // How many songs one hand-over may try.
  int tries = 1;
  // Autoplay on the beat: a song whose grid and tempo allow it starts in
  // time with the outgoing one (StartOnTheBeat in Sync.h).
  bool onTheBeat = false;
};

// One tick; at most one hand-over: first from the left deck to the right,
// else from the right to the left. When no song can be taken, nothing is
// handed over and the near-end deck asks again next tick. When songs were
// taken but none could be loaded, the play step still runs, so that a deck
// holding a song plays it again rather than leave the room silent. A tick
// that comes while an earlier one still runs does nothing.
void AutoPlayTick(AutoplayDeck left, AutoplayDeck right, const AutoplaySongs& songs);

}  // namespace qdl::decks
