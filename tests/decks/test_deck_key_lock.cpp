// Key lock end to end in the console on the virtual cards' manual clock: a
// tone keeps its pitch at +8 % and -8 %; switching key lock while a deck
// plays, during the seek preview and before a seek makes no click and moves
// no position; the song ends where it ends without key lock; the action,
// its keys, its button and its setting in qdl.ini.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <numbers>

#include "SignalAnalysis.h"
#include "app/ConsoleKeys.h"
#include "control/Actions.h"
#include "control/KeyMap.h"
#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "support/VirtualCardSettings.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;
using qdl::ui::ScrollCode;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz

// A 1 kHz tone, silent from 2.0 to 2.6 s, then the tone again up to 6 s:
// where the tone comes back shows where the song plays.
QString gapSong(const Console& c) {
  const QString dir = c.cwd.path();
  const QString wav = dir + QStringLiteral("/gap.wav");
  const QString mp3 = dir + QStringLiteral("/gap.mp3");
  const auto run = [](const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
  };
  const QString tone1 = dir + QStringLiteral("/t1.wav"), gap = dir + QStringLiteral("/g.wav"),
                tone2 = dir + QStringLiteral("/t2.wav");
  const QStringList format = {"-r", "44100", "-c", "2", "-b", "16"};
  bool ok = run("sox", QStringList{"-n"} + format +
                           QStringList{tone1, "synth", "2", "sine", "1000", "vol", "0.5"});
  ok = ok && run("sox", QStringList{"-n"} + format + QStringList{gap, "trim", "0", "0.6"});
  ok = ok && run("sox", QStringList{"-n"} + format +
                            QStringList{tone2, "synth", "3.4", "sine", "1000", "vol", "0.5"});
  ok = ok && run("sox", {tone1, gap, tone2, wav});
  ok = ok && run("lame", {"--quiet", "-b", "192", wav, mp3});
  return ok ? mp3 : QString();
}

// The first sample frame of the left channel at or above `level` after at
// least `quiet` frames below it; -1 when there is none.
long onsetAfterSilence(const std::vector<std::int16_t>& out, long quiet = 8000, int level = 4000) {
  long silent = 0;
  for (std::size_t i = 0; i < out.size() / 2; ++i) {
    if (std::abs(out[2 * i]) < level) {
      ++silent;
    } else {
      if (silent >= quiet) return long(i);
      silent = 0;
    }
  }
  return -1;
}

double toneStep(double hz) { return 16384 * 2 * std::numbers::pi * hz / 44100; }

std::vector<double> tail(const std::vector<double>& x, std::size_t n) {
  return {x.end() - std::ptrdiff_t(std::min(n, x.size())), x.end()};
}

// ---- A tone's pitch

struct ToneCase {
  int pitch;  // tenths of a percent
  bool keyLock;
  double hz;  // what the output plays
};

class KeyLockTone : public ::testing::TestWithParam<ToneCase> {};

TEST_P(KeyLockTone, TheOutputPlaysTheSongsPitch) {
  const ToneCase t = GetParam();
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  if (t.keyLock) {
    ASSERT_EQ(f.actions->press("links.keylock").status, qdl::control::ActionResult::Done);
  }
  ASSERT_EQ(f.actions->setValue("links.pitch", t.pitch).status, qdl::control::ActionResult::Done);
  f.Play_LinksMouseDown();
  c.run(1500);
  Console::played(0);
  c.run(2000);
  const auto left = qdl::test::channel(Console::played(0), 0);
  ASSERT_GT(left.size(), 80000u);
  const double hz = qdl::test::toneFrequency(left);
  const double fftHz = qdl::test::peakFrequency(tail(left, 65536));
  std::printf("pitch %+d.%d %%, key lock %s: %.2f Hz (zero crossings), %.2f Hz (FFT)\n",
              t.pitch / 10, std::abs(t.pitch % 10), t.keyLock ? "on" : "off", hz, fftHz);
  RecordProperty("hz", std::to_string(hz));
  EXPECT_NEAR(hz, t.hz, t.hz * 0.005);
  EXPECT_NEAR(fftHz, t.hz, t.hz * 0.005);
  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0);
}

