// Device listing, opening, buffer creation, cursor/lock semantics, refill
// misses, WAV capture and the real-time virtual clock.

#include "SleepRace.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

using namespace qdl::sound;
using qdl::test::render;
using qdl::test::write;

namespace {

// Every card plays what is mixed this many frames later (the limiter's look-ahead).
constexpr int kDelay = Device::kOutputDelayFrames;

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("QUANDREL_AUDIO", "virtual");
    qunsetenv("QUANDREL_AUDIO_CAPTURE");
    for (int c = 0; c < VirtualCards::kCount; ++c) VirtualCards::takeCaptured(c);
  }
  void TearDown() override {
    qputenv("QUANDREL_AUDIO", "virtual");
    qunsetenv("QUANDREL_AUDIO_CAPTURE");
  }
};

TEST_F(SoundTest, ListingStartsWithTheDefaultEntryAndIsStable) {
  const auto list = enumerateDevices();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_FALSE(list[0].guid.has_value());
  EXPECT_EQ(list[0].description, QStringLiteral("Primary Sound Driver"));
  EXPECT_EQ(list[1].description, QStringLiteral("Virtual Card A"));
  EXPECT_EQ(list[2].description, QStringLiteral("Virtual Card B"));
  EXPECT_EQ(list[1].guid, VirtualCards::guid(0));
  EXPECT_EQ(list[1].module, QStringLiteral("virtual"));
  EXPECT_EQ(guidToText(*list[1].guid), QStringLiteral("{2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0A01}"));
  EXPECT_EQ(enumerateDevices()[2].guid, list[2].guid);
}

TEST_F(SoundTest, GuidTextInRegistryForm) {
  const QUuid g = guidFromText(QStringLiteral("{2c6e0a51-7b0d-4f4b-9e1a-51a7c0de0b02}"));
  EXPECT_EQ(g, VirtualCards::guid(1));
  const QString text = guidToText(g);
  EXPECT_EQ(text.size(), 38);
  EXPECT_EQ(text, text.toUpper());
  for (const char* bad : {"", "2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0B02", "{2C6E0A51}", "{nonsense}",
                          "{2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0B0Z}"})
    EXPECT_THROW(guidFromText(QString::fromLatin1(bad)), SoundError) << bad;
}

TEST_F(SoundTest, OpeningFailuresAreReported) {
  try {
    Device::open(QUuid(QStringLiteral("{00000000-0000-0000-0000-000000000001}")));
    FAIL() << "opened a missing device";
  } catch (const SoundError& e) {
    EXPECT_STREQ(e.what(),
                 "The sound device {00000000-0000-0000-0000-000000000001} is not present");
  }
  qputenv("QUANDREL_AUDIO", "directsound");
  EXPECT_THROW(enumerateDevices(), SoundError);
  EXPECT_THROW(Device::open(), SoundError);
}

TEST_F(SoundTest, BufferCreationChecksFormatAndSize) {
  auto device = Device::open();
  EXPECT_EQ(device->primaryFormat(), (WaveFormat{2, 44100, 16}));
  EXPECT_TRUE(device->isPrimaryPlaying());
  for (const WaveFormat& f :
       {WaveFormat{3, 44100, 16}, WaveFormat{0, 44100, 16}, WaveFormat{2, 44100, 24},
        WaveFormat{2, 99, 16}, WaveFormat{2, 200001, 16}})
    EXPECT_THROW(device->createBuffer(f, 4000), SoundError);
  for (int bytes : {0, -4, 4002, (64 << 20) + 4})
    EXPECT_THROW(device->createBuffer({2, 44100, 16}, bytes), SoundError) << bytes;
  auto b = device->createBuffer({1, 22050, 16}, 44100);
  EXPECT_EQ(b->bytes(), 44100);
  EXPECT_EQ(b->frequency(), 22050);
  EXPECT_EQ(b->volume(), 0);
  EXPECT_FALSE(b->isPlaying());
  EXPECT_EQ(b->currentPosition(), 0);
}

TEST_F(SoundTest, CursorMovesWhilePlayingAndWrapsWhenLooping) {
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 4410 * 4);
  render(0, 1000);
  EXPECT_EQ(b->currentPosition(), 0);  // stopped: nothing moves
  b->play();
  render(0, 1000 + kDelay);  // the cursor is the byte heard, after the limiter
  EXPECT_EQ(b->currentPosition(), 4000);
  b->stop();
  render(0, 1000);
  EXPECT_EQ(b->currentPosition(), 4000);  // stop keeps the cursor
  b->play();                              // and play resumes there
  render(0, 3910 + kDelay);
  EXPECT_EQ(b->currentPosition(), 500 * 4);  // wrapped at 4410 frames
  b->setCurrentPosition(4002);               // rounded down to whole frames
  EXPECT_EQ(b->currentPosition(), 4000);
  EXPECT_THROW(b->setCurrentPosition(4410 * 4), SoundError);
  EXPECT_THROW(b->setCurrentPosition(-1), SoundError);
}

