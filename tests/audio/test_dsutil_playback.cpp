// The stream player end to end on the virtual cards' manual clock: what a
// deck that calls Update every 10 ms actually puts out.
#include <gtest/gtest.h>

#include "Pcm.h"
#include "SignalAnalysis.h"
#include "audio/Dsutil.h"
#include "platform/sound/VirtualCards.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

using qdl::sound::VirtualCards;
using qdl::test::fixture;

namespace {

constexpr int kTick = 441;  // frames of 10 ms at the cards' 44100 Hz

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qgetenv("QUANDREL_AUDIO"), "virtual");
    main = std::make_unique<TSoundDevice>(nullptr, VirtualCards::guid(0));
    head = std::make_unique<TSoundDevice>(nullptr, VirtualCards::guid(1));
    VirtualCards::takeCaptured(0);
    VirtualCards::takeCaptured(1);
  }
  void TearDown() override {
    VirtualCards::takeCaptured(0);
    VirtualCards::takeCaptured(1);
  }

  // Lets both cards play `ticks` times 10 ms, with the deck timer's Update
  // after each tick. Stops early (returning false) when the player has met
  // the end three times, as the deck does.
  static bool run(TStreamPlayer& p, int ticks, bool update = true) {
    for (int i = 0; i < ticks; ++i) {
      VirtualCards::advance(0, kTick);
      VirtualCards::advance(1, kTick);
      if (update) p.Update();
      if (p.EndCount >= 3) return false;
    }
    return true;
  }

  std::unique_ptr<TSoundDevice> main;
  std::unique_ptr<TSoundDevice> head;
};

int maxJump(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
  int jump = 0;
  for (std::size_t i = std::max<std::size_t>(from, 2); i < to && i < s.size(); i += 2)
    jump = std::max(jump, std::abs(int(s[i]) - int(s[i - 2])));
  return jump;
}

TEST_F(PlaybackTest, AtPitchZeroAndFullVolumeTheOutputIsTheDecodedPcmFromItsFirstSample) {
  const std::string file = fixture("sine1k_44k_stereo_cbr128.mp3");
  // The song as the decoder gives it, from its first sample on.
  const std::vector<std::uint8_t> pcm = qdl::test::decodeAll(file);
  const auto ref = qdl::test::samples(pcm.data(), pcm.size());
  TStreamPlayer p(main->DirectSound.get(), nullptr, QString::fromStdString(file));
  p.SetPosition(0);
  p.Play();
  run(p, 800);
  const std::vector<std::int16_t> out = VirtualCards::takeCaptured(0);
  ASSERT_EQ(out.size(), 800u * kTick * 2);

  // After the limiter's look-ahead comes sample 0, fading in over 3 ms, then
  // the decoded PCM itself.
  const std::size_t delay = 2 * qdl::sound::Device::kOutputDelayFrames;
  for (std::size_t i = 0; i < delay; ++i) ASSERT_EQ(out[i], 0);
  const int fade = TStreamPlayer::kFadeFrames;
  const std::size_t n = std::min(out.size() - delay, ref.size() - 2 * 44100);
  ASSERT_GT(n, 7u * 44100 * 2);
  int worst = 0;
  std::size_t where = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int k = int(i / 2) + 1;
    const double f = k >= fade ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * k / fade);
    const int diff = int(std::lround(std::abs(out[delay + i] - ref[i] * f)));
    if (diff > worst) worst = diff, where = i;
  }
  RecordProperty("worst_lsb", worst);
  EXPECT_LE(worst, 1) << "at sample " << where;
  EXPECT_EQ(p.MainBuffer->refillMisses(), 0);
}

TEST_F(PlaybackTest, PitchPlus200RaisesA1kHzToneTo1200Hz) {
  TStreamPlayer p(main->DirectSound.get(), nullptr,
                  QString::fromStdString(fixture("sine1k_44k_stereo_cbr128.mp3")));
  p.SetPosition(0);
  p.SetPitch(200);
  p.Play();
  run(p, 300);
  const std::vector<std::int16_t> out = VirtualCards::takeCaptured(0);
  const std::vector<std::int16_t> tail(out.begin() + 44100, out.end());  // past the start
  const double hz = qdl::test::crossingsPerSecond(tail, 2, 44100) / 2;
  EXPECT_NEAR(hz, 1000.0 * (44100 + 200 * 44) / 44100, 5.0);
  EXPECT_EQ(p.MainBuffer->refillMisses(), 0);
}

