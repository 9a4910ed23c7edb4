// The key lock stage on generated PCM: plain blocks pass unchanged, shifted
// blocks keep the song's timeline frame for frame, a tone's pitch moves by
// the scale, a switch glides without a click, and a reset forgets the old
// place.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "SignalAnalysis.h"
#include "platform/stretch/KeyLock.h"

namespace {

using qdl::stretch::KeyLock;

constexpr int kRate = 44100;
constexpr int kBlock = 11025;  // a quarter second, as the player's halves

// A generated song: stereo frames by a function of the frame number, its
// end after `length` frames (then silence), end flags as the MP3 source
// gives them (from the block with the last sound on).
class Song {
 public:
  Song(std::function<double(std::int64_t)> wave, std::int64_t length = 1 << 30)
      : wave_(std::move(wave)), length_(length) {}
  bool read(std::int16_t* dest) {
    for (int i = 0; i < kBlock; ++i, ++frame_) {
      const double v = frame_ < length_ ? wave_(frame_) : 0.0;
      dest[2 * i] = dest[2 * i + 1] = static_cast<std::int16_t>(std::lround(v * 16000));
    }
    ++blocks_;
    return frame_ >= length_;
  }
  KeyLock::ReadBlock reader() {
    return [this](std::int16_t* d) { return read(d); };
  }
  int blocks() const { return blocks_; }
  void seek(std::int64_t frame) { frame_ = frame; }