TEST_F(SoundTest, CursorAtHalfTheFrequencyMovesHalfAsFast) {
  auto device = Device::open();
  auto b = device->createBuffer({2, 22050, 16}, 22050 * 4);
  b->play();
  render(0, 4410 + kDelay);
  EXPECT_EQ(b->currentPosition(), 2205 * 4);
}

TEST_F(SoundTest, OneShotPlayStopsAtTheEndWithCursorZero) {
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 100 * 4);
  write(*b, 0, qdl::test::constant(200, 1234));
  b->play(false);
  const auto out = render(0, 300);
  EXPECT_FALSE(b->isPlaying());
  EXPECT_EQ(b->currentPosition(), 0);
  EXPECT_EQ(out[2 * (kDelay + 99)], 1234);
  EXPECT_EQ(out[2 * (kDelay + 100)], 0);
}

TEST_F(SoundTest, LockHandsOutBothRegionsOfAWrappingRange) {
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 100 * 4);
  write(*b, 396, {1, 2, 3, 4});  // the last frame and the first
  const LockedRegion r = b->lock(396, 8);
  ASSERT_EQ(r.first.size(), 4u);
  ASSERT_EQ(r.second.size(), 4u);
  std::int16_t back[2];
  std::memcpy(back, r.second.data(), 4);  // a lock shows the current data
  EXPECT_EQ(back[0], 3);
  EXPECT_THROW(b->lock(0, 4), SoundError);  // one lock at a time
  b->unlock(r);
  EXPECT_THROW(b->unlock(r), SoundError);  // no lock any more
  b->play();
  const auto out = render(0, 100 + kDelay);
  EXPECT_EQ(out[2 * kDelay], 3);
  EXPECT_EQ(out[2 * kDelay + 198], 1);
  for (auto [offset, bytes] : {std::pair{-1, 4}, {400, 4}, {0, 0}, {0, 404}})
    EXPECT_THROW(b->lock(offset, bytes), SoundError) << offset << " " << bytes;
  LockedRegion foreign = b->lock(0, 4);
  std::byte elsewhere[4];
  EXPECT_THROW(b->unlock({std::span(elsewhere), {}}), SoundError);
  b->unlock(foreign);
}

// The stream player's scheme: two halves, the half the cursor has left is
// refilled at the next poll.
TEST_F(SoundTest, AWriterThatKeepsAheadHasNoRefillMisses) {
  auto device = Device::open();
  const int half = 11025 * 4;
  auto b = device->createBuffer({2, 44100, 16}, 2 * half);
  write(*b, 0, qdl::test::constant(half, 100));
  b->play();
  int last = 0;
  for (int poll = 0; poll < 500; ++poll) {  // five seconds in 10 ms steps
    render(0, 441);
    const int p = b->currentPosition();
    if (p >= half && last < half) write(*b, 0, qdl::test::constant(half / 2, 100));
    if (p < last) write(*b, half, qdl::test::constant(half / 2, 100));
    last = p;
  }
  EXPECT_EQ(b->refillMisses(), 0);
}

TEST_F(SoundTest, AStalledWriterIsCountedOncePerStaleStretch) {
  auto device = Device::open();
  const int frames = 4410;
  auto b = device->createBuffer({2, 44100, 16}, frames * 4);
  write(*b, 0, qdl::test::constant(2 * frames, 100));
  b->play();
  render(0, frames);
  EXPECT_EQ(b->refillMisses(), 0);
  render(0, frames + frames / 2);  // a whole round and a half of old data: one stretch
  EXPECT_EQ(b->refillMisses(), 1);
  write(*b, 0, qdl::test::constant(frames, 100));  // only the first half is new
  render(0, frames / 2);                           // the rest of the old stretch: no new entry
  EXPECT_EQ(b->refillMisses(), 1);
  render(0, frames / 2 + 10);  // the new half, then into old data again
  EXPECT_EQ(b->refillMisses(), 2);
}

TEST_F(SoundTest, AFreshBufferThatWasNeverWrittenCountsAMiss) {
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 400);
  b->play();
  render(0, 10);
  EXPECT_EQ(b->refillMisses(), 1);
}

