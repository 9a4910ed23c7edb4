// The deck model, its panels and the table of named actions, end to end on
// the virtual cards: every action the README lists is there with its kind
// and range, an action does what the mouse does, states are sent back as
// the decks change, and refusals are told without a box.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <vector>

#include "control/Actions.h"
#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "decks/DeckPanel.h"
#include "lang/Sprache.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::control::ActionKind;
using qdl::control::ActionResult;
using qdl::decks::DeckState;
using qdl::test::Console;
using qdl::test::fixture;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz

TEST(DeckActions, EveryActionIsThereWithItsKindAndRange) {
  Console c;
  const qdl::control::Actions& a = *c.f->actions;
  struct Row {
    QString name;
    ActionKind kind;
    int minimum, maximum;
  };
  std::vector<Row> rows;
  for (const char* side : {"links.", "rechts."}) {
    const QString s = QLatin1String(side);
    rows.push_back({s + "load", ActionKind::Press, 0, 0});
    rows.push_back({s + "cue", ActionKind::Press, 0, 0});
    rows.push_back({s + "play", ActionKind::Press, 0, 0});
    rows.push_back({s + "seek", ActionKind::Value, 0, 0});
    rows.push_back({s + "time", ActionKind::Press, 0, 0});
    rows.push_back({s + "pitch", ActionKind::Value, -200, 200});
    rows.push_back({s + "pitch.up", ActionKind::PressRelease, 0, 0});
    rows.push_back({s + "pitch.down", ActionKind::PressRelease, 0, 0});
    rows.push_back({s + "pitch.zero", ActionKind::Press, 0, 0});
    rows.push_back({s + "sync", ActionKind::Press, 0, 0});
    rows.push_back({s + "pitch.step.up", ActionKind::Press, 0, 0});
    rows.push_back({s + "pitch.step.down", ActionKind::Press, 0, 0});
    rows.push_back({s + "volume", ActionKind::Value, 0, 3000});
    rows.push_back({s + "volume.up", ActionKind::Press, 0, 0});
    rows.push_back({s + "volume.down", ActionKind::Press, 0, 0});
    rows.push_back({s + "headcue", ActionKind::Press, 0, 0});
    rows.push_back({s + "keylock", ActionKind::Press, 0, 0});
  }
  rows.push_back({"mixer.crossfader", ActionKind::Value, -3000, 3000});
  rows.push_back({"mixer.crossfader.links", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.crossfader.rechts", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.crossfader.links.hold", ActionKind::PressRelease, 0, 0});
  rows.push_back({"mixer.crossfader.rechts.hold", ActionKind::PressRelease, 0, 0});
  rows.push_back({"mixer.crossfader.zero", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.crossfader.step.links", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.crossfader.step.rechts", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.headvolume", ActionKind::Value, 0, 3000});
  rows.push_back({"mixer.headvolume.up", ActionKind::Press, 0, 0});
  rows.push_back({"mixer.headvolume.down", ActionKind::Press, 0, 0});
  rows.push_back({"autocue.toggle", ActionKind::Press, 0, 0});
  rows.push_back({"autoplay.toggle", ActionKind::Press, 0, 0});
  rows.push_back({"autogain.toggle", ActionKind::Press, 0, 0});
  rows.push_back({"autoplay.beat.toggle", ActionKind::Press, 0, 0});
  rows.push_back({"playlist.start", ActionKind::Press, 0, 0});
  rows.push_back({"record.toggle", ActionKind::Press, 0, 0});
  rows.push_back({"search.focus", ActionKind::Press, 0, 0});
  EXPECT_EQ(a.list().size(), qsizetype(rows.size()));
  for (const Row& r : rows) {
    const auto info = a.info(r.name);
    ASSERT_TRUE(info.has_value()) << r.name.toStdString();
    EXPECT_EQ(info->kind, r.kind) << r.name.toStdString();
    EXPECT_EQ(info->minimum, r.minimum) << r.name.toStdString();
    EXPECT_EQ(info->maximum, r.maximum) << r.name.toStdString();
    EXPECT_FALSE(info->what.isEmpty()) << r.name.toStdString();
  }
}

TEST(DeckActions, TheTransportByNameIsTheTransportOfTheButtonsAndLightsThem) {
  for (bool left : {true, false}) {
    Console c;
    TFormQuandrel& f = *c.f;
    qdl::control::Actions& a = *f.actions;
    const QString side = left ? "links." : "rechts.";
    qdl::decks::Deck& deck = left ? *f.DeckLinks : *f.DeckRechts;
    qdl::ui::StatusBar* status = left ? f.StatusBar_Links : f.StatusBar_Rechts;
    qdl::ui::ClickPanel* cue = left ? f.Cue_Links : f.Cue_Rechts;
    qdl::ui::ClickPanel* play = left ? f.Play_Links : f.Play_Rechts;
    qdl::ui::ScrollBar* seek = left ? f.sBarSeekLinks : f.sBarSeekRechts;
    QSignalSpy sent(&a, &qdl::control::Actions::stateChanged);
    auto lastSent = [&](const QString& name) {
      for (int i = sent.count() - 1; i >= 0; --i)
        if (sent[i][0].toString() == name) return sent[i][1].toInt();
      return -1;
    };

    // Without a song the transport is ignored, as the buttons ignore it.
    for (const char* name : {"cue", "play", "time", "pitch.zero", "headcue"})
      EXPECT_EQ(a.press(side + name).status, ActionResult::Ignored) << name;
    EXPECT_EQ(a.setValue(side + "seek", 0).status, ActionResult::Ignored);
    EXPECT_EQ(deck.state(), DeckState::Empty);

    c.addSong(fixture(kTen), "Artist", "Song", 250);
    EXPECT_EQ(a.press(side + "load").status, ActionResult::Done);
    EXPECT_EQ(deck.state(), DeckState::Loaded);
    EXPECT_EQ(status->panelText(0), "loaded");
    EXPECT_EQ(status->panelText(1), "Artist - Song");
    EXPECT_EQ(deck.length(), 1000);
    EXPECT_EQ(seek->maximum(), 1000);
    EXPECT_EQ(lastSent(side + "cue"), 1);
    EXPECT_TRUE(cue->isFramed());

    struct Step {
      const char* action;
      DeckState state;
      const char* word;
    };
    const std::vector<Step> steps = {{"cue", DeckState::Cued, "cued"},
                                     {"play", DeckState::Playing, "playing"},
                                     {"play", DeckState::Paused, "paused"},
                                     {"play", DeckState::Playing, "playing"},
                                     {"cue", DeckState::Cued, "cued"}};
    for (const Step& s : steps) {
      EXPECT_EQ(a.press(side + s.action).status, ActionResult::Done) << s.action;
      c.run(100);
      EXPECT_EQ(deck.state(), s.state) << s.word;
      EXPECT_EQ(status->panelText(0), s.word);
      EXPECT_EQ(cue->isFramed(), qdl::decks::cueLit(s.state)) << s.word;
      EXPECT_EQ(play->isFramed(), qdl::decks::playLit(s.state)) << s.word;
      EXPECT_EQ(a.state(side + "cue"), int(qdl::decks::cueLit(s.state))) << s.word;
      // Never sent means never changed from unlit.
      const int playSent = lastSent(side + "play");
      EXPECT_EQ(playSent == -1 ? 0 : playSent, int(qdl::decks::playLit(s.state))) << s.word;
    }
    EXPECT_EQ(deck.position(), 250);  // back at the cue point

    // A seek by name is the seek preview; cue then stores the cue point.
    EXPECT_EQ(a.setValue(side + "seek", 1001).status, ActionResult::Refused);
    EXPECT_EQ(a.setValue(side + "seek", 600).status, ActionResult::Done);
    EXPECT_EQ(deck.state(), DeckState::Seeking);
    EXPECT_EQ(seek->value(), 600);
    EXPECT_EQ(lastSent(side + "seek"), 600);
    EXPECT_EQ(a.press(side + "cue").status, ActionResult::Done);
    EXPECT_EQ(deck.state(), DeckState::Cued);
    EXPECT_EQ(c.songs->asInteger("StartZeit"), 600);
    EXPECT_EQ(deck.cuePoint(), 600);

    // The time mode and the headphone cue send their states back.
    a.press(side + "time");
    EXPECT_EQ(lastSent(side + "time"), 0);
    EXPECT_TRUE((left ? f.LabelZeitLinks : f.LabelZeitRechts)->text().startsWith('-'));
    EXPECT_TRUE(c.dialogs.boxes.empty());
    EXPECT_TRUE(c.dialogs.errors.isEmpty());
  }
}

TEST(DeckActions, ValuesByNameMoveTheControlsAndTheSound) {
  Console c(1);  // with a headphone card
  TFormQuandrel& f = *c.f;
  qdl::control::Actions& a = *f.actions;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();

  EXPECT_EQ(a.setValue("links.pitch", 25).status, ActionResult::Done);
  EXPECT_EQ(f.SBarPitchLinks->value(), 25);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 25 * 44);
  EXPECT_EQ(a.setValue("links.pitch", 201).status, ActionResult::Refused);
  EXPECT_EQ(f.SBarPitchLinks->value(), 25);
  a.press("links.pitch.up");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 125 * 44);
  a.release("links.pitch.up");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 25 * 44);
  a.press("links.pitch.zero");
  EXPECT_EQ(f.SBarPitchLinks->value(), 0);

  EXPECT_EQ(a.setValue("rechts.volume", 500).status, ActionResult::Done);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 500);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), -500);
  EXPECT_EQ(a.setValue("rechts.volume", 3000).status, ActionResult::Done);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), -10000);
  a.setValue("rechts.volume", 0);

  // The crossfader by name moves the bars as the crossfader does.
  EXPECT_EQ(a.setValue("mixer.crossfader", 3000).status, ActionResult::Done);
  EXPECT_EQ(f.sbFader->value(), 3000);
  EXPECT_EQ(f.SBVolume_Links->value(), 3000);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -10000);
  a.press("mixer.crossfader.links.hold");
  EXPECT_EQ(f.sbFader->value(), -3000);
  EXPECT_EQ(f.SBVolume_Links->value(), 0);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 3000);
  a.release("mixer.crossfader.links.hold");
  EXPECT_EQ(f.sbFader->value(), 0);
  a.press("mixer.crossfader.rechts");
  a.release("mixer.crossfader.rechts");
  EXPECT_EQ(f.sbFader->value(), 3000);
  a.press("mixer.crossfader.zero");
  EXPECT_EQ(f.sbFader->value(), 0);
  EXPECT_EQ(f.SBVolume_Links->value(), 0);

  // Headphones: the cue button's LED and the headphone volume.
  EXPECT_EQ(a.press("links.headcue").status, ActionResult::Done);
  EXPECT_EQ(f.HeadCueLinks, 1);
  EXPECT_EQ(f.SBHeadCueLinks->glyph(), "LED_ON");
  EXPECT_EQ(a.state("links.headcue"), 1);
  EXPECT_EQ(a.setValue("mixer.headvolume", 700).status, ActionResult::Done);
  EXPECT_EQ(f.SBVolume_Head->value(), 700);
  EXPECT_EQ(f.PlayerLinks->HeadBuffer->volume(), -700);

  // The switches: by name or by their boxes, the state follows.
  QSignalSpy sent(f.actions, &qdl::control::Actions::stateChanged);
  a.press("autocue.toggle");
  EXPECT_TRUE(f.cbAutoCue->isChecked());
  EXPECT_TRUE(f.mixer->autoCue());
  f.cbAutoPlay->setChecked(true);
  EXPECT_TRUE(f.TimerAutoPlay->isActive());
  EXPECT_EQ(a.state("autoplay.toggle"), 1);
  a.press("autoplay.toggle");
  EXPECT_FALSE(f.cbAutoPlay->isChecked());
  EXPECT_FALSE(f.TimerAutoPlay->isActive());
  ASSERT_EQ(sent.count(), 3);
  EXPECT_EQ(sent[0][0].toString(), "autocue.toggle");
  EXPECT_EQ(sent[2][1].toInt(), 0);
}

