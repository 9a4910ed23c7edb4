// `quandrel print` on libraries in temporary folders: the PDF it writes, the
// language it takes, and what it refuses or cannot do without losing a file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

#include "SongLibrary.h"
#include "print/PrintCommand.h"
#include "support/CommandRun.h"
#include "support/PdfText.h"
#include "support/TempDir.h"

using qdl::test::pdfPages;
using qdl::test::textLines;

namespace {

using qdl::test::CommandRun;
using qdl::test::runCommand;

CommandRun printCommand(const QStringList& args) {
  return runCommand(qdl::print::runPrintCommand, args);
}

void createLibrary(const std::vector<qdl::test::Song>& songs) {
  TDataModule1 data;
  qdl::test::createLibrary(data, songs);
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(PrintCommand, WritesTheListInTheChosenOrderAndLanguage) {
  qdl::test::TempCwd cwd;
  createLibrary({{"Beta", "Zulu", 120, "Pop", "1999"}, {"Alpha", "Yankee", 99, "Rock", "2003"}});
  CommandRun r = printCommand({"--sort", "title", "--pdf", "list.pdf"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, "list.pdf: 2 songs on 1 page\n");
  QStringList lines = textLines(pdfPages(cwd.file("list.pdf")).value(0));
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0].trimmed(), "Quandrel Titelliste sortiert nach Titel");
  EXPECT_EQ(lines[1].simplified(), "Interpret Titel Beats Kategorie Jahr");
  EXPECT_EQ(lines[2].simplified(), "Alpha Yankee 99 Rock 2003");
  EXPECT_EQ(lines[3].simplified(), "Beta Zulu 120 Pop 1999");
  EXPECT_TRUE(lines[4].trimmed().startsWith("Seite 1 – "));

  r = printCommand({"--sort", "year", "--lang", "en", "--pdf", cwd.file("en.pdf")});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  lines = textLines(pdfPages(cwd.file("en.pdf")).value(0));
  EXPECT_EQ(lines.value(0).trimmed(), "Quandrel Songlist sortet by Year");
  EXPECT_EQ(lines.value(2).simplified(), "Beta Zulu 120 Pop 1999");
  EXPECT_TRUE(lines.value(4).trimmed().startsWith("Side 1 – "));

  // Without --lang the list speaks the language set for the console here.
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Sprache]\r\nMode=1\r\n");
  ini.close();
  r = printCommand({"--sort", "genre", "--pdf", "list.pdf"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(textLines(pdfPages(cwd.file("list.pdf")).value(0)).value(0).trimmed(),
            "Quandrel Songlist sortet by Genre");
}

TEST(PrintCommand, WrongArgumentsChangeNothing) {
  qdl::test::TempCwd cwd;
  const QList<QStringList> wrong = {
      {},
      {"--pdf", "x.pdf"},
      {"--sort", "bpm", "--pdf", "x.pdf"},
      {"--sort", "artist"},
      {"--sort", "artist", "--lang", "fr", "--pdf", "x.pdf"},
      {"--sort", "artist", "--pdf"},
      {"--sort", "artist", "--pdf", "x.pdf", "--copies", "2"},
      {"--sort", "artist", "--pdf", "."},
  };
  for (const QStringList& args : wrong) {
    const CommandRun r = printCommand(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("Usage: quandrel print")) << r.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(cwd.file("x.pdf")));
  EXPECT_FALSE(QFile::exists(cwd.file("Data")));  // no library is made
  EXPECT_EQ(printCommand({"--help"}).code, 0);
}

TEST(PrintCommand, AMissingOrEmptyLibraryOrAnUnwritableFileIsToldAndLosesNothing) {
  qdl::test::TempCwd cwd;
  CommandRun r = printCommand({"--sort", "artist", "--pdf", "list.pdf"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("no song library here")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(cwd.file("Data")));

  // A damaged library file.
  QDir::current().mkpath("Data");
  QFile junk(cwd.file("Data/data.db"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write(QByteArray(4096, 'x'));
  junk.close();
  r = printCommand({"--sort", "artist", "--pdf", "list.pdf"});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(r.err.isEmpty());
  QFile::remove(cwd.file("Data/data.db"));

  createLibrary({});
  QFile old(cwd.file("list.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old list");
  old.close();
  r = printCommand({"--sort", "artist", "--pdf", "list.pdf"});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.err.contains("holds no songs")) << r.err.toStdString();
  EXPECT_EQ(readAll(cwd.file("list.pdf")), "old list");

  createLibrary(qdl::test::numberedSongs(3));
  r = printCommand({"--sort", "artist", "--pdf", cwd.file("missing/folder/list.pdf")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot be written")) << r.err.toStdString();
}

// The list never lands on the library, its journal, the settings, an MP3
// file, a pipe or a file that is no PDF: each is refused with one line and
// stays as it was.
TEST(PrintCommand, NeverWritesOverWhatIsNotAPdf) {
  qdl::test::TempCwd cwd;
  createLibrary(qdl::test::numberedSongs(3));
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Sprache]\r\nMode=0\r\n");
  ini.close();
  QFile text(cwd.file("notes.pdf"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("my notes, not a PDF\n");
  text.close();
  ASSERT_EQ(::mkfifo(QFile::encodeName(cwd.file("pipe.pdf")).constData(), 0600), 0);
  const struct {
    const char* target;
    const char* reason;
  } cases[] = {{"Data/data.db", "database"},
               {"Data/data.db-journal", "journal"},
               {"qdl.ini", "settings file"},
               {"notes.pdf", "not a PDF"},
               {"pipe.pdf", "pipe"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const QString path = cwd.file(c.target);
    const QByteArray before = QFileInfo(path).isFile() ? readAll(path) : QByteArray();
    const CommandRun r = printCommand({"--sort", "artist", "--pdf", c.target});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
    if (QFileInfo(path).isFile()) {
      EXPECT_EQ(readAll(path), before);
    }
  }
  EXPECT_FALSE(QFile::exists(cwd.file("Data/data.db-journal")));
  EXPECT_EQ(QFileInfo(cwd.file("pipe.pdf")).isFile(), false);
}
