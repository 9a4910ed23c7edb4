// The decks end to end on the virtual cards' manual clock: transport state
// table, the end of a song, cue points, seeking, pitch, mixer and headphones.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include "decks/Deck.h"
#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;
using qdl::test::peak;
using qdl::ui::ScrollCode;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz

TEST(Decks, StateTableRowByRow) {
  Console c;
  TFormQuandrel& f = *c.f;
  // No player: cue, play, seek and time do nothing.
  f.Cue_LinksMouseDown();
  f.Play_LinksMouseDown();
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.btTime_LinksClick();
  EXPECT_EQ(c.leftState(), "");
  EXPECT_EQ(f.PlayerLinks, nullptr);

  c.addSong(fixture(kTen), "Artist", "Song", 250);
  f.LoadDB_LinksClick();
  ASSERT_NE(f.PlayerLinks, nullptr);
  EXPECT_EQ(c.leftState(), "loaded");
  EXPECT_EQ(f.StatusBar_Links->panelText(1), "Artist - Song");
  EXPECT_EQ(f.sBarSeekLinks->maximum(), 1000);
  EXPECT_EQ(f.sBarSeekLinks->value(), 0);
  EXPECT_TRUE(f.Cue_Links->isFramed());
  EXPECT_FALSE(f.Play_Links->isFramed());
  EXPECT_EQ(f.LabelZeitLinks->text(), "00:00:00:00");

  // loaded -> cue -> cued at StartZeit; a second cue changes nothing.
  f.Cue_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "cued");
  EXPECT_EQ(f.sBarSeekLinks->value(), 250);
  f.Cue_LinksMouseDown(Qt::RightButton);
  EXPECT_EQ(c.leftState(), "cued");

  // cued -> play -> playing (timer running, play framed).
  f.Play_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_TRUE(f.TimerLinks->isActive());
  EXPECT_TRUE(f.Play_Links->isFramed());
  EXPECT_FALSE(f.Cue_Links->isFramed());
  c.run(500);
  EXPECT_GT(f.sBarSeekLinks->value(), 250 + 40);

  // playing refuses a load; play -> paused keeps the timer running.
  TStreamPlayer* before = f.PlayerLinks;
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerLinks, before);
  f.Play_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "paused");
  EXPECT_TRUE(f.TimerLinks->isActive());
  EXPECT_FALSE(f.Play_Links->isFramed());

  // paused -> seek -> seeking (timer stopped); seeking refuses a load.
  f.sBarSeekLinks->setValue(600);
  f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
  EXPECT_EQ(c.leftState(), "seeking");
  EXPECT_FALSE(f.TimerLinks->isActive());
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerLinks, before);

  // seeking -> play -> playing; playing -> cue -> cued at StartZeit.
  f.Play_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "playing");
  f.Cue_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "cued");
  EXPECT_FALSE(f.TimerLinks->isActive());
  EXPECT_EQ(f.sBarSeekLinks->value(), 250);

  // cued -> load -> loaded with a new player.
  f.LoadDB_LinksClick();
  EXPECT_EQ(c.leftState(), "loaded");
  EXPECT_NE(f.PlayerLinks, nullptr);
}

TEST(Decks, SongPlaysToTheEndAndStandsAtZeroOrAtTheCuePoint) {
  for (bool autoCue : {false, true}) {
    Console c;
    TFormQuandrel& f = *c.f;
    c.addSong(fixture(kTen), "A", "T", 321);
    f.cbAutoCue->setChecked(autoCue);
    f.LoadDB_LinksClick();
    EXPECT_EQ(f.sBarSeekLinks->value(), autoCue ? 321 : 0);
    f.sBarSeekLinks->setValue(900);
    f.sBarSeekLinksScroll(ScrollCode::EndScroll);
    f.Play_LinksMouseDown();
    int ticks = 0;
    while (c.leftState() == "playing" && ticks < 300) {
      c.run(10);
      ++ticks;
    }
    EXPECT_EQ(c.leftState(), "ended") << "autocue " << autoCue;
    // The end is noticed once the last sound has left the ring: within about
    // a second of the song's end.
    EXPECT_GT(ticks, 80);
    EXPECT_LT(ticks, 200);
    EXPECT_FALSE(f.TimerLinks->isActive());
    EXPECT_EQ(f.sBarSeekLinks->value(), autoCue ? 321 : 0);
    EXPECT_EQ(f.PlayerLinks->EndCount, 0);
    EXPECT_TRUE(f.Cue_Links->isFramed());
    // Play in "ended" starts again from there.
    f.Play_LinksMouseDown();
    c.run(100);
    EXPECT_EQ(c.leftState(), "playing");
    EXPECT_LT(f.sBarSeekLinks->value(), (autoCue ? 321 : 0) + 30);
  }
}

