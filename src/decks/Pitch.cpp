// Deck pitch: the pitch bar, the bend buttons and the zero button, and the
// tempo they make the song play at.

#include <QLocale>
#include <cmath>
#include <optional>

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "platform/db/Table.h"

namespace qdl::decks {

QString PitchText(int position) {
  // Dividing gives the double nearest to the tenth (3 * 0.1 would show as
  // "0.30000000000000004"), so the shortest text is the plain decimal.
  return QLocale().toString(position / 10.0, 'f', QLocale::FloatingPointShortest) +
         QLatin1Char('%');
}

QString TempoText(int beats, int pitch) {
  if (beats <= 0) return {};
  // In tenths of a BPM, rounded half up, without the error of a double.
  const qint64 tenths = (qint64(beats) * (1000 + pitch) + 50) / 100;
  return QLocale().toString(tenths / 10.0, 'f', 1) + QStringLiteral(" BPM");
}

namespace {

// The player plays at the deck's pitch with `offset` (a bend) on top: the
// bar's step, or the finer frequency Sync set.
void applyPitch(Deck& deck, int offset) {
  TStreamPlayer* player = deck.player();
  if (deck.syncFrequency() > 0)
    player->SetFrequency(deck.syncFrequency() + offset * (player->Source->SampleRate / 1000));
  else
    player->SetPitch(deck.pitch() + offset);
}

}  // namespace

QString ExactTempoText(int beats, double ratio) {
  if (beats <= 0) return {};
  const qint64 tenths = qint64(std::floor(beats * ratio * 10.0 + 0.5));
  return QLocale().toString(tenths / 10.0, 'f', 1) + QStringLiteral(" BPM");
}

void ShowTempo(DeckRefs& d, int pitch) {
  Deck& deck = d.deck;
  if (deck.syncFrequency() > 0 && deck.player()) {
    // Synced: the tempo of the frequency played, the bend on top of it.
    const int rate = deck.player()->Source->SampleRate;
    const int hz = deck.syncFrequency() + (pitch - deck.pitch()) * (rate / 1000);
    deck.setTempoText(ExactTempoText(deck.beats(), double(hz) / rate));
    return;
  }
  deck.setTempoText(TempoText(deck.beats(), pitch));
}

void RefreshTempo(DeckRefs& d, const Shared& s) {
  if (d.deck.song() < 0) return;
  const std::optional<QVariant> v = s.songs->storedValue(d.deck.song(), QStringLiteral("Beats"));
  if (!v) return;
  d.deck.setBeats(v->isValid() ? v->toInt() : 0);
  ShowTempo(d, d.deck.pitch());
}

void PitchChange(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  // A move of the bar away from where Sync put it returns to the bar's steps.
  if (deck.syncFrequency() > 0 && deck.pitch() != deck.syncStep()) deck.clearSync();
  applyPitch(deck, 0);
  deck.setPitchText(PitchText(deck.pitch()));
  ShowTempo(d, deck.pitch());
}

void BendDown(DeckRefs& d, int offset) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  applyPitch(deck, offset);
  ShowTempo(d, deck.pitch() + offset);
}

void BendUp(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  applyPitch(deck, 0);
  ShowTempo(d, deck.pitch());
}

void SpeedZero(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  deck.clearSync();
  deck.setPitch(0);  // runs PitchChange through the bar when the pitch changes
  deck.player()->SetPitch(deck.pitch());
  ShowTempo(d, deck.pitch());
}

}  // namespace qdl::decks
