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

// Every card plays what is mixed this many frames later (the limiter's look-ahead).
constexpr int kDelay = Device::kOutputDelayFrames;

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
  render(0, kDelay);
  std::vector<std::int16_t> out;
  for (int done = 0; done < 44100; done += 1000) {  // blocks unaligned to the mixer's
    const auto part = render(0, std::min(1000, 44100 - done));
    out.insert(out.end(), part.begin(), part.end());
  }
  ASSERT_EQ(out.size(), noise.size());
  // Full-scale noise, -32768 included, passes the limiter unchanged.
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], noise[i]) << "sample " << i;
}

TEST_F(Mixer, VolumeInHundredthsOfADecibel) {
  auto b = playing(qdl::test::constant(2 * 4410, 20000));
  EXPECT_EQ(render(0, kDelay + 100)[2 * kDelay], 20000);
  EXPECT_TRUE(b->setVolume(-600));  // 10^(-0.3) = 0.50119
  EXPECT_EQ(b->volume(), -600);
  render(0, 1024 + kDelay);  // the change ramps over one mixer block
  EXPECT_NEAR(render(0, 100)[1], 10024, 1);
  EXPECT_TRUE(b->setVolume(-10000));
  render(0, 1024 + kDelay);
  for (std::int16_t s : render(0, 500)) ASSERT_EQ(s, 0);
  // Out of range: refused, volume unchanged.
  EXPECT_FALSE(b->setVolume(1));
  EXPECT_FALSE(b->setVolume(-10001));
  EXPECT_EQ(b->volume(), -10000);
}

// The gain trim works with the volume: a cut, a lift above full level
// (which the volume alone cannot give), silence at the volume's bottom.
TEST_F(Mixer, GainTrimsBeforeTheVolumeAndLiftsAboveFullLevel) {
  auto b = playing(qdl::test::constant(2 * 4410, 10000));
  const struct {
    int gain, volume, expected;
  } steps[] = {
      {-600, 0, 5012},     // 10^(-0.3)
      {600, 0, 19953},     // 10^(+0.3): above the sample's own level
      {600, -600, 10000},  // the volume takes back what the gain lifted
      {1200, 0, 31655},    // 39811 is held at the limiter's ceiling
      {0, 0, 10000},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.gain);
    ASSERT_TRUE(b->setGain(s.gain));
    ASSERT_TRUE(b->setVolume(s.volume));
    EXPECT_EQ(b->gain(), s.gain);
    EXPECT_EQ(b->volume(), s.volume);
    render(0, 3 * 44100);  // the ramp, and the limiter's recovery
    EXPECT_NEAR(render(0, 100)[1], s.expected, 2);
  }
  ASSERT_TRUE(b->setGain(1200));
  ASSERT_TRUE(b->setVolume(-10000));  // the bar's bottom stays silent
  render(0, 1024 + kDelay);
  for (std::int16_t v : render(0, 500)) ASSERT_EQ(v, 0);
  EXPECT_FALSE(b->setGain(1201));
  EXPECT_FALSE(b->setGain(-2401));
  EXPECT_EQ(b->gain(), 1200);
}