TEST(Decks, CuePointsBelongToTheLoadedSongWhereverTheGridHasMoved) {
  Console c;
  TFormQuandrel& f = *c.f;
  const QString first = fixture(kTen), second = fixture("sine5k_44k_stereo_cbr192.mp3");
  c.addSong(first, "A", "First", 250);
  c.addSong(second, "B", "Second", 77);
  c.select(first);
  f.cbAutoCue->setChecked(true);
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.sBarSeekLinks->value(), 250) << "autocue at load: the loaded record";
  c.select(second);  // the grid moves on, as autoplay's next song or the user does

  // Cue press: the loaded song's cue point, not the selected one's.
  f.Play_LinksMouseDown();
  c.run(300);
  f.Cue_LinksMouseDown();
  EXPECT_EQ(f.sBarSeekLinks->value(), 250);
  // Storing after seeking writes the loaded song's record only.
  f.sBarSeekLinks->setValue(432);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.Cue_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "cued");
  EXPECT_EQ(f.sBarSeekLinks->value(), 432);
  EXPECT_EQ(c.songs->asInteger("StartZeit"), 77) << "the selected song keeps its own";
  c.select(first);
  EXPECT_EQ(c.songs->asInteger("StartZeit"), 432);
  c.select(second);

  // The end of the song with autocue, and play from "ended", use it too.
  f.sBarSeekLinks->setValue(950);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.Play_LinksMouseDown();
  for (int i = 0; i < 300 && c.leftState() == "playing"; ++i) c.run(10);
  ASSERT_EQ(c.leftState(), "ended");
  EXPECT_EQ(f.sBarSeekLinks->value(), 432);
  f.Play_LinksMouseDown();
  c.run(50);
  EXPECT_LT(std::abs(f.sBarSeekLinks->value() - 437), 10);

  // Once its record is deleted the cue point reads as 0 and storing does
  // nothing, without a message.
  c.select(first);
  c.songs->deleteRecord();
  c.select(second);
  f.Cue_LinksMouseDown();
  EXPECT_EQ(f.sBarSeekLinks->value(), 0);
  f.sBarSeekLinks->setValue(300);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.Cue_LinksMouseDown();
  EXPECT_EQ(c.leftState(), "cued");
  EXPECT_EQ(c.songs->asInteger("StartZeit"), 77);
  EXPECT_EQ(c.songs->recordCount(), 1);
  EXPECT_TRUE(c.dialogs.boxes.empty());
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
}

TEST(Decks, SeekingFromPausedIsSilentAndFromCuedLoopsHalfASecond) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  c.run(300);
  f.Play_LinksMouseDown();  // paused
  c.run(100);
  Console::played(0);
  f.sBarSeekLinks->setValue(500);
  f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  c.run(1000);
  EXPECT_EQ(c.leftState(), "seeking");
  EXPECT_EQ(peak(Console::played(0)), 0);

  f.Cue_LinksMouseDown();  // stores 500 as the cue point, cued there
  ASSERT_EQ(c.leftState(), "cued");
  c.run(100);
  Console::played(0);
  f.sBarSeekLinks->setValue(200);
  f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  c.run(2000);
  const std::vector<std::int16_t> out = Console::played(0);
  // Two seconds of a looping half second of the tone: it sounds all along.
  ASSERT_GE(out.size(), 2u * 44100u * 2u - 4000u);
  EXPECT_GT(peak(out), 8000);
  const std::vector<std::int16_t> lastSecond(out.end() - 44100 * 2, out.end());
  EXPECT_GT(peak(lastSecond), 8000);
  EXPECT_EQ(f.sBarSeekLinks->value(), 200);
}

