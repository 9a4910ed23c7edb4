// The console's deck, pitch and mixer handlers: one-line calls into the deck
// code, given the deck's controls and fields.

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "app/Mainform.h"
#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"

using qdl::decks::DeckRefs;

DeckRefs TFormQuandrel::deckLinks() {
  return {LoadDB_Links,    Cue_Links,       Play_Links,     sBarSeekLinks,   LabelZeitLinks,
          StatusBar_Links, TimerLinks,      SBarPitchLinks, lbPitch_Links,   SBVolume_Links,
          SBHeadCueLinks,  PlayerLinks,     TimeModeLinks,  HeadCueLinks,    LeftMain,
          LeftHead,        loadedSongLinks, lbTempo_Links,  loadedBeatsLinks};
}

DeckRefs TFormQuandrel::deckRechts() {
  return {LoadDB_Rechts,    Cue_Rechts,       Play_Rechts,     sBarSeekRechts,   LabelZeitRechts,
          StatusBar_Rechts, TimerRechts,      SBarPitchRechts, lbPitch_Rechts,   SBVolume_Rechts,
          SBHeadCueRechts,  PlayerRechts,     TimeModeRechts,  HeadCueRechts,    RightMain,
          RightHead,        loadedSongRechts, lbTempo_Rechts,  loadedBeatsRechts};
}

qdl::decks::Shared TFormQuandrel::shared() {
  return {this,
          DataModule1->Table1,
          cbAutoCue,
          SBVolume_Head,
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

void TFormQuandrel::LoadDB_LinksClick() {
  auto d = deckLinks();
  qdl::decks::Load(d, shared());
}
void TFormQuandrel::LoadDB_RechtsClick() {
  auto d = deckRechts();
  qdl::decks::Load(d, shared());
}
void TFormQuandrel::Cue_LinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::CueMouseDown(d, shared());
}
void TFormQuandrel::Cue_RechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::CueMouseDown(d, shared());
}
void TFormQuandrel::Play_LinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::PlayMouseDown(d);
}
void TFormQuandrel::Play_RechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::PlayMouseDown(d);
}
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
void TFormQuandrel::btTime_LinksClick() {
  auto d = deckLinks();
  qdl::decks::TimeClick(d);
}
void TFormQuandrel::btTime_RechtsClick() {
  auto d = deckRechts();
  qdl::decks::TimeClick(d);
}
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
void TFormQuandrel::SBtPlusSpeedLinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::BendDown(d, +100);
}
void TFormQuandrel::SBtPlusSpeedLinksMouseUp(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::BendUp(d);
}
void TFormQuandrel::SBtMinusSpeedLinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::BendDown(d, -100);
}
void TFormQuandrel::SBtMinusSpeedLinksMouseUp(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::BendUp(d);
}
void TFormQuandrel::SBtPlusSpeedRechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::BendDown(d, +100);
}
void TFormQuandrel::SBtPlusSpeedRechtsMouseUp(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::BendUp(d);
}
void TFormQuandrel::SBtMinusSpeedRechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::BendDown(d, -100);
}
void TFormQuandrel::SBtMinusSpeedRechtsMouseUp(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::BendUp(d);
}
void TFormQuandrel::SpeedZero_LinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::SpeedZero(d);
}
void TFormQuandrel::Speedzero_RechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::SpeedZero(d);
}

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
  // The crossfader has no volume of its own: it moves the deck volume bars,
  // whose change handlers set the decks' volumes.
  const int previous = std::exchange(faderPosition_, sbFader->value());
  qdl::decks::CrossfaderChange(previous, faderPosition_, SBVolume_Links, SBVolume_Rechts);
}

void TFormQuandrel::FaderLinksMouseDown(Qt::MouseButton) { sbFader->setValue(sbFader->minimum()); }
void TFormQuandrel::FaderRechtsMouseDown(Qt::MouseButton) { sbFader->setValue(sbFader->maximum()); }
// With the right mouse button the jump lasts only while the button is held.
void TFormQuandrel::FaderLinksMouseUp(Qt::MouseButton button) {
  if (button == Qt::RightButton) sbFader->setValue(0);
}
void TFormQuandrel::FaderRechtsMouseUp(Qt::MouseButton button) {
  if (button == Qt::RightButton) sbFader->setValue(0);
}
void TFormQuandrel::sbCrossZeroClick() { sbFader->setValue(0); }

void TFormQuandrel::SBHeadCueLinksMouseDown(Qt::MouseButton) {
  auto d = deckLinks();
  qdl::decks::HeadCueMouseDown(d, shared());
}
void TFormQuandrel::SBHeadCueRechtsMouseDown(Qt::MouseButton) {
  auto d = deckRechts();
  qdl::decks::HeadCueMouseDown(d, shared());
}
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