// Each step moves its bar by one step and the sound with it; a step past
// the bar's end is ignored and leaves the bar there.
TEST(DeckActions, StepsMoveTheirBarsByOneStepAndStopAtTheEnds) {
  Console c(1);
  TFormQuandrel& f = *c.f;
  qdl::control::Actions& a = *f.actions;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  struct Row {
    const char* action;
    qdl::ui::ScrollBar* bar;
    int from, to;
  };
  const Row rows[] = {
      {"links.pitch.step.up", f.SBarPitchLinks, 0, 1},
      {"links.pitch.step.down", f.SBarPitchLinks, 0, -1},
      {"rechts.pitch.step.up", f.SBarPitchRechts, 199, 200},
      {"rechts.pitch.step.up", f.SBarPitchRechts, 200, 200},
      {"rechts.pitch.step.down", f.SBarPitchRechts, -200, -200},
      {"links.volume.up", f.SBVolume_Links, 500, 400},
      {"links.volume.up", f.SBVolume_Links, 50, 0},
      {"links.volume.up", f.SBVolume_Links, 0, 0},
      {"rechts.volume.down", f.SBVolume_Rechts, 2950, 3000},
      {"rechts.volume.down", f.SBVolume_Rechts, 3000, 3000},
      {"mixer.crossfader.step.links", f.sbFader, 0, -100},
      {"mixer.crossfader.step.rechts", f.sbFader, 2950, 3000},
      {"mixer.crossfader.step.links", f.sbFader, -3000, -3000},
      {"mixer.headvolume.up", f.SBVolume_Head, 700, 600},
      {"mixer.headvolume.down", f.SBVolume_Head, 3000, 3000},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.action);
    r.bar->setValue(r.from);
    const ActionResult result = a.press(r.action);
    EXPECT_EQ(r.bar->value(), r.to);
    EXPECT_EQ(result.status, r.to == r.from ? ActionResult::Ignored : ActionResult::Done);
  }
  // The sound follows the bars.
  f.SBarPitchLinks->setValue(24);
  a.press("links.pitch.step.up");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 25 * 44);
  f.sbFader->setValue(0);
  f.SBVolume_Links->setValue(300);
  a.press("links.volume.down");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -400);
  // The crossfader's step moves the volume bars as the crossfader does.
  f.sbFader->setValue(2900);
  a.press("mixer.crossfader.step.rechts");
  EXPECT_EQ(f.SBVolume_Links->value(), 3000);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -10000);
}

