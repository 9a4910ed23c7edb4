// The decks as a DJ plays them on stage, on the virtual cards' manual clock
// and their captured output: crossfader sweeps and jumps, a load on a silent
// side, two loud decks at once, clicks at play, pause, cue and the end, and
// odd files.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>

#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "library/Suche.h"
#include "platform/db/DbError.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;
using qdl::test::peak;
using qdl::ui::ScrollCode;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";    // 10 s, 1 kHz, half of full scale
const char* const kLoud = "loud440_44k_stereo_cbr192.mp3";  // 10 s, 440 Hz, 95 % of full scale

// Largest sample-to-sample change of one channel of interleaved stereo.
int largestStep(const std::vector<std::int16_t>& s, std::size_t from = 0) {
  int step = 0;
  for (std::size_t i = std::max<std::size_t>(from, 2); i < s.size(); i += 2)
    step = std::max(step, std::abs(int(s[i]) - int(s[i - 2])));
  return step;
}

TEST(Stage, CrossfaderSweepsAndJumpsNeverSilenceBothDecks) {
  Console c(0);  // both decks on card A
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  // From any position to any other in one step (a drag that skips the
  // positions between), and the jump buttons from anywhere: the side the
  // crossfader leaves is at its own level again, the other side follows it.
  auto check = [&](const std::string& what) {
    const int at = f.sbFader->value();
    EXPECT_EQ(f.SBVolume_Links->value(), std::max(at, 0)) << what;
    EXPECT_EQ(f.SBVolume_Rechts->value(), std::max(-at, 0)) << what;
    EXPECT_FALSE(f.PlayerLinks->MainBuffer->volume() == -10000 &&
                 f.PlayerRechts->MainBuffer->volume() == -10000)
        << what;
  };
  const int positions[] = {-3000, -2990, -1500, -10, 0, 10, 1500, 2990, 3000};
  for (int from : positions) {
    for (int to : positions) {
      f.sbFader->setValue(from);
      f.sbFader->setValue(to);
      check(std::to_string(from) + " to " + std::to_string(to));
    }
    f.sbFader->setValue(from);
    f.FaderLinksMouseDown(Qt::LeftButton);
    f.FaderLinksMouseUp(Qt::LeftButton);
    check("Left from " + std::to_string(from));
    f.sbFader->setValue(from);
    f.FaderRechtsMouseDown(Qt::RightButton);
    check("Right held from " + std::to_string(from));
    f.FaderRechtsMouseUp(Qt::RightButton);
    check("Right let go from " + std::to_string(from));
  }

  // What the room hears: at the right end "Left" is pressed, and the left
  // deck sounds at its full level.
  f.sbFader->setValue(3000);
  f.Play_LinksMouseDown();
  c.run(300);
  EXPECT_EQ(peak(Console::played(0)), 0);
  f.FaderLinksMouseDown(Qt::LeftButton);
  c.run(300);
  const auto out = Console::played(0);
  EXPECT_GT(peak(std::vector<std::int16_t>(out.end() - 4410, out.end())), 15000);
}

TEST(Stage, ALoadOnASilentSideStaysSilentInTheRoomAndTheHeadphones) {
  Console c(1);  // main card A, headphones card B
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.sbFader->setValue(3000);        // holds the left deck silent; no player yet
  f.SBVolume_Head->setValue(3000);  // headphone bar at its bottom
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.PlayerLinks->MainBuffer->volume(), -10000);
  f.SBHeadCueLinksMouseDown();
  EXPECT_EQ(f.HeadCueLinks, 1);
  EXPECT_EQ(f.PlayerLinks->HeadBuffer->volume(), -10000);
  f.Play_LinksMouseDown();
  c.run(500);
  EXPECT_EQ(peak(Console::played(0)), 0) << "the room";
  EXPECT_EQ(peak(Console::played(1)), 0) << "the headphones";
  // One step up from the bottom is quiet, but heard.
  f.SBVolume_Links->setValue(2990);
  f.SBVolume_Head->setValue(2990);
  c.run(300);
  EXPECT_GT(peak(Console::played(0)), 100);
  EXPECT_GT(peak(Console::played(1)), 100);
}

