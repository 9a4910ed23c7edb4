// The output buffer setting on the virtual real-time card: a deck that plays
// goes on through every change of the buffer, from where it was, without a
// refill miss, and the card renders in steps of the new buffer.
#include <gtest/gtest.h>

#include "Pcm.h"
#include "audio/Dsutil.h"
#include "platform/sound/VirtualCards.h"

#include <chrono>
#include <thread>

using namespace qdl::sound;

namespace {

// The card renders in steps of `frames` (the change reaches its thread at
// its next step); false after five seconds.
bool stepsOf(const Device& device, int frames) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (device.framesPerBuffer() != frames) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class RealtimeCard : public ::testing::Test {
 protected:
  void SetUp() override { qputenv("QUANDREL_AUDIO", "virtual-realtime"); }
  void TearDown() override {
    setOutputBuffer(kDefaultOutputBuffer);
    qputenv("QUANDREL_AUDIO", "virtual");
  }
};

TEST_F(RealtimeCard, APlayingDeckGoesOnThroughEveryBufferChange) {
  TSoundDevice device(nullptr, VirtualCards::guid(0));
  TStreamPlayer player(device.DirectSound.get(), nullptr,
                       QString::fromStdString(qdl::test::fixture("sine1k_44k_stereo_cbr128.mp3")));
  player.SetPosition(100);
  player.Play();
  EXPECT_TRUE(stepsOf(*device.DirectSound, 441)) << "the default renders 10 ms steps";
  struct Change {
    int ms;
    int step;  // frames the card renders at a time
  };
  int position = player.Update();
  for (const Change c : {Change{3, 128}, Change{6, 256}, Change{11, 512}, Change{10, 441}}) {
    SCOPED_TRACE(c.ms);
    const std::int64_t rendered = VirtualCards::renderedFrames(0);
    setOutputBuffer(c.ms);
    EXPECT_EQ(outputBuffer(), c.ms);
    ASSERT_TRUE(stepsOf(*device.DirectSound, c.step));
    // A third of a second with the deck timer's Update every 10 ms.
    for (int i = 0; i < 33; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const int now = player.Update();
      EXPECT_GE(now, position) << "the deck went back";
      EXPECT_LE(now - position, 20) << "the deck jumped on";
      position = now;
    }
    EXPECT_GT(VirtualCards::renderedFrames(0) - rendered, 44100 / 10) << "the card stood still";
    EXPECT_FALSE(device.DirectSound->isLost());
  }
  EXPECT_GT(position, 100 + 100) << "the deck did not move on";
  EXPECT_EQ(player.MainBuffer->refillMisses(), 0);
  player.Stop();
}

TEST(OutputBufferChoices, OnlyTheChoicesAreTaken) {
  struct Case {
    int ms;
    int frames;
  };
  for (const Case c : {Case{3, 128}, Case{6, 256}, Case{10, 440}, Case{11, 512}, Case{0, 0},
                       Case{4, 0}, Case{-6, 0}, Case{12, 0}, Case{1000, 0}}) {
    SCOPED_TRACE(c.ms);
    EXPECT_EQ(outputBufferFrames(c.ms), c.frames);
    if (c.frames == 0) {
      setOutputBuffer(6);
      EXPECT_THROW(setOutputBuffer(c.ms), SoundError);
      EXPECT_EQ(outputBuffer(), 6) << "a refused value changes nothing";
    } else {
      setOutputBuffer(c.ms);
      EXPECT_EQ(outputBuffer(), c.ms);
    }
  }
  setOutputBuffer(kDefaultOutputBuffer);
}

}  // namespace
