#pragma once
// Auto-gain: a loaded song is played at a gain that brings it to the
// mixer's reference loudness, from the loudness the library knows of it
// (measured by the analysis, or from its ReplayGain tags until then; see
// library/SongLoudness.h and loudness::autoGainDb for the caps). The gain is
// a level trim before the volume bars, so the bars keep their meaning; the
// deck shows it beside its tempo. A song without a known loudness, and every
// song while auto-gain is off, plays at 0 dB with no text.
//
// The gain is chosen at load and when auto-gain or the reference changes,
// never while a song plays on by itself: a measurement stored during play
// counts from the next load. A change ramps over one mixer block, without
// a click.

#include <QString>
#include <optional>

#include "decks/Deck.h"

namespace qdl::decks {

// The deck's gain text of `db`: sign, one decimal with the locale's decimal
// separator, " dB" ("+2.0 dB", "-3.5 dB", "0.0 dB").
QString GainText(double db);
// The gain auto-gain gives the deck's loaded song now; nullopt when none
// (off, no song, no loudness known, or the library cannot be read).
std::optional<double> AutoGainFor(const DeckRefs& d, const Shared& s);
// Sets the player's gain and the deck's gain text as AutoGainFor says.
void ApplyAutoGain(DeckRefs& d, const Shared& s);

}  // namespace qdl::decks
