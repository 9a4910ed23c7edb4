// Sync and autoplay on the beat, end to end on the console: the tempo
// matched exactly (also at half and double tempo) with the bar on its
// nearest step, refusals that say why, bends and bar moves after Sync, the
// beats put together while both decks play and heard together in the
// cards' output, and autoplay's start on a downbeat with its glide back to
// the bar.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>
#include <optional>

#include "control/Actions.h"
#include "decks/Deck.h"
#include "decks/DeckHarness.h"
#include "decks/DeckPanel.h"
#include "decks/Sync.h"
#include "lang/Sprache.h"
#include "platform/ini/IniFile.h"
#include "support/BeatPhase.h"
#include "support/BeatSongs.h"

namespace {

using qdl::control::ActionResult;
using qdl::decks::Deck;
using qdl::test::Console;
using qdl::test::fixture;

const char* const kLong = "sine1k_44k_stereo_200_5s.mp3";  // 200.5 s
const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";   // 10 s

// A song of the library as a link to a file, with a grid (bpm 0: none)
// and a Beats; returns its path.
QString addSong(Console& c, const QString& name, const QString& target, double bpm,
                double firstBeat = 0.0) {
  const QString path = c.cwd.file(name);
  EXPECT_TRUE(QFile::link(target, path));
  c.addSong(path, name, "Title");
  const qint64 key = c.songs->currentId();
  if (bpm > 0) {
    EXPECT_TRUE(c.songs->setBeatGrid(key, {firstBeat, bpm}));
    EXPECT_TRUE(c.songs->setStoredValue(key, "Beats", int(std::lround(bpm))));
  }
  return path;
}

// Loads the songs of `left` and `right` (paths) into the decks.
void load(Console& c, const QString& left, const QString& right = {}) {
  c.select(left);
  c.f->LoadDB_LinksClick();
  if (right.isEmpty()) return;
  c.select(right);
  c.f->LoadDB_RechtsClick();
}

double tempo(const Deck& d) { return qdl::decks::PlayingTempo(d).value_or(-1); }

TEST(SyncMatch, FrequencyTakesTheTempoOrItsHalfOrDoubleNearestToNoPitch) {
  const struct {
    double bpm;
    int rate;
    double tempo;
    int hz;
  } cases[] = {
      {120, 44100, 126, 46305},   // +5 %
      {120, 44100, 120, 44100},   // the same
      {120, 44100, 250, 45938},   // half: 125
      {120, 44100, 61, 44835},    // double: 122
      {174, 44100, 86, 43593},    // double: 172
      {85, 48000, 172, 48565},    // half: 86
      {100, 44100, 130, 57330},   // +30 %, the nearest; the bar cannot reach it
      {140, 44100, 93.5, 29453},  // -33 %: nearer than double (187, +34 %)
  };
  for (const auto& c : cases)
    EXPECT_EQ(qdl::decks::MatchFrequency(c.bpm, c.rate, c.tempo), c.hz)
        << c.bpm << " to " << c.tempo;
}

class SyncDecks : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale::c()); }

  void load(const QString& l, const QString& r) { ::load(c, l, r); }

  ActionResult sync(bool left) {
    return f.actions->press(left ? QStringLiteral("links.sync") : QStringLiteral("rechts.sync"));
  }

  Console c{2};
  TFormQuandrel& f = *c.f;
  Deck& left = *f.DeckLinks;
  Deck& right = *f.DeckRechts;
};

