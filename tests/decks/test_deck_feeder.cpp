// Both decks play on real-time virtual cards while the window's thread is
// held (a stuck dialog, a slow disk): the feeder thread refills their rings,
// so not one stretch of stale sound is played and the decks move on.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

#include "audio/DeckFeeder.h"
#include "decks/DeckHarness.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;

// Lets the event loop run (the deck timers tick) for `ms` milliseconds.
void runEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

class HeldWindow : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { qputenv("QUANDREL_AUDIO", "virtual-realtime"); }
  void TearDown() override { qputenv("QUANDREL_AUDIO", "virtual"); }
};

TEST_P(HeldWindow, BothDecksPlayOnWithoutARefillMiss) {
  const int heldMs = GetParam();
  Console c(2);  // a deck on each card
  TFormQuandrel& f = *c.f;
  c.addSong(fixture("sine1k_44k_stereo_cbr128.mp3"), "A", "T");  // 10 s
  f.LoadDB_LinksClick();
  f.LoadDB_RechtsClick();
  ASSERT_TRUE(f.PlayerLinks && f.PlayerRechts);
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  runEvents(200);
  const int left = f.sBarSeekLinks->value();
  const int right = f.sBarSeekRechts->value();

  std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));  // the window is stuck
  runEvents(200);

  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->refillMisses(), 0);
  // The decks went on through the song (positions in hundredths).
  EXPECT_GE(f.sBarSeekLinks->value() - left, heldMs / 10);
  EXPECT_GE(f.sBarSeekRechts->value() - right, heldMs / 10);
  EXPECT_EQ(c.leftState(), c.rightState());
  f.Play_LinksMouseDown();  // pause both
  f.Play_RechtsMouseDown();
}

INSTANTIATE_TEST_SUITE_P(OneAndFiveSeconds, HeldWindow, ::testing::Values(1000, 5000));

// The feeder refills a deck only while it plays: the seek preview keeps
// repeating its half second, and a paused deck stays where it is.
TEST_F(HeldWindow, TheFeederRefillsADeckOnlyWhileItPlays) {
  using qdl::ui::ScrollCode;
  Console c(2);
  TFormQuandrel& f = *c.f;
  c.addSong(fixture("sine1k_44k_stereo_cbr128.mp3"), "A", "T");
  f.LoadDB_RechtsClick();
  ASSERT_TRUE(f.PlayerRechts);

  f.sBarSeekRechts->setValue(500);
  f.sBarSeekRechtsScroll(ScrollCode::ThumbTrack);
  f.sBarSeekRechtsScroll(ScrollCode::EndScroll);
  const int preview = f.PlayerRechts->Source->GetTime();
  runEvents(800);
  EXPECT_EQ(f.PlayerRechts->Source->GetTime(), preview) << "the preview moved on";
  EXPECT_EQ(c.rightState(), "seeking");

  // From playing into the preview: the refills stop with the deck's timer.
  f.Play_RechtsMouseDown();
  runEvents(300);
  f.sBarSeekRechtsScroll(ScrollCode::ThumbTrack);
  runEvents(100);
  const int looping = f.PlayerRechts->Source->GetTime();
  runEvents(800);
  EXPECT_EQ(f.PlayerRechts->Source->GetTime(), looping) << "the preview moved on";
  f.sBarSeekRechtsScroll(ScrollCode::EndScroll);

  f.Play_RechtsMouseDown();
  runEvents(300);
  f.Play_RechtsMouseDown();
  ASSERT_EQ(c.rightState(), "paused");
  runEvents(100);
  const int paused = f.sBarSeekRechts->value();
  const int cursor = f.PlayerRechts->MainBuffer->currentPosition();
  runEvents(800);
  EXPECT_EQ(f.sBarSeekRechts->value(), paused);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->currentPosition(), cursor);

  // Playing, it is refilled all along. (The preview's loop counted as misses:
  // it plays the same half second again and again.)
  const int misses = f.PlayerRechts->MainBuffer->refillMisses();
  f.Play_RechtsMouseDown();
  runEvents(1500);
  EXPECT_GE(f.sBarSeekRechts->value() - paused, 100);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->refillMisses(), misses);
  f.Play_RechtsMouseDown();

  // With nothing playing the feeder sleeps: an idle console wakes nobody.
  runEvents(100);
  const std::int64_t rounds = qdl::DeckFeeder::instance().rounds();
  runEvents(600);
  EXPECT_LE(qdl::DeckFeeder::instance().rounds() - rounds, 1);
}

}  // namespace
