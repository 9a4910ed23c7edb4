// The stream player's ring arithmetic, time text, pitch and volumes, and the
// sound devices per output mode, on the virtual cards (QUANDREL_AUDIO=virtual)
// with the generated MP3 fixtures.
#include <gtest/gtest.h>

#include <QFile>

#include "Pcm.h"
#include "audio/Dsutil.h"
#include "platform/ini/IniFile.h"
#include "platform/sound/VirtualCards.h"
#include "support/TempDir.h"

#include <cstring>

using qdl::sound::VirtualCards;
using qdl::test::fixture;

namespace {

QString mp3(const char* name) { return QString::fromStdString(fixture(name)); }

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qgetenv("QUANDREL_AUDIO"), "virtual");
    main = std::make_unique<TSoundDevice>(nullptr, VirtualCards::guid(0));
    head = std::make_unique<TSoundDevice>(nullptr, VirtualCards::guid(1));
  }

  std::unique_ptr<TSoundDevice> main;
  std::unique_ptr<TSoundDevice> head;
};

// Bytes `bytes` long at `offset` of the player's main ring.
std::vector<std::uint8_t> ringBytes(qdl::sound::SoundBuffer& buffer, int offset, int bytes) {
  const auto region = buffer.lock(offset, bytes);
  std::vector<std::uint8_t> out(bytes);
  std::memcpy(out.data(), region.first.data(), bytes);
  buffer.unlock(region);
  return out;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& pcm, int offset, int bytes) {
  return {pcm.begin() + offset, pcm.begin() + offset + bytes};
}

TEST_F(PlayerTest, ConstructionTakesTheSongsFormatAndFillsNothing) {
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  mp3("sine1k_44k_stereo_cbr128.mp3"));
  EXPECT_EQ(p.Source->BufferBytes, 88200);
  EXPECT_EQ(p.HalfBytes, 44100);
  EXPECT_EQ(p.MainBuffer->bytes(), 88200);
  EXPECT_EQ(p.HeadBuffer->bytes(), 88200);
  EXPECT_EQ(p.MainBuffer->format(), (qdl::sound::WaveFormat{2, 44100, 16}));
  EXPECT_EQ(p.Source->GetTime(), 0) << "nothing decoded before SetPosition";
  EXPECT_EQ(p.EndCount, 0);
  EXPECT_EQ(p.NearEnd, 0);

  TStreamPlayer mono(main->DirectSound.get(), nullptr, mp3("sine1k_22k_mono_cbr64.mp3"));
  EXPECT_EQ(mono.MainBuffer->format(), (qdl::sound::WaveFormat{1, 22050, 16}));
  EXPECT_EQ(mono.HalfBytes * 2, mono.Source->BufferBytes);
  EXPECT_EQ(mono.HeadBuffer, nullptr);
}

TEST_F(PlayerTest, ConstructionFailsCleanlyWithAReason) {
  EXPECT_THROW(TStreamPlayer(main->DirectSound.get(), nullptr, mp3("corrupt_empty.mp3")),
               qdl::Mp3OpenError);
  EXPECT_THROW(TStreamPlayer(main->DirectSound.get(), nullptr, mp3("corrupt_text_named.mp3")),
               qdl::Mp3OpenError);
  EXPECT_THROW(TStreamPlayer(main->DirectSound.get(), nullptr, mp3("no_such_file.mp3")),
               qdl::Mp3OpenError);
  try {
    TStreamPlayer(nullptr, nullptr, mp3("sine1k_44k_stereo_cbr128.mp3"));
    FAIL() << "a player without a main device";
  } catch (const qdl::sound::SoundError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("sine1k_44k_stereo_cbr128.mp3")) << e.what();
  }
}

// What a source of its own hands out from `hundredths` on, `blocks` blocks.
std::vector<std::uint8_t> sourceStream(const QString& file, int hundredths, int blocks) {
  qdl::TMp3Source source(file);
  source.Seek(hundredths);
  const int half = source.BufferBytes / 2;
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(half) * blocks);
  for (int i = 0; i < blocks; ++i) source.ReadBlock(pcm.data() + i * half);
  return pcm;
}