TEST(Stage, TwoLoudDecksAtTheCentreNeverClip) {
  Console c(0);
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kLoud), "Loud", "Twice");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();  // the same song in step: the sum reaches 1.9 times full scale
  c.run(3000);
  const auto out = Console::played(0);
  int atTheRails = 0;
  for (std::int16_t s : out) atTheRails += (s >= 32767 || s <= -32767) ? 1 : 0;
  RecordProperty("samples_at_full_scale", atTheRails);
  EXPECT_EQ(atTheRails, 0);
  EXPECT_GT(peak(out), 30000);
  EXPECT_LE(peak(out), 31656);
}

TEST(Stage, PlayPauseCueAndTheEndMakeNoStepOfTheirOwn) {
  Console c(2);  // the left deck alone on card A
  TFormQuandrel& f = *c.f;
  // A cue point 1.01 s in: 444.4 periods of the tone, mid-waveform.
  c.addSong(fixture(kLoud), "Loud", "Tone", 101);
  f.LoadDB_LinksClick();
  f.Cue_LinksMouseDown();
  ASSERT_EQ(f.sBarSeekLinks->value(), 101);
  Console::played(0);
  // Play, pause anywhere, play, cue back while playing, stutter from the cue
  // point, and play to the end.
  f.Play_LinksMouseDown();
  c.run(330);
  f.Play_LinksMouseDown();
  c.run(100);
  f.Play_LinksMouseDown();
  c.run(270);
  f.Cue_LinksMouseDown();
  c.run(100);
  for (int stutter = 0; stutter < 3; ++stutter) {
    Console::played(0);
    f.Play_LinksMouseDown();
    c.run(10);
    // The stutter starts at once: heard within 3 ms of the press.
    const auto start = Console::played(0);
    std::size_t first = start.size();
    for (std::size_t i = 0; i < start.size() && first == start.size(); ++i)
      if (std::abs(start[i]) > 100) first = i;
    EXPECT_LE(first / 2, 132u) << "stutter " << stutter;
    c.run(60);
    f.Cue_LinksMouseDown();
    c.run(40);
  }
  Console::played(0);
  f.Play_LinksMouseDown();
  c.run(200);
  f.Play_LinksMouseDown();
  c.run(50);
  f.sBarSeekLinks->setValue(960);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.Play_LinksMouseDown();
  for (int i = 0; i < 200 && c.leftState() == "playing"; ++i) c.run(10);
  ASSERT_EQ(c.leftState(), "ended");
  c.run(100);
  const auto out = Console::played(0);
  EXPECT_GT(peak(out), 25000);

  // The tone's own largest change from one sample to the next.
  const int tone = int(std::lround(2 * 0.95 * 32767 * std::sin(std::numbers::pi * 440 / 44100)));
  const int worst = largestStep(out);
  RecordProperty("largest_step", worst);
  RecordProperty("tone_step", tone);
  EXPECT_LE(worst, tone + tone / 50) << "the signal's own largest step is " << tone;
}

TEST(Stage, ASingleFrameSongLoadsAndPlays) {
  Console c(2);
  TFormQuandrel& f = *c.f;
  c.addSong(fixture("single_frame_48k.mp3"), "One", "Frame");
  f.LoadDB_LinksClick();
  ASSERT_EQ(c.leftState(), "loaded");
  EXPECT_EQ(f.sBarSeekLinks->maximum(), 0);
  f.Play_LinksMouseDown();
  c.run(600);
  EXPECT_EQ(c.leftState(), "ended");
  const auto out = Console::played(0);
  int sounding = 0;
  for (std::size_t i = 0; i < out.size(); i += 2) sounding += std::abs(out[i]) > 300 ? 1 : 0;
  // 1152 samples at 48 kHz are 1058 at the card's 44.1 kHz.
  EXPECT_GT(sounding, 500);
  EXPECT_LE(sounding, 1058);
}

// Keeps every message box open for a second of the event loop, as a user
// who reads it would.
class SlowReader : public qdl::test::ScriptedDialogs {
 public:
  qdl::ui::Answer messageBox(QWidget* parent, const QString& text, const QString& caption,
                             qdl::ui::Buttons buttons) override {
    QEventLoop open;
    QTimer::singleShot(1000, &open, &QEventLoop::quit);
    open.exec();
    return ScriptedDialogs::messageBox(parent, text, caption, buttons);
  }
};

