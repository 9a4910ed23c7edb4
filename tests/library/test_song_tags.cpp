// Records made from files with ID3v2 and ID3v1 tags, and the tags of
// records already in the library read again: through the data module, the
// scanner, `quandrel scan --retag` and the check and scan window's tick box,
// against the real song table.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>
#include <optional>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/ScanCommand.h"
#include "library/SongLoudness.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/ui/RadioGroup.h"
#include "support/CommandRun.h"
#include "support/Id3v2Bytes.h"
#include "support/TempDir.h"

using namespace qdl::test::id3v2;

namespace {

// An ID3v1 block with title, artist, year and comment.
QByteArray v1Block(const char* title, const char* artist, const char* year, const char* comment) {
  QByteArray b("TAG");
  auto put = [&b](const char* s, int width) {
    QByteArray f(s);
    f.resize(width, '\0');
    b += f;
  };
  put(title, 30);
  put(artist, 30);
  put("", 30);
  put(year, 4);
  put(comment, 30);
  b += char(255);
  return b;
}

// Frames of MPEG audio the tags never look into.
QByteArray audio() {
  QByteArray a(2080, '\x11');
  for (int at = 0; at < a.size(); at += 104) {
    a[at] = char(0xFF);
    a[at + 1] = char(0xFB);
    a[at + 2] = char(0x10);
  }
  return a;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

class SongTags : public ::testing::Test {
 protected:
  void SetUp() override {
    data.Table1->setDatabaseName(dir.filePath("Data"));
    data.Table1->setTableName("data.db");
    QDir(dir.path()).mkpath("Data");
    data.CreateSongTable();
    data.Table1->setIndexName("iDateiname");
  }
  QString song(const QString& name) { return dir.filePath("music/" + name); }
  // The record of a file, found by its path.
  bool select(const QString& path) {
    data.Table1->findNearest(path);
    return data.Table1->asString("DateiName") == path;
  }
  QVariant field(const char* name) { return data.Table1->fieldByName(name); }

  QTemporaryDir dir;
  TDataModule1 data;
};

struct Added {
  const char* name;
  QByteArray bytes;
  QString interpret, titel, jahr, genre;
  QVariant beats;
};

TEST_F(SongTags, RecordsFromEveryKindOfFile) {
  const QString cyr = QString::fromUtf8("Кино");
  const Added cases[] = {
      {"v2 over v1, v1 fills",
       songTag(3, Enc::Utf16LeBom, cyr, QString::fromUtf8("Группа крови"), "", "", "") + audio() +
           v1Block("V1 Title", "V1 Artist", "1988", "Rock comment"),
       cyr, QString::fromUtf8("Группа крови"), "1988", "Rock comme", QVariant()},
      {"v2 genre over the v1 comment, TBPM as Beats",
       songTag(4, Enc::Utf8, "Artist", "Title", "2004", "(17)", "127.6") + audio() +
           v1Block("Other", "Other", "1999", "comment"),
       "Artist", "Title", "2004", "Rock", 128},
      {"v1 only, as before", audio() + v1Block("T1", "A1", "1977", "Disco"), "A1", "T1", "1977",
       "Disco", QVariant()},
      {"neither tag: the file name", audio(), "neither tag: the file name", "", "", "", QVariant()},
      {"v2 with only a tempo: the file name and the tempo",
       tag(3, frame(3, "TBPM", text(Enc::Latin1, "90"))) + audio(),
       "v2 with only a tempo: the file name and the tempo", "", "", "", 90},
      {"v2 TBPM fast", songTag(3, Enc::Latin1, "A", "T", "", "", "fast") + audio(), "A", "T", "",
       "", QVariant()},
      {"damaged v2: what can be read",
       tag(3, frame(3, "TIT2", text(Enc::Latin1, "Cut"), 0, {}, 5000), 0, 200000000) + audio(), "",
       "Cut", "", "", QVariant()},
  };
  for (const Added& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = song(QString::fromUtf8(c.name) + ".mp3");
    ASSERT_TRUE(writeFile(path, c.bytes));
    data.AddSongFile(path);
    ASSERT_TRUE(select(path));
    EXPECT_EQ(field("Interpret").toString(), c.interpret.left(30));  // the table's width
    EXPECT_EQ(field("Titel").toString(), c.titel);
    EXPECT_EQ(field("Jahr").toString(), c.jahr);
    EXPECT_EQ(field("Genre").toString(), c.genre);
    EXPECT_EQ(field("Beats"), c.beats);
    EXPECT_FALSE(field("Analyse").toBool());
  }
}

TEST_F(SongTags, RetagReadsTheTagsAndKeepsWhatTheyDoNotHold) {
  const QString typed = song("typed.mp3"), analysed = song("analysed.mp3"),
                noTitle = song("notitle.mp3"), none = song("none.mp3");
  // A library scanned before ID3v2 was read: file names as artists.
  for (const QString& p : {typed, analysed, noTitle, none}) {
    ASSERT_TRUE(writeFile(p, audio()));
    data.AddSongFile(p);
  }
  qdl::db::Table& t = *data.Table1;
  ASSERT_TRUE(select(typed));
  t.setFieldValue("Beats", 100);  // typed by the user
  t.setFieldValue("Startzeit", 1234);
  t.post();
  ASSERT_TRUE(select(analysed));
  t.setFieldValue("Beats", 90);
  t.post();
  t.setStoredValue(t.currentId(), "Analyse", true);  // as the tempo analysis stores it
  ASSERT_TRUE(select(noTitle));
  t.setFieldValue("Titel", "Hand Title");
  t.post();
  // Now the files get their tags.
  ASSERT_TRUE(
      writeFile(typed, songTag(4, Enc::Utf8, "Typed", "T1", "2001", "House", "128") + audio()));
  ASSERT_TRUE(
      writeFile(analysed, songTag(3, Enc::Utf16LeBom, "Analysed", "T2", "", "", "124") + audio()));
  ASSERT_TRUE(writeFile(noTitle, songTag(3, Enc::Latin1, "Artist Only", "") + audio()));

  qdl::library::SongScanner scanner(data);
  scanner.retagRoot(dir.filePath("music/"));
  const qdl::library::ScanCounts& c = scanner.counts();
  EXPECT_EQ(c.tagsRead, 4);
  EXPECT_EQ(c.retagged, 3);

  ASSERT_TRUE(select(typed));
  EXPECT_EQ(field("Interpret").toString(), "Typed");
  EXPECT_EQ(field("Titel").toString(), "T1");
  EXPECT_EQ(field("Jahr").toString(), "2001");
  EXPECT_EQ(field("Genre").toString(), "House");
  EXPECT_EQ(field("Beats").toInt(), 100);
  EXPECT_EQ(field("Startzeit").toInt(), 1234);
  ASSERT_TRUE(select(analysed));
  EXPECT_EQ(field("Interpret").toString(), "Analysed");
  EXPECT_EQ(field("Beats").toInt(), 124);
  EXPECT_FALSE(field("Analyse").toBool());
  ASSERT_TRUE(select(noTitle));
  EXPECT_EQ(field("Interpret").toString(), "Artist Only");
  EXPECT_EQ(field("Titel").toString(), "Hand Title");
  ASSERT_TRUE(select(none));
  EXPECT_EQ(field("Interpret").toString(), "none");

  // A second run changes nothing.
  qdl::library::SongScanner again(data);
  again.retagRoot(dir.filePath("music/"));
  EXPECT_EQ(again.counts().tagsRead, 4);
  EXPECT_EQ(again.counts().retagged, 0);
}

TEST_F(SongTags, RetagTakesOnlyTheRecordsBelowItsFolder) {
  const QString inside = dir.filePath("music/a.mp3"), outside = dir.filePath("musicx/b.mp3"),
                otherCase = dir.filePath("MUSIC/c.mp3");
  for (const QString& p : {inside, outside, otherCase}) {
    ASSERT_TRUE(writeFile(p, audio()));
    data.AddSongFile(p);
    ASSERT_TRUE(writeFile(p, songTag(3, Enc::Latin1, "Tagged", "T") + audio()));
  }
  qdl::library::SongScanner scanner(data);
  scanner.retagRoot(dir.filePath("music/"));
  EXPECT_EQ(scanner.counts().tagsRead, 1);
  ASSERT_TRUE(select(inside));
  EXPECT_EQ(field("Interpret").toString(), "Tagged");
  ASSERT_TRUE(select(outside));
  EXPECT_EQ(field("Interpret").toString(), "b");
  ASSERT_TRUE(select(otherCase));
  EXPECT_EQ(field("Interpret").toString(), "c");
}

TEST(SongTagsCommand, ScanRetagReadsTheTagsOfSongsInTheLibrary) {
  qdl::test::TempCwd cwd;
  const QString music = cwd.file("music");
  ASSERT_TRUE(writeFile(music + "/old.mp3", audio()));
  qdl::test::CommandRun r = qdl::test::runCommand(qdl::library::runScanCommand, QStringList{music});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  ASSERT_TRUE(
      writeFile(music + "/old.mp3", songTag(3, Enc::Utf16LeBom, "Old Artist", "Old") + audio()));
  ASSERT_TRUE(writeFile(music + "/new.mp3", songTag(4, Enc::Utf8, "New Artist", "New") + audio()));

  r = qdl::test::runCommand(qdl::library::runScanCommand, QStringList{"--retag", music});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("added: 1\n")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("tags read again: 1\nrecords changed by their tags: 1\n"))
      << r.out.toStdString();
  TDataModule1 data;
  data.OpenSongTable(cwd.path(), qdl::library::MissingLibrary::Refuse, {"iDateiname", {}});
  data.Table1->first();
  EXPECT_EQ(data.Table1->asString("Interpret"), "New Artist");
  data.Table1->next();
  EXPECT_EQ(data.Table1->asString("Interpret"), "Old Artist");

  // --retag with --only-check is refused.
  r = qdl::test::runCommand(qdl::library::runScanCommand, QStringList{"--retag", "--only-check"});
  EXPECT_EQ(r.code, 2);
}

TEST(SongTagsWindow, TheTickBoxReadsTheTagsOfTheTickedVolumes) {
  QTemporaryDir dir;
  TFormSprache sprache;
  sprache.FillGerman();
  FormSprache = &sprache;
  TDataModule1 data;
  data.Table1->setDatabaseName(dir.filePath("Data"));
  data.Table1->setTableName("data.db");
  QDir(dir.path()).mkpath("Data");
  data.CreateSongTable();
  DataModule1 = &data;
  FormProgress = new TFormProgress;
  FormScan = new TFormScan;
  const QString root = dir.filePath("vol");
  const QString path = root + "/song.mp3";
  ASSERT_TRUE(writeFile(path, audio()));
  data.AddSongFile(path);
  ASSERT_TRUE(writeFile(path, songTag(3, Enc::Latin1, "Window Artist", "W") + audio()));
  FormScan->volumeSource = [&] {
    return QList<qdl::fs::Volume>{{root, "/dev/test", "ext4", qdl::fs::VolumeKind::Fixed}};
  };
  FormScan->mountPointSource = [] { return QStringList{}; };
  for (const bool tick : {false, true}) {
    FormScan->show();
    FormScan->RGBedingung->setItemIndex(2);
    FormScan->cbRetag->setChecked(tick);
    FormScan->btStart->click();
    data.Table1->setIndexName("iDateiname");
    data.Table1->first();
    EXPECT_EQ(data.Table1->asString("Interpret"), tick ? "Window Artist" : "song");
  }
  delete FormScan;
  delete FormProgress;
  FormScan = nullptr;
  FormProgress = nullptr;
  DataModule1 = nullptr;
  FormSprache = nullptr;
}

}  // namespace

