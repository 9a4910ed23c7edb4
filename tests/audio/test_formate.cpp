// TMp3Source on generated files: format fields, block assembly with the
// carry-over over whole songs, the end of the input, the time of the next
// byte, seeking, and refusal of unusable files.
#include <gtest/gtest.h>

#include "Pcm.h"
#include "audio/Formate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

using qdl::Mp3OpenError;
using qdl::TMp3Source;
using qdl::test::fixture;

namespace {

QString path(const char* name) { return QString::fromStdString(fixture(name)); }

TEST(Mp3SourceFormat, StereoFieldsAt44100) {
  TMp3Source s(path("sine1k_44k_stereo_cbr128.mp3"));
  EXPECT_EQ(s.SampleRate, 44100);
  EXPECT_EQ(s.BitsPerSample, 16);
  EXPECT_EQ(s.Channels, 2);
  EXPECT_EQ(s.BytesPerSecond, 176400);
  EXPECT_EQ(s.BufferBytes, 88200);
  EXPECT_EQ(s.Duration, 1000);
  EXPECT_EQ(s.FrameBytes, 4608);
  EXPECT_EQ(s.FramesPerBlock, 10);
  EXPECT_DOUBLE_EQ(s.FrameSeconds, 1152.0 / 44100);
  EXPECT_EQ(s.CarryBytes, 0);
  EXPECT_EQ(s.GetTime(), 0);
}

TEST(Mp3SourceFormat, SingleChannelFile) {
  TMp3Source s(path("sine1k_22k_mono_cbr64.mp3"));
  EXPECT_EQ(s.Channels, 1);
  EXPECT_EQ(s.SampleRate, 22050);
  EXPECT_EQ(s.BytesPerSecond, s.SampleRate * s.BitsPerSample / 8);
  EXPECT_EQ(s.FrameBytes, 1152);  // 576 samples per MPEG-2 frame
  // Half a second is 22050 bytes; each half of the ring holds whole frames.
  EXPECT_EQ(s.BufferBytes, 22048);
  EXPECT_EQ(s.FramesPerBlock, 10);
}

TEST(Mp3SourceFormat, LengthIsWholeSecondsAlsoForVbr) {
  EXPECT_EQ(TMp3Source(path("sine1k_44k_stereo_200_5s.mp3")).Duration, 20000);
  TMp3Source vbr(path("sine1k_noise_48k_stereo_vbr.mp3"));
  EXPECT_EQ(vbr.Duration, 1000);
  EXPECT_EQ(vbr.BufferBytes, 96000);
  EXPECT_EQ(vbr.FramesPerBlock, 11);
}

TEST(Mp3SourceFormat, UnusableFilesThrowWithFileAndReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"corrupt_empty.mp3", "empty file"},
      {"corrupt_random.mp3", "not MP3 data"},
      {"corrupt_wav_named.mp3", "not MP3 data"},
      {"corrupt_text_named.mp3", "not MP3 data"},
      {"corrupt_truncated_in_tag.mp3", "not MP3 data"},
      {"no_such_file.mp3", "cannot read: No such file or directory"},
  };
  for (const auto& [name, why] : cases) {
    try {
      TMp3Source s(path(name));
      ADD_FAILURE() << name << " opened";
    } catch (const Mp3OpenError& e) {
      EXPECT_EQ(e.fileName(), path(name));
      EXPECT_TRUE(e.reason().startsWith(why)) << e.reason().toStdString();
      EXPECT_EQ(std::string(e.what()), (path(name) + ": " + e.reason()).toStdString());
    }
  }
}

// Reads a whole song block by block and checks each block against the
// decoder's plain frame stream.
class Mp3SourceBlocks : public ::testing::TestWithParam<const char*> {};

