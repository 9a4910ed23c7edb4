// Deck pitch: the pitch bar, the bend buttons and the zero button.

#include <QLabel>
#include <QLocale>

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "platform/ui/Controls.h"

namespace qdl::decks {

QString PitchText(int position) {
  return QLocale().toString(position * 0.1, 'f', QLocale::FloatingPointShortest) + QLatin1Char('%');
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