TEST(Stage, WhileACardFailureIsShownBothDecksAreRefilled) {
  Console c(0);  // both decks on card A
  TFormQuandrel& f = *c.f;
  SlowReader reader;
  c.addSong(fixture("sine1k_44k_stereo_200_5s.mp3"), "A", "T");
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  // Everything runs from the event loop now: a timer plays the cards and the
  // deck timers refill as they do in the program.
  QTimer clock;
  QObject::connect(&clock, &QTimer::timeout, [] {
    qdl::sound::VirtualCards::advance(0, 441);
    qdl::sound::VirtualCards::advance(1, 441);
  });
  clock.start(10);
  auto runFor = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  runFor(300);
  qdl::sound::VirtualCards::unplug(0);
  for (int i = 0; i < 40 && reader.boxes.empty(); ++i) runFor(100);
  runFor(300);
  clock.stop();
  ASSERT_EQ(reader.boxes.size(), 1u);
  EXPECT_EQ(reader.boxes[0].text,
            FormSprache->Meldung.sKarteStumm + "\n" + qdl::sound::VirtualCards::description(0));
  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_EQ(c.rightState(), "playing");
}

TEST(Stage, ACardMissingFromThePresentDevicesIsNamedAndTheOtherCardPlays) {
  // The left deck's card was typed by hand: it has no "present Devices" entry.
  Console c(QByteArray("[Devices]\r\nMode=2\r\nCard_1=USB Audio CODEC\r\nCard_2=") +
            qdl::sound::VirtualCards::description(1).toUtf8() + "\r\n[present Devices]\r\n" +
            qdl::sound::VirtualCards::description(1).toUtf8() + "=" +
            qdl::sound::guidToText(qdl::sound::VirtualCards::guid(1)).toUtf8() +
            "\r\n[Sprache]\r\nMode=1\r\n");
  TFormQuandrel& f = *c.f;
  QCoreApplication::sendPostedEvents();
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text,
            "Sounddevice not among the present devices. Check devices!\nUSB Audio CODEC");
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
  EXPECT_EQ(f.LeftMain, nullptr);
  ASSERT_NE(f.RightMain, nullptr);
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_RechtsClick();
  f.Play_RechtsMouseDown();
  c.run(300);
  EXPECT_GT(peak(Console::played(1)), 10000);
}

TEST(Stage, ASongEndsEvenWhenTheSongTableCannotBeRead) {
  Console c(2);
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T", 250);
  f.cbAutoCue->setChecked(true);
  f.LoadDB_LinksClick();
  f.sBarSeekLinks->setValue(950);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  f.Play_LinksMouseDown();
  c.songs->close();  // the library's disk fails
  // A cue press cannot read the cue point: the deck plays on, refilled.
  EXPECT_THROW(f.Cue_LinksMouseDown(), qdl::db::DbError);
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_TRUE(f.TimerLinks->isActive());
  for (int i = 0; i < 200 && c.leftState() == "playing"; ++i) c.run(10);
  EXPECT_EQ(c.leftState(), "ended");
  EXPECT_EQ(f.sBarSeekLinks->value(), 0);
  EXPECT_FALSE(f.TimerLinks->isActive());
  EXPECT_EQ(c.dialogs.errors.size(), 1) << "told once, after the timer";
  // The deck takes the next song once the library is back.
  c.songs->open();
  c.select(fixture(kTen));
  f.LoadDB_LinksClick();
  EXPECT_EQ(c.leftState(), "loaded");
  EXPECT_EQ(f.sBarSeekLinks->value(), 250);
}