TEST_F(PlayerTest, UpdateRefillsTheHalfTheCursorLeftExactlyOnce) {
  const QString file = mp3("sine1k_44k_stereo_cbr128.mp3");
  const std::vector<std::uint8_t> pcm = sourceStream(file, 0, 4);
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(), file);
  auto& ring = *p.MainBuffer;
  const int half = p.HalfBytes;
  const int bytes = p.Source->BufferBytes;
  const int tenMs = 1764;

  p.SetPosition(0);
  EXPECT_EQ(ringBytes(ring, 0, bytes), slice(pcm, 0, bytes)) << "the ring holds 0.0 .. 0.5 s";
  const int t0 = p.Source->GetTime();
  EXPECT_NEAR(t0, 50, 1);
  EXPECT_NEAR(p.Update(), 0, 1);

  // Still in the first half: nothing to refill.
  ring.setCurrentPosition(half - tenMs);
  const int beforeHalf = p.Update();
  EXPECT_EQ(p.Source->GetTime(), t0);
  EXPECT_NEAR(beforeHalf, 24, 1);

  // Entering the second half refills the first half, once.
  ring.setCurrentPosition(half);
  const int atHalf = p.Update();
  EXPECT_NEAR(p.Source->GetTime(), t0 + 25, 1);
  EXPECT_GT(atHalf, beforeHalf);
  EXPECT_NEAR(atHalf, 25, 1);
  const int t1 = p.Source->GetTime();
  EXPECT_EQ(p.Update(), atHalf);
  EXPECT_EQ(p.Source->GetTime(), t1) << "the same cursor again fills nothing";
  EXPECT_EQ(ringBytes(ring, 0, half), slice(pcm, bytes, half));
  EXPECT_EQ(ringBytes(*p.HeadBuffer, 0, half), slice(pcm, bytes, half));
  EXPECT_EQ(ringBytes(ring, half, half), slice(pcm, half, half)) << "the playing half is kept";

  ring.setCurrentPosition(bytes - tenMs);
  const int beforeWrap = p.Update();
  EXPECT_EQ(p.Source->GetTime(), t1);
  EXPECT_NEAR(beforeWrap, 49, 1);

  // Wrapping into the first half refills the second half.
  ring.setCurrentPosition(tenMs);
  const int afterWrap = p.Update();
  EXPECT_NEAR(p.Source->GetTime(), t0 + 50, 1);
  EXPECT_GT(afterWrap, beforeWrap);
  EXPECT_NEAR(afterWrap, 51, 1);
  EXPECT_EQ(ringBytes(ring, half, half), slice(pcm, bytes + half, half));
  EXPECT_EQ(ringBytes(*p.HeadBuffer, half, half), slice(pcm, bytes + half, half));
  EXPECT_EQ(p.LastCursor, std::uint32_t(tenMs));
  EXPECT_EQ(p.EndCount, 0);
}

// How far the headphone cursor ran ahead of the main one, in milliseconds
// (negative: behind).
struct AheadRange {
  double least = 1e9;
  double most = -1e9;
};

// Plays `seconds` with the headphone card's clock `ppm` millionths faster
// (or slower) than the main card's, refilling every 10 ms as the deck does;
// measures after the first `settle` seconds.
AheadRange headphonesAhead(TStreamPlayer& p, double ppm, int seconds, int settle) {
  p.SetPitch(0);
  p.SetPosition(0);
  p.Play();
  double extra = 0;
  AheadRange range;
  for (int tick = 0; tick < seconds * 100; ++tick) {
    VirtualCards::advance(0, 441);
    extra += 441 * ppm / 1e6;
    const int more = static_cast<int>(extra);
    extra -= more;
    VirtualCards::advance(1, 441 + more);
    VirtualCards::takeCaptured(0);
    VirtualCards::takeCaptured(1);
    p.Update();
    if (tick < settle * 100) continue;
    int d = p.HeadBuffer->currentPosition() - p.MainBuffer->currentPosition();
    const int ring = p.Source->BufferBytes;
    if (d > ring / 2) d -= ring;
    if (d < -ring / 2) d += ring;
    const double ms = d * 1000.0 / p.Source->BytesPerSecond;
    range.least = std::min(range.least, ms);
    range.most = std::max(range.most, ms);
  }
  p.Stop();
  return range;
}