// Play pressed as the seek preview's loop comes round: the deck plays on
// from the seek bar's position with its ring refilled, never through sound
// the preview has already played.
TEST(Decks, PlayAtTheTurnOfTheSeekPreviewLoopPlaysOnFromTheSeekPosition) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  c.run(300);
  f.sBarSeekLinks->setValue(500);
  f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  TStreamPlayer& p = *f.PlayerLinks;
  qdl::sound::SoundBuffer& ring = *p.MainBuffer;
  const int step = p.Source->BytesPerSecond / 100;
  for (int guard = 0; ring.currentPosition() + step < p.Source->BufferBytes && guard < 500; ++guard)
    c.run(10);
  ASSERT_EQ(c.leftState(), "seeking");
  const int misses = ring.refillMisses();
  f.Play_LinksMouseDown();
  c.run(2000);
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_EQ(ring.refillMisses(), misses) << "the deck played sound the preview had played";
  EXPECT_NEAR(f.sBarSeekLinks->value(), 700, 10);
}

TEST(Decks, WheelOnTheSeekBarMovesThePlayer) {
  // Each wheel step is a whole scroll action: the deck seeks to where the
  // bar stands, and playing goes on from there.
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  for (int i = 0; i < 10; ++i) {
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.sBarSeekLinks, &wheel);
  }
  const int wheeled = f.sBarSeekLinks->value();
  ASSERT_GE(wheeled, 10);
  EXPECT_EQ(c.leftState(), "seeking");
  f.Play_LinksMouseDown();
  c.run(200);
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_GE(f.sBarSeekLinks->value(), wheeled + 10);
}

TEST(Decks, PitchTextIsThePlainDecimalAtEveryBarPosition) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  QLocale::setDefault(QLocale::c());
  for (int p = -200; p <= 200; ++p) {
    f.SBarPitchLinks->setValue(p);
    const QString whole = QString::number(std::abs(p) / 10);
    const QString tenth = QString::number(std::abs(p) % 10);
    const QString want = (p < 0 ? QStringLiteral("-") : QString()) + whole +
                         (p % 10 ? QStringLiteral(".") + tenth : QString()) + QStringLiteral("%");
    ASSERT_EQ(f.lbPitch_Links->text(), want) << "bar at " << p;
  }
}

TEST(Decks, PitchDisplayBendAndZero) {
  Console c;
  TFormQuandrel& f = *c.f;
  EXPECT_EQ(f.lbPitch_Links->text(), "0 %");
  // Without a player the bar moves alone.
  f.SBarPitchLinks->setValue(25);
  EXPECT_EQ(f.lbPitch_Links->text(), "0 %");
  f.SpeedZero_LinksMouseDown();
  EXPECT_EQ(f.SBarPitchLinks->value(), 25);

  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  QLocale::setDefault(QLocale(QLocale::English));
  f.SBarPitchLinksChange();
  EXPECT_EQ(f.lbPitch_Links->text(), "2.5%");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 25 * 44);
  QLocale::setDefault(QLocale(QLocale::German));
  f.SBarPitchLinksChange();
  EXPECT_EQ(f.lbPitch_Links->text(), "2,5%");
  QLocale::setDefault(QLocale::c());
  f.SBarPitchLinks->setValue(-200);
  EXPECT_EQ(f.lbPitch_Links->text(), "-20%");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 - 200 * 44);

  // A bend lasts from press to release, whatever the bar does meanwhile.
  f.SBarPitchLinks->setValue(200);
  f.SBtPlusSpeedLinksMouseDown(Qt::RightButton);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 300 * 44);
  EXPECT_EQ(f.lbPitch_Links->text(), "20%");
  f.SBtPlusSpeedLinksMouseUp(Qt::RightButton);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 200 * 44);
  f.SBtMinusSpeedLinksMouseDown();
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 100 * 44);
  f.SBarPitchLinks->setValue(-50);
  f.SBtMinusSpeedLinksMouseUp();
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 - 50 * 44);

  f.SpeedZero_LinksMouseDown();
  EXPECT_EQ(f.SBarPitchLinks->value(), 0);
  EXPECT_EQ(f.lbPitch_Links->text(), "0%");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100);

  // Pitch survives a load.
  f.SBarPitchLinks->setValue(80);
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerLinks->MainBuffer->frequency(), 44100 + 80 * 44);
  EXPECT_EQ(f.lbPitch_Links->text(), "8%");
}

