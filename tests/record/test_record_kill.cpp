// A console killed mid-recording leaves a file that plays up to within its
// last second or so.

#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>

#include "platform/record/EncodedFile.h"
#include "record/RecordHarness.h"

namespace {

class RecordKill : public testing::TestWithParam<const char*> {};

TEST_P(RecordKill, AKilledRecordingDecodesUpToItsLastSecond) {
  const QString format = QLatin1String(GetParam());
  QTemporaryDir dir;
  QProcess child;
  child.start(QStringLiteral(QDL_RECORD_CHILD), {dir.path(), format});
  ASSERT_TRUE(child.waitForStarted());
  QByteArray line;
  while (!line.endsWith('\n')) {
    ASSERT_TRUE(child.state() == QProcess::Running) << child.readAllStandardError().toStdString();
    child.waitForReadyRead(100);
    line += child.readAllStandardOutput();
  }
  const long long recorded = line.trimmed().split(' ').value(1).toLongLong();
  ASSERT_GE(recorded, 3 * 44100);
  ::kill(pid_t(child.processId()), SIGKILL);
  ASSERT_TRUE(child.waitForFinished());
  ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

  const QString file = dir.filePath(QStringLiteral("2026-12-24 21-07-09.") + format);
  const auto decoded = qdl::test::decodeFile(file);
  const long long frames = static_cast<long long>(decoded.size() / 2);
  // Every format keeps all but about its last second (the WAV header is
  // brought up to date once a second).
  EXPECT_GE(frames, recorded - 44100 - 4096) << format.toStdString();
  if (format != QLatin1String("mp3")) {
    const auto expected = qdl::test::pattern(0, int(frames));
    EXPECT_TRUE(decoded == expected) << "the kept part is the recording, sample for sample";
  }
  // The track list began as the recording did.
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("2026-12-24 21-07-09.cue"))));
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordKill, testing::Values("flac", "wav", "mp3"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