TEST_F(PlayerTest, HeadphonesOnASecondCardStayJustAheadOfTheMainCard) {
  // Two cards whose clocks differ by 300 ppm, three times what real cards
  // show: unchecked, the rings would be 36 ms apart after two minutes, and
  // headphones behind the main ring play bits of the next round.
  for (double ppm : {300.0, -300.0, 0.0}) {
    TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                    mp3("sine1k_44k_stereo_200_5s.mp3"));
    const AheadRange ahead = headphonesAhead(p, ppm, 120, 30);
    EXPECT_GT(ahead.least, 2.0) << ppm << " ppm";
    EXPECT_LT(ahead.most, 20.0) << ppm << " ppm";
    EXPECT_EQ(p.HeadBuffer->refillMisses(), 0) << ppm << " ppm";
    EXPECT_EQ(p.MainBuffer->refillMisses(), 0) << ppm << " ppm";
    // The trim stays within a thousandth of the rate; the main ring keeps
    // the deck's frequency.
    EXPECT_LE(std::abs(p.HeadBuffer->frequency() - 44100), 44);
    EXPECT_EQ(p.MainBuffer->frequency(), 44100);
  }
}

TEST_F(PlayerTest, MovingAwayFromTheEndForgetsItsEndReports) {
  TStreamPlayer p(main->DirectSound.get(), nullptr, mp3("sine1k_44k_stereo_cbr128.mp3"));
  p.SetPosition(p.Source->Duration);
  EXPECT_GE(p.EndCount, 1);
  p.SetPosition(100);
  EXPECT_EQ(p.EndCount, 0);
}

TEST_F(PlayerTest, UpdateRightAfterSetPositionReturnsThatPosition) {
  for (const char* name : {"sine1k_44k_stereo_cbr128.mp3", "sine1k_22k_mono_cbr64.mp3",
                           "sine1k_noise_48k_stereo_vbr.mp3"}) {
    TStreamPlayer p(main->DirectSound.get(), nullptr, mp3(name));
    for (int t : {0, 1, 123, 250, 567, 900}) {
      p.SetPosition(t);
      EXPECT_NEAR(p.Update(), t, 2) << name << " at " << t;
      EXPECT_EQ(p.MainBuffer->currentPosition(), 0);
    }
  }
}

TEST_F(PlayerTest, FormatTimeAndNearEnd) {
  TStreamPlayer p(main->DirectSound.get(), nullptr, mp3("sine1k_44k_stereo_cbr128.mp3"));
  const int d = p.Source->Duration;
  ASSERT_EQ(d, 1000);
  EXPECT_EQ(p.FormatTime(0, true), "00:00:00:00");
  EXPECT_EQ(p.NearEnd, 0);
  EXPECT_EQ(p.FormatTime(20507, true), "00:03:25:07");
  EXPECT_EQ(p.FormatTime(d - 600, false), "-00:00:06:00");
  EXPECT_EQ(p.NearEnd, 1);
  EXPECT_EQ(p.FormatTime(d - 700, false), "-00:00:07:00");
  EXPECT_EQ(p.NearEnd, 0);
  EXPECT_EQ(p.FormatTime(d - 699, true), "00:00:03:01");
  EXPECT_EQ(p.NearEnd, 1) << "the flag is set in both display modes";
  EXPECT_EQ(p.FormatTime(d - 1, false), "-00:00:00:01");
  // The sound runs some hundredths past the whole-second Duration.
  EXPECT_EQ(p.FormatTime(d + 40, false), "-00:00:00:00");
  EXPECT_EQ(p.NearEnd, 1);

  p.Source->Duration = 75 * 6000;  // a song of 75 minutes
  EXPECT_EQ(p.FormatTime(75 * 6000, true), "01:15:00:00");
  EXPECT_EQ(p.FormatTime(0, false), "-01:15:00:00");
  EXPECT_EQ(p.FormatTime(359999, true), "00:59:59:99");
  EXPECT_EQ(p.NearEnd, 0);
}

