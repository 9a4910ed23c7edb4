// Autoplay's hand-over from a deck near its end to the other deck.

#include "decks/Autoplay.h"

#include <QScopeGuard>

#include "audio/Dsutil.h"
#include "decks/Sync.h"

namespace qdl::decks {
namespace {

// Set while a tick runs. Nothing in a tick waits for the user, but should
// anything in it run an event loop of its own, the autoplay timer would
// fire inside it while the near-end flag is still set, and such a tick
// would take yet another song.
bool tickRunning = false;

// Loads the next song that can be loaded; false when none could.
bool loadNext(AutoplayDeck& to, const AutoplaySongs& songs, bool* took) {
  for (int i = 0; i < songs.tries; ++i) {
    if (!songs.take()) return false;
    *took = true;
    QString why;
    switch (to.load(&why)) {
      case LoadResult::Loaded:
        return true;
      case LoadResult::FileMissing:
      case LoadResult::Unplayable:
        if (songs.unplayable) songs.unplayable(why);
        continue;  // the next song, in this tick
      case LoadResult::NoDevice:
        if (songs.tell) songs.tell(why);
        return false;
      case LoadResult::Busy:
        return false;  // a seeking deck: its own song goes on
    }
  }
  return false;
}

// Hands over from `from` to `to` when due; true when it was due.
bool handOver(AutoplayDeck& from, AutoplayDeck& to, const AutoplaySongs& songs) {
  if (!from.deck.deck.nearEnd() || state(to.deck) == DeckState::Playing) return false;
  bool took = false;
  const bool loaded = loadNext(to, songs, &took);
  if (!took) return true;  // nothing to take: asked again next tick
  if (loaded && songs.onTheBeat && state(from.deck) == DeckState::Playing)
    StartOnTheBeat(to.deck, from.deck.deck);
  to.play();
  from.deck.deck.clearNearEnd();
  return true;
}

}  // namespace

void AutoPlayTick(AutoplayDeck left, AutoplayDeck right, const AutoplaySongs& songs) {
  if (tickRunning) return;
  tickRunning = true;
  const auto done = qScopeGuard([] { tickRunning = false; });
  if (handOver(left, right, songs)) return;
  handOver(right, left, songs);
}

}  // namespace qdl::decks