// Closing the console: while a deck sounds, autoplay is on or the tag
// editor holds a change, it asks first, naming why, and No keeps the decks
// playing, autoplay running and the window open; Yes closes it. With
// nothing going on it closes without a question. The menu's "&Beenden"
// asks the same.
TEST(Stage, ClosingWhileTheConsolePlaysAsksFirstAndNoKeepsItPlaying) {
  using Texts = MeldungTexte;
  const struct Case {
    const char* name;
    int language;
    bool menu;  // "&Beenden" instead of the window's close button
    std::function<void(Console&)> setUp;
    std::vector<QString Texts::*> reasons;  // empty: no question
  } cases[] = {
      {"a deck plays",
       0,
       false,
       [](Console& c) {
         c.f->LoadDB_LinksClick();
         c.f->Play_LinksMouseDown();
       },
       {&Texts::sPlayerSpielt}},
      {"a deck plays, English, from the menu",
       1,
       true,
       [](Console& c) {
         c.f->LoadDB_RechtsClick();
         c.f->Play_RechtsMouseDown();
       },
       {&Texts::sPlayerSpielt}},
      {"autoplay is on and a deck plays",
       0,
       true,
       [](Console& c) {
         c.f->LoadDB_LinksClick();
         c.f->Play_LinksMouseDown();
         c.f->cbAutoPlay->setChecked(true);
       },
       {&Texts::sPlayerSpielt, &Texts::sAutoplayLaeuft}},
      {"autoplay is on",
       0,
       false,
       [](Console& c) { c.f->cbAutoPlay->setChecked(true); },
       {&Texts::sAutoplayLaeuft}},
      {"the editor holds a change",
       0,
       false,
       [](Console& c) {
         FormDatenBearbeiten->show();
         c.songs->edit();
         c.songs->setFieldValue("Titel", "Half");
       },
       {&Texts::sEditorAenderung}},
      {"nothing plays", 0, false, [](Console&) {}, {}},
      {"a deck is paused, the editor open without a change",
       0,
       true,
       [](Console& c) {
         c.f->LoadDB_LinksClick();
         c.f->Play_LinksMouseDown();
         c.run(100);
         c.f->Play_LinksMouseDown();
         FormDatenBearbeiten->show();
       },
       {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Console c(2, k.language);
    c.addSong(fixture(kTen), "A", "T");
    k.setUp(c);
    const QString leftBefore = c.leftState(), rightBefore = c.rightState();
    const bool autoplay = c.f->TimerAutoPlay->isActive();
    const auto close = [&] {
      if (k.menu)
        c.f->Beenden1->trigger();
      else
        c.f->close();
    };
    if (!k.reasons.empty()) {
      c.dialogs.answers = {qdl::ui::Answer::No};
      close();
      ASSERT_EQ(c.dialogs.boxes.size(), 1u);
      const qdl::test::AskedBox& box = c.dialogs.boxes[0];
      EXPECT_EQ(box.buttons, qdl::ui::Buttons::YesNo);
      EXPECT_EQ(box.caption, FormSprache->Meldung.sAchtung);
      QStringList lines;
      for (QString Texts::*reason : k.reasons) lines << FormSprache->Meldung.*reason;
      EXPECT_EQ(box.text, lines.join('\n') + "\n\n" + FormSprache->Meldung.sTrotzdemBeenden);
      // No: everything goes on.
      EXPECT_TRUE(c.f->isVisible());
      EXPECT_EQ(c.leftState(), leftBefore);
      EXPECT_EQ(c.rightState(), rightBefore);
      EXPECT_EQ(c.f->TimerAutoPlay->isActive(), autoplay);
      Console::played(0);
      Console::played(1);
      c.run(200);
      if (leftBefore == "playing") {
        EXPECT_GT(peak(Console::played(0)), 8000);
      }
      if (rightBefore == "playing") {
        EXPECT_GT(peak(Console::played(1)), 8000);
      }
      if (k.reasons.back() == &Texts::sEditorAenderung) {
        EXPECT_EQ(c.songs->state(), qdl::db::Table::State::Edit);
      }
      c.dialogs.answers = {qdl::ui::Answer::Yes};
    }
    close();
    EXPECT_EQ(c.dialogs.boxes.size(), k.reasons.empty() ? 0u : 2u);
    EXPECT_FALSE(c.f->isVisible());
    EXPECT_EQ(c.f->LeftMain, nullptr);
    EXPECT_EQ(c.f->PlayerLinks, nullptr);
    EXPECT_FALSE(c.f->TimerAutoPlay->isActive());
    // The editor closes with the console; a change it held is left unposted.
    EXPECT_FALSE(FormDatenBearbeiten->isVisible());
    EXPECT_EQ(c.songs->state(), qdl::db::Table::State::Browse);
    EXPECT_EQ(c.songs->asString("Titel"), "T");
  }
}

}  // namespace
