// The song's envelope for the decks' overview: bins of PCM fed directly,
// parts merged at any seam, the picture's columns at any width, the bytes
// kept in the library, and whole MP3 files with a silent middle.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <cmath>

#include "platform/analysis/Overview.h"
#include "support/LevelSongs.h"

namespace {

using qdl::analysis::Column;
using qdl::analysis::Overview;
using qdl::analysis::OverviewBuilder;
using qdl::test::Stretch;

Overview built(const std::vector<std::int16_t>& pcm, int rate, int channels,
               std::size_t chunk = 1152) {
  OverviewBuilder b;
  b.start(rate, channels);
  const std::size_t frames = pcm.size() / std::size_t(channels);
  for (std::size_t at = 0; at < frames; at += chunk)
    b.add(pcm.data() + at * std::size_t(channels), std::min(chunk, frames - at));
  return b.result();
}

int level(double v) { return int(std::lround(v * 255)); }

TEST(Overview, BinsHoldPeakAndRmsOfEachTwentiethOfASecond) {
  const struct {
    int rate, channels;
    std::size_t chunk;
  } cases[] = {{44100, 2, 1152}, {22050, 1, 576}, {48000, 2, 1000}, {44100, 2, 1}, {11025, 1, 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, chunk " << c.chunk);
    // Half a second at half scale, a second of silence, a quarter second
    // at full scale, and 1/100 s at a quarter.
    const auto pcm =
        qdl::test::levelPcm({{0.5, 0.5}, {1.0, 0}, {0.25, 1.0}, {0.01, 0.25}}, c.rate, c.channels);
    const Overview o = built(pcm, c.rate, c.channels, c.chunk);
    ASSERT_EQ(o.bins(), 36u) << "35 whole bins and a partial one";
    EXPECT_DOUBLE_EQ(o.seconds(), 1.8);
    for (std::size_t b = 0; b < o.bins(); ++b) {
      SCOPED_TRACE(b);
      int peak = 0, rms = 0;
      if (b < 10) peak = level(0.5), rms = level(0.5 / std::sqrt(2.0));
      if (b >= 30 && b < 35) peak = level(1.0), rms = level(1 / std::sqrt(2.0));
      if (b == 35) continue;
      EXPECT_NEAR(o.peak[b], peak, 2);
      EXPECT_NEAR(o.rms[b], rms, 3);
    }
    EXPECT_NEAR(o.peak[35], level(0.25), 8) << "the partial bin has its own peak";
    EXPECT_LE(o.rms[35], o.peak[35]);
  }
}

TEST(Overview, PartsBuiltApartMergeIntoTheWholeAtAnySeam) {
  const int rate = 44100;
  const auto pcm = qdl::test::levelPcm({{0.3, 0.8}, {0.4, 0.1}, {0.3, 0.6}}, rate, 2);
  const Overview whole = built(pcm, rate, 2);
  const std::int64_t frames = std::int64_t(pcm.size() / 2);
  for (std::int64_t seam :
       {std::int64_t(1), std::int64_t(2205), std::int64_t(2206), std::int64_t(13001), frames - 1}) {
    SCOPED_TRACE(seam);
    OverviewBuilder first, second(seam);
    first.start(rate, 2);
    second.start(rate, 2);
    first.add(pcm.data(), std::size_t(seam));
    second.add(pcm.data() + 2 * seam, std::size_t(frames - seam));
    first.merge(second);
    EXPECT_EQ(first.result(), whole);
    // A later part alone has silent bins before its start.
    const Overview later = second.result();
    EXPECT_EQ(later.bins(), whole.bins());
    EXPECT_EQ(later.peak[0], seam >= 2205 ? 0 : whole.peak[0]);
  }
}

TEST(Overview, ColumnsMergeTheBinsTheyCoverAndLoseNoShortPeak) {
  Overview o;
  o.peak.assign(100, 0);
  o.rms.assign(100, 0);
  o.peak[37] = 255;  // one loud bin at 1.85 s
  o.rms[37] = 180;
  for (std::size_t b = 60; b < 100; ++b) o.peak[b] = 100, o.rms[b] = 50;
  const struct {
    int width;
    double seconds;
  } cases[] = {{1, 5}, {3, 5}, {7, 5}, {254, 5}, {1000, 5}, {254, 10}, {50, 2.5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " columns over " << c.seconds << " s");
    const std::vector<Column> cols = qdl::analysis::columns(o, c.width, c.seconds);
    ASSERT_EQ(int(cols.size()), c.width);
    int loud = 0;
    for (int x = 0; x < c.width; ++x) {
      const double from = x * c.seconds / c.width, to = (x + 1) * c.seconds / c.width;
      const bool coversPeak = from < 1.9 && to > 1.85;
      const bool coversTail = to > 3.0 && from < 5.0;
      if (cols[std::size_t(x)].peak == 1.0f) ++loud;
      EXPECT_EQ(cols[std::size_t(x)].peak == 1.0f, coversPeak) << x;
      if (!coversPeak) {
        EXPECT_FLOAT_EQ(cols[std::size_t(x)].peak, coversTail ? 100 / 255.0f : 0) << x;
      }
      EXPECT_LE(cols[std::size_t(x)].rms, cols[std::size_t(x)].peak) << x;
    }
    EXPECT_GE(loud, 1);
  }
  EXPECT_TRUE(qdl::analysis::columns(o, 0, 5).empty());
  EXPECT_TRUE(qdl::analysis::columns(o, 10, 0).empty());
  // A column of the uniform tail has the tail's RMS.
  EXPECT_NEAR(qdl::analysis::columns(o, 5, 5)[4].rms, 50 / 255.0, 1e-6);
}

TEST(Overview, EncodedBytesReadBackAndDamagedOnesAreRefused) {
  Overview o;
  for (int b = 0; b < 301; ++b) {
    o.peak.push_back(std::uint8_t(b % 256));
    o.rms.push_back(std::uint8_t((b % 256) / 2));
  }
  const QByteArray bytes = qdl::analysis::encode(o);
  EXPECT_EQ(bytes.size(), 6 + 2 * 301);
  EXPECT_EQ(bytes[0], 1) << "the version comes first";
  ASSERT_TRUE(qdl::analysis::decode(bytes));
  EXPECT_EQ(*qdl::analysis::decode(bytes), o);
  EXPECT_EQ(*qdl::analysis::decode(qdl::analysis::encode(Overview{})), Overview{});

  QByteArray rmsAbovePeak = bytes;
  rmsAbovePeak[6 + 301 + 1] = char(2);  // bin 1: peak 1
  QByteArray otherVersion = bytes;
  otherVersion[0] = 2;
  QByteArray noRate = bytes;
  noRate[1] = 0;
  QByteArray hugeCount = bytes;
  hugeCount[5] = char(0x7F);
  const QByteArray damaged[] = {QByteArray(),    bytes.left(5), bytes.chopped(1),
                                bytes + char(0), rmsAbovePeak,  otherVersion,
                                noRate,          hugeCount,     QByteArray(7, '\xFF')};
  for (const QByteArray& d : damaged)
    EXPECT_FALSE(qdl::analysis::decode(d)) << d.toHex().left(40).data();
}

class OverviewOfFile : public testing::Test {
 protected:
  QString song(const std::vector<Stretch>& stretches, const char* name, int rate = 44100,
               int channels = 2) {
    const QString path = dir.filePath(QLatin1String(name));
    const QStringList lame = {QStringLiteral("-b"),
                              QString::fromLatin1(channels == 1 ? "64" : "192")};
    const QString problem = qdl::test::makeLevelSong(stretches, path, rate, channels, lame);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    return path;
  }
  QTemporaryDir dir;
};

TEST_F(OverviewOfFile, ASilentMiddleShowsAsEmptyColumnsAtAnyWidthAndInAnyNumberOfParts) {
  // 25 s at half scale, 20 s of silence, 25 s at a quarter.
  const struct {
    int rate, channels;
    const char* name;
  } songs[] = {{44100, 2, "stereo.mp3"}, {22050, 1, "mono.mp3"}};
  for (const auto& s : songs) {
    const QString path = song({{25, 0.5}, {20, 0}, {25, 0.25}}, s.name, s.rate, s.channels);
    std::optional<Overview> one;
    for (int parts : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << s.name << " in " << parts << " parts");
      const std::optional<Overview> o =
          qdl::analysis::overviewOfFile(path.toStdString(), {}, parts);
      ASSERT_TRUE(o);
      EXPECT_EQ(o->bins(), 1400u);
      for (int width : {254, 70, 1400}) {
        const std::vector<Column> cols = qdl::analysis::columns(*o, width, 70);
        for (int x = 0; x < width; ++x) {
          const double from = x * 70.0 / width, to = (x + 1) * 70.0 / width;
          SCOPED_TRACE(testing::Message() << width << " columns, column " << x);
          const Column c = cols[std::size_t(x)];
          if (from >= 25.2 && to <= 44.8) {
            EXPECT_LT(c.peak, 0.01) << "silent middle";
          } else if (to <= 24.8 && from >= 0.2) {
            EXPECT_NEAR(c.peak, 0.5, 0.05);
            EXPECT_NEAR(c.rms, 0.5 / std::sqrt(2.0), 0.04);
          } else if (from >= 45.2 && to <= 69.8) {
            EXPECT_NEAR(c.peak, 0.25, 0.03);
            EXPECT_NEAR(c.rms, 0.25 / std::sqrt(2.0), 0.03);
          }
        }
      }
      if (!one) {
        one = o;
      } else {
        // A part decoded after a seek gives the same bins, within a level.
        for (std::size_t b = 0; b < o->bins(); ++b) {
          EXPECT_NEAR(o->peak[b], one->peak[b], 2) << b;
          EXPECT_NEAR(o->rms[b], one->rms[b], 2) << b;
        }
      }
    }
  }
}

TEST_F(OverviewOfFile, UnreadableOrCancelledGivesNone) {
  const QString path = song({{30, 0.5}}, "tone.mp3");
  QFile text(dir.filePath(QStringLiteral("text.mp3")));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not an mp3 file at all, just words\n");
  text.close();
  EXPECT_FALSE(qdl::analysis::overviewOfFile(text.fileName().toStdString()));
  EXPECT_FALSE(qdl::analysis::overviewOfFile(dir.filePath("missing.mp3").toStdString()));
  for (int parts : {1, 2}) {
    std::atomic<int> asked = 0;
    const auto cancelAfter = [&](int n) { return [&asked, n] { return ++asked > n; }; };
    EXPECT_FALSE(qdl::analysis::overviewOfFile(path.toStdString(), cancelAfter(0), parts));
    asked = 0;
    EXPECT_FALSE(qdl::analysis::overviewOfFile(path.toStdString(), cancelAfter(200), parts));
    asked = 0;
    EXPECT_TRUE(qdl::analysis::overviewOfFile(path.toStdString(), cancelAfter(1 << 30), parts));
  }
}

}  // namespace
