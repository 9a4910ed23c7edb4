// Deck pitch: the pitch bar, the bend buttons and the zero button, and the
// tempo they make the song play at.

#include <QLocale>
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

void ShowTempo(DeckRefs& d, int pitch) { d.deck.setTempoText(TempoText(d.deck.beats(), pitch)); }

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
  deck.player()->SetPitch(deck.pitch());
  deck.setPitchText(PitchText(deck.pitch()));
  ShowTempo(d, deck.pitch());
}

void BendDown(DeckRefs& d, int offset) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  deck.player()->SetPitch(deck.pitch() + offset);
  ShowTempo(d, deck.pitch() + offset);
}

void BendUp(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  deck.player()->SetPitch(deck.pitch());
  ShowTempo(d, deck.pitch());
}

void SpeedZero(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  deck.setPitch(0);  // runs PitchChange through the bar when the pitch changes
  deck.player()->SetPitch(deck.pitch());
  ShowTempo(d, deck.pitch());
}

}  // namespace qdl::decks