INSTANTIATE_TEST_SUITE_P(PlusMinusEight, KeyLockTone,
                         ::testing::Values(ToneCase{80, true, 1000}, ToneCase{-80, true, 1000},
                                           ToneCase{80, false, 1080}, ToneCase{-80, false, 920},
                                           ToneCase{200, true, 1000}, ToneCase{0, true, 1000}));

// ---- Switching while playing: no click, no jump

// Plays the gap song from 1.00 s at +8 % for 3 s, pressing key lock at
// the given ticks (10 ms each); returns the capture and the seek bar's
// value at every tick.
struct Played {
  std::vector<std::int16_t> out;
  std::vector<int> positions;
  int refillMisses = 0;
};

Played playGapSong(const std::vector<int>& presses, bool startLocked, int seekAt = -1,
                   int seekTo = 0) {
  Console c;
  TFormQuandrel& f = *c.f;
  const QString song = gapSong(c);
  EXPECT_FALSE(song.isEmpty()) << "sox and lame make the song";
  c.addSong(song, "A", "T");
  f.LoadDB_LinksClick();
  if (startLocked) f.actions->press("links.keylock");
  f.actions->setValue("links.pitch", 80);
  f.sBarSeekLinks->setValue(100);
  f.sBarSeekLinksScroll(ScrollCode::EndScroll);
  Console::played(0);
  f.Play_LinksMouseDown();
  Played r;
  for (int tick = 0; tick < 300; ++tick) {
    if (std::count(presses.begin(), presses.end(), tick)) f.actions->press("links.keylock");
    if (tick == seekAt) {
      // A seek and play at once: the deck plays on from there.
      f.sBarSeekLinks->setValue(seekTo);
      f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
      f.sBarSeekLinksScroll(ScrollCode::EndScroll);
      EXPECT_EQ(c.leftState(), "seeking");
      f.Play_LinksMouseDown();
    }
    c.run(10);
    const auto out = Console::played(0);
    r.out.insert(r.out.end(), out.begin(), out.end());
    r.positions.push_back(f.sBarSeekLinks->value());
  }
  r.refillMisses = f.PlayerLinks->MainBuffer->refillMisses();
  return r;
}

struct SwitchCase {
  const char* name;
  std::vector<int> presses;
  bool startLocked;
};

class KeyLockSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(KeyLockSwitch, NoClickAndTheSongStaysOnItsTimeline) {
  const SwitchCase s = GetParam();
  static const Played plain = playGapSong({}, false);
  const Played locked = playGapSong(s.presses, s.startLocked);
  // The tone comes back after the gap where it does without key lock.
  const long expected = onsetAfterSilence(plain.out);
  ASSERT_GT(expected, 0);
  // Within 3 ms: the stretcher smears an onset over a millisecond or two.
  EXPECT_NEAR(double(onsetAfterSilence(locked.out)), double(expected), 132.0) << s.name;
  // The position (seek bar, time display) is the same at every tick.
  ASSERT_EQ(locked.positions.size(), plain.positions.size());
  for (std::size_t i = 0; i < plain.positions.size(); ++i)
    EXPECT_EQ(locked.positions[i], plain.positions[i]) << s.name << ", tick " << i;
  // No click: away from the gap's own edges (0.6 s of the song at +8 %,
  // with room for the MP3's smearing), no step larger than the faster of the
  // two tones makes.
  const auto left = qdl::test::channel(locked.out, 0);
  const long gapFrom = expected - 24500 - 3000, gapTo = expected + 3000;
  double worst = 0;
  for (long i = 1; i < long(left.size()); ++i)
    if (i < gapFrom || i > gapTo) worst = std::max(worst, std::abs(left[i] - left[i - 1]));
  EXPECT_LT(worst, 1.3 * toneStep(1080)) << s.name;
  EXPECT_EQ(locked.refillMisses, 0);
}