TEST_P(Mp3SourceBlocks, WholeSongInExactBlocksThenSilence) {
  TMp3Source s(path(GetParam()));
  auto ref = qdl::test::decodeAll(fixture(GetParam()));
  {
    // The song's last 3 ms glide to silence (a raised cosine).
    qdl::mp3::Decoder d;
    std::string why;
    ASSERT_TRUE(d.open(fixture(GetParam()), why));
    const long total = long(d.input().totalSamples), fade = s.SampleRate * 3 / 1000;
    for (long n = total - fade; n < total; ++n)
      for (int ch = 0; ch < s.Channels; ++ch) {
        std::int16_t v;
        std::memcpy(&v, &ref[std::size_t(n * s.Channels + ch) * 2], 2);
        v = std::int16_t(std::lround(
            v * (0.5 + 0.5 * std::cos(std::numbers::pi * (n - total + fade + 1) / fade))));
        std::memcpy(&ref[std::size_t(n * s.Channels + ch) * 2], &v, 2);
      }
  }
  const std::size_t half = s.BufferBytes / 2;
  const int align = s.Channels * 2;
  std::vector<std::uint8_t> block(half + 64);
  std::size_t out = 0;  // bytes handed out so far
  int ends = 0;
  bool firstEndSeen = false;
  while (ends < 3) {
    std::fill(block.begin(), block.end(), 0xCD);
    const int r = s.ReadBlock(block.data());
    ASSERT_TRUE(r == 0 || r == 10);
    for (std::size_t i = half; i < block.size(); ++i) ASSERT_EQ(block[i], 0xCD) << "overran block";
    ASSERT_LT(s.CarryBytes, 2 * s.FrameBytes);
    ASSERT_EQ(s.CarryBytes % align, 0);
    ASSERT_DOUBLE_EQ(s.CarryTime, s.CarryBytes * 100.0 / s.BytesPerSecond);
    // Same samples as the plain stream; a seek back to 0 after probing may
    // leave the decoder's filter state a few steps of 1/32768 apart.
    for (std::size_t i = 0; i + 1 < half; i += 2) {
      std::int16_t got, want = 0;
      std::memcpy(&got, &block[i], 2);
      if (out + i + 1 < ref.size()) std::memcpy(&want, &ref[out + i], 2);
      ASSERT_LE(std::abs(got - want), 4) << "byte " << out + i;
    }
    if (r == 10) {
      ++ends;
      if (!firstEndSeen) {
        // The first end report comes with the block that holds the last bytes.
        EXPECT_LE(out, ref.size());
        EXPECT_GE(out + half, ref.size());
        firstEndSeen = true;
      }
    } else {
      ASSERT_LT(out + half, ref.size()) << "song ended without an end report";
    }
    out += half;
    // The next byte's time: the time code (whole hundredths, rounded down)
    // less the carry-over's time, truncated: at most 2 hundredths early.
    const double exact = out * 100.0 / s.BytesPerSecond;
    ASSERT_LE(s.GetTime(), exact) << "after " << out << " bytes";
    ASSERT_GT(s.GetTime(), exact - 2) << "after " << out << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Mp3SourceBlocks,
                         ::testing::Values("sine1k_44k_stereo_cbr128.mp3",
                                           "sine1k_22k_mono_cbr64.mp3",
                                           "sine1k_noise_48k_stereo_vbr.mp3",
                                           "sine1k_44k_stereo_id3v2.mp3"));

class Mp3SourceSeek : public ::testing::Test {
 protected:
  Mp3SourceSeek()
      : s(path("sine1k_noise_48k_stereo_vbr.mp3")),
        ref(qdl::test::samples(
            qdl::test::decodeAll(fixture("sine1k_noise_48k_stereo_vbr.mp3")).data(), 480000 * 4)),
        block(s.BufferBytes / 2) {}
  std::vector<std::int16_t> next() {
    s.ReadBlock(block.data());
    return qdl::test::samples(block.data(), block.size());
  }
  TMp3Source s;
  std::vector<std::int16_t> ref;
  std::vector<std::uint8_t> block;
};

TEST_F(Mp3SourceSeek, GetTimeIsTheTargetAndTheNextBlockStartsThere) {
  for (int t : {725, 550, 901, 600, 777}) {
    s.Seek(t);
    EXPECT_EQ(s.GetTime(), t);
    EXPECT_LE(s.CarryBytes, s.FrameBytes);
    EXPECT_EQ(s.CarryBytes % 4, 0);
    // The block starts at t (480 sample frames per hundredth): the decoder
    // lands exactly one frame before t, so the carry-over is empty.
    const auto b = next();
    EXPECT_LE(std::abs(qdl::test::bestShift(ref, b, t * 480L, 2, 1200)), 1) << "at " << t;
    EXPECT_NEAR(s.GetTime(), t + 25, 1);  // a block is a quarter second
  }
}

TEST_F(Mp3SourceSeek, StartsAtTheTargetsSampleAlsoAtZeroAndWithinTheFirstFrame) {
  next();
  next();
  const auto bytes = qdl::test::decodeAll(fixture("sine1k_noise_48k_stereo_vbr.mp3"));
  for (int t : {0, 1, 2, 3, 0}) {
    s.Seek(t);
    EXPECT_EQ(s.GetTime(), t);
    EXPECT_EQ(s.CarryBytes, 0);
    // The block is the song from sample t * 480 on: at 0 from its very
    // first sample.
    s.ReadBlock(block.data());
    const std::size_t from = std::size_t(t) * 480 * 4;
    EXPECT_TRUE(std::equal(block.begin(), block.end(), bytes.begin() + from)) << "at " << t;
  }
}

TEST_F(Mp3SourceSeek, PastTheEndGivesSilenceAndBackAgainGivesSound) {
  while (s.ReadBlock(block.data()) != 10) {
  }
  s.Seek(300);
  EXPECT_EQ(s.GetTime(), 300);
  EXPECT_EQ(s.ReadBlock(block.data()), 0);
  EXPECT_GT(qdl::test::rms(qdl::test::samples(block.data(), block.size())), 5000);
  s.Seek(1200);  // two seconds after the end
  EXPECT_EQ(s.ReadBlock(block.data()), 10);
  EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
  s.Seek(-50);
  EXPECT_EQ(s.GetTime(), 0);
}

}  // namespace