TEST(Decks, CrossfaderMovesTheVolumeBars) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  f.SBVolume_Rechts->setValue(500);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), -500);
  f.sbFader->setValue(3000);
  EXPECT_EQ(f.SBVolume_Links->value(), 3000);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -10000);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), -500);
  f.sbFader->setValue(0);
  EXPECT_EQ(f.SBVolume_Links->value(), 0);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 0);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), 0);

  // Jump right with the left button from -1000: left bar silent, and the
  // jump across the centre brought the right deck back to its own level.
  f.sbFader->setValue(-1000);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 1000);
  f.FaderRechtsMouseDown(Qt::LeftButton);
  f.FaderRechtsMouseUp(Qt::LeftButton);
  EXPECT_EQ(f.sbFader->value(), 3000);
  EXPECT_EQ(f.SBVolume_Links->value(), 3000);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 0);
  // Jump left with the right button lasts only while it is held.
  f.FaderLinksMouseDown(Qt::RightButton);
  EXPECT_EQ(f.sbFader->value(), -3000);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), -10000);
  f.FaderLinksMouseUp(Qt::RightButton);
  EXPECT_EQ(f.sbFader->value(), 0);
  EXPECT_EQ(f.SBVolume_Rechts->value(), 0);
  f.sbFader->setValue(700);
  f.sbCrossZeroClick();
  EXPECT_EQ(f.sbFader->value(), 0);

  // One small step above the bottom is quiet but audible.
  f.SBVolume_Links->setValue(2990);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -2990);
}

TEST(Decks, HeadphoneCueOnlyForCuedDecksInTheHeadphoneMode) {
  Console c(1);
  TFormQuandrel& f = *c.f;
  ASSERT_TRUE(f.SBVolume_Head->isEnabled());
  ASSERT_EQ(f.LeftMain, f.RightMain);
  ASSERT_NE(f.LeftHead, nullptr);
  // No player: the LED does not change.
  f.SBHeadCueLinksMouseDown();
  EXPECT_EQ(f.HeadCueLinks, 0);
  EXPECT_EQ(f.SBHeadCueLinks->glyph(), "LED_OFF");

  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  ASSERT_NE(f.PlayerLinks->HeadBuffer, nullptr);
  EXPECT_EQ(f.PlayerLinks->HeadBuffer->volume(), -10000);
  f.SBVolume_Head->setValue(3000);
  f.SBHeadCueRechtsMouseDown();
  EXPECT_EQ(f.HeadCueRechts, 1);
  EXPECT_EQ(f.SBHeadCueRechts->glyph(), "LED_ON");
  EXPECT_EQ(f.PlayerRechts->HeadBuffer->volume(), -10000) << "a bar at its bottom is silent";
  f.SBVolume_Head->setValue(400);
  EXPECT_EQ(f.PlayerRechts->HeadBuffer->volume(), -400);
  EXPECT_EQ(f.PlayerLinks->HeadBuffer->volume(), -10000);
  f.SBHeadCueRechtsMouseDown();
  EXPECT_EQ(f.HeadCueRechts, 0);
  EXPECT_EQ(f.SBHeadCueRechts->glyph(), "LED_OFF");
  EXPECT_EQ(f.PlayerRechts->HeadBuffer->volume(), -10000);
  // The headphone bar never touches the main output.
  EXPECT_EQ(f.PlayerRechts->MainBuffer->volume(), 0);
}