TEST(SyncTempo, MatchedExactlyWithTheBarOnItsNearestStep) {
  const struct {
    double mine, other;
    int otherPitch;
    int step;      // where the bar stands afterwards
    double ratio;  // the other deck's tempo over this deck's after Sync
  } cases[] = {
      {120, 126, 0, 50, 1},       // +5 %
      {120, 250, 0, 42, 2},       // half the other's tempo
      {120, 61, 0, 17, 0.5},      // double
      {120, 120, 33, 33, 1},      // onto the other's own step
      {124.7, 127.3, -17, 4, 1},  // between the steps
  };
  for (const auto& k : cases) {
    Console c2{2};
    TFormQuandrel& g = *c2.f;
    QLocale::setDefault(QLocale::c());
    load(c2, addSong(c2, "a.mp3", fixture(kLong), k.mine),
         addSong(c2, "b.mp3", fixture(kLong), k.other));
    g.DeckRechts->setPitch(k.otherPitch);
    const ActionResult r = g.actions->press("links.sync");
    EXPECT_EQ(r.status, ActionResult::Done)
        << k.mine << " to " << k.other << ": " << r.why.toStdString();
    EXPECT_NEAR(tempo(*g.DeckRechts) / tempo(*g.DeckLinks), k.ratio, 0.05 / 120)
        << k.mine << " to " << k.other;
    EXPECT_EQ(g.DeckLinks->pitch(), k.step) << k.mine << " to " << k.other;
    EXPECT_EQ(g.SBarPitchLinks->value(), k.step);
    EXPECT_EQ(g.lbPitch_Links->text(), qdl::decks::PitchText(k.step));
    // The player runs at the exact frequency, not at the step's.
    EXPECT_EQ(g.PlayerLinks->Frequency(), g.DeckLinks->syncFrequency());
    EXPECT_GT(g.DeckLinks->syncFrequency(), 0);
  }
}

TEST_F(SyncDecks, TempoTextsOfBothDecksAgree) {
  load(addSong(c, "a.mp3", fixture(kLong), 120), addSong(c, "b.mp3", fixture(kLong), 126));
  ASSERT_EQ(sync(true).status, ActionResult::Done);
  EXPECT_EQ(f.lbTempo_Links->text(), "126.0 BPM");
  EXPECT_EQ(f.lbTempo_Rechts->text(), "126.0 BPM");
}

TEST(SyncTempo, RefusalsSayWhyAndChangeNothing) {
  const struct {
    double mine;
    double other;  // 0: no grid; -1: the other deck is empty
    QString why;
  } cases[] = {
      {100, 130, "+30.0 %|+20.0 %"},
      {130, 100, "-23.1 %|-20.0 %"},
      {0, 130, "grid"},
      {130, 0, "grid"},
      {130, -1, "song"},
  };
  for (const auto& k : cases) {
    QLocale::setDefault(QLocale::c());
    Console c{2};
    TFormQuandrel& g = *c.f;
    const QString mine = addSong(c, "m.mp3", fixture(kLong), k.mine);
    load(c, mine, k.other >= 0 ? addSong(c, "o.mp3", fixture(kLong), k.other) : QString());
    QString why = k.why == "grid"   ? FormSprache->Sync.sSyncOhneRaster
                  : k.why == "song" ? FormSprache->Sync.sSyncOhneSong
                                    : FormSprache->Sync.sSyncAusserhalb.arg(
                                          k.why.section('|', 0, 0), k.why.section('|', 1, 1));
    g.DeckLinks->setPitch(7);
    const int hz = g.PlayerLinks->Frequency();
    const ActionResult r = g.actions->press("links.sync");
    EXPECT_EQ(r.status, ActionResult::Refused) << k.mine << " to " << k.other;
    EXPECT_EQ(r.why, why);
    EXPECT_EQ(g.DeckLinks->pitch(), 7);
    EXPECT_EQ(g.PlayerLinks->Frequency(), hz);
    EXPECT_EQ(g.DeckLinks->syncFrequency(), 0);
  }
}

