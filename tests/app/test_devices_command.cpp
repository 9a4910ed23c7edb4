// `quandrel devices`: the outputs that play, one "GUID<TAB>name" line each,
// and the exit code that tells a script there is no sound card.
#include <gtest/gtest.h>

#include <QString>

#include "app/DevicesCommand.h"
#include "support/CommandRun.h"

namespace {

using qdl::test::CommandRun;

CommandRun devices(const QStringList& arguments) {
  return qdl::test::runCommand(qdl::app::runDevicesCommand, arguments);
}

TEST(DevicesCommand, ListsThePlayingOutputsOrSaysThereIsNone) {
  qputenv("QUANDREL_AUDIO", "virtual");
  qunsetenv("QUANDREL_AUDIO_VIRTUAL_CARDS");
  CommandRun r = devices({});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  for (const QString& line : lines) {
    const QStringList fields = line.split(QLatin1Char('\t'));
    ASSERT_EQ(fields.size(), 2) << line.toStdString();
    EXPECT_EQ(fields[0].size(), 38) << "a GUID in registry form: " << line.toStdString();
    EXPECT_TRUE(fields[0].startsWith(QLatin1Char('{')));
    EXPECT_FALSE(fields[1].isEmpty());
  }

  qputenv("QUANDREL_AUDIO_VIRTUAL_CARDS", "0");
  r = devices({});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains("no sound output")) << r.err.toStdString();
  qunsetenv("QUANDREL_AUDIO_VIRTUAL_CARDS");

  EXPECT_EQ(devices({QStringLiteral("--all")}).code, 2);
  qputenv("QUANDREL_AUDIO", "nonsense");
  r = devices({});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("nonsense")) << r.err.toStdString();
  qputenv("QUANDREL_AUDIO", "virtual");
}

}  // namespace