TEST_F(Mixer, SumsPastFullScaleAreLimitedInsteadOfClipped) {
  // Two loud tones of whole periods per second, so their buffers loop
  // seamlessly: at 44100 Hz and full volume the card's input is exactly
  // their sum, which reaches 40000.
  const auto a = qdl::test::sine(44100, 2, 1000, 20000);
  const auto b = qdl::test::sine(44100, 2, 441, 20000);
  auto one = device->createBuffer({2, 44100, 16}, 44100 * 4);
  auto two = device->createBuffer({2, 44100, 16}, 44100 * 4);
  write(*one, 0, a);
  write(*two, 0, b);
  one->play();
  two->play();
  render(0, kDelay);  // from here on output frame f is the mix of frame f
  long at = 0;        // mix frame of the next output frame
  // The sum at mix frame f, channel ch, with the second tone at gain g.
  auto sum = [&](long f, int ch, double g = 1.0) {
    const size_t i = size_t(f % 44100) * 2 + size_t(ch);
    return a[i] + b[i] * g;
  };

  const auto loud = render(0, 44100);
  EXPECT_LE(qdl::test::peakOf(loud), 31656) << "nothing at the rails: the ceiling is -0.3 dB";
  // The gain starts to fall at most 5 ms before the first sum that passes
  // full scale, and not at all before.
  long firstOver = -1, firstChange = -1;
  for (long f = 0; f < 44100; ++f)
    for (int ch = 0; ch < 2; ++ch) {
      if (firstOver < 0 && std::abs(sum(f, ch)) > 32767) firstOver = f;
      if (firstChange < 0 && loud[size_t(2 * f + ch)] != sum(f, ch)) firstChange = f;
    }
  ASSERT_GT(firstOver, 0);
  EXPECT_GE(firstChange, firstOver - 220);
  EXPECT_LE(firstChange, firstOver);
  at += 44100;

  // Below full scale again, the gain comes back: within 1 % after a second,
  // and after two the output is the plain sum.
  ASSERT_TRUE(two->setVolume(-600));  // the sum's peak is now 30024
  const double g = std::pow(10.0, -600 / 2000.0);
  render(0, 44100);
  at += 44100;
  auto worst = [&](const std::vector<std::int16_t>& out) {
    double w = 0;
    for (size_t i = 0; i < out.size(); ++i)
      w = std::max(w, std::abs(out[i] - sum(at + long(i / 2), int(i % 2), g)));
    return w;
  };
  EXPECT_LT(worst(render(0, 4410)), 330);
  at += 4410;
  render(0, 44100 - 4410);
  at += 44100 - 4410;
  EXPECT_LE(worst(render(0, 4410)), 1.0);
}

TEST_F(Mixer, ACursorMoveWhilePlayingCrossfadesFromTheOldBytes) {
  // Old bytes +10000, new bytes -10000, written and moved to in one step:
  // the old position fades out while the new one fades in, so the output
  // glides from +10000 to -10000. A tail taken from the new bytes would jump.
  auto b = device->createBuffer({2, 44100, 16}, 4410 * 4);
  write(*b, 0, qdl::test::constant(2 * 4410, 10000));
  EXPECT_EQ(b->fadeFrames(), 0) << "no fades unless asked for";
  EXPECT_FALSE(b->setFadeFrames(1025));
  ASSERT_TRUE(b->setFadeFrames(132));
  b->play();
  render(0, 2000);
  const LockedRegion r = b->lock(0, b->bytes());
  const auto low = qdl::test::constant(2 * 4410, -10000);
  std::memcpy(r.first.data(), low.data(), r.first.size());
  EXPECT_THROW(b->unlockAndMove(r, b->bytes()), SoundError);
  b->unlockAndMove(r, 0);
  const auto out = qdl::test::channel(render(0, 1000), 0);
  EXPECT_EQ(out.front(), 10000);
  EXPECT_EQ(out.back(), -10000);
  EXPECT_LE(qdl::test::maxStep(out), 20000 * std::numbers::pi / (2 * 132) + 2);
  EXPECT_EQ(b->currentPosition(), (1000 - kDelay) * 4);
}

TEST_F(Mixer, MonoGoesToBothChannelsAndEightBitIsUnsigned) {
  std::vector<std::int16_t> ramp(4410);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = std::int16_t(i * 7 - 15000);
  auto mono = playing(ramp, 1);
  auto out = render(0, 4410 + kDelay);
  for (size_t i = 0; i < ramp.size(); ++i) {
    ASSERT_EQ(out[2 * (kDelay + i)], ramp[i]);
    ASSERT_EQ(out[2 * (kDelay + i) + 1], ramp[i]);
  }
  mono.reset();

  auto eight = device->createBuffer({2, 44100, 8}, 4);
  const LockedRegion r = eight->lock(0, 4);
  const unsigned char bytes[4] = {0xFF, 0x00, 0xFF, 0x00};
  std::memcpy(r.first.data(), bytes, 4);
  eight->unlock(r);
  eight->play();
  render(0, kDelay);
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
  render(0, kDelay);
  render(1, kDelay);
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
  EXPECT_EQ(render(0, kDelay + 10)[2 * kDelay], 1000);
  device.reset();
  render(0, kDelay);  // what was mixed before the close
  for (std::int16_t s : render(0, 500)) ASSERT_EQ(s, 0);
  b->setVolume(-100);  // the buffer outlives its device safely
  b->stop();
  EXPECT_FALSE(b->isPlaying());
}

}  // namespace
