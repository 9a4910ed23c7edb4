// Deck pitch: the pitch bar, the bend buttons and the zero button, and the
// tempo they make the song play at.

#include <QLabel>
#include <QLocale>
#include <optional>

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"

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

void ShowTempo(DeckRefs& d, int pitch) {
  const QString text = TempoText(d.beats, pitch);
  if (d.tempo->text() != text) d.tempo->setText(text);
}

void RefreshTempo(DeckRefs& d, const Shared& s) {
  if (d.song < 0) return;
  const std::optional<QVariant> v = s.songs->storedValue(d.song, QStringLiteral("Beats"));
  if (!v) return;
  d.beats = v->isValid() ? v->toInt() : 0;
  ShowTempo(d, d.pitch->value());
}

void PitchChange(DeckRefs& d) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value());
  d.pitchLabel->setText(PitchText(d.pitch->value()));
  ShowTempo(d, d.pitch->value());
}

void BendDown(DeckRefs& d, int offset) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value() + offset);
  ShowTempo(d, d.pitch->value() + offset);
}

void BendUp(DeckRefs& d) {
  if (!d.player) return;
  d.player->SetPitch(d.pitch->value());
  ShowTempo(d, d.pitch->value());
}

void SpeedZero(DeckRefs& d) {
  if (!d.player) return;
  d.pitch->setValue(0);  // runs PitchChange when the position changes
  d.player->SetPitch(d.pitch->value());
  ShowTempo(d, d.pitch->value());
}

}  // namespace qdl::decks