 private:
  std::function<double(std::int64_t)> wave_;
  std::int64_t length_;
  std::int64_t frame_ = 0;
  int blocks_ = 0;
};

std::function<double(std::int64_t)> tone(double hz) {
  return [hz](std::int64_t n) { return std::sin(2 * std::numbers::pi * hz * double(n) / kRate); };
}

// Runs `blocks` blocks through the stage; `on(i)` says whether block i is
// key-locked. Returns the interleaved output.
std::vector<std::int16_t> render(KeyLock& k, Song& song, int blocks, double scale,
                                 const std::function<bool(int)>& on,
                                 std::vector<bool>* ends = nullptr) {
  std::vector<std::int16_t> out(std::size_t(blocks) * kBlock * 2);
  for (int i = 0; i < blocks; ++i) {
    const bool end = k.next(out.data() + std::size_t(i) * kBlock * 2, on(i), scale, song.reader());
    if (ends) ends->push_back(end);
  }
  return out;
}

std::vector<double> slice(const std::vector<double>& x, std::size_t from, std::size_t n) {
  return {x.begin() + std::ptrdiff_t(from), x.begin() + std::ptrdiff_t(from + n)};
}

double peakOf(const std::vector<double>& x) {
  double p = 0;
  for (const double v : x) p = std::max(p, std::abs(v));
  return p;
}

// First frame whose left sample reaches `level`.
std::int64_t onset(const std::vector<std::int16_t>& out, int level = 3000) {
  for (std::size_t i = 0; i < out.size() / 2; ++i)
    if (std::abs(out[2 * i]) >= level) return std::int64_t(i);
  return -1;
}

TEST(KeyLockStage, OffPassesTheSongUnchangedAndReadsNothingAhead) {
  KeyLock k(kRate, 2, kBlock);
  Song song(tone(440));
  Song reference(tone(440));
  std::vector<std::int16_t> expected(kBlock * 2);
  for (int i = 0; i < 8; ++i) {
    std::vector<std::int16_t> out(kBlock * 2);
    k.next(out.data(), false, 1 / 1.08, song.reader());
    reference.read(expected.data());
    ASSERT_EQ(out, expected) << "block " << i;
    EXPECT_EQ(k.heldFrames(), 0);
    EXPECT_FALSE(k.stretching());
  }
}

// A tone's pitch moves by the scale: what the player's resampler then
// raises by the pitch comes back to the tone.
struct ToneCase {
  double pitch;  // the deck's pitch, +0.08 for +8 %
  double hz;
};

class KeyLockTone : public ::testing::TestWithParam<ToneCase> {};

TEST_P(KeyLockTone, ShiftsATonesPitchByTheScale) {
  const ToneCase c = GetParam();
  KeyLock k(kRate, 2, kBlock);
  Song song(tone(c.hz));
  const auto out = render(k, song, 12, 1 / (1 + c.pitch), [](int) { return true; });
  const auto left = qdl::test::channel(out, 0);
  const double measured = qdl::test::toneFrequency(slice(left, kBlock, 10 * kBlock));
  const double wanted = c.hz / (1 + c.pitch);
  EXPECT_NEAR(measured, wanted, wanted * 0.005) << "pitch " << c.pitch;
  RecordProperty("measured_hz", std::to_string(measured));
  // Loud as the song, not faded.
  EXPECT_GT(peakOf(slice(left, kBlock, kBlock)), 0.8 * 16000);
}

INSTANTIATE_TEST_SUITE_P(PlusMinus, KeyLockTone,
                         ::testing::Values(ToneCase{0.08, 1000}, ToneCase{-0.08, 1000},
                                           ToneCase{0.2, 440}, ToneCase{-0.2, 440},
                                           ToneCase{0.0, 1000}));

// A burst after silence comes out where it went in, with key lock on from
// the start and when it is switched on just before the burst.
struct AlignCase {
  const char* name;
  std::int64_t burstAt;
  int switchOnAt;  // the first locked block
  double scale;
};

class KeyLockAlign : public ::testing::TestWithParam<AlignCase> {};

TEST_P(KeyLockAlign, TheShiftedSoundStaysOnTheSongsTimeline) {
  const AlignCase c = GetParam();
  KeyLock k(kRate, 2, kBlock);
  Song song([&c](std::int64_t n) { return n >= c.burstAt ? std::sin(0.05 * double(n)) : 0.0; });
  const auto out = render(k, song, 8, c.scale, [&c](int i) { return i >= c.switchOnAt; });
  const std::int64_t at = onset(out);
  // Within a millisecond and a half: the shifted onset is smeared a little.
  EXPECT_NEAR(double(at), double(c.burstAt), 64.0) << c.name;
  // What was read ahead is held, never more than two blocks.
  EXPECT_LE(k.heldFrames(), 2 * kBlock);
  EXPECT_EQ(song.blocks() * kBlock - k.heldFrames(), 8 * kBlock);
}

INSTANTIATE_TEST_SUITE_P(Bursts, KeyLockAlign,
                         ::testing::Values(AlignCase{"from the start, +8 %", 30000, 0, 1 / 1.08},
                                           AlignCase{"from the start, -8 %", 30000, 0, 1 / 0.92},
                                           AlignCase{"switched on before", 50000, 3, 1 / 1.08},
                                           AlignCase{"at a block's start", 4 * kBlock, 2,
                                                     1 / 0.92}),
                         [](const auto& info) { return std::to_string(info.index); });

// Switching on and off while a tone plays: every sample-to-sample step stays
// within what the tone itself makes, with some room for the crossfade.
TEST(KeyLockStage, SwitchingOnAndOffMakesNoClick) {
  KeyLock k(kRate, 2, kBlock);
  Song song(tone(1000));
  const auto out = render(k, song, 17, 1 / 1.08, [](int i) { return (i / 2) % 2 == 1; });
  const auto left = qdl::test::channel(out, 0);
  const double toneStep = 16000 * 2 * std::numbers::pi * 1000 / kRate;
  EXPECT_LT(qdl::test::maxStep(slice(left, 100, left.size() - 100)), 1.3 * toneStep);
  EXPECT_FALSE(k.stretching());
}

// The pitch scale changes while the stretcher runs (a bend): the tone
// follows, without a click.
TEST(KeyLockStage, APitchChangeWhileLockedMovesTheToneWithoutAClick) {
  KeyLock k(kRate, 2, kBlock);
  Song song(tone(1000));
  std::vector<std::int16_t> out(std::size_t(12) * kBlock * 2);
  for (int i = 0; i < 12; ++i)
    k.next(out.data() + std::size_t(i) * kBlock * 2, true, i < 6 ? 1 / 1.08 : 1 / 0.92,
           song.reader());
  const auto left = qdl::test::channel(out, 0);
  EXPECT_NEAR(qdl::test::toneFrequency(slice(left, 8 * kBlock, 4 * kBlock)), 1000 / 0.92, 5.0);
  const double toneStep = 16000 * 2 * std::numbers::pi * (1000 / 0.92) / kRate;
  EXPECT_LT(qdl::test::maxStep(slice(left, kBlock, 11 * kBlock)), 1.3 * toneStep);
}

// After a seek nothing of the old place sounds: a loud tone, a reset, and
// then only silence comes out, locked or not.
TEST(KeyLockStage, AResetForgetsTheOldPlace) {
  for (const bool locked : {false, true}) {
    KeyLock k(kRate, 2, kBlock);
    Song loud(tone(1000));
    render(k, loud, 3, 1 / 1.08, [](int) { return true; });
    k.reset();
    EXPECT_EQ(k.heldFrames(), 0);
    Song quiet([](std::int64_t) { return 0.0; });
    const auto out = render(k, quiet, 2, 1 / 1.08, [locked](int) { return locked; });
    EXPECT_EQ(peakOf(qdl::test::channel(out, 0)), 0.0) << "locked " << locked;
  }
}

// The song's end is told with the block that holds it, however far the
// stretcher read ahead.
TEST(KeyLockStage, TheEndIsToldWithItsOwnBlock) {
  for (const bool locked : {false, true}) {
    KeyLock k(kRate, 2, kBlock);
    Song song(tone(1000), 5 * kBlock + 100);  // the end in block 5
    std::vector<bool> ends;
    render(
        k, song, 8, 1 / 1.08, [locked](int) { return locked; }, &ends);
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, false, false, true, true, true}))
        << "locked " << locked;
  }
}

// A single-channel song is shifted too.
TEST(KeyLockStage, ShiftsASingleChannelSong) {
  KeyLock k(kRate, 1, kBlock);
  std::int64_t frame = 0;
  const KeyLock::ReadBlock read = [&frame](std::int16_t* d) {
    for (int i = 0; i < kBlock; ++i, ++frame)
      d[i] = static_cast<std::int16_t>(
          std::lround(16000 * std::sin(2 * std::numbers::pi * 1000 * double(frame) / kRate)));
    return false;
  };
  std::vector<std::int16_t> out(std::size_t(8) * kBlock);
  for (int i = 0; i < 8; ++i) k.next(out.data() + std::size_t(i) * kBlock, true, 1 / 1.08, read);
  std::vector<double> x(out.begin() + 2 * kBlock, out.end());
  EXPECT_NEAR(qdl::test::toneFrequency(x), 1000 / 1.08, 1000 / 1.08 * 0.005);
}

}  // namespace
