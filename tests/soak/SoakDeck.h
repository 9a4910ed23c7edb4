#pragma once
// One deck of the console as the simulated set sees it: its handlers (the
// console's own, left or right), its controls, and what the set keeps
// about it between steps (internal to the soak).

#include <QString>
#include <cstdint>

#include "app/Mainform.h"
#include "audio/Dsutil.h"
#include "platform/ui/Controls.h"
#include "soak/SoakSet.h"

namespace qdl::soak {

struct SoakSet::Deck {
  bool left = true;
  TFormQuandrel* f = nullptr;

  TStreamPlayer* player() const { return left ? f->PlayerLinks : f->PlayerRechts; }
  QString state() const { return (left ? f->StatusBar_Links : f->StatusBar_Rechts)->panelText(0); }
  ui::ScrollBar* seek() const { return left ? f->sBarSeekLinks : f->sBarSeekRechts; }
  ui::ScrollBar* pitch() const { return left ? f->SBarPitchLinks : f->SBarPitchRechts; }
  ui::ScrollBar* volume() const { return left ? f->SBVolume_Links : f->SBVolume_Rechts; }
  qint64 song() const { return left ? f->loadedSongLinks : f->loadedSongRechts; }
  const char* name() const { return left ? "left" : "right"; }

  void load() { left ? f->LoadDB_LinksClick() : f->LoadDB_RechtsClick(); }
  void cue() { left ? f->Cue_LinksMouseDown() : f->Cue_RechtsMouseDown(); }
  void play() { left ? f->Play_LinksMouseDown() : f->Play_RechtsMouseDown(); }
  void scroll(ui::ScrollCode code, int position = 0) { seek()->userScroll(code, position); }
  void bendDown(bool faster) {
    if (left)
      faster ? f->SBtPlusSpeedLinksMouseDown() : f->SBtMinusSpeedLinksMouseDown();
    else
      faster ? f->SBtPlusSpeedRechtsMouseDown() : f->SBtMinusSpeedRechtsMouseDown();
  }
  void bendUp(bool faster) {
    if (left)
      faster ? f->SBtPlusSpeedLinksMouseUp() : f->SBtMinusSpeedLinksMouseUp();
    else
      faster ? f->SBtPlusSpeedRechtsMouseUp() : f->SBtMinusSpeedRechtsMouseUp();
  }
  void speedZero() { left ? f->SpeedZero_LinksMouseDown() : f->Speedzero_RechtsMouseDown(); }
  void headCue() { left ? f->SBHeadCueLinksMouseDown() : f->SBHeadCueRechtsMouseDown(); }
  void timeMode() { left ? f->btTime_LinksClick() : f->btTime_RechtsClick(); }
  bool timerActive() const;
  void tick() { left ? f->TimerLinksTimer() : f->TimerRechtsTimer(); }

  // Refill misses of the player's buffers so far.
  int misses() const;
  // The buffer a card plays of this deck (0 main, 1 headphones), or null.
  qdl::sound::SoundBuffer* buffer(int card) const;

  // Kept by the set.
  TStreamPlayer* seen = nullptr;      // the player of the last step
  const SoakSong* playing = nullptr;  // its song
  int missesSeen = 0;
  bool previewing = false;  // in the seek preview while the cards rendered
  double lastGain[2] = {0, 0};
  double lastSpeed[2] = {1, 1};
  bool wasSounding[2] = {false, false};
};

}  // namespace qdl::soak