namespace {

// A user text frame: description and value.
QByteArray txxx(int major, Enc enc, const QString& description, const QString& value) {
  return frame(major, major == 2 ? "TXX" : "TXXX", text(enc, QStringList{description, value}));
}

TEST_F(SongTags, ReplayGainTagsGiveTheLoudnessUntilItIsMeasured) {
  const struct {
    const char* name;
    QByteArray tagBytes;
    std::optional<double> lufs, peak;  // what the record's loudness says
  } cases[] = {
      {"gain and peak",
       tag(4, txxx(4, Enc::Utf8, "REPLAYGAIN_TRACK_GAIN", "-6.54 dB") +
                  txxx(4, Enc::Utf8, "REPLAYGAIN_TRACK_PEAK", "0.988553")),
       -18 + 6.54, 20 * std::log10(0.988553)},
      {"lower case, UTF-16, gain only",
       tag(3, txxx(3, Enc::Utf16LeBom, "replaygain_track_gain", "+2.10 dB")), -20.1, 0.0},
      {"album gain alone does not count",
       tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_ALBUM_GAIN", "-3.00 dB")), std::nullopt,
       std::nullopt},
      {"version 2.2", tag(2, txxx(2, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "-1.5dB")), -16.5, 0.0},
      {"no number", tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "loud")), std::nullopt,
       std::nullopt},
      {"a gain no file has", tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "-99 dB")),
       std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = song(QString::fromUtf8(c.name) + ".mp3");
    ASSERT_TRUE(writeFile(path, c.tagBytes + audio()));
    data.AddSongFile(path);
    ASSERT_TRUE(select(path));
    const qint64 key = data.Table1->currentId();
    const auto l = qdl::library::songLoudness(*data.Table1, key);
    ASSERT_EQ(l.has_value(), c.lufs.has_value());
    if (!l) continue;
    EXPECT_TRUE(l->fromReplayGain);
    EXPECT_NEAR(l->level.integrated, *c.lufs, 1e-9);
    EXPECT_NEAR(l->level.truePeak, *c.peak, 1e-9);
    // The analysis still takes the song.
    EXPECT_TRUE(qdl::library::loudnessToMeasure(*data.Table1, key));
  }

  // A measured song keeps its measurement when its tags are read again.
  const QString measured = song("gain and peak.mp3");
  ASSERT_TRUE(select(measured));
  const qint64 key = data.Table1->currentId();
  ASSERT_TRUE(
      qdl::library::storeMeasuredLoudness(*data.Table1, key, qdl::loudness::Level{-9.0, -0.2}));
  data.RetagCurrent();
  EXPECT_EQ(qdl::library::songLoudness(*data.Table1, key)->level.integrated, -9.0);
  EXPECT_FALSE(qdl::library::songLoudness(*data.Table1, key)->fromReplayGain);
}

}  // namespace
