// The console's deck, pitch and mixer handlers: one-line calls into the deck
// code, given the deck's model and devices, or runs of the named actions
// that call it.

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/Mainform.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/Deck.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"

using qdl::decks::DeckRefs;

DeckRefs TFormQuandrel::deckLinks() { return {*DeckLinks, TimerLinks, LeftMain, LeftHead}; }

DeckRefs TFormQuandrel::deckRechts() { return {*DeckRechts, TimerRechts, RightMain, RightHead}; }

qdl::decks::Shared TFormQuandrel::shared() {
  return {this,
          DataModule1->Table1,
          mixer,
          [this](const QString& card) {
            if (lostCards_.contains(card)) return;
            lostCards_.insert(card);
            // A modal box inside the deck's timer handler would keep that
            // deck from being refilled until it is closed.
            QMetaObject::invokeMethod(
                this,
                [this, card] {
                  qdl::ui::showMessage(this,
                                       FormSprache->Meldung.sKarteStumm + QLatin1Char('\n') + card,
                                       FormSprache->Meldung.sAchtung);
                },
                Qt::QueuedConnection);
          },
          [this](const QString& text) {
            QMetaObject::invokeMethod(
                this, [this, text] { qdl::ui::dialogs().showError(this, text); },
                Qt::QueuedConnection);
          },
          &unstoredCues_,
          &readOnlyTold_};
}

void TFormQuandrel::wireDecks() {
  using qdl::ui::ClickPanel;
  using qdl::ui::ScrollBar;
  using qdl::ui::SpeedButton;
  connect(LoadDB_Links, &QPushButton::clicked, this, [this] { LoadDB_LinksClick(); });
  connect(LoadDB_Rechts, &QPushButton::clicked, this, [this] { LoadDB_RechtsClick(); });
  connect(Cue_Links, &ClickPanel::mouseDown, this, &TFormQuandrel::Cue_LinksMouseDown);
  connect(Cue_Rechts, &ClickPanel::mouseDown, this, &TFormQuandrel::Cue_RechtsMouseDown);
  connect(Play_Links, &ClickPanel::mouseDown, this, &TFormQuandrel::Play_LinksMouseDown);
  connect(Play_Rechts, &ClickPanel::mouseDown, this, &TFormQuandrel::Play_RechtsMouseDown);
  connect(sBarSeekLinks, &ScrollBar::scroll, this,
          [this](qdl::ui::ScrollCode c, int) { sBarSeekLinksScroll(c); });
  connect(sBarSeekRechts, &ScrollBar::scroll, this,
          [this](qdl::ui::ScrollCode c, int) { sBarSeekRechtsScroll(c); });
  connect(sBarSeekLinks, &ScrollBar::valueChanged, this, [this] { sBarSeekLinksChange(); });
  connect(sBarSeekRechts, &ScrollBar::valueChanged, this, [this] { sBarSeekRechtsChange(); });
  connect(btTime_Links, &QPushButton::clicked, this, [this] { btTime_LinksClick(); });
  connect(btTime_Rechts, &QPushButton::clicked, this, [this] { btTime_RechtsClick(); });
  connect(TimerLinks, &QTimer::timeout, this, &TFormQuandrel::TimerLinksTimer);
  connect(TimerRechts, &QTimer::timeout, this, &TFormQuandrel::TimerRechtsTimer);

  connect(SBarPitchLinks, &ScrollBar::valueChanged, this, [this] { SBarPitchLinksChange(); });
  connect(SBarPitchRechts, &ScrollBar::valueChanged, this, [this] { SBarPitchRechtsChange(); });
  connect(SBtPlusSpeedLinks, &SpeedButton::mouseDown, this,
          &TFormQuandrel::SBtPlusSpeedLinksMouseDown);
  connect(SBtPlusSpeedLinks, &SpeedButton::mouseUp, this, &TFormQuandrel::SBtPlusSpeedLinksMouseUp);
  connect(SBtMinusSpeedLinks, &SpeedButton::mouseDown, this,
          &TFormQuandrel::SBtMinusSpeedLinksMouseDown);
  connect(SBtMinusSpeedLinks, &SpeedButton::mouseUp, this,
          &TFormQuandrel::SBtMinusSpeedLinksMouseUp);
  connect(SBtPlusSpeedRechts, &SpeedButton::mouseDown, this,
          &TFormQuandrel::SBtPlusSpeedRechtsMouseDown);
  connect(SBtPlusSpeedRechts, &SpeedButton::mouseUp, this,
          &TFormQuandrel::SBtPlusSpeedRechtsMouseUp);
  connect(SBtMinusSpeedRechts, &SpeedButton::mouseDown, this,
          &TFormQuandrel::SBtMinusSpeedRechtsMouseDown);
  connect(SBtMinusSpeedRechts, &SpeedButton::mouseUp, this,
          &TFormQuandrel::SBtMinusSpeedRechtsMouseUp);
  connect(SpeedZero_Links, &SpeedButton::mouseDown, this, &TFormQuandrel::SpeedZero_LinksMouseDown);
  connect(SpeedZero_Rechts, &SpeedButton::mouseDown, this,
          &TFormQuandrel::Speedzero_RechtsMouseDown);

  connect(SBVolume_Links, &ScrollBar::valueChanged, this, [this] { SBVolume_LinksChange(); });
  connect(SBVolume_Rechts, &ScrollBar::valueChanged, this, [this] { SBVolume_RechtsChange(); });
  connect(sbFader, &ScrollBar::valueChanged, this, [this] { sbFaderChange(); });
  connect(FaderLinks, &SpeedButton::mouseDown, this, &TFormQuandrel::FaderLinksMouseDown);
  connect(FaderLinks, &SpeedButton::mouseUp, this, &TFormQuandrel::FaderLinksMouseUp);
  connect(FaderRechts, &SpeedButton::mouseDown, this, &TFormQuandrel::FaderRechtsMouseDown);
  connect(FaderRechts, &SpeedButton::mouseUp, this, &TFormQuandrel::FaderRechtsMouseUp);
  connect(sbCrossZero, &SpeedButton::clicked, this, [this] { sbCrossZeroClick(); });
  connect(SBHeadCueLinks, &SpeedButton::mouseDown, this, &TFormQuandrel::SBHeadCueLinksMouseDown);
  connect(SBHeadCueRechts, &SpeedButton::mouseDown, this, &TFormQuandrel::SBHeadCueRechtsMouseDown);
  connect(SBVolume_Head, &ScrollBar::valueChanged, this, [this] { SBVolume_HeadChange(); });
}