TEST(Decks, ModesWithoutHeadphonesDisableItsControls) {
  for (int mode : {0, 2}) {
    Console c(mode);
    EXPECT_FALSE(c.f->SBVolume_Head->isEnabled());
    EXPECT_FALSE(c.f->SBHeadCueLinks->isEnabled());
    EXPECT_FALSE(c.f->Label6->isEnabled());
    c.addSong(fixture(kTen), "A", "T");
    c.f->LoadDB_RechtsClick();
    ASSERT_NE(c.f->PlayerRechts, nullptr);
    EXPECT_EQ(c.f->PlayerRechts->HeadBuffer, nullptr);
  }
}

TEST(Decks, LoadingOneDeckNeverTouchesTheOther) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_RechtsClick();
  f.Play_RechtsMouseDown();
  c.run(300);
  TStreamPlayer* right = f.PlayerRechts;
  const int position = f.sBarSeekRechts->value();
  c.addSong(fixture("sine5k_44k_stereo_cbr192.mp3"), "B", "Other");
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerRechts, right);
  EXPECT_EQ(c.rightState(), "playing");
  EXPECT_EQ(f.sBarSeekRechts->value(), position);
  EXPECT_EQ(f.StatusBar_Rechts->panelText(1), "A - T");
  c.run(300);
  EXPECT_GT(f.sBarSeekRechts->value(), position + 20);
}

TEST(Decks, LoadRefusalsLeaveTheDeckAsItWas) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  TStreamPlayer* player = f.PlayerLinks;

  c.addSong(c.cwd.file("gone.mp3"), "Gone", "Song");
  f.LoadDB_LinksClick();
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text, "Datei nicht vorhanden. Bitte Datenbank überprüfen!");
  EXPECT_EQ(c.dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(f.PlayerLinks, player);
  EXPECT_EQ(f.StatusBar_Links->panelText(1), "A - T");

  for (const char* bad : {"corrupt_text_named.mp3", "corrupt_empty.mp3", "corrupt_random.mp3"}) {
    c.addSong(fixture(bad), "Bad", bad);
    f.LoadDB_LinksClick();
    EXPECT_TRUE(c.dialogs.boxes.back().text.startsWith(FormSprache->Meldung.sDateiDefekt)) << bad;
    EXPECT_EQ(f.PlayerLinks, player) << bad;
    EXPECT_EQ(c.leftState(), "loaded");
  }
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
}

TEST(Decks, ACardPulledOutMidSetIsReportedOnceAndTheDecksRunOn) {
  Console c(0);  // both decks on card A, a device object each
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  c.run(200);
  EXPECT_TRUE(c.dialogs.boxes.empty());
  qdl::sound::VirtualCards::unplug(0);
  c.run(300);
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text,
            FormSprache->Meldung.sKarteStumm + "\n" + qdl::sound::VirtualCards::description(0));
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_EQ(c.rightState(), "playing");
}

TEST(Decks, DeckWithoutAnOutputDeviceRefusesTheLoad) {
  Console c(7);  // an unknown mode opens nothing
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerLinks, nullptr);
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text, FormSprache->Meldung.sKeinGeraet);
}

TEST(Decks, TimeModeButtonTogglesElapsedAndRemaining) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.btTime_LinksClick();
  EXPECT_EQ(f.TimeModeLinks, 0);
  EXPECT_EQ(f.LabelZeitLinks->text(), "-00:00:10:00");
  f.sBarSeekLinks->setValue(f.sBarSeekLinks->maximum() + 500);  // clamped
  EXPECT_EQ(f.sBarSeekLinks->value(), 1000);
  EXPECT_EQ(f.LabelZeitLinks->text(), "-00:00:00:00");
  f.btTime_LinksClick();
  EXPECT_EQ(f.LabelZeitLinks->text(), "00:00:10:00");
  f.sBarSeekLinks->setValue(0);
  f.sBarSeekLinks->userScroll(ScrollCode::PageDown);
  EXPECT_EQ(f.sBarSeekLinks->value(), 10);
  f.sBarSeekLinks->userScroll(ScrollCode::LineDown);
  EXPECT_EQ(f.sBarSeekLinks->value(), 11);
}