TEST_F(SoundTest, CaptureWritesEachVirtualCardToAWavFile) {
  QTemporaryDir dir;
  qputenv("QUANDREL_AUDIO_CAPTURE", dir.path().toLocal8Bit());
  {
    auto device = Device::open(VirtualCards::guid(1));
    auto b = device->createBuffer({2, 44100, 16}, 441 * 4);
    write(*b, 0, qdl::test::constant(2 * 441, -77));
    b->play();
    render(1, 4410);
  }
  const QStringList files = QDir(dir.path()).entryList({QStringLiteral("quandrel-card-b*.wav")});
  ASSERT_EQ(files.size(), 1);
  QFile f(QDir(dir.path()).filePath(files[0]));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray wav = f.readAll();
  ASSERT_EQ(wav.size(), 44 + 4410 * 4);
  EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
  std::uint32_t dataBytes;
  std::memcpy(&dataBytes, wav.constData() + 40, 4);
  EXPECT_EQ(dataBytes, 4410u * 4);
  std::int16_t s;
  std::memcpy(&s, wav.constData() + 44 + 4 * (kDelay + 25), 2);
  EXPECT_EQ(s, -77);
}

TEST_F(SoundTest, CaptureToAnUnwritableFolderIsReported) {
  qputenv("QUANDREL_AUDIO_CAPTURE", "/proc/quandrel-no-such-folder");
  EXPECT_THROW(Device::open(VirtualCards::guid(0)), SoundError);
}

TEST_F(SoundTest, TheRealtimeClockPlaysByItself) {
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  EXPECT_THROW(VirtualCards::advance(0, 10), SoundError);  // no manual clock here
  auto device = Device::open();
  EXPECT_EQ(device->framesPerBuffer(), 441);
  auto b = device->createBuffer({2, 44100, 16}, 44100 * 4);
  const auto before = VirtualCards::renderedFrames(0);
  b->play();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (b->currentPosition() < 4410 * 4 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(b->currentPosition(), 4410 * 4);
  EXPECT_GT(VirtualCards::renderedFrames(0), before);
  b->stop();
  const int stopped = b->currentPosition();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(b->currentPosition(), stopped);
}

// A real-time card with nothing to play for two seconds stops rendering,
// so an idle console wakes nobody; a buffer that plays wakes it at once,
// and the pause is no lost card.
TEST_F(SoundTest, TheRealtimeClockSleepsWhileNothingPlaysAndWakesOnPlay) {
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 44100 * 4);
  b->play();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  b->stop();
  // Asleep once the count of rendered frames stands still.
  std::int64_t rendered = VirtualCards::renderedFrames(0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::int64_t now = VirtualCards::renderedFrames(0);
    if (now == rendered || std::chrono::steady_clock::now() > deadline) break;
    rendered = now;
  }
  ASSERT_EQ(VirtualCards::renderedFrames(0), rendered) << "the card never stopped rendering";
  EXPECT_FALSE(device->isLost());
  const int stoppedAt = b->currentPosition();
  b->play();
  EXPECT_FALSE(device->isLost()) << "a card that slept is not lost";
  // Moved on from where it stood (the first 0.1 s had been played before).
  EXPECT_TRUE(qdl::test::cursorMovesOn(*b, stoppedAt, 4410 * 4)) << "the card did not wake up";
  EXPECT_GT(VirtualCards::renderedFrames(0), rendered);
  EXPECT_FALSE(device->isLost());
}

// A buffer that plays just as the card decides to sleep, before its stream
// has acted on it, wakes the card: the card never stops with a buffer
// playing, and is not reported lost.
TEST_F(SoundTest, APlayAsTheCardFallsAsleepKeepsItPlaying) {
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  auto device = Device::open();
  auto b = device->createBuffer({2, 44100, 16}, 44100 * 4);
  qdl::test::SleepRace race;
  ASSERT_TRUE(race.playAsTheCardFallsAsleep(*b)) << "the card never fell asleep";
  const int from = b->currentPosition();
  EXPECT_TRUE(qdl::test::cursorMovesOn(*b, from, 4410 * 4)) << "the card stopped";
  EXPECT_FALSE(device->isLost());
  b->stop();
}

}  // namespace

namespace {

// The check behind every sound test: an allocation or a lock inside the
// sound callback's real-time section is counted (and fails the program).
TEST(RealtimeRules, AnAllocationOrALockInTheCallbackIsCounted) {
  using namespace qdl::sound::detail;
  clearRealtimeViolations();
  int expected = 0;
#if !defined(__SANITIZE_THREAD__)  // ThreadSanitizer builds count no allocations
  {
    RealtimeSection section;
    int* volatile p = new int(1);
    delete p;
  }
  EXPECT_EQ(realtimeViolations(), ++expected);
  EXPECT_STREQ(lastRealtimeViolation(), "allocation");
#endif
  {
    CheckedMutex mutex;
    mutex.lock();  // outside: allowed
    mutex.unlock();
    RealtimeSection section;
    mutex.lock();
    mutex.unlock();
  }
  EXPECT_EQ(realtimeViolations(), ++expected);
  EXPECT_STREQ(lastRealtimeViolation(), "lock");
  clearRealtimeViolations();
}

}  // namespace
