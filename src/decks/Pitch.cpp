// Deck pitch: the pitch bar, the bend buttons and the zero button.

#include <QLabel>
#include <QLocale>

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "platform/ui/Controls.h"

namespace qdl::decks {

QString PitchText(int position) {
  // Dividing gives the double nearest to the tenth (3 * 0.1 would show as
  // "0.30000000000000004"), so the shortest text is the plain decimal.
  return QLocale().toString(position / 10.0, 'f', QLocale::FloatingPointShortest) +
         QLatin1Char('%');
}

void PitchChange(DeckRefs& d) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value());
  d.pitchLabel->setText(PitchText(d.pitch->value()));
}

void BendDown(DeckRefs& d, int offset) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value() + offset);
}

void BendUp(DeckRefs& d) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value());
}

void SpeedZero(DeckRefs& d) {
  if (!d.player) return;
  d.pitch->setValue(0);  // runs PitchChange when the position changes
  d.player->SetPitch(d.pitch->value());
}

}  // namespace qdl::decks
