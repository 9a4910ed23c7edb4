// Recording a virtual card's output: the file holds what the card played,
// sample for sample, whatever the format, the moment of the start and stop,
// a full disk or a name that is taken.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/record/Recorder.h"
#include "platform/record/TrackList.h"
#include "platform/sound/OutputTap.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "record/RecordHarness.h"
#include "support/ScratchDisk.h"

using qdl::record::Format;
using qdl::record::Recorder;
using qdl::record::RecordSettings;
using qdl::sound::Device;
using qdl::sound::VirtualCards;

namespace {

const QDateTime kStart(QDate(2026, 12, 24), QTime(21, 7, 9));

// A card playing a looping buffer of a pattern (every sample different
// within the loop), so any lost, doubled or moved frame shows.
class PlayingCard {
 public:
  PlayingCard() {
    device_ = Device::open(VirtualCards::guid(0));
    constexpr int kFrames = 44100;
    buffer_ = device_->createBuffer(Device::kPrimaryFormat, kFrames * 4);
    const auto samples = qdl::test::pattern(1, kFrames);
    const qdl::sound::LockedRegion r = buffer_->lock(0, kFrames * 4);
    std::memcpy(r.first.data(), samples.data(), r.first.size());
    buffer_->unlock(r);
    buffer_->setVolume(-600);  // below full scale: the limiter passes it unchanged
    buffer_->play(true);
    VirtualCards::takeCaptured(0);
  }
  ~PlayingCard() {
    buffer_.reset();
    device_.reset();
    VirtualCards::takeCaptured(0);
  }
  Recorder::Attach attach() {
    return [d = device_.get()](std::shared_ptr<qdl::sound::OutputTap> tap) { d->setTap(tap); };
  }
  // Renders `frames` in blocks of the real-time card's size and returns them.
  std::vector<std::int16_t> play(int frames) {
    for (int done = 0; done < frames; done += 441)
      VirtualCards::advance(0, std::min(441, frames - done));
    return VirtualCards::takeCaptured(0);
  }
  Device& device() { return *device_; }