TEST_F(PlayerTest, PitchMovesBothBuffersIn44HzSteps) {
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  mp3("sine1k_44k_stereo_cbr128.mp3"));
  const auto both = [&](int hz) {
    EXPECT_EQ(p.MainBuffer->frequency(), hz);
    EXPECT_EQ(p.HeadBuffer->frequency(), hz);
  };
  p.SetPitch(1);
  both(44144);
  p.SetPitch(200);
  both(44100 + 200 * 44);
  p.SetPitch(-200);
  both(44100 - 200 * 44);
  p.SetPitch(-300);  // a bend beyond the bar
  both(44100 - 300 * 44);
  p.SetPitch(0);
  both(44100);

  TStreamPlayer mono(main->DirectSound.get(), nullptr, mp3("sine1k_22k_mono_cbr64.mp3"));
  mono.SetPitch(100);
  EXPECT_EQ(mono.MainBuffer->frequency(), 22050 + 100 * 22);
  mono.SetPitch(0);
  EXPECT_EQ(mono.MainBuffer->frequency(), 22050);
}

TEST_F(PlayerTest, VolumesAreSetApart) {
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  mp3("sine1k_44k_stereo_cbr128.mp3"));
  p.SetVolume(-1500);
  EXPECT_EQ(p.MainBuffer->volume(), -1500);
  EXPECT_EQ(p.HeadBuffer->volume(), 0);
  p.SetHeadVolume(-10000);
  EXPECT_EQ(p.HeadBuffer->volume(), -10000);
  EXPECT_EQ(p.MainBuffer->volume(), -1500);

  TStreamPlayer solo(main->DirectSound.get(), nullptr, mp3("sine1k_44k_stereo_cbr128.mp3"));
  solo.SetVolume(-300);
  solo.SetHeadVolume(-3000);
  EXPECT_EQ(solo.MainBuffer->volume(), -300) << "no headphone buffer: the main one is untouched";
  // Every other operation works on the main buffer alone.
  solo.SetPosition(100);
  solo.SetPitch(10);
  solo.Play();
  EXPECT_TRUE(solo.MainBuffer->isPlaying());
  solo.Stop();
  EXPECT_FALSE(solo.MainBuffer->isPlaying());
}

TEST_F(PlayerTest, PlayAndStopBothBuffersStopKeepsTheCursor) {
  TStreamPlayer p(main->DirectSound.get(), head->DirectSound.get(),
                  mp3("sine1k_44k_stereo_cbr128.mp3"));
  p.SetPosition(0);
  p.Play();
  EXPECT_TRUE(p.MainBuffer->isPlaying());
  EXPECT_TRUE(p.HeadBuffer->isPlaying());
  VirtualCards::advance(0, 4410);
  VirtualCards::advance(1, 4410);
  p.Stop();
  EXPECT_FALSE(p.MainBuffer->isPlaying());
  EXPECT_FALSE(p.HeadBuffer->isPlaying());
  const int cursor = p.MainBuffer->currentPosition();
  EXPECT_GT(cursor, 0);
  VirtualCards::advance(0, 4410);
  EXPECT_EQ(p.MainBuffer->currentPosition(), cursor);
  VirtualCards::takeCaptured(0);
  VirtualCards::takeCaptured(1);
}

// ---- Devices

class DevicesTest : public ::testing::Test {
 protected:
  qdl::test::TempCwd cwd;
  qdl::IniFile ini = qdl::openSettings();
  TSoundDevice* leftMain = nullptr;
  TSoundDevice* leftHead = nullptr;
  TSoundDevice* rightMain = nullptr;
  TSoundDevice* rightHead = nullptr;
  qdl::DeviceSlots devices{leftMain, leftHead, rightMain, rightHead};

  const QString cardA = VirtualCards::description(0);
  const QString cardB = VirtualCards::description(1);

  void TearDown() override { qdl::closeSoundDevices(devices); }

  void configure(const QString& mode, const QString& card1, const QString& card2 = {}) {
    qdl::listSoundDevices(ini);
    ini.writeString("Devices", "Mode", mode);
    ini.writeString("Devices", "Card_1", card1);
    ini.writeString("Devices", "Card_2", card2);
  }

  static QUuid guidOf(TSoundDevice* d) { return d->DirectSound->guid().value_or(QUuid()); }
};