// ---- Transport -------------------------------------------------------------
// The buttons run the named actions (MainformActions.cpp), which call the
// deck code; the seek bar, the timers and the bars' changes call it directly.

void TFormQuandrel::runPress(const char* name) {
  toldInBox_ = true;
  const qdl::control::ActionResult r = actions->press(QLatin1String(name));
  toldInBox_ = false;
  if (r.status == qdl::control::ActionResult::Refused)
    qdl::ui::showMessage(this, r.why, FormSprache->Meldung.sAchtung);
}
void TFormQuandrel::runRelease(const char* name) {
  toldInBox_ = true;
  const qdl::control::ActionResult r = actions->release(QLatin1String(name));
  toldInBox_ = false;
  if (r.status == qdl::control::ActionResult::Refused)
    qdl::ui::showMessage(this, r.why, FormSprache->Meldung.sAchtung);
}

void TFormQuandrel::LoadDB_LinksClick() { runPress("links.load"); }
void TFormQuandrel::LoadDB_RechtsClick() { runPress("rechts.load"); }
void TFormQuandrel::Cue_LinksMouseDown(Qt::MouseButton) { runPress("links.cue"); }
void TFormQuandrel::Cue_RechtsMouseDown(Qt::MouseButton) { runPress("rechts.cue"); }
void TFormQuandrel::Play_LinksMouseDown(Qt::MouseButton) { runPress("links.play"); }
void TFormQuandrel::Play_RechtsMouseDown(Qt::MouseButton) { runPress("rechts.play"); }
void TFormQuandrel::RefreshDeckTempos() {
  if (!DataModule1 || !DataModule1->Table1->isOpen()) return;
  // A table that cannot be read now leaves the tempos as they are shown.
  try {
    auto left = deckLinks();
    qdl::decks::RefreshTempo(left, shared());
    auto right = deckRechts();
    qdl::decks::RefreshTempo(right, shared());
  } catch (const qdl::db::DbError&) {
  }
}
void TFormQuandrel::sBarSeekLinksScroll(qdl::ui::ScrollCode code) {
  auto d = deckLinks();
  qdl::decks::SeekScroll(d, code);
}
void TFormQuandrel::sBarSeekRechtsScroll(qdl::ui::ScrollCode code) {
  auto d = deckRechts();
  qdl::decks::SeekScroll(d, code);
}
void TFormQuandrel::sBarSeekLinksChange() {
  auto d = deckLinks();
  qdl::decks::SeekChange(d);
}
void TFormQuandrel::sBarSeekRechtsChange() {
  auto d = deckRechts();
  qdl::decks::SeekChange(d);
}
void TFormQuandrel::btTime_LinksClick() { runPress("links.time"); }
void TFormQuandrel::btTime_RechtsClick() { runPress("rechts.time"); }
void TFormQuandrel::TimerLinksTimer() {
  auto d = deckLinks();
  qdl::decks::TimerTick(d, shared());
}
void TFormQuandrel::TimerRechtsTimer() {
  auto d = deckRechts();
  qdl::decks::TimerTick(d, shared());
}