INSTANTIATE_TEST_SUITE_P(WhilePlaying, KeyLockSwitch,
                         ::testing::Values(SwitchCase{"on from the start", {}, true},
                                           SwitchCase{"on after 0.4 s", {40}, false},
                                           SwitchCase{"on, off, on", {20, 55, 90}, false},
                                           SwitchCase{"off after 0.3 s", {30}, true},
                                           SwitchCase{"on just before the gap", {85}, false}),
                         [](const auto& info) { return std::to_string(info.index); });

// A seek while key lock is on plays the new place at once: nothing of the
// old place sounds, and the position is that of a deck without key lock.
TEST(KeyLock, ASeekPlaysTheNewPlaceWithNothingOfTheOld) {
  // At tick 50 (about 1.5 s into the song) the deck seeks to 2.10 s, into
  // the gap: the tone must stop at once and come back at 2.6 s.
  const Played plain = playGapSong({}, false, 50, 210);
  const Played locked = playGapSong({}, true, 50, 210);
  EXPECT_EQ(locked.positions, plain.positions);
  const long expected = onsetAfterSilence(plain.out, 4000);
  ASSERT_GT(expected, 0);
  EXPECT_NEAR(double(onsetAfterSilence(locked.out, 4000)), double(expected), 132.0);
}

// The seek preview loops half a second of the new place with key lock on as
// without it; switching key lock during the preview changes nothing there,
// and play then goes on from the seek bar's position.
TEST(KeyLock, SeekPreviewWithKeyLockLoopsTheNewPlace) {
  for (const bool locked : {false, true}) {
    Console c;
    TFormQuandrel& f = *c.f;
    const QString song = gapSong(c);
    ASSERT_FALSE(song.isEmpty());
    c.addSong(song, "A", "T");
    f.LoadDB_LinksClick();
    if (locked) f.actions->press("links.keylock");
    f.actions->setValue("links.pitch", -80);
    f.Play_LinksMouseDown();
    c.run(500);
    // Into the gap: the preview is silent.
    f.sBarSeekLinks->setValue(205);
    f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
    f.sBarSeekLinksScroll(ScrollCode::EndScroll);
    ASSERT_EQ(c.leftState(), "seeking");
    c.run(100);
    Console::played(0);
    f.actions->press("links.keylock");  // switched during the preview
    c.run(1000);
    EXPECT_LT(qdl::test::peak(Console::played(0)), 200) << "locked " << locked;
    EXPECT_EQ(f.sBarSeekLinks->value(), 205);
    // To the tone: the preview sounds.
    f.sBarSeekLinks->setValue(400);
    f.sBarSeekLinksScroll(ScrollCode::ThumbTrack);
    f.sBarSeekLinksScroll(ScrollCode::EndScroll);
    c.run(100);
    Console::played(0);
    c.run(1000);
    EXPECT_GT(qdl::test::peak(Console::played(0)), 8000) << "locked " << locked;
    f.Play_LinksMouseDown();
    c.run(1000);
    EXPECT_EQ(c.leftState(), "playing");
    EXPECT_NEAR(f.sBarSeekLinks->value(), 400 + 92, 5) << "locked " << locked;
  }
}