TEST_F(DevicesTest, ListingWritesPresentDevicesWithoutTheDefaultEntry) {
  ini.writeString("present Devices", "Removed Card", "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  QStringList added;
  const QStringList listed = qdl::listSoundDevices(ini, [&](const QString& d) { added << d; });
  EXPECT_EQ(listed, (QStringList{cardA, cardB}));
  EXPECT_EQ(added, listed);
  EXPECT_EQ(ini.readString("present Devices", cardA, ""),
            qdl::sound::guidToText(VirtualCards::guid(0)));
  EXPECT_EQ(ini.readString("present Devices", cardB, ""),
            qdl::sound::guidToText(VirtualCards::guid(1)));
  EXPECT_EQ(ini.readString("present Devices", cardA, "").size(), 38);
  EXPECT_EQ(ini.readString("present Devices", "Primary Sound Driver", "none"), "none");
  EXPECT_EQ(ini.readString("present Devices", "Removed Card", ""),
            "{01234567-89AB-CDEF-0123-456789ABCDEF}")
      << "entries of absent devices stay";
  EXPECT_EQ(ini.readSection("present Devices").size(), 3);
  qdl::listSoundDevices(ini);
  EXPECT_EQ(ini.readSection("present Devices").size(), 3) << "listing again adds no lines";
}

TEST_F(DevicesTest, ModeZeroOpensTheOneCardTwice) {
  configure("0", cardA);
  const auto result = qdl::openSoundDevices(ini, devices);
  ASSERT_NE(leftMain, nullptr);
  ASSERT_NE(rightMain, nullptr);
  EXPECT_NE(leftMain, rightMain) << "each deck has its own device object";
  EXPECT_EQ(guidOf(leftMain), VirtualCards::guid(0));
  EXPECT_EQ(guidOf(rightMain), VirtualCards::guid(0));
  EXPECT_TRUE(leftMain->PrimaryBuffer.IsPlaying());
  EXPECT_EQ(leftHead, nullptr);
  EXPECT_EQ(rightHead, nullptr);
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(false));
  EXPECT_TRUE(result.failures.empty());
}

TEST_F(DevicesTest, ModeOneSharesMainAndHeadDevicesBetweenTheDecks) {
  configure("1", cardA, cardB);
  const auto result = qdl::openSoundDevices(ini, devices);
  ASSERT_NE(leftMain, nullptr);
  ASSERT_NE(leftHead, nullptr);
  EXPECT_EQ(leftMain, rightMain);
  EXPECT_EQ(leftHead, rightHead);
  EXPECT_NE(leftMain, leftHead);
  EXPECT_EQ(guidOf(leftMain), VirtualCards::guid(0));
  EXPECT_EQ(guidOf(leftHead), VirtualCards::guid(1));
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(true));
}

TEST_F(DevicesTest, ModeTwoGivesEachDeckItsCard) {
  configure("2", cardA, cardB);
  EXPECT_EQ(qdl::openSoundDevices(ini, devices).headphoneControls, std::optional<bool>(false));
  EXPECT_EQ(guidOf(leftMain), VirtualCards::guid(0));
  EXPECT_EQ(guidOf(rightMain), VirtualCards::guid(1));
  EXPECT_EQ(leftHead, nullptr);
  EXPECT_EQ(rightHead, nullptr);
}

TEST_F(DevicesTest, OtherModesAndMissingSettings) {
  // No file at all: mode 0 with an empty Card_1.
  auto result = qdl::openSoundDevices(ini, devices);
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(false));
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(rightMain, nullptr);

  configure("7", cardA, cardB);
  result = qdl::openSoundDevices(ini, devices);
  EXPECT_FALSE(result.headphoneControls.has_value()) << "the controls keep their state";
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(rightMain, nullptr);
  EXPECT_EQ(leftHead, nullptr);

  ini.writeString("Devices", "Mode", "eins");
  EXPECT_THROW(qdl::openSoundDevices(ini, devices), qdl::ConversionError);
  EXPECT_EQ(leftMain, nullptr);

  // Keys in other letter case are found.
  QFile::remove(ini.fileName());
  qdl::listSoundDevices(ini);
  ini.writeString("devices", "mode", "2");
  ini.writeString("DEVICES", "card_1", cardB);
  qdl::openSoundDevices(ini, devices);
  EXPECT_EQ(guidOf(leftMain), VirtualCards::guid(1));
  EXPECT_EQ(rightMain, nullptr) << "an empty Card_2 opens nothing";
}