 private:
  std::unique_ptr<Device> device_;
  std::unique_ptr<qdl::sound::SoundBuffer> buffer_;
};

std::vector<std::int16_t> decodeAll(const QStringList& files) {
  std::vector<std::int16_t> all;
  for (const QString& f : files) {
    const auto part = qdl::test::decodeFile(f);
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

struct FormatCase {
  const char* name;
  Format format;
  const char* extension;
};

class RecordFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(RecordFormats, StartAndStopMidSongKeepExactlyWhatTheCardPlayed) {
  const FormatCase& c = GetParam();
  QTemporaryDir dir;
  PlayingCard card;
  card.play(12345);  // the song is on before the recording starts
  Recorder recorder;
  RecordSettings settings;
  settings.folder = dir.filePath(QStringLiteral("Aufnahmen"));
  settings.format = c.format;
  ASSERT_EQ(recorder.start(settings, kStart, card.attach()), QString());
  ASSERT_TRUE(recorder.isRecording());
  const auto heard = card.play(3 * 44100 + 777);
  EXPECT_EQ(recorder.recordedFrames(), 3 * 44100 + 777);
  ASSERT_EQ(recorder.stop(), QString());
  card.play(5000);  // and goes on after it stopped

  const QString expected =
      QDir(settings.folder)
          .filePath(QStringLiteral("2026-12-24 21-07-09.") + QLatin1String(c.extension));
  ASSERT_EQ(recorder.files(), QStringList{expected});
  int rate = 0;
  const auto recorded = qdl::test::decodeFile(expected, &rate);
  EXPECT_EQ(rate, 44100);
  if (c.format == Format::Mp3) {
    // Lossy: the right length (the LAME tag trims the encoder's delay and
    // padding) and sound in it.
    EXPECT_NEAR(double(recorded.size()), double(heard.size()), 2 * 1152 * 2);
    EXPECT_GT(qdl::test::peakOf16(recorded), 1000);
  } else {
    ASSERT_EQ(recorded.size(), heard.size());
    EXPECT_TRUE(recorded == heard) << "the recording differs from the card's output";
  }
  EXPECT_EQ(recorder.status().lostFrames, 0);
  EXPECT_GT(recorder.status().bytes, 1000);
  EXPECT_EQ(recorder.status().bytes, QFileInfo(expected).size());
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordFormats,
                         testing::Values(FormatCase{"flac", Format::Flac, "flac"},
                                         FormatCase{"wav", Format::Wav, "wav"},
                                         FormatCase{"mp3", Format::Mp3, "mp3"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Recorder, TheCardKeepsRenderingSilenceWhileRecording) {
  // A silent stretch of a set is part of it: the card must not sleep.
  QTemporaryDir dir;
  auto device = Device::open(VirtualCards::guid(0));
  Recorder recorder;
  RecordSettings settings;
  settings.folder = dir.path();
  settings.format = Format::Wav;
  ASSERT_EQ(
      recorder.start(settings, kStart, [d = device.get()](auto tap) { d->setTap(std::move(tap)); }),
      QString());
  for (int i = 0; i < 300; ++i) VirtualCards::advance(0, 441);
  VirtualCards::takeCaptured(0);
  ASSERT_EQ(recorder.stop(), QString());
  EXPECT_EQ(qdl::test::decodeFile(recorder.files().value(0)).size(), std::size_t(300 * 441 * 2));
}

TEST(Recorder, ANameThatIsTakenIsNeverReplaced) {
  QTemporaryDir dir;
  // The first name's audio file is taken, the second's track list is.
  QFile taken(dir.filePath(QStringLiteral("2026-12-24 21-07-09.flac")));
  ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
  taken.write("not a recording");
  taken.close();
  QFile list(dir.filePath(QStringLiteral("2026-12-24 21-07-09 (2).cue")));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly));
  list.write("someone's cue sheet");
  list.close();

  PlayingCard card;
  Recorder recorder;
  RecordSettings settings;
  settings.folder = dir.path();
  ASSERT_EQ(recorder.start(settings, kStart, card.attach()), QString());
  const auto heard = card.play(44100);
  recorder.addTrack(QStringLiteral("Artist"), QStringLiteral("Song"));
  ASSERT_EQ(recorder.stop(), QString());
  EXPECT_EQ(recorder.files(),
            QStringList{dir.filePath(QStringLiteral("2026-12-24 21-07-09 (3).flac"))});
  EXPECT_EQ(recorder.cuePath(), dir.filePath(QStringLiteral("2026-12-24 21-07-09 (3).cue")));
  ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
  EXPECT_EQ(taken.readAll(), QByteArray("not a recording"));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll(), QByteArray("someone's cue sheet"));
  EXPECT_TRUE(qdl::test::decodeFile(recorder.files().value(0)) == heard);
}

TEST(Recorder, ARingOverflowIsCountedAndFilledWithSilenceOfItsLength) {
  QTemporaryDir dir;
  PlayingCard card;
  Recorder recorder;
  RecordSettings settings;
  settings.folder = dir.path();
  settings.format = Format::Wav;
  settings.ringFrames = 1000;
  ASSERT_EQ(recorder.start(settings, kStart, card.attach()), QString());
  // One block far larger than the ring: most of it cannot be kept.
  VirtualCards::advance(0, 5000);
  const auto heard = VirtualCards::takeCaptured(0);
  ASSERT_EQ(recorder.stop(), QString());
  const Recorder::Status s = recorder.status();
  EXPECT_EQ(s.lostFrames, 4000);
  const auto recorded = qdl::test::decodeFile(recorder.files().value(0));
  // The timeline stays: the first 1000 frames as heard, then 4000 of silence.
  ASSERT_EQ(recorded.size(), heard.size());
  EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + 2000, recorded.begin()));
  EXPECT_TRUE(std::all_of(recorded.begin() + 2000, recorded.end(), [](auto v) { return v == 0; }));
}

