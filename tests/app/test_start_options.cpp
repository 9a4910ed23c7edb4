// The program's own options, read before any Qt application object: the
// usage and the version, wrong options (exit code 2), the folder a start
// works in (the current one from a shell, ~/Quandrel from the menu or from a
// home folder without console data, --folder DIR) and its creation.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "app/StartOptions.h"
#include "support/TempDir.h"

namespace {

using qdl::app::parseStartOptions;
using qdl::app::StartOptions;

QStringList words(const char* line) {
  return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

struct ParseCase {
  const char* line;
  int exitCode;         // -1: the program goes on
  const char* message;  // a part of the message, for an exit
  const char* command;  // for going on
  const char* folder;   // --folder, as given
  bool menu;
  const char* handedOn;  // the arguments Qt and the commands see
};

class ParseStartOptions : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseStartOptions, ReadsTheProgramsOwnOptionsAndHandsTheRestOn) {
  const ParseCase& c = GetParam();
  const StartOptions o = parseStartOptions(words(c.line));
  if (c.exitCode >= 0) {
    ASSERT_TRUE(o.exitCode.has_value()) << c.line;
    EXPECT_EQ(*o.exitCode, c.exitCode) << c.line;
    EXPECT_TRUE(o.message.contains(QString::fromUtf8(c.message))) << o.message.toStdString();
    return;
  }
  ASSERT_FALSE(o.exitCode.has_value()) << c.line << ": " << o.message.toStdString();
  EXPECT_EQ(o.command, QString::fromUtf8(c.command)) << c.line;
  EXPECT_EQ(o.folder, QString::fromUtf8(c.folder)) << c.line;
  EXPECT_EQ(o.menu, c.menu) << c.line;
  EXPECT_EQ(o.arguments, words(c.handedOn)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseStartOptions,
    testing::Values(
        ParseCase{"quandrel", -1, "", "", "", false, "quandrel"},
        ParseCase{"quandrel --help", 0, "quandrel devices", "", "", false, ""},
        ParseCase{"quandrel -h", 0, "scan [--check]", "", "", false, ""},
        ParseCase{"quandrel --menu --help", 0, "--folder DIR", "", "", false, ""},
        ParseCase{"quandrel --version", 0, "Quandrel public Alpha 2", "", "", false, ""},
        ParseCase{"quandrel --bogus", 2, "unknown option '--bogus'", "", "", false, ""},
        ParseCase{"quandrel -x", 2, "unknown option '-x'", "", "", false, ""},
        ParseCase{"quandrel nonsense", 2, "unknown command 'nonsense'", "", "", false, ""},
        ParseCase{"quandrel --folder", 2, "--folder needs a folder", "", "", false, ""},
        ParseCase{"quandrel --folder=", 2, "--folder needs a folder", "", "", false, ""},
        ParseCase{"quandrel --menu", -1, "", "", "", true, "quandrel"},
        ParseCase{"quandrel --folder /x/gig", -1, "", "", "/x/gig", false, "quandrel"},
        ParseCase{"quandrel --folder=gig --menu", -1, "", "", "gig", true, "quandrel"},
        // Qt's options pass on, with their values.
        ParseCase{"quandrel -platform offscreen --menu", -1, "", "", "", true,
                  "quandrel -platform offscreen"},
        ParseCase{"quandrel --style=fusion -reverse", -1, "", "", "", false,
                  "quandrel --style=fusion -reverse"},
        // A command ends the program's options: the rest is the command's.
        ParseCase{"quandrel scan --check /music", -1, "", "scan", "", false,
                  "quandrel scan --check /music"},
        ParseCase{"quandrel --folder lib print --help", -1, "", "print", "lib", false,
                  "quandrel print --help"},
        ParseCase{"quandrel devices --verbose", -1, "", "devices", "", false,
                  "quandrel devices --verbose"},
        ParseCase{"quandrel analyze --redo", -1, "", "analyze", "", false,
                  "quandrel analyze --redo"},
        ParseCase{"quandrel playlist --menu", -1, "", "playlist", "", false,
                  "quandrel playlist --menu"}));

// The usage names every command and every option the commands take.
TEST(StartOptions, UsageNamesEveryCommandAndOption) {
  const QString usage = qdl::app::usageText();
  for (const char* word : {"--help", "--version", "--folder DIR", "--menu", "scan", "--check",
                           "--only-check", "--retag", "analyse", "--redo", "print", "--sort",
                           "--lang", "--pdf", "playlist", "devices", "--verbose"})
    EXPECT_TRUE(usage.contains(QString::fromUtf8(word))) << word;
}

// The command-line runner the tests and the program share answers alike.
TEST(StartOptions, RunCommandLineAgrees) {
  EXPECT_EQ(qdl::app::runCommandLine({QStringLiteral("quandrel"), QStringLiteral("--version")}), 0);
  EXPECT_EQ(qdl::app::runCommandLine({QStringLiteral("quandrel"), QStringLiteral("bogus")}), 2);
  EXPECT_FALSE(qdl::app::runCommandLine({QStringLiteral("quandrel")}).has_value());
}

void touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

struct FolderCase {
  const char* name;
  const char* line;       // the arguments
  const char* startIn;    // "home", "other" (a folder below home), "away" (outside home)
  const char* homeHolds;  // a file home holds already, or ""
  const char* expected;   // "home/Quandrel", "home", "other", "away", or a path below "away"
};

class WorkingFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(WorkingFolder, FollowsTheStartAndTheFolderOption) {
  const FolderCase& c = GetParam();
  QTemporaryDir root;
  const QString home = root.filePath(QStringLiteral("home"));
  const QString other = home + QStringLiteral("/sets");
  const QString away = root.filePath(QStringLiteral("away"));
  for (const QString& d : {home, other, away}) QDir().mkpath(d);
  if (*c.homeHolds) touch(home + QLatin1Char('/') + QString::fromUtf8(c.homeHolds));
  const QString start = QString::fromUtf8(c.startIn) == QLatin1String("home")    ? home
                        : QString::fromUtf8(c.startIn) == QLatin1String("other") ? other
                                                                                 : away;
  const StartOptions o = parseStartOptions(words(c.line));
  ASSERT_FALSE(o.exitCode.has_value());
  QString expected = QString::fromUtf8(c.expected);
  expected.replace(QStringLiteral("home"), home).replace(QStringLiteral("away"), away);
  if (expected == QLatin1String("other")) expected = other;
  EXPECT_EQ(qdl::app::workingFolder(o, start, home), QDir::cleanPath(expected)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkingFolder,
    testing::Values(
        FolderCase{"shell start keeps the current folder", "quandrel", "other", "", "other"},
        FolderCase{"shell start outside home", "quandrel", "away", "", "away"},
        FolderCase{"menu start", "quandrel --menu", "away", "", "home/Quandrel"},
        FolderCase{"menu start from home", "quandrel --menu", "home", "qdl.ini", "home/Quandrel"},
        FolderCase{"a launcher starts in an empty home", "quandrel", "home", "", "home/Quandrel"},
        FolderCase{"a home with settings keeps them", "quandrel", "home", "qdl.ini", "home"},
        FolderCase{"a home with a library keeps it", "quandrel", "home", "Data/data.db", "home"},
        FolderCase{"a command in an empty home", "quandrel scan /m", "home", "", "home/Quandrel"},
        FolderCase{"--folder wins over the menu", "quandrel --menu --folder /x/y", "home", "",
                   "/x/y"},
        FolderCase{"a relative --folder is the current folder's", "quandrel --folder gig/../set",
                   "away", "", "away/set"}));

struct PathsCase {
  const char* line;
  const char* handedOn;  // with "@" for the folder the program started in
};

class AbsolutePaths : public testing::TestWithParam<PathsCase> {};

TEST_P(AbsolutePaths, TheFilesACommandNamesStayThoseOfTheStartFolder) {
  const StartOptions o = parseStartOptions(words(GetParam().line));
  ASSERT_FALSE(o.exitCode.has_value());
  EXPECT_EQ(qdl::app::withAbsolutePaths(o, QStringLiteral("/start/here")),
            words(GetParam().handedOn)
                .replaceInStrings(QStringLiteral("@"), QStringLiteral("/start/here")))
      << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsolutePaths,
    testing::Values(
        PathsCase{"quandrel --folder lib scan --check music ../other /abs",
                  "quandrel scan --check @/music /start/other /abs"},
        PathsCase{"quandrel --menu playlist lists/friday.m3u",
                  "quandrel playlist @/lists/friday.m3u"},
        PathsCase{"quandrel --folder lib print --sort artist --lang en --pdf out/list.pdf",
                  "quandrel print --sort artist --lang en --pdf @/out/list.pdf"},
        PathsCase{"quandrel --folder lib analyse --redo", "quandrel analyse --redo"},
        PathsCase{"quandrel --folder lib devices --verbose", "quandrel devices --verbose"},
        PathsCase{"quandrel --menu -style fusion", "quandrel -style fusion"}));

TEST(StartOptions, EnterFolderCreatesTheFolderAndMakesItCurrent) {
  const qdl::test::TempCwd cwd;
  const QString target = cwd.file(QStringLiteral("home/Quandrel"));
  QString error;
  ASSERT_TRUE(qdl::app::enterFolder(target, &error)) << error.toStdString();
  EXPECT_TRUE(QFileInfo(target).isDir());
  EXPECT_EQ(QDir::currentPath(), QFileInfo(target).canonicalFilePath());
  // A folder below a file cannot be made: a message, and the current folder stays.
  touch(cwd.file(QStringLiteral("plain")));
  EXPECT_FALSE(qdl::app::enterFolder(cwd.file(QStringLiteral("plain/sub")), &error));
  EXPECT_TRUE(error.contains(QStringLiteral("cannot create"))) << error.toStdString();
  EXPECT_EQ(QDir::currentPath(), QFileInfo(target).canonicalFilePath());
}

}  // namespace