// "Start" of the playlist window by name: autoplay on, never off.
TEST(DeckActions, PlaylistStartSwitchesAutoplayOnAndLeavesItOn) {
  Console c;
  TFormQuandrel& f = *c.f;
  qdl::control::Actions& a = *f.actions;
  EXPECT_EQ(a.press("playlist.start").status, ActionResult::Done);
  EXPECT_TRUE(f.cbAutoPlay->isChecked());
  EXPECT_TRUE(f.TimerAutoPlay->isActive());
  EXPECT_EQ(a.press("playlist.start").status, ActionResult::Ignored);
  EXPECT_TRUE(f.cbAutoPlay->isChecked());
}

TEST(DeckActions, ARefusedLoadIsToldWithoutABoxByNameAndInABoxFromTheButton) {
  Console c;
  TFormQuandrel& f = *c.f;
  qdl::control::Actions& a = *f.actions;
  QSignalSpy refused(&a, &qdl::control::Actions::refused);
  c.addSong(fixture(kTen) + ".gone", "A", "Missing");
  const ActionResult r = a.press("links.load");
  EXPECT_EQ(r.status, ActionResult::Refused);
  EXPECT_EQ(r.why, FormSprache->Meldung.sDateiFehlt);
  ASSERT_EQ(refused.count(), 1);
  EXPECT_EQ(refused[0][0].toString(), "links.load");
  EXPECT_TRUE(c.dialogs.boxes.empty());
  EXPECT_EQ(f.PlayerLinks, nullptr);
  // The button tells it as it always did.
  f.LoadDB_LinksClick();
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text, FormSprache->Meldung.sDateiFehlt);
  EXPECT_EQ(c.dialogs.boxes[0].caption, FormSprache->Meldung.sAchtung);
  // A load while playing is ignored, by name as from the button.
  c.addSong(fixture(kTen), "A", "Here");
  a.press("links.load");
  a.press("links.play");
  EXPECT_EQ(a.press("links.load").status, ActionResult::Ignored);
  EXPECT_EQ(c.dialogs.boxes.size(), 1u);
}

