// The song list as CSV: every field with the table's names, Loudness, Gain
// and FirstBeat, RFC 4180 quoting, the chosen order; through `quandrel
// print --csv` and the print selection window's "CSV..." with the scripted
// save dialog; a file that is no text file is never replaced.

#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>

#include "SongLibrary.h"
#include "library/SongLoudness.h"
#include "print/PrintCommand.h"
#include "print/SongCsv.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

namespace {

using qdl::test::CommandRun;

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray kHeader =
    "Index,Interpret,Titel,Beats,Genre,Jahr,Dateiname,Equalizer,Startzeit,EndZeit,Analyse,"
    "Loudness,Gain,FirstBeat\r\n";

TEST(SongCsv, FieldsAreQuotedAsRfc4180Says) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"Motörhead – Ace", "Motörhead – Ace"},
      {" spaces kept ", " spaces kept "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qdl::print::csvField(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

class SongCsvLibrary : public ::testing::Test {
 protected:
  SongCsvLibrary() {
    qdl::test::createLibrary(data, {{"Beta, the band", "Zulu \"live\"", 120, "Pop", "1999"},
                                    {"Alpha", "Yankee", QVariant(), "Rock", "2003"},
                                    {"Ärzte", "Über\nzwei Zeilen", 99, "Punk", "1988"}});
    for (const qint64 id : table.recordIds()) {
      const QString artist = table.storedValue(id, "Interpret")->toString();
      keys[artist.left(2)] = id;
    }
    EXPECT_TRUE(
        qdl::library::storeMeasuredLoudness(table, keys["Be"], qdl::loudness::Level{-9.96, -0.4}));
    // Tags only: -19.5 LUFS, lifted by 5.5 dB.
    EXPECT_TRUE(qdl::library::storeReplayGain(table, keys["Al"], 1.5, 0.5));
    EXPECT_TRUE(table.setBeatGrid(keys["Be"], {0.4821, 120.0}));
    EXPECT_TRUE(table.setBeatGrid(keys["Är"], {12.0, 99.0}));
  }
  qdl::test::TempCwd cwd;
  TDataModule1 data;
  qdl::db::Table& table = *data.Table1;
  QHash<QString, qint64> keys;
};

TEST_F(SongCsvLibrary, EveryFieldPlusLoudnessGainAndFirstBeatInTheTablesOrder) {
  const QByteArray alpha = "2,Alpha,Yankee,,Rock,2003,/music/2.mp3,,0,,0,,5.5,\r\n";
  const QByteArray beta =
      "1,\"Beta, the band\",\"Zulu \"\"live\"\"\",120,Pop,1999,/music/1.mp3,,0,,0,"
      "-10.0,-4.0,0.482\r\n";
  const QByteArray aerzte = QString::fromUtf8(
                                "3,Ärzte,\"Über\nzwei Zeilen\",99,Punk,1988,/music/3.mp3,,0,,0,,,"
                                "12.000\r\n")
                                .toUtf8();
  table.setIndexName("iJahr");
  EXPECT_EQ(QString::fromUtf8(qdl::print::songCsv(table, -14)),
            QString::fromUtf8(kHeader + aerzte + beta + alpha));
  // The gain follows the reference: -18 LUFS lowers Beta by 8 dB.
  EXPECT_TRUE(qdl::print::songCsv(table, -18).contains(",-10.0,-8.0,0.482\r\n"));
  table.setIndexName("iInterpret");
  EXPECT_TRUE(qdl::print::songCsv(table, -14).startsWith(kHeader + alpha));
}

TEST_F(SongCsvLibrary, ThePrintCommandWritesItAndNeverOverAFileThatIsNoText) {
  data.Table1->close();
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[AutoGain]\r\nReference=-18\r\n");
  ini.close();
  CommandRun r =
      qdl::test::runCommand(qdl::print::runPrintCommand, {"--sort", "year", "--csv", "list.csv"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, "list.csv: 3 songs\n");
  const QByteArray csv = readAll(cwd.file("list.csv"));
  EXPECT_TRUE(csv.startsWith(kHeader + "3,"));
  EXPECT_TRUE(csv.contains(",-10.0,-8.0,0.482\r\n"));

  // Both at once; then a PDF (not a text file) is never replaced by a CSV.
  r = qdl::test::runCommand(qdl::print::runPrintCommand,
                            {"--sort", "artist", "--csv", "b.csv", "--pdf", "b.pdf"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(readAll(cwd.file("b.csv")).startsWith(kHeader + "2,Alpha"));
  const QByteArray pdf = readAll(cwd.file("b.pdf"));
  ASSERT_TRUE(pdf.startsWith("%PDF"));
  r = qdl::test::runCommand(qdl::print::runPrintCommand, {"--sort", "artist", "--csv", "b.pdf"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(readAll(cwd.file("b.pdf")), pdf);

  for (const QStringList& wrong :
       QList<QStringList>{{"--sort", "artist", "--csv"},
                          {"--sort", "artist", "--csv", "."},
                          {"--sort", "artist", "--csv", "x", "--pdf", "x"}}) {
    r = qdl::test::runCommand(qdl::print::runPrintCommand, wrong);
    EXPECT_EQ(r.code, 2) << wrong.join(' ').toStdString();
  }
}

}  // namespace
