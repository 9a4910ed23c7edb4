// The mixer on the virtual cards with the manual clock: levels, formats,
// resampling, and what reaches the card's output.

#include "SignalAnalysis.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace qdl::sound;
using qdl::test::render;
using qdl::test::write;

namespace {

class Mixer : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("QUANDREL_AUDIO", "virtual");
    for (int c = 0; c < VirtualCards::kCount; ++c) VirtualCards::takeCaptured(c);
    device = Device::open(VirtualCards::guid(0));
  }

  // A playing buffer of 16-bit data at 44100 Hz holding `samples`.
  std::unique_ptr<SoundBuffer> playing(const std::vector<std::int16_t>& samples, int channels = 2) {
    auto b = device->createBuffer({channels, 44100, 16}, int(samples.size() * 2));
    write(*b, 0, samples);
    b->play();
    return b;
  }

  std::unique_ptr<Device> device;
};

TEST_F(Mixer, AtTheCardRateAndFullVolumeTheOutputIsTheInput) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> dist(-32768, 32767);
  std::vector<std::int16_t> noise(2 * 44100);
  for (auto& s : noise) s = std::int16_t(dist(rng));
  auto b = playing(noise);
  std::vector<std::int16_t> out;
  for (int done = 0; done < 44100; done += 1000) {  // blocks unaligned to the mixer's
    const auto part = render(0, std::min(1000, 44100 - done));
    out.insert(out.end(), part.begin(), part.end());
  }
  ASSERT_EQ(out.size(), noise.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], noise[i], 1) << "sample " << i;
}

TEST_F(Mixer, VolumeInHundredthsOfADecibel) {
  auto b = playing(qdl::test::constant(2 * 4410, 20000));
  EXPECT_EQ(render(0, 100)[0], 20000);
  EXPECT_TRUE(b->setVolume(-600));  // 10^(-0.3) = 0.50119
  EXPECT_EQ(b->volume(), -600);
  render(0, 1024);  // the change ramps over one mixer block
  EXPECT_NEAR(render(0, 100)[1], 10024, 1);
  EXPECT_TRUE(b->setVolume(-10000));
  render(0, 1024);
  for (std::int16_t s : render(0, 500)) ASSERT_EQ(s, 0);
  // Out of range: refused, volume unchanged.
  EXPECT_FALSE(b->setVolume(1));
  EXPECT_FALSE(b->setVolume(-10001));
  EXPECT_EQ(b->volume(), -10000);
}

TEST_F(Mixer, SumsSaturateInsteadOfWrapping) {
  auto hi1 = playing({30000, -30000, 30000, -30000});
  auto hi2 = playing({30000, -30000, 30000, -30000});
  const auto out = render(0, 64);
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], 32767);
    ASSERT_EQ(out[i + 1], -32768);
  }
}

TEST_F(Mixer, MonoGoesToBothChannelsAndEightBitIsUnsigned) {
  std::vector<std::int16_t> ramp(4410);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = std::int16_t(i * 7 - 15000);
  auto mono = playing(ramp, 1);
  auto out = render(0, 4410);
  for (size_t i = 0; i < ramp.size(); ++i) {
    ASSERT_EQ(out[2 * i], ramp[i]);
    ASSERT_EQ(out[2 * i + 1], ramp[i]);
  }
  mono.reset();

  auto eight = device->createBuffer({2, 44100, 8}, 4);
  const LockedRegion r = eight->lock(0, 4);
  const unsigned char bytes[4] = {0xFF, 0x00, 0xFF, 0x00};
  std::memcpy(r.first.data(), bytes, 4);
  eight->unlock(r);
  eight->play();
  out = render(0, 10);
  EXPECT_EQ(out[0], 127 * 256);
  EXPECT_EQ(out[1], -128 * 256);
}