TEST(DeckActions, TheModelSignalsTheNearEndAndTheCuePoint) {
  Console c;
  TFormQuandrel& f = *c.f;
  qdl::decks::Deck& deck = *f.DeckRechts;
  QSignalSpy nearEnd(&deck, &qdl::decks::Deck::nearEndChanged);
  QSignalSpy cuePoint(&deck, &qdl::decks::Deck::cuePointChanged);
  c.addSong(fixture(kTen), "A", "T", 120);
  f.LoadDB_RechtsClick();
  EXPECT_EQ(deck.cuePoint(), 120);
  ASSERT_EQ(cuePoint.count(), 1);
  EXPECT_EQ(nearEnd.count(), 0);
  // Less than seven seconds left of a ten-second song.
  f.actions->setValue("rechts.seek", 301);
  ASSERT_EQ(nearEnd.count(), 1);
  EXPECT_TRUE(nearEnd[0][0].toBool());
  EXPECT_TRUE(deck.nearEnd());
  f.sBarSeekRechts->setValue(200);  // the bar is a view: the model follows
  EXPECT_EQ(deck.position(), 200);
  ASSERT_EQ(nearEnd.count(), 2);
  EXPECT_FALSE(deck.nearEnd());
  f.Cue_RechtsMouseDown();  // stores 200
  EXPECT_EQ(deck.cuePoint(), 200);
  EXPECT_EQ(cuePoint.count(), 2);
}