// ---- Pitch -------------------------------------------------------------------

void TFormQuandrel::SBarPitchLinksChange() {
  auto d = deckLinks();
  qdl::decks::PitchChange(d);
}
void TFormQuandrel::SBarPitchRechtsChange() {
  auto d = deckRechts();
  qdl::decks::PitchChange(d);
}
void TFormQuandrel::SBtPlusSpeedLinksMouseDown(Qt::MouseButton) { runPress("links.pitch.up"); }
void TFormQuandrel::SBtPlusSpeedLinksMouseUp(Qt::MouseButton) { runRelease("links.pitch.up"); }
void TFormQuandrel::SBtMinusSpeedLinksMouseDown(Qt::MouseButton) { runPress("links.pitch.down"); }
void TFormQuandrel::SBtMinusSpeedLinksMouseUp(Qt::MouseButton) { runRelease("links.pitch.down"); }
void TFormQuandrel::SBtPlusSpeedRechtsMouseDown(Qt::MouseButton) { runPress("rechts.pitch.up"); }
void TFormQuandrel::SBtPlusSpeedRechtsMouseUp(Qt::MouseButton) { runRelease("rechts.pitch.up"); }
void TFormQuandrel::SBtMinusSpeedRechtsMouseDown(Qt::MouseButton) { runPress("rechts.pitch.down"); }
void TFormQuandrel::SBtMinusSpeedRechtsMouseUp(Qt::MouseButton) { runRelease("rechts.pitch.down"); }
void TFormQuandrel::SpeedZero_LinksMouseDown(Qt::MouseButton) { runPress("links.pitch.zero"); }
void TFormQuandrel::Speedzero_RechtsMouseDown(Qt::MouseButton) { runPress("rechts.pitch.zero"); }

// ---- Mixer -------------------------------------------------------------------

void TFormQuandrel::SBVolume_LinksChange() {
  auto d = deckLinks();
  qdl::decks::VolumeChange(d);
}
void TFormQuandrel::SBVolume_RechtsChange() {
  auto d = deckRechts();
  qdl::decks::VolumeChange(d);
}

void TFormQuandrel::sbFaderChange() {
  // The crossfader has no volume of its own: it moves the deck volumes,
  // whose bars' change handlers set the players' volumes.
  qdl::decks::CrossfaderChange(mixer->previousCrossfader(), mixer->crossfader(), *DeckLinks,
                               *DeckRechts);
}

// The left mouse button jumps for good; with the right one the jump lasts
// only while the button is held.
void TFormQuandrel::FaderLinksMouseDown(Qt::MouseButton button) {
  runPress(button == Qt::RightButton ? "mixer.crossfader.links.hold" : "mixer.crossfader.links");
}
void TFormQuandrel::FaderRechtsMouseDown(Qt::MouseButton button) {
  runPress(button == Qt::RightButton ? "mixer.crossfader.rechts.hold" : "mixer.crossfader.rechts");
}
void TFormQuandrel::FaderLinksMouseUp(Qt::MouseButton button) {
  runRelease(button == Qt::RightButton ? "mixer.crossfader.links.hold" : "mixer.crossfader.links");
}
void TFormQuandrel::FaderRechtsMouseUp(Qt::MouseButton button) {
  runRelease(button == Qt::RightButton ? "mixer.crossfader.rechts.hold"
                                       : "mixer.crossfader.rechts");
}
void TFormQuandrel::sbCrossZeroClick() { runPress("mixer.crossfader.zero"); }

void TFormQuandrel::SBHeadCueLinksMouseDown(Qt::MouseButton) { runPress("links.headcue"); }
void TFormQuandrel::SBHeadCueRechtsMouseDown(Qt::MouseButton) { runPress("rechts.headcue"); }
void TFormQuandrel::SBVolume_HeadChange() {
  auto left = deckLinks();
  qdl::decks::HeadVolumeChange(left, shared());
  auto right = deckRechts();
  qdl::decks::HeadVolumeChange(right, shared());
}

// ---- Choosing a song ---------------------------------------------------------

void TFormQuandrel::ChooseCurrentSong() {
  if (FormPlayList->isVisible()) {
    FormPlayList->AddCurrentSong(*DataModule1);
    return;
  }
  LoadDB_LinksClick();
  LoadDB_RechtsClick();
}
