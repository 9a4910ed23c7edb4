// The MP3 decoder layer on generated files: format and exact length,
// fixed-size frames with a padded last frame, sample-exact seeking, and
// clean refusal of files that are no usable MP3 data.
#include <gtest/gtest.h>

#include "Pcm.h"

#include <QTemporaryDir>

#include <cmath>
#include <stdexcept>

#include <sys/stat.h>

using qdl::mp3::Decoder;
using qdl::mp3::DecodeStatus;
using qdl::test::fixture;

namespace {

struct Expected {
  const char* file;
  int rate;
  int channels;
  int samplesPerFrame;
  int mode;
  long totalSamples;
  int durationSeconds;
};

class DecoderFormat : public ::testing::TestWithParam<Expected> {};

TEST_P(DecoderFormat, DescribesFormatAndExactLength) {
  const Expected& e = GetParam();
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(fixture(e.file), reason)) << reason;
  EXPECT_EQ(d.output().sampleRate, e.rate);
  EXPECT_EQ(d.output().channels, e.channels);
  EXPECT_EQ(d.output().bytesPerSample, 2);
  EXPECT_EQ(d.output().samplesPerFrame, e.samplesPerFrame);
  EXPECT_EQ(d.output().frameBytes, e.samplesPerFrame * e.channels * 2);
  EXPECT_EQ(d.status().mode == qdl::mp3::ModeSingleChannel, e.mode == 3);
  // Gapless decoding gives back exactly the encoded signal's length.
  EXPECT_EQ(d.input().totalSamples, e.totalSamples);
  EXPECT_EQ(d.input().durationSeconds, e.durationSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DecoderFormat,
    ::testing::Values(Expected{"sine1k_44k_stereo_cbr128.mp3", 44100, 2, 1152, 1, 441000, 10},
                      Expected{"sine1k_22k_mono_cbr64.mp3", 22050, 1, 576, 3, 220500, 10},
                      Expected{"sine1k_noise_48k_stereo_vbr.mp3", 48000, 2, 1152, 1, 480000, 10},
                      Expected{"sine1k_44k_stereo_200_5s.mp3", 44100, 2, 1152, 1, 8842050, 200},
                      Expected{"sine1k_44k_stereo_id3v2.mp3", 44100, 2, 1152, 1, 132300, 3}));

TEST(Decoder, DecodesWholeFileInFixedFramesThenSilence) {
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(fixture("sine1k_44k_stereo_cbr128.mp3"), reason)) << reason;
  const int bytes = d.output().frameBytes;
  std::vector<std::uint8_t> frame(bytes + 16, 0xAB);
  int frames = 0;
  while (d.decode(frame.data()) == DecodeStatus::Ok) ++frames;
  // 441000 samples in frames of 1152: the 383rd is partial and padded.
  EXPECT_EQ(frames, 383);
  for (int i = 0; i < bytes; ++i) ASSERT_EQ(frame[i], 0) << "end-of-input frame is silence";
  for (int i = bytes; i < bytes + 16; ++i) ASSERT_EQ(frame[i], 0xAB) << "wrote past the frame";
  // The time code counts every frame handed out, the silent one after the
  // end included: 384 * 1152 samples = 10.031 s.
  const auto t = d.status().time;
  EXPECT_EQ(t.hours * 360000 + t.minutes * 6000 + t.seconds * 100 + t.hundredths, 1003);
  EXPECT_EQ(d.decode(), DecodeStatus::EndOfInput);

  const auto pcm = qdl::test::decodeAll(fixture("sine1k_44k_stereo_cbr128.mp3"));
  ASSERT_EQ(pcm.size(), 383u * bytes);
  const auto s = qdl::test::samples(pcm.data(), pcm.size());
  // The padding after sample 441000 is digital silence.
  for (std::size_t i = 441000 * 2; i < s.size(); ++i) ASSERT_EQ(s[i], 0);
  // The decoded signal is the 1 kHz sine at half of full scale.
  std::vector<std::int16_t> middle(s.begin() + 44100 * 2, s.begin() + 44100 * 4);
  EXPECT_NEAR(qdl::test::crossingsPerSecond(middle, 2, 44100), 2000, 10);
  EXPECT_NEAR(qdl::test::rms(middle), 0.5 * 32767 / std::sqrt(2.0), 1000);
}

TEST(Decoder, TagAtStartIsSkippedNotPlayed) {
  const auto pcm = qdl::test::decodeAll(fixture("sine1k_44k_stereo_id3v2.mp3"));
  const auto s = qdl::test::samples(pcm.data(), 4608 * 10);
  EXPECT_NEAR(qdl::test::crossingsPerSecond(s, 2, 44100), 2000, 40);
}

