// The heard play position of one voice while output is still pending in the
// card: it follows the speed each block was rendered with and never moves
// back between two reports, except past the ring's end.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/sound/Kernel.h"
#include "platform/sound/Mixer.h"

using namespace qdl::sound;
using namespace qdl::sound::detail;

namespace {

constexpr int kRingFrames = 22050;  // half a second, as a deck's ring

struct PlayingVoice {
  PlayingVoice() : voice({2, 44100, 16}, kRingFrames * 4, std::make_shared<DeviceState>()) {
    setFrequency(44100);
    voice.playing = true;
    voice.restartLocked();
  }
  void setFrequency(int hz) { voice.setFrequencyLocked(hz, kernelBankForStep(hz / 44100.0)); }
  // Renders `frames` output frames in blocks of 441.
  void render(int frames) {
    for (int done = 0; done < frames; done += 441) {
      const int n = std::min(441, frames - done);
      std::fill(acc.begin(), acc.end(), 0.0f);
      voice.mixInto(acc.data(), n);
    }
  }
  Voice voice;
  std::vector<float> acc = std::vector<float>(2 * kMaxBlock);
};

}  // namespace

TEST(HeardPosition, PendingOutputCountsAtTheSpeedItWasRenderedWith) {
  PlayingVoice p;
  p.render(8820);
  EXPECT_NEAR(p.voice.heardPosition(4410), 4410, 1e-6);
  // Raising the pitch changes the speed of what is rendered next, not of what
  // the card still holds: the heard position stays where it is.
  p.setFrequency(44100 + 200 * 44);
  EXPECT_NEAR(p.voice.heardPosition(4410), 4410, 1e-6);
  p.render(441);
  EXPECT_NEAR(p.voice.heardPosition(4410), 4410 + 441, 1e-3);
  // Once the old output has been heard, the position moves at the new speed.
  p.render(4410);
  const double before = p.voice.heardPosition(4410);
  p.render(441);
  EXPECT_NEAR(p.voice.heardPosition(4410) - before, 441 * (44100 + 200 * 44) / 44100.0, 1e-3);
}

TEST(HeardPosition, NeverMovesBackOnLatencyJitterButPassesTheRingsEnd) {
  PlayingVoice p;
  p.render(8820);
  const double heard = p.voice.heardPosition(4410);
  EXPECT_EQ(p.voice.heardPosition(4430), heard);  // the latency figure grew a little
  EXPECT_EQ(p.voice.heardPosition(4400), heard + 10);

  // Round the ring: from near its end to just past its start.
  p.render(441);
  double last = p.voice.heardPosition(4410);
  bool wrapped = false;
  for (int i = 0; i < 60; ++i) {
    p.render(441);
    const double now = p.voice.heardPosition(4410);
    if (now < last) {
      wrapped = true;
      EXPECT_NEAR(now + kRingFrames - last, 441, 1e-3);
    } else {
      EXPECT_NEAR(now - last, 441, 1e-3);
    }
    last = now;
  }
  EXPECT_TRUE(wrapped);

  // After a long stall of the one who asks (0.88 of the ring), the position
  // is taken as it is.
  const double beforeStall = p.voice.heardPosition(4410);
  p.render(441 * 44);
  double moved = p.voice.heardPosition(4410) - beforeStall;
  if (moved < 0) moved += kRingFrames;
  EXPECT_NEAR(moved, 441 * 44, 1e-3);

  // A stop, start or cursor move forgets the last report.
  p.voice.pos = 100;
  p.voice.frac = 0;
  p.voice.restartLocked();
  EXPECT_EQ(p.voice.heardPosition(4410), 100);
}

TEST(LostCard, ACardThatStopsRenderingWhileABufferPlaysIsLost) {
  Card card(QStringLiteral("test card"));
  PlayingVoice p;
  card.voices.push_back(&p.voice);
  std::vector<std::int16_t> out(2 * 441);
  card.render(out.data(), 441, 400.0);  // a real-time clock
  EXPECT_FALSE(card.isLost());
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(card.isLost()) << "no output asked for 0.6 s while a buffer plays";
  p.voice.playing = false;
  EXPECT_FALSE(card.isLost()) << "nothing plays: a quiet card is not lost";
  card.markLost();  // the stream ended by itself
  EXPECT_TRUE(card.isLost());
  card.voices.clear();
}

// After its sleep a stream may take most of a second to give output again
// (a sound server resuming a suspended output): no false alarm then, but a
// card that never comes back is still lost.
TEST(LostCard, ACardWokenFromItsSleepHasTimeForItsFirstOutput) {
  Card card(QStringLiteral("test card"));
  PlayingVoice p;
  card.voices.push_back(&p.voice);
  p.voice.playing = false;
  std::vector<std::int16_t> out(2 * 441);
  bool asleep = false;
  for (int i = 0; i < 2 * Card::kIdleFrames / 441 && !asleep; ++i)
    asleep = card.render(out.data(), 441, 400.0);
  ASSERT_TRUE(asleep);
  p.voice.playing = true;
  card.wake();
  std::this_thread::sleep_for(Card::kLostAfter + std::chrono::milliseconds(300));
  EXPECT_FALSE(card.isLost()) << "the stream is still starting";
  std::this_thread::sleep_for(Card::kLostAfterWake - Card::kLostAfter);
  EXPECT_TRUE(card.isLost()) << "the stream never gave output again";
  card.voices.clear();
}