TEST_F(SyncDecks, BendsWorkOnTheSyncedTempoAndTheBarReturnsToItsSteps) {
  load(addSong(c, "a.mp3", fixture(kLong), 120), addSong(c, "b.mp3", fixture(kLong), 126));
  ASSERT_EQ(sync(true).status, ActionResult::Done);
  const int synced = f.PlayerLinks->Frequency();
  ASSERT_EQ(synced, 46305);
  f.actions->press("links.pitch.up");
  EXPECT_EQ(f.PlayerLinks->Frequency(), synced + 100 * 44);
  f.actions->release("links.pitch.up");
  EXPECT_EQ(f.PlayerLinks->Frequency(), synced);
  f.actions->press("links.pitch.down");
  EXPECT_EQ(f.PlayerLinks->Frequency(), synced - 100 * 44);
  f.actions->release("links.pitch.down");
  EXPECT_EQ(f.PlayerLinks->Frequency(), synced);
  // One step of the bar: back on the bar's own frequencies.
  f.actions->press("links.pitch.step.up");
  EXPECT_EQ(f.DeckLinks->pitch(), 51);
  EXPECT_EQ(f.PlayerLinks->Frequency(), 44100 + 51 * 44);
  EXPECT_EQ(f.DeckLinks->syncFrequency(), 0);
  // Zero after a Sync is zero.
  ASSERT_EQ(sync(true).status, ActionResult::Done);
  f.actions->press("links.pitch.zero");
  EXPECT_EQ(f.PlayerLinks->Frequency(), 44100);
  EXPECT_EQ(f.DeckLinks->syncFrequency(), 0);
  // A new song plays at the bar's step.
  ASSERT_EQ(sync(true).status, ActionResult::Done);
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.DeckLinks->syncFrequency(), 0);
  EXPECT_EQ(f.PlayerLinks->Frequency(), 44100 + 50 * 44);
}

// The beats of the two decks, from their grids and playing positions: how
// far (seconds of real time) this deck's beats fall after the other's.
double beatsApart(Deck& mine, Deck& other) {
  const std::int64_t shift =
      qdl::decks::PhaseShift(mine, qdl::decks::BaseFrequency(mine), other,
                             mine.player()->PlayingSample(), other.player()->PlayingSample());
  return -double(shift) / qdl::decks::BaseFrequency(mine);
}

TEST(SyncBeats, PutTogetherOnlyWhileBothPlay) {
  const struct {
    bool minePlays, otherPlays;
    bool phased;
  } cases[] = {
      {true, true, true},
      {true, false, false},  // against a standing deck: tempo only
      {false, true, false},  // a standing deck: tempo only
  };
  for (const auto& k : cases) {
    Console c2{2};
    TFormQuandrel& g = *c2.f;
    load(c2, addSong(c2, "a.mp3", fixture(kLong), 120, 0.213),
         addSong(c2, "b.mp3", fixture(kLong), 126, 0.071));
    g.actions->press("rechts.play");
    c2.run(1370);
    g.actions->press("links.play");
    c2.run(830);
    if (!k.otherPlays) g.actions->press("rechts.play");
    if (!k.minePlays) g.actions->press("links.play");
    c2.run(20);
    const std::int64_t before = g.PlayerLinks->PlayingSample();
    ASSERT_EQ(g.actions->press("links.sync").status, ActionResult::Done);
    const std::int64_t moved = g.PlayerLinks->PlayingSample() - before;
    // Half a beat at the synced tempo, in samples of the song.
    EXPECT_LT(std::abs(moved), 60.0 / 120 / 2 * 44100) << k.minePlays << k.otherPlays;
    if (!k.phased) {
      EXPECT_EQ(moved, 0) << k.minePlays << k.otherPlays;
      continue;
    }
    EXPECT_NE(moved, 0);
    // Once the move is heard, and ever after.
    for (int i = 0; i < 10; ++i) {
      c2.run(1000);
      EXPECT_NEAR(beatsApart(*g.DeckLinks, *g.DeckRechts), 0, 0.0002) << i;
    }
    EXPECT_NEAR(tempo(*g.DeckLinks), tempo(*g.DeckRechts), 0.05);
  }
}

TEST_F(SyncDecks, ButtonAndKeysRunIt) {
  load(addSong(c, "a.mp3", fixture(kLong), 120), addSong(c, "b.mp3", fixture(kLong), 126));
  ASSERT_NE(f.Panel1->sync, nullptr);
  f.Panel3->sync->click();  // right to left: -4.8 %
  EXPECT_EQ(f.DeckRechts->pitch(), -48);
  f.Panel1->sync->click();
  EXPECT_NEAR(tempo(left), tempo(right), 0.05);
  EXPECT_TRUE(f.actions->contains("links.sync"));
  EXPECT_TRUE(f.actions->contains("rechts.sync"));
}

