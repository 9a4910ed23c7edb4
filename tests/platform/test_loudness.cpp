// Loudness end to end: generated songs of known loudness (sox, lame),
// decoded once by the tempo analysis's pass, measured within half a LU;
// silence has no loudness; the auto-gain rule's caps.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

#include "platform/loudness/Loudness.h"
#include "platform/tempo/Tempo.h"
#include "support/LevelSongs.h"

using namespace qdl::loudness;
using qdl::test::LevelSong;

namespace {

struct LevelCase {
  const char* name;
  LevelSong song;
  double expectedPeak;  // dBTP
};

class LoudnessLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LoudnessLevels, MeasuredWithinHalfALu) {
  const LevelCase& c = GetParam();
  QTemporaryDir dir;
  const QString mp3 = dir.filePath(QStringLiteral("song.mp3"));
  ASSERT_EQ(qdl::test::makeLevelSong(c.song, mp3), QString());
  Meter meter;
  const auto result =
      qdl::tempo::analyseFile(QFile::encodeName(mp3).toStdString(), {}, {}, {&meter});
  ASSERT_NE(result.outcome, qdl::tempo::Outcome::Unreadable);
  const auto level = meter.level();
  ASSERT_TRUE(level.has_value());
  EXPECT_NEAR(level->integrated, c.song.lufs, 0.5);
  EXPECT_NEAR(level->truePeak, c.expectedPeak, 0.5);
}

LevelSong level(double lufs, int channels = 2, int rate = 44100) {
  LevelSong s;
  s.lufs = lufs;
  s.channels = channels;
  s.sampleRate = rate;
  return s;
}

INSTANTIATE_TEST_SUITE_P(Songs, LoudnessLevels,
                         ::testing::Values(LevelCase{"Quiet", level(-23), -23},
                                           LevelCase{"Reference", level(-14), -14},
                                           LevelCase{"Loud", level(-6), -6},
                                           LevelCase{"MonoOnBothSpeakers", level(-23, 1), -23},
                                           LevelCase{"At48k", level(-14, 2, 48000), -14}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Loudness, SilenceHasNoLoudness) {
  QTemporaryDir dir;
  const QString mp3 = dir.filePath(QStringLiteral("silence.mp3"));
  ASSERT_EQ(qdl::test::makeLevelSong(level(-200), mp3), QString());
  Meter meter;
  qdl::tempo::analyseFile(QFile::encodeName(mp3).toStdString(), {}, {}, {&meter});
  EXPECT_FALSE(meter.level().has_value());
}

TEST(Loudness, NothingAddedHasNoLoudness) {
  Meter meter;
  EXPECT_FALSE(meter.level().has_value());
  meter.start(44100, 2);
  EXPECT_FALSE(meter.level().has_value());
  meter.start(0, 2);  // a format that cannot be measured
  const std::int16_t pcm[4] = {1000, 1000, 1000, 1000};
  meter.add(pcm, 2);
  EXPECT_FALSE(meter.level().has_value());
}

TEST(Loudness, StartAgainForgetsTheSongBefore) {
  std::vector<std::int16_t> loud(2 * 44100 * 3);
  for (std::size_t i = 0; i < loud.size() / 2; ++i)
    loud[2 * i] = loud[2 * i + 1] =
        std::int16_t(16000 * std::sin(2 * M_PI * 1000 * double(i) / 44100));
  Meter meter;
  meter.start(44100, 2);
  meter.add(loud.data(), loud.size() / 2);
  ASSERT_TRUE(meter.level().has_value());
  meter.start(44100, 2);
  EXPECT_FALSE(meter.level().has_value());
}

struct GainCase {
  const char* name;
  Level level;
  double reference;
  double gain;
};

class AutoGain : public ::testing::TestWithParam<GainCase> {};

TEST_P(AutoGain, Rule) {
  const GainCase& c = GetParam();
  EXPECT_DOUBLE_EQ(autoGainDb(c.level, c.reference), c.gain);
}

INSTANTIATE_TEST_SUITE_P(Cases, AutoGain,
                         ::testing::Values(GainCase{"Lowered", {-6, -0.5}, -14, -8},
                                           GainCase{"AtReference", {-14, -1}, -14, 0},
                                           GainCase{"Lifted", {-23, -9}, -14, 9},
                                           GainCase{"LiftedAtMost12", {-40, -30}, -14, 12},
                                           GainCase{"HeldBackByThePeak", {-23, -1}, -14, 4},
                                           GainCase{"PeakAboveTheCapNotLifted", {-20, 3.5}, -14, 0},
                                           GainCase{
                                               "PeakAboveTheCapStillLowered", {-8, 4}, -14, -6},
                                           GainCase{"OtherReference", {-14, -1}, -18, -4},
                                           GainCase{"RoundedToATenth", {-14.04, -10}, -10.97, 3.1},
                                           GainCase{"LoweredAtMost24", {+14, 0}, -14, -24},
                                           GainCase{"NoMeasurement", {-INFINITY, 0}, -14, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
