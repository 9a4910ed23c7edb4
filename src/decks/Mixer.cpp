// Mixer: deck volumes and headphone cue. The crossfader works through the
// deck volume bars (see the console's crossfader handlers).

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "platform/ui/Controls.h"

namespace qdl::decks {

int BarVolume(const ui::ScrollBar* bar) {
  return bar->value() == bar->maximum() ? -10000 : -bar->value();
}

void VolumeChange(DeckRefs& d) {
  if (!d.player) return;
  d.player->SetVolume(BarVolume(d.volume));
}

void HeadCueMouseDown(DeckRefs& d, const Shared& s) {
  if (!d.player) return;
  if (d.headCue == 0) {
    // Switching on takes the bar's own value: at its bottom that is -3000.
    d.player->SetHeadVolume(-s.headVolume->value());
    d.headCueButton->setGlyph(QStringLiteral("LED_ON"));
    d.headCue = 1;
  } else {
    d.player->SetHeadVolume(-10000);
    d.headCueButton->setGlyph(QStringLiteral("LED_OFF"));
    d.headCue = 0;
  }
}

void HeadVolumeChange(DeckRefs& d, const Shared& s) {
  if (!d.player || d.headCue != 1) return;
  d.player->SetHeadVolume(BarVolume(s.headVolume));
}

}  // namespace qdl::decks