// ---- In the cards' output: two generated songs at 120 and 126 BPM.

QString beatSong(double bpm, double intro, unsigned seed) {
  static QTemporaryDir dir;
  qdl::test::BeatSong s;
  s.style = qdl::test::BeatStyle::Techno;
  s.bpm = bpm;
  s.seconds = 35;  // no breakdown: the kick plays throughout
  s.introSeconds = intro;
  s.seed = seed;
  const QString path = dir.filePath(s.name());
  if (!QFile::exists(path)) {
    const QString error = qdl::test::makeBeatSong(s, path);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  }
  return path;
}

TEST_F(SyncDecks, BeatsHeardTogetherInTheOutput) {
  load(addSong(c, "a.mp3", beatSong(120, 1.5, 7), 120, 1.5),
       addSong(c, "b.mp3", beatSong(126, 0, 8), 126, 0));
  f.actions->press("rechts.play");
  c.run(2230);
  f.actions->press("links.play");
  c.run(1170);
  ASSERT_EQ(sync(true).status, ActionResult::Done);
  EXPECT_NEAR(tempo(left), tempo(right), 0.05);
  c.run(500);
  Console::played(0);
  Console::played(1);
  // Where each deck's grid puts its first beat in what comes next.
  const auto firstBeat = [](Deck& d) {
    const double rate = 44100, speed = qdl::decks::BaseFrequency(d) / rate;
    const double period = 60.0 / d.grid()->bpm;
    const double song = d.player()->PlayingSample() / rate;
    return std::fmod(d.grid()->firstBeat - song + 1000 * period, period) / speed;
  };
  const double firstA = firstBeat(left), firstB = firstBeat(right);
  const double period = 60.0 / tempo(right);
  c.run(20000);
  const auto a = Console::played(0), b = Console::played(1);
  const std::vector<double> kicksA =
      qdl::test::kickTimes(qdl::test::kickOnsets(a, 44100), 44100, firstA, period);
  const std::vector<double> kicksB =
      qdl::test::kickTimes(qdl::test::kickOnsets(b, 44100), 44100, firstB, period);
  EXPECT_GT(kicksA.size(), 35u);
  EXPECT_GT(kicksB.size(), 35u);
  const std::vector<double> apart = qdl::test::kickOffsets(kicksA, kicksB);
  int within = 0;
  for (const double d : apart) within += std::abs(d) < 0.005;
  EXPECT_GE(within, int(apart.size()) * 95 / 100) << within << " of " << apart.size();
}

// ---- Autoplay on the beat

class BeatAutoplay : public SyncDecks {
 protected:
  // The left deck plays the 10-s song to its end; autoplay hands over to
  // the right deck once it is near it.
  void handOver() {
    f.cbAutoPlay->setChecked(true);
    c.select(outgoing);
    f.LoadDB_LinksClick();
    f.actions->press("links.play");
    c.run(3300);
    ASSERT_TRUE(left.nearEnd());
    c.select(incoming);
    f.TimerAutoPlayTimer();
    ASSERT_EQ(c.rightState(), "playing");
  }

  QString outgoing, incoming;
};