// A playing deck's display costs only what it shows: the seek bar repaints
// when its thumb moves (not at every 10 ms position), the time display at
// most once a frame while its text is current at every tick; and what is on
// the screen is what a fresh paint shows.
TEST(Decks, APlayingDeckRepaintsItsSeekBarWhenTheThumbMovesAndItsTimeOncePerFrame) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  QApplication::processEvents();
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      paints += e->type() == QEvent::Paint ? 1 : 0;
      return false;
    }
  } timePaints;
  f.LabelZeitLinks->installEventFilter(&timePaints);
  const int seekBefore = f.sBarSeekLinks->paints();
  QStringList texts;
  QElapsedTimer took;
  took.start();
  for (int i = 0; i < 300; ++i) {
    c.run(10);
    if (texts.isEmpty() || texts.back() != f.LabelZeitLinks->text())
      texts << f.LabelZeitLinks->text();
    QApplication::processEvents();
  }
  const qint64 frames = took.elapsed() * qdl::ui::RunningLabel::kFramesPerSecond / 1000;
  const int seekPaints = f.sBarSeekLinks->paints() - seekBefore;
  RecordProperty("seek_bar_paints", seekPaints);
  EXPECT_GT(seekPaints, 10) << "the thumb moved over three seconds of a ten-second song";
  EXPECT_LT(seekPaints, 150) << "a repaint for every new position";
  EXPECT_GT(texts.size(), 250) << "the text follows the 10 ms ticks";
  EXPECT_LE(timePaints.paints, frames + 3) << "more paints than frames";
  // Once a frame has passed, the screen shows what a fresh paint shows: the
  // thumb also at a position the bar was not repainted for, and the time
  // text of the last tick.
  QTest::qWait(3 * 1000 / qdl::ui::RunningLabel::kFramesPerSecond);
  const QList<QWidget*> shownWidgets = {f.sBarSeekLinks, f.LabelZeitLinks};
  for (QWidget* w : shownWidgets) {
    const QRect at(w->mapTo(&f, QPoint(0, 0)), w->size());
    const auto onScreen = [&] {
      return f.screen()
          ->grabWindow(f.winId(), at.x(), at.y(), at.width(), at.height())
          .toImage()
          .convertToFormat(QImage::Format_RGB32);
    };
    const QImage shown = onScreen();
    w->parentWidget()->repaint();
    EXPECT_EQ(shown, onScreen()) << w->objectName().toStdString();
  }
}

TEST(Decks, NoRefillMissesInALongSetAndAStalledTimerIsCounted) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture("sine1k_44k_stereo_200_5s.mp3"), "Long", "One");
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  c.addSong(fixture(kTen), "Short", "Two");
  // Ten simulated minutes: the left deck plays the long song, pitch changes
  // and seeks on it; the right deck loads and plays the short one again
  // and again.
  for (int minute = 0; minute < 10; ++minute) {
    for (int step = 0; step < 6; ++step) {
      if (c.rightState() != "playing") {
        f.LoadDB_RechtsClick();
        f.Play_RechtsMouseDown();
      }
      f.SBarPitchLinks->setValue((minute * 6 + step) % 2 ? 60 : -40);
      c.run(10000);
    }
    if (c.leftState() != "playing") {
      f.sBarSeekLinks->setValue(1000);
      f.sBarSeekLinksScroll(ScrollCode::EndScroll);
      f.Play_LinksMouseDown();
    }
  }
  ASSERT_NE(f.PlayerLinks, nullptr);
  ASSERT_NE(f.PlayerRechts, nullptr);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->refillMisses(), 0);

  // A timer that stalls for 300 ms lets the cursor into an old half when
  // the stall begins shortly before the cursor changes halves.
  if (c.leftState() != "playing") f.Play_LinksMouseDown();
  c.run(100);
  TStreamPlayer* p = f.PlayerLinks;
  const int nearEnd = p->HalfBytes - p->Source->BytesPerSecond / 50;  // 20 ms before
  for (int i = 0; i < 100 && p->MainBuffer->currentPosition() % p->HalfBytes < nearEnd; ++i)
    c.run(10);
  c.run(300, false);
  c.run(100);
  EXPECT_GT(f.PlayerLinks->MainBuffer->refillMisses(), 0);
}

}  // namespace
