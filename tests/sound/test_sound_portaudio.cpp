// Real sound through PortAudio: the test bed's private PulseAudio server shows
// two null sinks to ALSA as the cards "quandrel_a" and "quandrel_b"; a tone
// played on card A is recorded from the sink and measured.

#include "SignalAnalysis.h"
#include "SleepRace.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include "audio/Dsutil.h"
#include "support/AudioTestbed.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace qdl::sound;

namespace {

const QString kTestbed = QStringLiteral(QDL_SOURCE_DIR "/scripts/audio-testbed");
// How far the tone measured from the null sink's monitor may be off 1 kHz.
// A stall of a few milliseconds of the test bed's server or capture (a
// sanitizer build on a busy machine) moves the estimate by about 1 Hz; a
// stream at a wrong rate or speed moves it by tens of Hz.
constexpr double kToneToleranceHz = 5.0;

// Runs the test bed script with `args`; returns its exit code and standard
// output.
int testbed(const QStringList& args, QByteArray* output = nullptr) {
  return qdl::test::runAudioTestbed(kTestbed, args, output);
}

// Samples of the data chunk of a 16-bit stereo WAV file.
std::vector<std::int16_t> readWav(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray wav = f.readAll();
  qsizetype at = 12;
  while (at + 8 <= wav.size()) {
    std::uint32_t size;
    std::memcpy(&size, wav.constData() + at + 4, 4);
    if (wav.mid(at, 4) == "data") {
      const qsizetype bytes = std::min<qsizetype>(wav.size() - at - 8, size) / 4 * 4;
      std::vector<std::int16_t> s(size_t(std::max<qsizetype>(bytes, 0) / 2));
      if (!s.empty()) std::memcpy(s.data(), wav.constData() + at + 8, size_t(bytes));
      return s;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

// The left channel of a recording from its first loud sample on (the
// recording may start before the sound); empty when it never gets loud.
std::vector<double> loudPart(const std::vector<std::int16_t>& samples) {
  const auto left = qdl::test::channel(samples, 0);
  const auto loud =
      std::find_if(left.begin(), left.end(), [](double s) { return std::abs(s) > 8000; });
  return {loud, left.end()};
}

class PortAudioCard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) return;
    dir = new QTemporaryDir;
    QByteArray exports;
    if (const int code = testbed({QStringLiteral("start"), dir->path()}, &exports); code != 0) {
      failure = QStringLiteral("exit code %1, see %2/pulse.log").arg(code).arg(dir->path());
      return;
    }
    // Lines "export NAME=value" for the server and for ALSA; set before PortAudio starts.
    for (const QByteArray& line : exports.split('\n')) {
      if (!line.startsWith("export ")) continue;
      const QByteArray assignment = line.mid(7);
      const qsizetype eq = assignment.indexOf('=');
      qputenv(assignment.left(eq).constData(), assignment.mid(eq + 1));
    }
    qputenv("QUANDREL_AUDIO", "portaudio");
    // The test bed proves that the right sound arrives, not timing: a generous
    // latency keeps a loaded build machine from tearing holes into the tone.
    qputenv("QUANDREL_AUDIO_LATENCY_MS", "100");
    running = true;
  }

  static void TearDownTestSuite() {
    if (running) testbed({QStringLiteral("stop"), dir->path()});
    delete dir;
    dir = nullptr;
  }

  void SetUp() override {
    if (!dir) GTEST_SKIP() << "pulseaudio is not installed: the PortAudio test bed cannot run";
    ASSERT_TRUE(running) << "the audio test bed did not start: " << failure.toStdString();
  }

  static std::optional<QUuid> cardGuid(const QString& name) {
    for (const DeviceInfo& d : enumerateDevices())
      if (d.description == name) return d.guid;
    return std::nullopt;
  }

  static inline QTemporaryDir* dir = nullptr;
  static inline bool running = false;
  static inline QString failure;
};

TEST_F(PortAudioCard, ListsTheTestCardsWithStableGuids) {
  const auto list = enumerateDevices();
  ASSERT_FALSE(list.empty());
  EXPECT_FALSE(list[0].guid.has_value());
  const auto a = cardGuid(QStringLiteral("quandrel_a"));
  const auto b = cardGuid(QStringLiteral("quandrel_b"));
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(cardGuid(QStringLiteral("quandrel_a")), a);  // a new listing, same GUID
  EXPECT_EQ(guidToText(*a), guidToText(*a).toUpper());
}

TEST_F(PortAudioCard, PlaysAToneThatTheCardRecords) {
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  {
    // The stream as the console opens it: small callbacks at about 10 ms.
    qunsetenv("QUANDREL_AUDIO_LATENCY_MS");
    auto device = Device::open(guid);
    EXPECT_GT(device->framesPerBuffer(), 0);
    EXPECT_GT(device->outputLatency(), 0.0);
    RecordProperty("frames_per_buffer", device->framesPerBuffer());
    RecordProperty("output_latency_ms", std::to_string(device->outputLatency() * 1000));
    qputenv("QUANDREL_AUDIO_LATENCY_MS", "100");
  }
  auto device = Device::open(guid);
  auto buffer = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::write(*buffer, 0, qdl::test::sine(44100, 2, 1000, 16000));
  buffer->play();

  const QString wav = dir->filePath(QStringLiteral("card-a.wav"));
  EXPECT_EQ(testbed({QStringLiteral("record"), dir->path(), QStringLiteral("a"), wav,
                     QStringLiteral("3")}),
            0);
  buffer->stop();
  EXPECT_FALSE(buffer->isPlaying());

  const auto samples = readWav(wav);
  ASSERT_GT(samples.size(), 44100u) << "less than half a second recorded";
  // Keep the stretch where the tone plays (the recording may start before it).
  std::vector<double> tone = loudPart(samples);
  ASSERT_FALSE(tone.empty()) << "the recording is silent";
  ASSERT_GT(tone.size(), 22050u);
  tone.resize(tone.size() - 2205);  // the end may be cut mid-block
  EXPECT_NEAR(qdl::test::peakFrequency(tone), 1000.0, kToneToleranceHz);
  double peak = 0;
  for (double s : tone) peak = std::max(peak, std::abs(s));
  EXPECT_NEAR(peak, 16000, 200);
}

TEST_F(PortAudioCard, StreamPlayerPlaysAnMp3ThatTheCardRecords) {
  // The whole output path of a deck: an MP3 file decoded by the source,
  // streamed through the stream player's ring on a device as the console
  // opens it, refilled every 10 ms, played by PortAudio, recorded.
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  TSoundDevice device(nullptr, guid);
  TStreamPlayer player(device.DirectSound.get(), nullptr,
                       QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3"));
  player.SetPosition(100);
  player.Play();

  const QString wav = dir->filePath(QStringLiteral("mp3-card-a.wav"));
  int recorded = -1;
  std::thread recorder([&] {
    recorded = testbed(
        {QStringLiteral("record"), dir->path(), QStringLiteral("a"), wav, QStringLiteral("3")});
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
  int position = 0;
  while (std::chrono::steady_clock::now() < until) {
    position = player.Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  recorder.join();
  player.Stop();
  EXPECT_EQ(recorded, 0);
  // The null sink paces only roughly: the position must move, its speed is
  // checked on the virtual cards.
  EXPECT_GT(position, 100 + 50);
  EXPECT_EQ(player.MainBuffer->refillMisses(), 0);

  const auto samples = readWav(wav);
  ASSERT_GT(samples.size(), 44100u) << "less than half a second recorded";
  std::vector<double> tone = loudPart(samples);
  ASSERT_FALSE(tone.empty()) << "the recording is silent";
  ASSERT_GT(tone.size(), 44100u);
  tone.resize(tone.size() - 4410);  // the end may be cut mid-block
  EXPECT_NEAR(qdl::test::peakFrequency(tone), 1000.0, kToneToleranceHz);
  // Half of full scale all along: no hole where a refill came late.
  double lowest = 1e9;
  for (size_t at = 0; at + 441 <= tone.size(); at += 441) {
    double blockPeak = 0;
    for (size_t i = at; i < at + 441; ++i) blockPeak = std::max(blockPeak, std::abs(tone[i]));
    lowest = std::min(lowest, blockPeak);
  }
  EXPECT_GT(lowest, 14000) << "a 10 ms stretch of the recording lost the tone";
}

// With nothing to play for two seconds the card's stream completes (an idle
// console wakes nobody); the next buffer that plays starts it again, at
// once and without a false "card lost".
TEST_F(PortAudioCard, ACardThatSleptPlaysAgainAtOnce) {
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  auto device = Device::open(guid);
  auto buffer = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::write(*buffer, 0, qdl::test::sine(44100, 2, 1000, 16000));
  buffer->play();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  buffer->stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));  // the card sleeps
  EXPECT_FALSE(device->isLost());
  buffer->play();
  EXPECT_FALSE(device->isLost());
  const QString wav = dir->filePath(QStringLiteral("after-sleep.wav"));
  EXPECT_EQ(testbed({QStringLiteral("record"), dir->path(), QStringLiteral("a"), wav,
                     QStringLiteral("3")}),
            0);
  buffer->stop();
  EXPECT_FALSE(device->isLost());
  const auto samples = readWav(wav);
  std::vector<double> tone = loudPart(samples);
  ASSERT_FALSE(tone.empty()) << "no sound after the card slept";
  ASSERT_GT(tone.size(), 22050u) << "the tone began " << (samples.size() / 2 - tone.size())
                                 << " samples into a recording of " << samples.size() / 2;
  tone.resize(tone.size() - 2205);
  EXPECT_NEAR(qdl::test::peakFrequency(tone), 1000.0, kToneToleranceHz);
}

// A buffer that plays just as the card decides to sleep, before PortAudio
// has completed the stream, starts the stream again: it plays on and the
// card is not reported lost.
TEST_F(PortAudioCard, APlayAsTheCardFallsAsleepKeepsItPlaying) {
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  auto device = Device::open(guid);
  auto buffer = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::write(*buffer, 0, qdl::test::sine(44100, 2, 1000, 16000));
  qdl::test::SleepRace race;
  ASSERT_TRUE(race.playAsTheCardFallsAsleep(*buffer)) << "the card never fell asleep";
  const int from = buffer->currentPosition();
  EXPECT_TRUE(qdl::test::cursorMovesOn(*buffer, from, 44100)) << "the stream stopped";
  // Longer than a woken card has for its first output.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  EXPECT_FALSE(device->isLost());
  EXPECT_TRUE(qdl::test::cursorMovesOn(*buffer, buffer->currentPosition(), 44100));
  buffer->stop();
}

}  // namespace

namespace {

// Waits until the card's stream plays in callbacks of `frames` (the reopen
// runs on the card's own thread); false after five seconds.
bool reopenedWith(const Device& device, int frames) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (device.framesPerBuffer() != frames) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Sets the output buffer back to the default, and the test bed's generous
// latency, when a test ends.
struct DefaultBufferAfter {
  ~DefaultBufferAfter() {
    setOutputBuffer(kDefaultOutputBuffer);
    qputenv("QUANDREL_AUDIO_LATENCY_MS", "100");
  }
};

}  // namespace

// A change of the output buffer reopens the stream of a card that plays: the
// tone goes on from where it was, on every buffer, and the card is not lost.
TEST_F(PortAudioCard, AChangedOutputBufferReopensThePlayingStream) {
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  DefaultBufferAfter restore;
  qunsetenv("QUANDREL_AUDIO_LATENCY_MS");  // the buffers as the console asks for them
  auto device = Device::open(guid);
  auto buffer = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::write(*buffer, 0, qdl::test::sine(44100, 2, 1000, 16000));
  buffer->play();
  ASSERT_TRUE(qdl::test::cursorMovesOn(*buffer, buffer->currentPosition(), 4410));
  for (const int ms : {3, 6, 11, 10}) {
    SCOPED_TRACE(ms);
    const int before = buffer->currentPosition();
    setOutputBuffer(ms);
    ASSERT_TRUE(reopenedWith(*device, outputBufferFrames(ms) / 2));
    RecordProperty("output_latency_ms_at_" + std::to_string(ms),
                   std::to_string(device->outputLatency() * 1000));
    EXPECT_GT(device->outputLatency(), 0.0);
    EXPECT_TRUE(buffer->isPlaying());
    EXPECT_TRUE(qdl::test::cursorMovesOn(*buffer, before, 4410)) << "the stream did not go on";
    EXPECT_FALSE(device->isLost());
  }
  const QString wav = dir->filePath(QStringLiteral("after-reopen.wav"));
  EXPECT_EQ(testbed({QStringLiteral("record"), dir->path(), QStringLiteral("a"), wav,
                     QStringLiteral("3")}),
            0);
  buffer->stop();
  EXPECT_FALSE(device->isLost());
  std::vector<double> tone = loudPart(readWav(wav));
  ASSERT_FALSE(tone.empty()) << "no sound after the reopens";
  ASSERT_GT(tone.size(), 22050u);
  tone.resize(tone.size() - 2205);
  EXPECT_NEAR(qdl::test::peakFrequency(tone), 1000.0, kToneToleranceHz);
}

// A card asleep when the buffer changes reopens its stream without starting
// it; the next play starts it at once with the new buffer.
TEST_F(PortAudioCard, ACardAsleepReopensAndPlaysWhenWoken) {
  const auto guid = cardGuid(QStringLiteral("quandrel_a"));
  ASSERT_TRUE(guid);
  DefaultBufferAfter restore;
  auto device = Device::open(guid);
  auto buffer = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::write(*buffer, 0, qdl::test::sine(44100, 2, 1000, 16000));
  buffer->play();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  buffer->stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));  // the card sleeps
  setOutputBuffer(6);
  ASSERT_TRUE(reopenedWith(*device, 128));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(device->isLost());
  buffer->play();
  EXPECT_TRUE(qdl::test::cursorMovesOn(*buffer, buffer->currentPosition(), 44100))
      << "the reopened stream did not start";
  EXPECT_FALSE(device->isLost());
  buffer->stop();
}
