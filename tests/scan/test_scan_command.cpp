// `quandrel scan` on temporary trees: the library it creates, its summary,
// a rescan, the check, and arguments it refuses without changing anything.

#include <gtest/gtest.h>

#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "ScanTree.h"
#include "library/ScanCommand.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

using qdl::test::writeMp3;

namespace {

using qdl::test::CommandRun;
using qdl::test::runCommand;

CommandRun scan(const QStringList& args) { return runCommand(qdl::library::runScanCommand, args); }

QString summary(int folders, int found, int added, int present, int unreadable, int removed) {
  return QStringLiteral(
             "folders: %1\nfiles found: %2\nadded: %3\nalready present: %4\nunreadable: %5\n"
             "records removed: %6\n")
      .arg(folders)
      .arg(found)
      .arg(added)
      .arg(present)
      .arg(unreadable)
      .arg(removed);
}

// The lines a check adds to the summary.
QString checked(int records, int notReachable) {
  return QStringLiteral("records checked: %1\nnot reachable: %2\n").arg(records).arg(notReachable);
}

TEST(ScanCommand, CreatesTheLibraryScansRescansAndChecks) {
  qdl::test::TempCwd cwd;
  const QString music = cwd.file("music");
  ASSERT_TRUE(writeMp3(music + "/a.mp3", "A", "a"));
  ASSERT_TRUE(writeMp3(music + "/one/b.MP3", "B", "b"));
  ASSERT_TRUE(writeMp3(music + "/one/two/c.mp3"));
  ASSERT_TRUE(writeMp3(music + "/.cache/d.mp3"));
  ASSERT_TRUE(writeMp3(cwd.file("other/e.mp3")));

  CommandRun r = scan({music});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  // music, one, one/two: three folders searched; .cache is hidden.
  EXPECT_EQ(r.out, summary(3, 3, 3, 0, 0, 0));
  EXPECT_TRUE(QFileInfo::exists(cwd.file("Data/data.db")));
  EXPECT_TRUE(r.err.contains("scanning:")) << r.err.toStdString();

  // A second folder given as a relative path; the first again adds nothing.
  r = scan({"music/", "other"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, summary(4, 4, 1, 3, 0, 0));

  ASSERT_TRUE(QFile::remove(music + "/one/two/c.mp3"));
  ASSERT_TRUE(QDir(cwd.file("other")).removeRecursively());
  r = scan({"--only-check"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, summary(0, 0, 0, 0, 0, 2) + checked(4, 0));

  ASSERT_TRUE(QFile::remove(music + "/a.mp3"));
  r = scan({"--check", music});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, summary(3, 1, 0, 1, 0, 1) + checked(2, 0));

  // With its folder and the folder's parent gone, a record may be on a
  // medium that is not there: it stays and is counted as not reachable.
  ASSERT_TRUE(QDir(music).removeRecursively());
  r = scan({"--only-check"});
  EXPECT_EQ(r.out, summary(0, 0, 0, 0, 0, 0) + checked(1, 1));

  // A check asked of an empty library says it checked nothing.
  qdl::test::TempCwd empty;
  r = scan({"--only-check"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, summary(0, 0, 0, 0, 0, 0) + checked(0, 0));
}

TEST(ScanCommand, RefusesBadArgumentsWithoutTouchingTheFolder) {
  qdl::test::TempCwd cwd;
  ASSERT_TRUE(writeMp3(cwd.file("song.mp3")));
  for (const QStringList& args :
       {QStringList{}, QStringList{"--bogus", "."}, QStringList{"no-such-folder"},
        QStringList{"song.mp3"}, QStringList{"--only-check", "."}}) {
    const CommandRun r = scan(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.startsWith("quandrel scan: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Usage: quandrel scan"));
    EXPECT_TRUE(r.out.isEmpty());
  }
  EXPECT_FALSE(QFileInfo::exists(cwd.file("Data")));

  const CommandRun help = scan({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains("--only-check"));
}

TEST(ScanCommand, ALibraryThatCannotBeOpenedIsReportedAndLeftAlone) {
  qdl::test::TempCwd cwd;
  QDir().mkpath(cwd.file("Data"));
  QFile foreign(cwd.file("Data/data.db"));
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.write("these are not the songs you are looking for");
  foreign.close();
  const CommandRun r = scan({"--only-check"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("data.db")) << r.err.toStdString();
  QFile again(cwd.file("Data/data.db"));
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  EXPECT_EQ(again.readAll(), "these are not the songs you are looking for");
}

}  // namespace

// Folder names are text from the disk: a message that names a file shows
// their control characters written out, never as commands to the terminal.
TEST(ScanCommand, ControlCharactersInNamesReachTheTerminalWrittenOut) {
  qdl::test::TempCwd cwd;
  const QString folder = cwd.file(QString::fromUtf8("\x1b]0;owned\x07\x1b[2J"));
  QDir().mkpath(folder + "/Data");
  QFile foreign(folder + "/Data/data.db");
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.write("these are not the songs you are looking for");
  foreign.close();
  QDir::setCurrent(folder);
  const CommandRun r = scan({"--only-check"});
  QDir::setCurrent(cwd.path());
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("\\x1b]0;owned\\x07\\x1b[2J")) << r.err.toStdString();
  EXPECT_FALSE(r.err.contains('\x1b'));
  EXPECT_FALSE(r.err.contains('\x07'));
}