TEST(Recorder, AWavRecordingGoesOnInANextFileBeforeItsSizeLimit) {
  QTemporaryDir dir;
  PlayingCard card;
  Recorder recorder;
  RecordSettings settings;
  settings.folder = dir.path();
  settings.format = Format::Wav;
  settings.splitBytes = 200'000;  // about 1.1 s of audio per file
  ASSERT_EQ(recorder.start(settings, kStart, card.attach()), QString());
  recorder.addTrack(QStringLiteral("A"), QStringLiteral("One"));
  std::vector<std::int16_t> heard;
  for (int i = 0; i < 3; ++i) {
    const auto more = card.play(44100);
    heard.insert(heard.end(), more.begin(), more.end());
    // Let the writer reach the card, so the track below starts in a later part.
    qdl::test::waitFor([&] { return recorder.status().writtenFrames >= (i + 1) * 44100; });
  }
  recorder.addTrack(QStringLiteral("B"), QStringLiteral("Two"));
  ASSERT_EQ(recorder.stop(), QString());
  const QStringList files = recorder.files();
  ASSERT_EQ(files.size(), 3);
  EXPECT_EQ(QFileInfo(files[1]).fileName(), QStringLiteral("2026-12-24 21-07-09-2.wav"));
  for (const QString& f : files) EXPECT_LE(QFileInfo(f).size(), 200'000);
  EXPECT_TRUE(decodeAll(files) == heard) << "the parts together are the recording";
  QFile cue(recorder.cuePath());
  ASSERT_TRUE(cue.open(QIODevice::ReadOnly));
  const QString sheet = QString::fromUtf8(cue.readAll());
  EXPECT_TRUE(sheet.contains(QStringLiteral("FILE \"2026-12-24 21-07-09-3.wav\" WAVE")))
      << sheet.toStdString();
  // The second track starts in the third part: its time counts from there.
  const std::int64_t partStart = std::int64_t(decodeAll(files.mid(0, 2)).size() / 2);
  EXPECT_TRUE(sheet.contains(QStringLiteral("INDEX 01 ") +
                             qdl::record::TrackList::cueTime(3 * 44100 - partStart)))
      << sheet.toStdString();
}

TEST(Recorder, AFullDiskStopsTheRecordingAndLeavesAFileThatPlays) {
  for (const Format format : {Format::Wav, Format::Flac}) {
    SCOPED_TRACE(qdl::record::formatName(format).toStdString());
    qdl::test::ScratchDisk disk(256);
    QTemporaryDir plain;
    PlayingCard card;
    Recorder recorder;
    RecordSettings settings;
    settings.folder = disk.isMounted() ? disk.path() : plain.path();
    settings.format = format;
    std::vector<std::int16_t> heard;
    Recorder::Status s;
    const auto record = [&] {
      ASSERT_EQ(recorder.start(settings, kStart, card.attach()), QString());
      // Far more than the disk holds (256 KiB is about 1.5 s of WAV).
      for (int i = 0; i < 20 && !recorder.status().failed; ++i) {
        const auto more = card.play(44100);
        heard.insert(heard.end(), more.begin(), more.end());
        qdl::test::waitFor([&] {
          const Recorder::Status now = recorder.status();
          return now.failed || now.writtenFrames >= now.frames;
        });
      }
      s = recorder.status();
      EXPECT_FALSE(recorder.stop().isEmpty());
    };
    if (disk.isMounted())
      record();
    else
      qdl::test::withFileSizeLimit(256 * 1024, record);
    ASSERT_TRUE(s.failed);
    EXPECT_FALSE(s.failure.isEmpty());
    const auto recorded = qdl::test::decodeFile(recorder.files().value(0));
    ASSERT_GT(recorded.size(), std::size_t(44100));
    ASSERT_LE(recorded.size(), heard.size());
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), heard.begin()))
        << "what was written plays as it was heard";
  }
}

TEST(TrackListTimes, ClockAndCueTimes) {
  struct Case {
    std::int64_t frame;
    const char* clock;
    const char* cue;
  };
  for (const Case& c :
       {Case{0, "0:00:00", "00:00:00"}, Case{44100, "0:00:01", "00:01:00"},
        Case{44100 + 588, "0:00:01", "00:01:01"}, Case{44100 * 61 + 44099, "0:01:01", "01:01:74"},
        Case{44100LL * 3725, "1:02:05", "62:05:00"}}) {
    EXPECT_EQ(qdl::record::TrackList::clock(c.frame), QLatin1String(c.clock)) << c.frame;
    EXPECT_EQ(qdl::record::TrackList::cueTime(c.frame), QLatin1String(c.cue)) << c.frame;
  }
}

TEST(TrackList, IsWrittenAsItGrowsAndFinishedAtTheEnd) {
  QTemporaryDir dir;
  const QString base = dir.filePath(QStringLiteral("set"));
  {
    qdl::record::TrackList list(base, QStringLiteral("set.flac"), QStringLiteral("WAVE"));
    ASSERT_EQ(list.error(), QString());
    list.add(0, QStringLiteral("Artist \"One\""), QStringLiteral("Song"));
    list.add(44100 * 90, QString(), QStringLiteral("Only a title"));
    // Before the end the files hold every track so far (a killed console).
    QFile text(list.textPath());
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(text.readAll()),
              QStringLiteral("0:00:00  Artist \"One\" - Song\r\n0:01:30  Only a title\r\n"));
    EXPECT_EQ(list.finish(), QString());
  }
  QFile cue(base + QStringLiteral(".cue"));
  ASSERT_TRUE(cue.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(cue.readAll()),
            QStringLiteral(
                "REM COMMENT \"Quandrel\"\r\nTITLE \"set\"\r\nFILE \"set.flac\" WAVE\r\n"
                "  TRACK 01 AUDIO\r\n    TITLE \"Song\"\r\n    PERFORMER \"Artist 'One'\"\r\n"
                "    INDEX 01 00:00:00\r\n"
                "  TRACK 02 AUDIO\r\n    TITLE \"Only a title\"\r\n    INDEX 01 01:30:00\r\n"));
}

}  // namespace