TEST_F(DevicesTest, OneCardsFaultSilencesOnlyThatCard) {
  // A first card typed by hand (no "present Devices" entry) or with a GUID
  // that does not parse: reported by name, and the second card still opens.
  configure("2", "Hand Typed Card", cardB);
  auto result = qdl::openSoundDevices(ini, devices);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].key, "Card_1");
  EXPECT_EQ(result.failures[0].cardName, "Hand Typed Card");
  EXPECT_TRUE(result.failures[0].notListed);
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(guidOf(rightMain), VirtualCards::guid(1));
  qdl::closeSoundDevices(devices);

  configure("1", "Broken Card", cardB);
  ini.writeString("present Devices", "Broken Card", "{nonsense}");
  result = qdl::openSoundDevices(ini, devices);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_FALSE(result.failures[0].notListed);
  EXPECT_TRUE(result.failures[0].reason.contains("{nonsense}"))
      << result.failures[0].reason.toStdString();
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(guidOf(leftHead), VirtualCards::guid(1));
  EXPECT_EQ(leftHead, rightHead);
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(true));
  qdl::closeSoundDevices(devices);

  // Without its headphone card the headphone mode keeps the cue buttons off:
  // their LEDs would light with nothing to hear.
  configure("1", cardA, "Hand Typed Card");
  result = qdl::openSoundDevices(ini, devices);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].key, "Card_2");
  EXPECT_EQ(leftMain, rightMain);
  EXPECT_NE(leftMain, nullptr);
  EXPECT_EQ(leftHead, nullptr);
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(false));
}

TEST_F(DevicesTest, ADeviceThatCannotBeOpenedIsReportedAndTheOthersOpen) {
  configure("2", "Removed Card", cardB);
  ini.writeString("present Devices", "Removed Card", "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  const auto result = qdl::openSoundDevices(ini, devices);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].key, "Card_1");
  EXPECT_EQ(result.failures[0].cardName, "Removed Card");
  EXPECT_FALSE(result.failures[0].reason.isEmpty());
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(guidOf(rightMain), VirtualCards::guid(1));
  EXPECT_EQ(result.headphoneControls, std::optional<bool>(false));

  EXPECT_THROW(TSoundDevice(nullptr, QUuid("{01234567-89AB-CDEF-0123-456789ABCDEF}")),
               qdl::sound::SoundError);
}

int deletedDevices = 0;

struct CountingDevice : TSoundDevice {
  ~CountingDevice() override { ++deletedDevices; }
};

TEST_F(DevicesTest, ClosingDeletesEachDeviceOnce) {
  deletedDevices = 0;
  auto* shared = new CountingDevice;
  auto* head = new CountingDevice;
  leftMain = rightMain = shared;
  leftHead = rightHead = head;
  qdl::closeSoundDevices(devices);
  EXPECT_EQ(deletedDevices, 2);
  EXPECT_EQ(leftMain, nullptr);
  EXPECT_EQ(leftHead, nullptr);
  EXPECT_EQ(rightMain, nullptr);
  EXPECT_EQ(rightHead, nullptr);

  deletedDevices = 0;
  leftMain = new CountingDevice;
  rightMain = new CountingDevice;
  qdl::closeSoundDevices(devices);
  EXPECT_EQ(deletedDevices, 2);
  qdl::closeSoundDevices(devices);
  EXPECT_EQ(deletedDevices, 2) << "empty slots delete nothing";

  // Opening over filled slots deletes what it takes out of them.
  deletedDevices = 0;
  leftMain = rightMain = new CountingDevice;
  leftHead = new CountingDevice;
  configure("2", cardA, cardB);
  qdl::openSoundDevices(ini, devices);
  EXPECT_EQ(deletedDevices, 2);
  EXPECT_EQ(leftHead, nullptr);
}

TEST_F(DevicesTest, ADeviceStopsItsPrimaryWhenClosed) {
  auto device = std::make_unique<TSoundDevice>(nullptr, std::nullopt);
  EXPECT_TRUE(device->PrimaryBuffer.IsPlaying());
  EXPECT_EQ(device->DirectSound->description(), cardA) << "the default device is card A";
  TStreamPlayer p(device->DirectSound.get(), nullptr, mp3("sine1k_44k_stereo_cbr128.mp3"));
  p.SetPosition(0);
  p.Play();
  device.reset();
  // The player's buffer outlives its device and stays safe to call.
  VirtualCards::advance(0, 441);
  p.Update();
  p.Stop();
  VirtualCards::takeCaptured(0);
}

}  // namespace
