#include "decks/AutoGain.h"

#include <QLocale>
#include <cmath>

#include "audio/Dsutil.h"
#include "library/SongLoudness.h"
#include "platform/db/DbError.h"
#include "platform/db/Table.h"

namespace qdl::decks {

void Deck::setGainText(const QString& text) {
  if (gainText_ == text) return;
  gainText_ = text;
  emit gainTextChanged(text);
}

void Mixer::setAutoGain(bool on) {
  if (autoGain_ == on) return;
  autoGain_ = on;
  emit autoGainChanged(on);
}

void Mixer::setReferenceLoudness(double lufs) {
  if (!std::isfinite(lufs) || referenceLoudness_ == lufs) return;
  referenceLoudness_ = lufs;
  emit referenceLoudnessChanged(lufs);
}

QString GainText(double db) {
  const double tenths = std::round(db * 10.0) / 10.0;
  const QString number = QLocale().toString(std::abs(tenths), 'f', 1);
  const QString sign = tenths > 0 ? QStringLiteral("+") : tenths < 0 ? QStringLiteral("-") : "";
  return sign + number + QStringLiteral(" dB");
}

std::optional<double> AutoGainFor(const DeckRefs& d, const Shared& s) {
  if (!s.mixer->autoGain() || !d.deck.player() || d.deck.song() < 0 || !s.songs) return {};
  try {
    return library::songGainDb(library::songLoudness(*s.songs, d.deck.song()),
                               s.mixer->referenceLoudness());
  } catch (const db::DbError&) {
    return {};  // a library that cannot be read now: the song plays as it is
  }
}

void ApplyAutoGain(DeckRefs& d, const Shared& s) {
  const std::optional<double> gain = AutoGainFor(d, s);
  if (d.deck.player()) d.deck.player()->SetGain(gain ? int(std::lround(*gain * 100)) : 0);
  d.deck.setGainText(gain ? GainText(*gain) : QString());
}

}  // namespace qdl::decks