TEST(Decoder, SeeksToTheExactSampleAndTimeCodeFollows) {
  const std::string file = fixture("sine1k_noise_48k_stereo_vbr.mp3");
  const auto ref = qdl::test::samples(qdl::test::decodeAll(file).data(), 480000 * 4);
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(file, reason)) << reason;
  // Into the noise part, where every shift of the signal looks different.
  for (float seconds : {7.25f, 5.5f, 9.0f, 6.0f}) {
    ASSERT_TRUE(d.seekToTime(seconds));
    const long target = std::lround(seconds * 48000);
    EXPECT_EQ(d.position(), target);
    ASSERT_EQ(d.decode(), DecodeStatus::Ok);
    const auto block = qdl::test::samples(d.frame(), d.output().frameBytes);
    EXPECT_EQ(qdl::test::bestShift(ref, block, target, 2, 200), 0) << "at " << seconds;
    const auto t = d.status().time;
    EXPECT_EQ(t.seconds * 100 + t.hundredths, (target + 1152) * 100 / 48000);
  }
  // Past the end: nothing left to decode.
  ASSERT_TRUE(d.seekToTime(11.0f));
  EXPECT_EQ(d.decode(), DecodeStatus::EndOfInput);
  ASSERT_TRUE(d.seekToTime(0.0f));
  EXPECT_EQ(d.position(), 0);
  EXPECT_EQ(d.decode(), DecodeStatus::Ok);
}

TEST(Decoder, SeeksByByteOffsetToFrameStarts) {
  const std::string file = fixture("sine1k_44k_stereo_cbr128.mp3");
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(file, reason)) << reason;
  for (int i = 0; i < 20; ++i) d.decode();
  ASSERT_TRUE(d.seekToOffset(0));
  EXPECT_EQ(d.position(), 0);
  // Halfway into a CBR file is halfway into the song, at a frame boundary.
  ASSERT_TRUE(d.seekToOffset(d.input().fileBytes / 2));
  const long half = d.position();
  EXPECT_NEAR(half, 220500, 2 * 1152);
  EXPECT_EQ(d.decode(), DecodeStatus::Ok);
  EXPECT_EQ(d.position(), half + 1152);
}

TEST(Decoder, TruncatedFilePlaysWhatIsThere) {
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(fixture("corrupt_truncated_half.mp3"), reason)) << reason;
  EXPECT_EQ(d.input().durationSeconds, 4);
  int frames = 0;
  DecodeStatus st;
  while ((st = d.decode()) == DecodeStatus::Ok) ++frames;
  EXPECT_EQ(st, DecodeStatus::EndOfInput);
  EXPECT_NEAR(frames, 191, 2);
}

TEST(Decoder, ASingleFrameIsASong) {
  // The library confirms a frame by the next one's header; a file of one
  // frame has none, and still plays its 24 ms.
  Decoder d;
  std::string reason;
  ASSERT_TRUE(d.open(fixture("single_frame_48k.mp3"), reason)) << reason;
  EXPECT_EQ(d.output().sampleRate, 48000);
  EXPECT_EQ(d.input().totalSamples, 1152);
  ASSERT_EQ(d.decode(), DecodeStatus::Ok);
  const auto s = qdl::test::samples(d.frame(), std::size_t(d.output().frameBytes));
  EXPECT_GT(qdl::test::rms(std::vector<std::int16_t>(s.begin() + 1152, s.end())), 5000);
  EXPECT_EQ(d.decode(), DecodeStatus::EndOfInput);
}

TEST(Decoder, RefusesUnusableFilesWithAReason) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/folder.mp3";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::pair<std::string, std::string> cases[] = {
      {fixture("corrupt_empty.mp3"), "empty file"},
      {fixture("corrupt_random.mp3"), "not MP3 data"},
      {fixture("corrupt_wav_named.mp3"), "not MP3 data"},
      {fixture("corrupt_text_named.mp3"), "not MP3 data"},
      {fixture("corrupt_truncated_in_tag.mp3"), "not MP3 data"},
      // Its frames would play at the first one's rate, 9 s shown for 6.25 s heard.
      {fixture("rate_change_22k_44k.mp3"), "the sample rate changes within the file"},
      // Rates of one frame size: the length shown and every position would be
      // off, and the end fade would fall mid-song.
      {fixture("rate_change_48k_44k.mp3"), "the sample rate changes within the file"},
      {fixture("rate_change_22k_24k.mp3"), "the sample rate changes within the file"},
      {dir.path().toStdString() + "/missing.mp3", "cannot read: No such file or directory"},
      {folder, "cannot read: Is a directory"},
      {"/dev/null", "not a regular file"},
  };
  for (const auto& [path, why] : cases) {
    Decoder d;
    std::string reason;
    EXPECT_FALSE(d.open(path, reason)) << path;
    EXPECT_EQ(reason.substr(0, why.size()), why) << path;
    EXPECT_FALSE(d.isOpen());
    // A closed decoder hands out silence and never touches a file.
    std::vector<std::uint8_t> buf(64, 1);
    EXPECT_EQ(d.decode(buf.data()), DecodeStatus::Error);
    EXPECT_FALSE(d.seekToTime(1.0f));
  }
}

}  // namespace
