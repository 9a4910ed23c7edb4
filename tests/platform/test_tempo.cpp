// Tempo analysis end to end: generated songs of known tempo (sox, lame) come
// out within one BPM in the right octave and untouched on disk; the range
// picks the octave; a click track's non-round tempo is exact to a tenth;
// silence, a sine and noise have no tempo; unreadable files say why; a
// cancel stops between frames; analyses run side by side.
#include <gtest/gtest.h>

#include <algorithm>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/mp3/Decoder.h"
#include "platform/tempo/Estimate.h"
#include "platform/tempo/Onsets.h"
#include "platform/tempo/Tempo.h"
#include "support/BeatSongs.h"

using namespace qdl::tempo;
using qdl::test::BeatSong;
using qdl::test::BeatStyle;

namespace {

BeatSong song(BeatStyle style, double bpm, unsigned seed) {
  BeatSong s;
  s.style = style;
  s.bpm = bpm;
  s.seconds = 30;
  s.seed = seed;
  return s;
}

// The songs, each made once for the whole program.
std::vector<BeatSong> knownSongs() {
  BeatSong house = song(BeatStyle::House, 124, 101);  // beatless intro, shuffled
  house.introSeconds = 6;
  house.swing = 0.55;
  house.lameOptions = "-b 320";
  BeatSong hipHop = song(BeatStyle::HipHop, 86.5, 102);  // swung, the slow octave
  hipHop.swing = 0.6;
  hipHop.lameOptions = "-V 2";
  BeatSong dnb = song(BeatStyle::DrumAndBass, 172, 103);  // the fast octave
  BeatSong hard = song(BeatStyle::HardDance, 150, 104);   // 48 kHz mono
  hard.sampleRate = 48000;
  hard.mono = true;
  return {house, hipHop, dnb, hard};
}

QString songDir() {
  static QTemporaryDir dir;
  return dir.path();
}

std::string pathOf(const BeatSong& s) {
  const QString path = songDir() + "/" + s.name();
  if (!QFile::exists(path)) {
    const QString error = qdl::test::makeBeatSong(s, path);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  }
  return path.toStdString();
}

// A file made by sox from `effects` and encoded by lame.
std::string soxFile(const QString& name, const QStringList& effects) {
  const QString wav = songDir() + "/" + name + ".wav", mp3 = songDir() + "/" + name + ".mp3";
  if (!QFile::exists(mp3)) {
    QStringList args{"-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav};
    EXPECT_EQ(QProcess::execute("sox", args + effects), 0);
    EXPECT_EQ(QProcess::execute("lame", {"--quiet", "-b", "192", wav, mp3}), 0);
  }
  return mp3.toStdString();
}

QByteArray bytesOf(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Onsets onsetsOfFile(const std::string& path) {
  qdl::mp3::Decoder d;
  std::string reason;
  EXPECT_TRUE(d.open(path, reason)) << reason;
  OnsetTracker t(d.output().sampleRate, d.output().channels);
  while (d.decode() == qdl::mp3::DecodeStatus::Ok)
    t.feed(reinterpret_cast<const std::int16_t*>(d.frame()), d.output().samplesPerFrame);
  return t.onsets();
}

TEST(TempoAnalysis, KnownSongsComeOutWithinOneBpmAndStayUntouched) {
  for (const BeatSong& s : knownSongs()) {
    SCOPED_TRACE(s.name().toStdString());
    const std::string path = pathOf(s);
    const QByteArray before = bytesOf(path);
    const Result r = analyseFile(path);
    ASSERT_EQ(r.outcome, Outcome::Tempo);
    EXPECT_LE(std::abs(r.bpm - s.bpm), 1.0) << r.exactBpm;
    EXPECT_EQ(r.bpm, int(std::lround(r.exactBpm)));
    EXPECT_GE(r.strength, 1.0);
    EXPECT_EQ(bytesOf(path), before);
    // The tracker's beats come along: in order, within the song, and most of
    // them a beat of the tempo's family apart: half, twice, or 3/2 of the
    // period (the tracker may count another octave than the range chose,
    // or lock onto dotted beats where the analysis found the true ones, as
    // in the drum and bass song).
    ASSERT_GT(r.beats.size(), std::size_t(s.seconds * s.bpm / 60 / 4));
    EXPECT_TRUE(std::is_sorted(r.beats.begin(), r.beats.end()));
    EXPECT_GE(r.beats.front(), 0.0);
    EXPECT_LE(r.beats.back(), s.seconds);
    const double period = 60 / r.exactBpm;
    std::size_t onGrid = 0;
    std::string steps;
    for (std::size_t i = 1; i < r.beats.size(); ++i) {
      const double step = r.beats[i] - r.beats[i - 1];
      steps += std::to_string(step) + " ";
      for (double multiple : {0.5, 2.0 / 3, 1.0, 1.5, 2.0, 3.0})
        if (std::abs(step - period * multiple) < 0.05 * period * multiple) {
          ++onGrid;
          break;
        }
    }
    EXPECT_GT(onGrid, (r.beats.size() - 1) * 3 / 4) << r.exactBpm << ": " << steps;
  }
}

TEST(TempoAnalysis, RangeChoosesTheOctave) {
  const Onsets dnb = onsetsOfFile(pathOf(knownSongs()[2]));
  EXPECT_EQ(estimateTempo(dnb, {}).bpm, 172);
  EXPECT_EQ(estimateTempo(dnb, {60, 120}).bpm, 86);
  EXPECT_EQ(estimateTempo(dnb, {180, 70}).bpm, 172);  // ends in either order
  // No fold of 172 lies in 100..110: the nearer one, 86, is reported.
  EXPECT_EQ(estimateTempo(dnb, {100, 110}).bpm, 86);
  // 172.0x counts as 172 at the range's upper end.
  EXPECT_EQ(estimateTempo(dnb, {86, 172}).bpm, 172);
}

// A click track made here: a short low thump on every beat and a noise tick
// on every off-beat, 30 s of stereo at 44.1 kHz.
std::vector<std::int16_t> clickTrack(double bpm) {
  const int rate = 44100, frames = 30 * rate;
  std::vector<std::int16_t> pcm(2 * std::size_t(frames), 0);
  std::uint32_t noise = 1;
  const double beat = 60.0 * rate / bpm;
  for (int k = 0; k * beat / 2 < frames; ++k) {
    const long start = std::lround(k * beat / 2);
    for (int i = 0; i < rate / 20 && start + i < frames; ++i) {
      double v;
      if (k % 2 == 0) {
        v = 0.8 * std::sin(2 * M_PI * 60 * i / rate) * std::exp(-i / (0.015 * rate));
      } else {
        noise = noise * 1664525u + 1013904223u;
        v = 0.2 * (int(noise >> 16) / 32768.0 - 1) * std::exp(-i / (0.004 * rate));
      }
      pcm[2 * (start + i)] = pcm[2 * (start + i) + 1] = std::int16_t(v * 32767);
    }
  }
  return pcm;
}

TEST(TempoAnalysis, NonRoundTempoIsExactToATenth) {
  const std::vector<std::int16_t> pcm = clickTrack(127.5);
  OnsetTracker t(44100, 2);
  ASSERT_TRUE(t.valid());
  for (std::size_t at = 0; at < pcm.size() / 2; at += 1152)
    t.feed(pcm.data() + 2 * at, std::min<std::size_t>(1152, pcm.size() / 2 - at));
  const Result r = estimateTempo(t.onsets(), {});
  ASSERT_EQ(r.outcome, Outcome::Tempo) << r.strength;
  EXPECT_NEAR(r.exactBpm, 127.5, 0.05);
}

TEST(TempoAnalysis, SilenceSineAndNoiseHaveNoTempo) {
  const std::string files[] = {
      soxFile("silence", {"trim", "0", "20"}),
      soxFile("sine", {"synth", "20", "sine", "440", "vol", "0.5"}),
      soxFile("noise", {"synth", "20", "whitenoise", "vol", "0.5"}),
  };
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const Result r = analyseFile(f);
    EXPECT_EQ(r.outcome, Outcome::NoTempo);
    EXPECT_EQ(r.bpm, 0);
    EXPECT_LT(r.strength, 1.0);
    EXPECT_TRUE(r.beats.empty());
  }
}

TEST(TempoAnalysis, UnreadableFilesSayWhy) {
  for (const std::string& f : {std::string(QDL_FIXTURE_DIR "/corrupt_text_named.mp3"),
                               songDir().toStdString() + "/no such file.mp3"}) {
    const Result r = analyseFile(f);
    EXPECT_EQ(r.outcome, Outcome::Unreadable) << f;
    EXPECT_FALSE(r.reason.empty()) << f;
  }
}

TEST(TempoAnalysis, CancelStopsBetweenFrames) {
  const std::string path = pathOf(knownSongs()[0]);
  int asked = 0;
  Result r = analyseFile(path, {}, [&] { return ++asked == 50; });
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_EQ(asked, 50);

  asked = 0;
  r = analyseFile(path, {}, [&] { return ++asked > 0; });  // before opening
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_EQ(asked, 1);

  // Not cancelled, it is asked before every frame of the 30 s song.
  asked = 0;
  r = analyseFile(path, {}, [&] { return ++asked < 0; });
  EXPECT_EQ(r.outcome, Outcome::Tempo);
  EXPECT_GE(asked, 30 * 44100 / 1152);
}

TEST(TempoAnalysis, AnalysesRunSideBySide) {
  const std::vector<BeatSong> songs = knownSongs();
  const std::string a = pathOf(songs[0]), b = pathOf(songs[2]);
  const Result aloneA = analyseFile(a), aloneB = analyseFile(b);
  Result sideA, sideB;
  std::thread ta([&] { sideA = analyseFile(a); });
  std::thread tb([&] { sideB = analyseFile(b); });
  ta.join();
  tb.join();
  EXPECT_EQ(sideA.exactBpm, aloneA.exactBpm);
  EXPECT_EQ(sideB.exactBpm, aloneB.exactBpm);
}

}  // namespace