TEST_F(PlaybackTest, APitchChangeWhilePlayingMakesNoClick) {
  const std::string file = fixture("sine1k_44k_stereo_cbr128.mp3");
  const std::vector<std::uint8_t> pcm = qdl::test::decodeAll(file);
  const auto ref = qdl::test::samples(pcm.data(), pcm.size());
  const int toneJump = maxJump(ref, 0, ref.size() - 44100 * 2);

  TStreamPlayer p(main->DirectSound.get(), nullptr, QString::fromStdString(file));
  p.SetPosition(0);
  p.Play();
  run(p, 100);
  p.SetPitch(1);
  run(p, 100);
  p.SetPitch(0);
  run(p, 100);
  p.SetPitch(200);
  run(p, 100);
  p.SetPitch(-200);
  run(p, 100);
  const std::vector<std::int16_t> out = VirtualCards::takeCaptured(0);
  // A 1 kHz tone at 1.2 kHz changes 20 % faster from sample to sample.
  EXPECT_LE(maxJump(out, 0, 300 * kTick * 2), toneJump + toneJump / 100 + 2);
  EXPECT_LE(maxJump(out, 0, out.size()), toneJump * 6 / 5 + toneJump / 100 + 2);
  EXPECT_EQ(p.MainBuffer->refillMisses(), 0);
}

TEST_F(PlaybackTest, ASeekWhilePlayingNeverPlaysWhatTheRingHeld) {
  // The half of the ring that is not playing holds a marker, a constant far
  // from the tone's zero mean; it must never be heard after a seek.
  TStreamPlayer p(main->DirectSound.get(), nullptr,
                  QString::fromStdString(fixture("sine1k_44k_stereo_200_5s.mp3")));
  p.SetPosition(0);
  p.Play();
  run(p, 30);  // the cursor is in the second half now
  ASSERT_GE(p.MainBuffer->currentPosition(), p.HalfBytes);
  const std::vector<std::int16_t> marker(std::size_t(p.HalfBytes / 2), 12000);
  const qdl::sound::LockedRegion r = p.MainBuffer->lock(0, p.HalfBytes);
  std::memcpy(r.first.data(), marker.data(), r.first.size());
  p.MainBuffer->unlock(r);
  VirtualCards::takeCaptured(0);
  for (int target : {15000, 700, 12345}) {
    p.SetPosition(target);
    run(p, 40);
  }
  const auto out = qdl::test::channel(VirtualCards::takeCaptured(0), 0);
  double worst = 0;
  for (std::size_t at = 0; at + 441 <= out.size(); at += 147) {
    double mean = 0;
    for (std::size_t i = at; i < at + 441; ++i) mean += out[i] / 441.0;
    worst = std::max(worst, std::abs(mean));
  }
  EXPECT_LT(worst, 1000) << "the marker reached the output";
}

TEST_F(PlaybackTest, TheEndIsMetThreeTimesJustAfterTheLastSound) {
  // A 3 s song; its last sound lies in the block from 3.0 s on.
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  QString::fromStdString(fixture("sine1k_44k_stereo_id3v2.mp3")));
  ASSERT_EQ(p.Source->Duration, 300);
  p.SetPosition(0);
  p.Play();
  int ticks = 0;
  while (p.EndCount < 3 && ticks < 1000) {
    run(p, 1);
    ++ticks;
  }
  p.Stop();
  EXPECT_EQ(p.EndCount, 3);
  RecordProperty("end_ticks", ticks);
  EXPECT_GE(ticks, 295) << "not before the song has played";
  EXPECT_LE(ticks, 300 + 30);
  const std::vector<std::int16_t> out = VirtualCards::takeCaptured(0);
  // The tone was heard up to its end.
  ASSERT_GE(out.size(), 2u * 44100 * 295 / 100);
  const std::vector<std::int16_t> lastSound(out.begin() + 2 * 44100 * 285 / 100,
                                            out.begin() + 2 * 44100 * 295 / 100);
  EXPECT_GT(qdl::test::rms(lastSound), 5000);
  EXPECT_EQ(p.MainBuffer->refillMisses(), 0);
  EXPECT_EQ(p.HeadBuffer->refillMisses(), 0);
}

TEST_F(PlaybackTest, RefillsKeepUpAtTenMillisecondsAndAStallIsCounted) {
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  QString::fromStdString(fixture("sine1k_44k_stereo_cbr128.mp3")));
  p.SetPosition(0);
  p.Play();
  run(p, 150);
  p.SetPitch(200);
  run(p, 120);
  p.SetPosition(500);  // a seek while playing
  run(p, 77);
  p.SetPitch(-200);
  run(p, 93);
  p.Stop();
  run(p, 20);  // paused
  p.Play();
  p.SetPosition(150);
  p.SetPitch(3);
  int ticks = 0;
  while (run(p, 1)) ++ticks;  // to the end of the song
  EXPECT_GT(ticks, 800);
  EXPECT_EQ(p.MainBuffer->refillMisses(), 0);
  EXPECT_EQ(p.HeadBuffer->refillMisses(), 0);

  // The deck timer stalls for 300 ms while the cursor is about to leave the
  // first half: the cursor comes back to that half before it was refilled.
  p.EndCount = 0;
  p.SetPitch(0);
  p.SetPosition(0);
  run(p, 60);
  while (p.MainBuffer->currentPosition() < p.HalfBytes - 2 * kTick * 4 ||
         p.MainBuffer->currentPosition() >= p.HalfBytes)
    run(p, 1);
  run(p, 30, false);
  run(p, 30);
  EXPECT_GE(p.MainBuffer->refillMisses(), 1);
  EXPECT_GE(p.HeadBuffer->refillMisses(), 1);
}

}  // namespace
