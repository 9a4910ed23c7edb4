// The beat grid: the first downbeat and the tempo from the tracker's beats
// and the onset envelopes (a tracker locked onto the off-beats or the
// sixteenths, intros that are no whole number of bars, the beats alone),
// the octave folding towards a typed tempo, and generated songs with
// beatless intros analysed end to end (first downbeat within 10 ms).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "platform/tempo/BeatGrid.h"
#include "platform/tempo/Tempo.h"
#include "support/BeatSongs.h"

using namespace qdl::tempo;

namespace {

constexpr double kFrameRate = 44100.0 / 512;

// `x` brought into -m/2 .. m/2.
double circular(double x, double m) { return x - std::round(x / m) * m; }

struct Drums {
  double bpm = 120;
  double intro = 0;  // silence before the first downbeat
  double seconds = 40;
  double trackerShift = 0;  // where the tracker's beats fall, a share of the period
  double trackerRate = 1;   // 2: the tracker counts twice the tempo
  bool backbeat = true;     // snare on 2 and 4
  bool offbeatBass = true;  // a loud bass note on every off-beat, as in house
};

// The envelopes of a four-to-the-floor groove: a kick on every beat, a snare
// on 2 and 4, hats and bass on the off-beats, chords on the ones.
Onsets envelopes(const Drums& d) {
  Onsets o;
  o.frameRate = kFrameRate;
  const auto frames = std::size_t(d.seconds * kFrameRate);
  for (auto& band : o.flux) band.assign(frames, 0.05f);
  const double period = 60 / d.bpm;
  auto hit = [&](int band, double t, float v) {
    const auto f = std::size_t(std::lround(t * kFrameRate));
    if (f < frames) o.flux[std::size_t(band)][f] += v;
  };
  for (int k = 0; d.intro + k * period < d.seconds; ++k) {
    const double t = d.intro + k * period;
    hit(Low, t, 1.0f);
    if (k % 4 == 0) hit(LowMid, t, 0.6f);
    if (d.backbeat && k % 2 == 1) hit(HighMid, t, 1.0f);
    hit(High, t + period / 2, 1.2f);
    if (d.offbeatBass) hit(Low, t + period / 2, 1.1f), hit(LowMid, t + period / 2, 0.8f);
  }
  return o;
}

// The tracker's beats: random phase in the intro, then steady.
std::vector<double> trackerBeats(const Drums& d) {
  std::vector<double> beats;
  const double step = 60 / d.bpm / d.trackerRate;
  for (double t = 0.37; t < d.intro; t += step * 1.13) beats.push_back(t);
  const double first = d.intro + d.trackerShift * 60 / d.bpm;
  for (double t = first; t < d.seconds; t += step) beats.push_back(t);
  return beats;
}

TEST(BeatGrid, FindsTheFirstDownbeatOverIntrosAndTrackerSlips) {
  struct Case {
    const char* name;
    Drums drums;
  };
  const Case cases[] = {
      {"no intro", {120, 0}},
      {"intro of 6.3 s", {124, 6.3}},
      {"intro of whole bars", {128, 240.0 / 128 * 3}},
      {"tracker on the off-beats", {126, 2.1, 40, 0.5}},
      {"tracker on the sixteenths", {140, 5.0, 40, 0.25}},
      {"tracker at twice the tempo", {100, 3.3, 40, 0.5, 2}},
      {"no backbeat, the first beat after the intro", {132, 4.4, 40, 0, 1, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Onsets o = envelopes(c.drums);
    const BeatGrid g = findBeatGrid(c.drums.bpm, trackerBeats(c.drums), &o);
    ASSERT_TRUE(g.valid());
    EXPECT_EQ(g.bpm, c.drums.bpm);
    const double bar = 240 / c.drums.bpm;
    EXPECT_GE(g.firstBeat, -0.010);
    EXPECT_LT(g.firstBeat, bar);
    EXPECT_NEAR(circular(g.firstBeat - std::fmod(c.drums.intro, bar), bar), 0, 0.010);
  }
}

TEST(BeatGrid, FromTheBeatsAloneTheDrumsEntryIsTheOne) {
  const Drums d{120, 5.5};
  const BeatGrid g = findBeatGrid(120, trackerBeats(d));
  ASSERT_TRUE(g.valid());
  EXPECT_NEAR(g.firstBeat, 1.5, 0.002);  // 5.5 s less two bars of 2 s
}

TEST(BeatGrid, NoGridWithoutATempoOrEnoughBeats) {
  EXPECT_FALSE(findBeatGrid(0, {0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5}).valid());
  EXPECT_FALSE(findBeatGrid(120, {0.5, 1, 1.5}).valid());
  EXPECT_FALSE(findBeatGrid(120, {}).valid());
}

TEST(BeatGrid, TempoFoldsToTheOctaveNearestTheTypedOneOrNotAtAll) {
  struct Case {
    double measured, wanted;
    std::optional<double> folded;
  };
  const Case cases[] = {
      {127.6, 128, 127.6}, {63.8, 128, 127.6}, {255.2, 128, 127.6},
      {86.5, 173, 173},    {124, 128, {}},     {0, 128, {}},
      {128, 0, {}},        {140, 93, {}},      {90.25, 93, 90.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.measured);
    SCOPED_TRACE(c.wanted);
    const auto f = foldTempo(c.measured, c.wanted);
    ASSERT_EQ(f.has_value(), c.folded.has_value());
    if (f) {
      EXPECT_NEAR(*f, *c.folded, 1e-9);
    }
  }
  // The downbeats stay where they are; the first comes into the new bar.
  const BeatGrid g{2.9, 80};  // a bar of 3 s
  EXPECT_EQ(withTempo(g, 160).firstBeat, 2.9 - 1.5);
  EXPECT_EQ(withTempo(g, 160).bpm, 160);
  EXPECT_EQ(withTempo(g, 40).firstBeat, 2.9);
  EXPECT_FALSE(withTempo({}, 120).valid());
}

// Generated songs with beatless intros (kick, snare, bass and chords from
// the drums' entry), decoded and analysed as the library does.
TEST(BeatGrid, GeneratedSongsWithIntrosHaveTheirFirstDownbeatWithin10ms) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Case {
    qdl::test::BeatStyle style;
    double bpm, intro;
    unsigned seed;
  };
  const Case cases[] = {
      {qdl::test::BeatStyle::Pop, 107.5, 5.7, 17016},
      {qdl::test::BeatStyle::Techno, 129, 7.3, 17025},
      {qdl::test::BeatStyle::HardDance, 145, 4.6, 17032},
  };
  for (const Case& c : cases) {
    qdl::test::BeatSong s;
    s.style = c.style;
    s.bpm = c.bpm;
    s.introSeconds = c.intro;
    s.seconds = 30;
    s.seed = c.seed;
    SCOPED_TRACE(s.name().toStdString());
    const QString path = dir.filePath(s.name());
    const QString error = qdl::test::makeBeatSong(s, path);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    const Result r = analyseFile(path.toStdString());
    ASSERT_EQ(r.outcome, Outcome::Tempo);
    ASSERT_TRUE(r.grid.valid());
    EXPECT_NEAR(r.grid.bpm, c.bpm, 0.1);
    const double bar = 240 / c.bpm;
    EXPECT_NEAR(circular(r.grid.firstBeat - std::fmod(c.intro, bar), bar), 0, 0.010);
  }
}

TEST(BeatGrid, SongsWithoutASteadyBeatHaveNoGrid) {
  const Result r = analyseFile(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3");
  EXPECT_EQ(r.outcome, Outcome::NoTempo);
  EXPECT_FALSE(r.grid.valid());
}

}  // namespace