TEST_F(Mixer, TwoDeviceObjectsOnOneCardShareItsStream) {
  auto second = Device::open();  // the default device is card A too
  auto other = Device::open(VirtualCards::guid(1));
  EXPECT_EQ(second->description(), QStringLiteral("Virtual Card A"));
  EXPECT_EQ(other->description(), QStringLiteral("Virtual Card B"));
  auto a = playing(qdl::test::constant(2 * 441, 1000));
  auto b = second->createBuffer({2, 44100, 16}, 441 * 4);
  write(*b, 0, qdl::test::constant(2 * 441, 2000));
  b->play();
  auto c = other->createBuffer({2, 44100, 16}, 441 * 4);
  write(*c, 0, qdl::test::constant(2 * 441, 500));
  c->play();
  for (std::int16_t s : render(0, 1000)) ASSERT_EQ(s, 3000);
  for (std::int16_t s : render(1, 1000)) ASSERT_EQ(s, 500);
}

TEST_F(Mixer, PitchPlus200MakesAThousandHertzToneTwelveHundred) {
  auto b = playing(qdl::test::sine(44100, 2, 1000, 20000));  // one second, loops seamlessly
  ASSERT_TRUE(b->setFrequency(44100 + 200 * 44));
  EXPECT_EQ(b->frequency(), 52900);
  render(0, 4410);
  const auto out = qdl::test::channel(render(0, 44100), 0);
  EXPECT_NEAR(qdl::test::toneFrequency(out), 1000.0 * 52900 / 44100, 0.05);  // 1199.55 Hz
}

TEST_F(Mixer, FrequencyChangesWhilePlayingDoNotClick) {
  auto b = playing(qdl::test::sine(44100, 2, 1000, 20000));
  std::vector<std::int16_t> out;
  auto run = [&](int frames) {
    const auto part = render(0, frames);
    out.insert(out.end(), part.begin(), part.end());
  };
  run(10000);
  b->setFrequency(44144);
  run(10000);
  b->setFrequency(44100);
  run(10000);
  b->setFrequency(44100 - 200 * 44);
  run(10000);
  b->setFrequency(0);  // back to the format's own rate
  EXPECT_EQ(b->frequency(), 44100);
  run(10000);
  // The tone itself moves by at most 2*A*sin(pi*f/fs) per sample.
  const double toneStep = 2 * 20000 * std::sin(std::numbers::pi * 1001.0 / 44100);
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_LE(qdl::test::maxStep(qdl::test::channel(out, ch)), toneStep + 2);
}

TEST_F(Mixer, ResamplingKeepsSpuriousComponentsBelowMinus90Db) {
  auto b = playing(qdl::test::sine(44100, 2, 5000, 30000));
  for (int pitch : {200, -200, 80}) {
    const int hz = 44100 + pitch * 44;
    ASSERT_TRUE(b->setFrequency(hz));
    render(0, 4410);
    const auto out = qdl::test::channel(render(0, 65536), 0);
    const double db = qdl::test::spuriousDb(out, 5000.0 * hz / 44100);
    EXPECT_LE(db, -90.0) << "pitch " << pitch;
    RecordProperty(("spurious_db_pitch_" + std::to_string(pitch)).c_str(), std::to_string(db));
  }
}

TEST_F(Mixer, FrequencyLimits) {
  auto b = playing(qdl::test::constant(8, 0));
  EXPECT_TRUE(b->setFrequency(100));
  EXPECT_TRUE(b->setFrequency(200000));
  render(0, 5000);  // the widest kernel and the largest step stay within the work buffers
  EXPECT_FALSE(b->setFrequency(99));
  EXPECT_FALSE(b->setFrequency(200001));
  EXPECT_EQ(b->frequency(), 200000);
}

TEST_F(Mixer, AStoppedPrimaryOrAClosedDeviceSilencesItsBuffers) {
  auto b = playing(qdl::test::constant(2 * 441, 1000));
  device->stopPrimary();
  EXPECT_FALSE(device->isPrimaryPlaying());
  for (std::int16_t s : render(0, 500)) ASSERT_EQ(s, 0);
  EXPECT_EQ(b->currentPosition(), 0);  // not advanced either
  device->playPrimary();
  EXPECT_EQ(render(0, 10)[0], 1000);
  device.reset();
  for (std::int16_t s : render(0, 500)) ASSERT_EQ(s, 0);
  b->setVolume(-100);  // the buffer outlives its device safely
  b->stop();
  EXPECT_FALSE(b->isPlaying());
}

}  // namespace
