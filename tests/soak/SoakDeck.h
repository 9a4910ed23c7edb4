#pragma once
// One deck of the console as the simulated set sees it: its actions (the
// console's own, left or right), its controls, and what the set keeps
// about it between steps (internal to the soak).

#include <QString>
#include <cstdint>

#include "app/Mainform.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
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

  // What the DJ does runs through the console's named actions, as a
  // controller would; the window's buttons run the same ones.
  QString action(const char* what) const {
    return (left ? QStringLiteral("links.") : QStringLiteral("rechts.")) + QLatin1String(what);
  }
  void press(const char* what) { f->actions->press(action(what)); }
  void release(const char* what) { f->actions->release(action(what)); }

  void load() { press("load"); }
  void cue() { press("cue"); }
  void play() { press("play"); }
  void scroll(ui::ScrollCode code, int position = 0) { seek()->userScroll(code, position); }
  void bendDown(bool faster) { press(faster ? "pitch.up" : "pitch.down"); }
  void bendUp(bool faster) { release(faster ? "pitch.up" : "pitch.down"); }
  void speedZero() { press("pitch.zero"); }
  void headCue() { press("headcue"); }
  void timeMode() { press("time"); }
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
