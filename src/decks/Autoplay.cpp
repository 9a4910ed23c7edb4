// Autoplay's hand-over from a deck near its end to the other deck.

#include "decks/Autoplay.h"

#include <QScopeGuard>

#include "audio/Dsutil.h"

namespace qdl::decks {
namespace {

// Set while a tick runs. A load's message box runs an event loop of its
// own, in which the autoplay timer fires again; the near-end flag is still
// set then, so such a tick would take yet another song.
bool tickRunning = false;

// Hands over from `from` to `to` when due; true when it was due.
bool handOver(AutoplayDeck& from, AutoplayDeck& to, const std::function<bool()>& takeNextSong) {
  if (!from.deck.player || from.deck.player->NearEnd != 1 || state(to.deck) == kPlaying)
    return false;
  if (!takeNextSong()) return true;
  to.load();
  to.play();
  // The load's message box may have let the user replace the player.
  if (from.deck.player) from.deck.player->NearEnd = 0;
  return true;
}

}  // namespace

void AutoPlayTick(AutoplayDeck left, AutoplayDeck right,
                  const std::function<bool()>& takeNextSong) {
  if (tickRunning) return;
  tickRunning = true;
  const auto done = qScopeGuard([] { tickRunning = false; });
  if (handOver(left, right, takeNextSong)) return;
  handOver(right, left, takeNextSong);
}

}  // namespace qdl::decks