// The song ends when it ends without key lock: the same tick, the same
// state, the cue point afterwards.
TEST(KeyLock, TheSongEndsWhereItEndsWithoutKeyLock) {
  int ticksOf[2] = {0, 0};
  for (const bool locked : {false, true}) {
    Console c;
    TFormQuandrel& f = *c.f;
    c.addSong(fixture(kTen), "A", "T", 321);
    f.cbAutoCue->setChecked(true);
    f.LoadDB_LinksClick();
    if (locked) f.actions->press("links.keylock");
    f.actions->setValue("links.pitch", 80);
    f.sBarSeekLinks->setValue(850);
    f.sBarSeekLinksScroll(ScrollCode::EndScroll);
    f.Play_LinksMouseDown();
    int ticks = 0;
    while (c.leftState() == "playing" && ticks < 300) {
      c.run(10);
      ++ticks;
    }
    EXPECT_EQ(c.leftState(), "ended") << "locked " << locked;
    EXPECT_EQ(f.sBarSeekLinks->value(), 321);
    ticksOf[locked] = ticks;
  }
  EXPECT_EQ(ticksOf[1], ticksOf[0]);
}

// ---- The action, its keys, its button and its setting

TEST(KeyLock, ActionButtonPlayerAndStateAgree) {
  Console c;
  TFormQuandrel& f = *c.f;
  qdl::control::Actions& a = *f.actions;
  std::vector<std::pair<QString, int>> sent;
  QObject::connect(&a, &qdl::control::Actions::stateChanged,
                   [&sent](const QString& name, int state) { sent.emplace_back(name, state); });
  // Without a song too: the deck keeps it for the next load.
  for (const char* side : {"links", "rechts"}) {
    const QString name = QLatin1String(side) + QStringLiteral(".keylock");
    ASSERT_TRUE(a.contains(name));
    EXPECT_EQ(a.info(name)->kind, qdl::control::ActionKind::Press);
    EXPECT_EQ(a.state(name), 0);
    EXPECT_EQ(a.press(name).status, qdl::control::ActionResult::Done);
    EXPECT_EQ(a.state(name), 1);
  }
  EXPECT_TRUE(f.KeyLock_Links->isChecked());
  EXPECT_TRUE(f.KeyLock_Rechts->isChecked());
  EXPECT_EQ(sent,
            (std::vector<std::pair<QString, int>>{{"links.keylock", 1}, {"rechts.keylock", 1}}));
  c.addSong(fixture(kTen), "A", "T");
  f.LoadDB_LinksClick();
  ASSERT_TRUE(f.PlayerLinks);
  EXPECT_TRUE(f.PlayerLinks->KeyLock());
  // The button runs the action.
  f.KeyLock_Links->click();
  EXPECT_FALSE(f.DeckLinks->keyLock());
  EXPECT_FALSE(f.KeyLock_Links->isChecked());
  EXPECT_FALSE(f.PlayerLinks->KeyLock());
  EXPECT_EQ(a.state("links.keylock"), 0);
  EXPECT_TRUE(f.DeckRechts->keyLock());
}

TEST(KeyLock, RAndURunKeyLockAndTheTimeMovedToOneAndZero) {
  const qdl::control::KeyMap map = qdl::control::KeyMap::defaults();
  const struct {
    const char* key;
    const char* action;
  } bound[] = {
      {"R", "links.keylock"}, {"U", "rechts.keylock"}, {"1", "links.time"}, {"0", "rechts.time"}};
  for (const auto& b : bound)
    EXPECT_EQ(map.actionOf(*qdl::control::placeOfName(QLatin1String(b.key))),
              QLatin1String(b.action))
        << b.key;
}

TEST(KeyLock, TheSettingIsKeptInQdlIni) {
  QByteArray ini;
  {
    Console c;
    c.f->actions->press("rechts.keylock");
    QFile file(c.cwd.file("qdl.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ini = file.readAll();
    EXPECT_TRUE(ini.contains("KeyLockRechts=1")) << ini.constData();
  }
  Console again(ini);
  EXPECT_FALSE(again.f->DeckLinks->keyLock());
  EXPECT_TRUE(again.f->DeckRechts->keyLock());
  EXPECT_TRUE(again.f->KeyLock_Rechts->isChecked());
  EXPECT_EQ(again.f->actions->state("rechts.keylock"), 1);
}

}  // namespace
