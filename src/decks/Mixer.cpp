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
    // A headphone bar at its bottom keeps the headphones silent.
    d.player->SetHeadVolume(BarVolume(s.headVolume));
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

void CrossfaderChange(int previous, int position, ui::ScrollBar* left, ui::ScrollBar* right) {
  // Crossing the centre counts as passing it: the bar of the side that was
  // attenuated returns to 0, so the incoming deck is at its own level and a
  // jump from one end to the other never leaves both decks silent. Only the
  // final positions are set, so no deck blips up on the way.
  if (position > 0) {
    if (previous < 0) right->setValue(0);
    left->setValue(position);
  } else if (position < 0) {
    if (previous > 0) left->setValue(0);
    right->setValue(-position);
  } else {
    left->setValue(0);
    right->setValue(0);
  }
}

}  // namespace qdl::decks