TEST_F(BeatAutoplay, StartsOnADownbeatInTempoThenGlidesBackToTheBar) {
  outgoing = addSong(c, "out.mp3", fixture(kTen), 126, 0.31);
  incoming = addSong(c, "in.mp3", fixture(kLong), 120, 0.52);
  right.setPitch(-12);  // the bar's value, which it returns to
  handOver();
  c.run(1000);
  EXPECT_NEAR(tempo(right), tempo(left), 0.05);
  EXPECT_EQ(right.pitch(), -12);  // the bar keeps the DJ's value
  // A downbeat of each at the same moment: beats together, and bars.
  EXPECT_NEAR(beatsApart(right, left), 0, 0.0002);
  const double bar = 4 * 60.0 / 126;  // real seconds
  const double sinceOut =
      std::fmod(left.player()->PlayingSample() / 44100.0 - 0.31 + 100 * 4 * 60.0 / 126,
                4 * 60.0 / 126) *
      44100 / qdl::decks::BaseFrequency(left);
  const double sinceIn =
      std::fmod(right.player()->PlayingSample() / 44100.0 - 0.52 + 100 * 4 * 60.0 / 120,
                4 * 60.0 / 120) *
      44100 / qdl::decks::BaseFrequency(right);
  double apart = std::fmod(sinceIn - sinceOut + 10 * bar, bar);
  if (apart > bar / 2) apart -= bar;
  EXPECT_NEAR(apart, 0, 0.0002);
  // Never before the cue point (0 here), at most one bar after it.
  EXPECT_LE(right.player()->PlayingSample(), std::int64_t((4 * 60.0 / 120 + 1.05) * 44100) + 1);
  const int synced = f.PlayerRechts->Frequency();
  // While the outgoing song plays, the tempo holds.
  c.run(1000);
  EXPECT_EQ(f.PlayerRechts->Frequency(), synced);
  c.run(6000);
  ASSERT_EQ(c.leftState(), "ended");
  // Over 16 beats the tempo comes back to the bar's, a step at a time.
  const int target = 44100 - 12 * 44;
  int last = f.PlayerRechts->Frequency();
  int changes = 0;
  for (int t = 0; t < 9000; t += 100) {
    c.run(100);
    const int now = f.PlayerRechts->Frequency();
    EXPECT_LE(std::abs(now - target), std::abs(last - target));
    if (now != last) ++changes;
    last = now;
  }
  EXPECT_EQ(f.PlayerRechts->Frequency(), target);
  EXPECT_EQ(right.syncFrequency(), 0);
  EXPECT_GT(changes, 20);
}

TEST(BeatAutoplayOff, WithoutGridsOrSwitchedOffHandsOverAsBefore) {
  // 0: the outgoing song has no grid; 1: the incoming has none; 2: both
  // have one but the setting is off; 3: off in the settings file.
  for (const int variant : {0, 1, 2, 3}) {
    std::optional<Console> c;
    if (variant == 3) {
      QByteArray ini;
      {
        Console probe{2};
        QFile file(probe.cwd.file("qdl.ini"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        ini = file.readAll();
      }
      c.emplace(ini + "\n[Autoplay]\nOnTheBeat=0\n");
    } else {
      c.emplace(2);
    }
    TFormQuandrel& g = *c->f;
    const QString out = addSong(*c, "out.mp3", fixture(kTen), variant == 0 ? 0 : 126);
    const QString in = addSong(*c, "in.mp3", fixture(kLong), variant == 1 ? 0 : 120);
    EXPECT_EQ(g.mixer->beatAutoPlay(), variant != 3) << variant;
    EXPECT_EQ(g.AutoplayBeat1->isChecked(), variant != 3) << variant;
    if (variant == 2) {
      g.actions->press("autoplay.beat.toggle");
      EXPECT_FALSE(g.AutoplayBeat1->isChecked());
      EXPECT_EQ(qdl::openSettings().readInteger("Autoplay", "OnTheBeat", 1), 0);
    }
    g.cbAutoPlay->setChecked(true);
    load(*c, out);
    g.actions->press("links.play");
    c->run(3300);
    c->select(in);
    g.TimerAutoPlayTimer();
    ASSERT_EQ(c->rightState(), "playing") << variant;
    EXPECT_EQ(g.PlayerRechts->Frequency(), 44100) << variant;
    EXPECT_EQ(g.DeckRechts->syncFrequency(), 0) << variant;
    EXPECT_LT(g.PlayerRechts->PlayingSample(), 441 * 4) << variant;
  }
}

}  // namespace