TEST(DeckActions, BothPanelsAreMirrorImagesWithTheirSidesNames) {
  Console c;
  TFormQuandrel& f = *c.f;
  EXPECT_EQ(f.Panel1->geometry(), QRect(0, 0, 318, 201));
  EXPECT_EQ(f.Panel3->geometry(), QRect(792 - 318, 0, 318, 201));
  // Where each control of the left deck stands; the right deck's stand
  // mirrored, its pitch column on the outer side.
  struct Row {
    const char* base;  // name without the side
    QRect left;
    QRect right;
  };
  const std::vector<Row> rows = {
      {"LoadDB_", {52, 4, 80, 24}, {4, 4, 80, 24}},
      {"PanelInfo_", {52, 32, 262, 86}, {4, 32, 262, 86}},
      {"btTime_", {4, 4, 44, 20}, {4, 4, 44, 20}},
      {"lbPitch_", {150, 4, 108, 20}, {150, 4, 108, 20}},
      {"lbTempo_", {52, 4, 96, 20}, {52, 4, 96, 20}},
      {"LabelZeit", {4, 26, 254, 34}, {4, 26, 254, 34}},
      {"sBarSeek", {4, 64, 254, 18}, {4, 64, 254, 18}},
      {"SBarPitch", {4, 4, 18, 150}, {270, 4, 18, 150}},
      {"SBtPlusSpeed", {26, 4, 22, 22}, {292, 4, 22, 22}},
      {"SBtMinusSpeed", {26, 30, 22, 22}, {292, 30, 22, 22}},
      {"SpeedZero_", {4, 158, 44, 20}, {270, 158, 44, 20}},
      {"Cue_", {52, 124, 72, 52}, {4, 124, 72, 52}},
      {"Play_", {132, 124, 72, 52}, {84, 124, 72, 52}},
      {"StatusBar_", {2, 179, 314, 20}, {2, 179, 314, 20}},
  };
  for (const Row& r : rows) {
    for (bool left : {true, false}) {
      const QString name = QLatin1String(r.base) + (left ? "Links" : "Rechts");
      auto* w = (left ? f.Panel1 : f.Panel3)->findChild<QWidget*>(name);
      ASSERT_NE(w, nullptr) << name.toStdString();
      EXPECT_EQ(w->geometry(), left ? r.left : r.right) << name.toStdString();
    }
  }
  EXPECT_EQ(f.Image1->parent(), f.Play_Links);
  EXPECT_EQ(f.Image2->parent(), f.Play_Rechts);
  EXPECT_EQ(f.Panel1->findChildren<QWidget*>().size(), f.Panel3->findChildren<QWidget*>().size());
}

}  // namespace
