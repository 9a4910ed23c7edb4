// The data module against real files: the song table's definition, records
// made from ID3v1 tags and file names, and the tag write-back byte by byte.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "SongTableTest.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "support/ScriptedDialogs.h"

using namespace qdl::db;

namespace {

// MPEG audio of `size` bytes: frames of 104 bytes (MPEG 1 layer III,
// 32 kbit/s, 44.1 kHz) whose data the tag handling never looks into.
QByteArray audio(int size) {
  QByteArray a(size, 0);
  for (int i = 0; i < size; ++i) a[i] = char((i * 7 + 3) & 0xFF);
  for (int at = 0; at + 4 <= size; at += 104) {
    a[at] = char(0xFF);
    a[at + 1] = char(0xFB);
    a[at + 2] = char(0x10);
    a[at + 3] = char(0x00);
  }
  return a;
}

QByteArray field(const char* text, int width) {
  QByteArray f(text);
  f.resize(width, '\0');
  return f;
}

// A 128-byte block from raw field contents (Windows-1252 bytes).
QByteArray tagBlock(const char* magic, const char* title, const char* artist, const char* album,
                    const char* year, const char* comment, char genre) {
  QByteArray b = QByteArray(magic, 3) + field(title, 30) + field(artist, 30) + field(album, 30) +
                 field(year, 4) + field(comment, 30) + QByteArray(1, genre);
  EXPECT_EQ(b.size(), 128);
  return b;
}

class DatamodTest : public SongTableTest {
 protected:
  QString write(const QString& name, const QByteArray& content) {
    const QString path = dir.path() + "/music/" + name;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    return path;
  }
  QByteArray read(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  }
  // Adds the file and makes its record current.
  void addAndFind(const QString& path) {
    dm.AddSongFile(path);
    dm.Table1->setIndexName("iDateiName");
    dm.Table1->findNearest(path);
    ASSERT_EQ(dm.Table1->asString("Dateiname"), path);
  }
  QString text(const char* field) { return dm.Table1->asString(field); }
};

TEST_F(DatamodTest, CreateSongTableDefinesFieldsAndIndexes) {
  Table* t = dm.Table1;
  EXPECT_TRUE(t->isOpen());
  EXPECT_TRUE(QFile::exists(dir.path() + "/Data/data.db"));
  EXPECT_EQ(t->recordCount(), 0);
  EXPECT_EQ(t->indexFieldNames(), "Interpret");
  const QList<FieldDef> f = t->fieldDefs();
  QStringList names;
  for (const FieldDef& d : f) names << d.name;
  EXPECT_EQ(names, QStringList({"Index", "Interpret", "Titel", "Beats", "Genre", "Jahr",
                                "Dateiname", "Equalizer", "Startzeit", "EndZeit", "Analyse"}));
  EXPECT_EQ(f[0].type, FieldType::AutoInc);
  EXPECT_EQ(f[1].size, 30);
  EXPECT_EQ(f[2].size, 30);
  EXPECT_EQ(f[3].type, FieldType::SmallInt);
  EXPECT_EQ(f[4].size, 10);
  EXPECT_EQ(f[5].size, 4);
  EXPECT_EQ(f[6].size, 0);  // a path is never cut
  EXPECT_EQ(f[8].type, FieldType::Integer);
  EXPECT_EQ(f[10].type, FieldType::Boolean);
  for (const FieldDef& d : f) EXPECT_FALSE(d.required);
  const QList<IndexDef> x = t->indexDefs();
  ASSERT_EQ(x.size(), 6);
  EXPECT_TRUE(x[0].options.testFlag(IndexOption::Primary));
  EXPECT_EQ(x[1].name, "iDateiname");
  EXPECT_EQ(x[1].options, IndexOption::Unique | IndexOption::CaseInsensitive);
  for (int i = 2; i < 6; ++i) EXPECT_EQ(x[i].options, IndexOption::CaseInsensitive);
  EXPECT_EQ(QStringList({x[2].name, x[3].name, x[4].name, x[5].name}),
            QStringList({"iGenre", "iInterpret", "iJahr", "iTitel"}));

  // Creating again replaces the table of songs.
  dm.AddSongFile(write("a.mp3", audio(500)));
  dm.CreateSongTable();
  EXPECT_EQ(t->recordCount(), 0);
}

TEST_F(DatamodTest, RecordFromTag) {
  // Title of exactly 30 characters, comment of 19, an umlaut and a euro sign
  // in Windows-1252, genre number and album ignored.
  const QString path = write(
      "x.mp3", audio(4000) + tagBlock("TAG", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", "Die \xC4rzte \x80",
                                      "Album", "1998", "Comment with 19 ch", 17));
  addAndFind(path);
  EXPECT_EQ(text("Titel"), "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
  EXPECT_EQ(text("Interpret"), QString::fromUtf8("Die Ärzte €"));
  EXPECT_EQ(text("Jahr"), "1998");
  EXPECT_EQ(text("Genre"), "Comment wi");
  EXPECT_EQ(text("DateiName"), path);
  EXPECT_FALSE(dm.Table1->fieldByName("Beats").isValid());
  EXPECT_FALSE(dm.Table1->fieldByName("Equalizer").isValid());
  EXPECT_FALSE(dm.Table1->fieldByName("EndZeit").isValid());
  EXPECT_TRUE(dm.Table1->fieldByName("StartZeit").isValid());
  EXPECT_EQ(dm.Table1->asInteger("StartZeit"), 0);
  EXPECT_FALSE(dm.Table1->asBoolean("Analyse"));

  // Texts are not trimmed.
  const QString spaced = write("s.mp3", audio(200) + tagBlock("TAG", " t ", "a  ", "", "", "", 0));
  addAndFind(spaced);
  EXPECT_EQ(text("Titel"), " t ");
  EXPECT_EQ(text("Interpret"), "a  ");

  // The umlaut is found without regard to case.
  dm.Table1->setIndexName("iInterpret");
  dm.Table1->findNearest(QString::fromUtf8("die ä"));
  EXPECT_EQ(text("Interpret"), QString::fromUtf8("Die Ärzte €"));
}

TEST_F(DatamodTest, RecordFromFileName) {
  // Lower-case magic is no tag; the name is not split at the dash.
  const QString lower =
      write("Queen - Innuendo.mp3", audio(1000) + tagBlock("tag", "T", "A", "", "1991", "Rock", 1));
  addAndFind(lower);
  EXPECT_EQ(text("Interpret"), "Queen - Innuendo");
  EXPECT_EQ(text("Titel"), "");
  EXPECT_EQ(text("Genre"), "");
  EXPECT_EQ(text("Jahr"), "");
  EXPECT_EQ(dm.Table1->asInteger("StartZeit"), 0);

  // A file shorter than a tag; a name cut to 30 characters; a dotted folder.
  QDir(dir.path()).mkpath("music/v1.0");
  const QString tiny = write("v1.0/A very long file name that goes on and on.mp3", "short");
  addAndFind(tiny);
  EXPECT_EQ(text("Interpret"), "A very long file name that goe");

  // A path longer than 255 characters is kept whole.
  QString deep = "music";
  for (int i = 0; i < 6; ++i) deep += "/" + QString(50, QChar('a' + i));
  QDir(dir.path()).mkpath(deep);
  const QString longPath = dir.path() + "/" + deep + "/song.mp3";
  QFile(longPath).open(QIODevice::WriteOnly);
  ASSERT_GT(longPath.size(), 255);
  addAndFind(longPath);
  EXPECT_EQ(text("DateiName").size(), longPath.size());

  // A file that is gone still gives a record from its name.
  addAndFind(dir.path() + "/music/gone.mp3");
  EXPECT_EQ(text("Interpret"), "gone");
}

TEST_F(DatamodTest, TheSameFileIsSkippedAndItsCaseVariantsAreOtherFiles) {
  const QString path = write(QString::fromUtf8("Über.mp3"), audio(300));
  dm.AddSongFile(path);
  dm.AddSongFile(path);
  EXPECT_EQ(dm.Table1->recordCount(), 1);
  QString other = path;
  other.replace(QString::fromUtf8("Über"), QString::fromUtf8("üBER"));
  dm.AddSongFile(other);
  dm.AddSongFile(QString(path).replace("/music/", "/MUSIC/"));
  EXPECT_EQ(dm.Table1->recordCount(), 3);
  EXPECT_EQ(dm.Table1->state(), Table::State::Browse);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DatamodTest, PostsWithoutTheEditorNeverTouchFiles) {
  const QByteArray content = audio(3000);
  const QString path = write("cue.mp3", content);
  addAndFind(path);
  dm.Table1->edit();
  dm.Table1->setFieldValue("StartZeit", 1234);
  dm.Table1->post();
  EXPECT_EQ(read(path), content);
  EXPECT_EQ(dm.Table1->asInteger("startzeit"), 1234);
}

TEST_F(DatamodTest, WriteBackAppendsThenReplacesInPlace) {
  const QByteArray content = audio(5000);
  const QString path = write("w.mp3", content);
  addAndFind(path);
  dm.editorVisible = [] { return true; };

  dm.Table1->setFieldValue("Titel", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
  dm.Table1->setFieldValue("Interpret", QString::fromUtf8("Ärzte € Ω"));  // Ω has no byte
  dm.Table1->setFieldValue("Jahr", "2001");
  dm.Table1->setFieldValue("Genre", "Pop");
  dm.Table1->post();
  QByteArray now = read(path);
  ASSERT_EQ(now.size(), content.size() + 128);
  EXPECT_EQ(now.left(content.size()), content);
  EXPECT_EQ(now.mid(content.size()), tagBlock("TAG", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234",
                                              "\xC4rzte \x80 ?", "", "2001", "Pop", char(255)));

  // Changing only Beats rewrites the whole tag in place.
  dm.Table1->setFieldValue("Beats", 128);
  dm.Table1->post();
  EXPECT_EQ(read(path), now);

  // A file of one short frame gets a tag appended too.
  const QString tiny = write("tiny.mp3", audio(104));
  dm.Table1->setFieldValue("DateiName", tiny);
  dm.Table1->post();
  EXPECT_EQ(read(tiny).size(), 104 + 128);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DatamodTest, WriteBackKeepsWhatTheRecordDoesNotHold) {
  // Album, the ID3v1.1 track number, the genre byte and a comment longer
  // than the record's 10 characters belong to the file, not to the record.
  const QByteArray content = audio(2000);
  QByteArray v11 = tagBlock("TAG", "Title", "Artist", "Old Album", "1970", "Live", 17);
  v11[97 + 29] = 7;  // track 7 after a zero byte
  const QByteArray v10 = tagBlock("TAG", "T", "A", "Album", "1999", "Comment with 19 ch", 3);
  struct Case {
    const char* name;
    QByteArray tag;
    const char* field;
    const char* value;
    QByteArray expected;
  };
  QByteArray v11Titled = v11;
  v11Titled.replace(3, 30, field("New", 30));
  QByteArray v11Rock = v11;
  v11Rock.replace(97, 28, field("Rock", 28));
  QByteArray v10Titled = v10;
  v10Titled.replace(3, 30, field("New", 30));
  QByteArray v10Pop = v10;
  v10Pop.replace(97, 30, field("Pop", 30));
  const Case cases[] = {
      {"title of a v1.1 tag", v11, "Titel", "New", v11Titled},
      {"genre of a v1.1 tag", v11, "Genre", "Rock", v11Rock},
      {"title beside a long comment", v10, "Titel", "New", v10Titled},
      {"genre over a long comment", v10, "Genre", "Pop", v10Pop},
  };
  int n = 0;
  for (const Case& c : cases) {
    // The record is made from the tag, as the scan makes it.
    const QString path = write(QString("k%1.mp3").arg(n++), content + c.tag);
    dm.editorVisible = [] { return false; };
    addAndFind(path);
    dm.editorVisible = [] { return true; };
    dm.Table1->setFieldValue(c.field, c.value);
    dm.Table1->post();
    const QByteArray now = read(path);
    EXPECT_EQ(now.left(content.size()), content) << c.name;
    EXPECT_EQ(now.mid(content.size()), c.expected) << c.name;
  }
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DatamodTest, OnlyMpegAudioIsWrittenAndAFailedWriteIsReported) {
  dm.editorVisible = [] { return true; };
  // A WAV whose samples happen to hold a frame sync, a FLAC file and a text
  // file named by a mistyped path get a message and keep every byte; an
  // ID3v2 file is written (its v2 tag too; one whose frames are damaged
  // keeps that tag and is told so).
  QByteArray wav = "RIFF\x24\x10\0\0WAVEfmt " + QByteArray(4000, '\0');
  wav[3000] = char(0xFF);
  wav[3001] = char(0xFB);
  wav[3002] = char(0x90);
  const QByteArray flac = "fLaC\0\0\0\x22" + audio(64).mid(8) + QByteArray(3000, 'x');
  const QByteArray notes = "These are the liner notes.\n";
  const QByteArray damaged = QByteArray("ID3\x03\0\0\0\0\0\x10", 10) + QByteArray(3000, 'z');
  const QByteArray id3v2 =
      QByteArray("ID3\x03\0\0\0\0\0\x10", 10) + QByteArray(16, '\0') + QByteArray(3000, 'z');
  struct Case {
    const char* name;
    QByteArray content;
    bool written;
    bool v2Kept;
  };
  const Case cases[] = {{"song.wav", wav, false, false},
                        {"song.flac", flac, false, false},
                        {"notes.txt", notes, false, false},
                        {"tagged.mp3", id3v2, true, false},
                        {"damaged.mp3", damaged, true, true}};
  const QString anchor = write("anchor.mp3", audio(500));
  addAndFind(anchor);
  for (const Case& c : cases) {
    const QString path = write(c.name, c.content);
    dialogs.boxes.clear();
    dm.Table1->setFieldValue("DateiName", path);
    dm.Table1->post();
    EXPECT_EQ(text("DateiName"), path) << c.name;  // the record stays posted
    if (c.written) {
      const QByteArray now = read(path);
      EXPECT_EQ(now.right(128).left(3), "TAG") << c.name;                        // a block appended
      EXPECT_EQ(now.chopped(128).right(3000), QByteArray(3000, 'z')) << c.name;  // audio kept
      if (c.v2Kept) {
        EXPECT_EQ(now.left(c.content.size()), c.content) << c.name;
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
        EXPECT_EQ(dialogs.boxes[0].text, sprache.Bibliothek.sId3v2Belassen.arg(path));
      } else {
        EXPECT_GT(now.size(), c.content.size() + 128) << c.name;  // the v2 tag grew
        EXPECT_TRUE(dialogs.boxes.empty()) << c.name;
      }
      continue;
    }
    EXPECT_EQ(read(path), c.content) << c.name;
    ASSERT_EQ(dialogs.boxes.size(), 1u) << c.name;
    EXPECT_EQ(dialogs.boxes[0].text, sprache.Bibliothek.sKeineMp3Datei.arg(path));
  }

  // A folder that took the file's place: named, with the reason.
  const QString gone = write("moved.mp3", audio(500));
  QFile::remove(gone);
  QDir().mkpath(gone);
  dialogs.boxes.clear();
  dm.Table1->setFieldValue("DateiName", gone);
  dm.Table1->post();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, sprache.Bibliothek.sTagNichtGeschrieben.arg(
                                       gone, QString::fromLocal8Bit(std::strerror(EISDIR))));
  EXPECT_TRUE(QFileInfo(gone).isDir());
}

TEST(Id3Mpeg, FrameSyncsMustBeFollowedByAnotherFrameOrTheEnd) {
  auto frames = [](int count, int size) {
    QByteArray a(count * 104 + size, 'a');
    for (int i = 0; i < count; ++i) a.replace(i * 104, 4, QByteArray("\xFF\xFB\x10\x00", 4));
    return a;
  };
  QByteArray far = QByteArray(60000, 'q') + frames(3, 0);
  QByteArray beyond = QByteArray(70000, 'q') + frames(3, 0);
  QByteArray lone = QByteArray(500, 'q') + QByteArray("\xFF\xFB\x10\x00", 4) + QByteArray(500, 'q');
  QByteArray reserved = frames(3, 0);
  reserved[1] = char(0xE9);  // version bits "reserved"
  reserved[105] = char(0xE9);
  reserved[209] = char(0xE9);
  struct Case {
    const char* name;
    QByteArray bytes;
    bool mpeg;
  };
  const Case cases[] = {
      {"frames from the start", frames(3, 0), true},
      {"one frame and a tag", frames(1, 0) + QByteArray(128, 't'), true},
      {"frames after 60000 other bytes", far, true},
      {"frames only after 64 KiB", beyond, false},
      {"a lone sync in text", lone, false},
      {"reserved version", reserved, false},
      {"ID3v2 header", QByteArray("ID3\x04\0\0\0\0\x01\x7F", 10) + "rest", true},
      {"ID3v2 with a bad size", QByteArray("ID3\x04\0\0\0\0\x01\x80", 10) + "rest", false},
      {"empty", QByteArray(), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qdl::id3::looksLikeMpegAudio(c.bytes.left(qdl::id3::kMpegProbeBytes), c.bytes.size()),
              c.mpeg)
        << c.name;
}

TEST_F(DatamodTest, ReadOnlyFileAsksFirst) {
  const QByteArray content = audio(1000);
  const QString path = write("ro.mp3", content);
  addAndFind(path);
  dm.editorVisible = [] { return true; };
  chmod(QFile::encodeName(path).constData(), 0444);

  dialogs.answers = {qdl::ui::Answer::No};
  dm.Table1->setFieldValue("Titel", "no");
  dm.Table1->post();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, sprache.Meldung.sSchreibgeschuetzt);
  EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(dialogs.boxes[0].buttons, qdl::ui::Buttons::YesNo);
  EXPECT_EQ(read(path), content);
  EXPECT_EQ(text("Titel"), "no");  // the record stays posted

  dialogs.answers = {qdl::ui::Answer::Yes};
  dm.Table1->setFieldValue("Titel", "yes");
  dm.Table1->post();
  EXPECT_EQ(dialogs.boxes.size(), 2u);
  const QByteArray now = read(path);
  ASSERT_EQ(now.size(), content.size() + 128);
  EXPECT_EQ(now.mid(content.size() + 3, 4), QByteArray("yes\0", 4));
  struct stat st;
  stat(QFile::encodeName(path).constData(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(DatamodTest, MissingFileIsReportedWithoutQuestion) {
  const QString path = write("gone.mp3", audio(500));
  addAndFind(path);
  QFile::remove(path);
  dm.editorVisible = [] { return true; };
  dm.Table1->setFieldValue("Titel", "t");
  dm.Table1->post();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, sprache.Meldung.sDateiFehlt);
  EXPECT_EQ(dialogs.boxes[0].buttons, qdl::ui::Buttons::Ok);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(text("Titel"), "t");

  // A record without a path says nothing.
  dm.Table1->insert();
  dm.Table1->setFieldValue("Interpret", "new");
  dm.Table1->post();
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST(Id3Block, FailedAppendLeavesTheFileAsItWas) {
  QTemporaryDir dir;
  const QString path = dir.filePath("full.mp3");
  const QByteArray content = audio(10000);
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
  }
  // A file size limit stands in for a full disk: the append gets part of
  // its bytes written, then fails.
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = content.size() + 50;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = qdl::id3::writeBlock(path, qdl::id3::blockFromRecord("t", "a", "1999", "g"));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(result, qdl::id3::WriteResult::Failed);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), content);

  // A folder or a pipe is never opened for writing.
  int error = 0;
  EXPECT_EQ(qdl::id3::writeBlock(dir.path(), qdl::id3::blockFromRecord("t", "", "", ""), &error),
            qdl::id3::WriteResult::Failed);
  EXPECT_EQ(error, EISDIR);
  const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.mp3"));
  ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
  EXPECT_EQ(
      qdl::id3::writeBlock(dir.filePath("pipe.mp3"), qdl::id3::blockFromRecord("t", "", "", "")),
      qdl::id3::WriteResult::NotMpeg);
  EXPECT_FALSE(qdl::id3::hasTag(qdl::id3::readBlock(dir.filePath("pipe.mp3"))));
}

TEST(Id3Text, Windows1252RoundTrip) {
  QByteArray all;
  for (int b = 1; b < 256; ++b) all += char(b);
  const QString text = qdl::id3::fromWindows1252(all.constData(), int(all.size()));
  EXPECT_EQ(text.size(), 255);
  EXPECT_EQ(qdl::id3::toWindows1252(text), all);
  EXPECT_EQ(qdl::id3::toWindows1252(QString::fromUtf8("a\xF0\x9F\x8E\xB5z")), "a?z");
}

// The one way the console and the commands open the library: every case
// of a folder with or without its library, made or refused.
TEST(OpenSongTable, MakesOrRefusesAMissingLibraryAndOpensInTheOrderAsked) {
  using qdl::library::MissingLibrary;
  struct Row {
    const char* what;
    bool dataFolder;   // Data is there
    bool library;      // Data/data.db is there
    bool fileInPlace;  // a plain file named Data stands in its place
    MissingLibrary missing;
    const char* index;  // the order asked by index name, or by field
    const char* error;  // part of the error, or null when it opens
    bool created;
  };
  const Row rows[] = {
      {"empty folder, create", false, false, false, MissingLibrary::Create, "iDateiname", nullptr,
       true},
      {"empty Data, create", true, false, false, MissingLibrary::Create, "iTitel", nullptr, true},
      {"library there, create", true, true, false, MissingLibrary::Create, "iJahr", nullptr, false},
      {"library there, refuse", true, true, false, MissingLibrary::Refuse, "iGenre", nullptr,
       false},
      {"no library, refuse", true, false, false, MissingLibrary::Refuse, "iDateiname",
       "no song library here", false},
      {"no Data, refuse", false, false, false, MissingLibrary::Refuse, "iDateiname",
       "no song library here", false},
      {"file in the place of Data", false, false, true, MissingLibrary::Create, "iDateiname",
       "cannot be created", false},
  };
  for (const Row& r : rows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir base(dir.path());
    if (r.fileInPlace) {
      QFile f(base.filePath("Data"));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("not a folder");
    }
    if (r.dataFolder) base.mkdir("Data");
    if (r.library) {
      TDataModule1 maker;
      maker.Table1->setDatabaseName(base.filePath("Data"));
      maker.Table1->setTableName("data.db");
      ASSERT_TRUE(maker.CreateSongTable());
      maker.Table1->insertRecord({QVariant(), "A", "T", QVariant(), "Pop", "2001", "/x.mp3",
                                  QVariant(), 0, QVariant(), false});
    }
    TDataModule1 data;
    int offered = 0;
    try {
      const bool created = data.OpenSongTable(
          dir.path(), r.missing, {QLatin1String(r.index), QString()}, [&] { ++offered; });
      EXPECT_EQ(r.error, nullptr) << r.what << ": opened";
      EXPECT_EQ(created, r.created) << r.what;
      EXPECT_EQ(offered, r.created ? 1 : 0) << r.what;
      EXPECT_TRUE(data.Table1->isOpen()) << r.what;
      EXPECT_EQ(data.Table1->indexName(), r.index) << r.what;
      EXPECT_EQ(data.Table1->filePath(), base.filePath("Data/data.db")) << r.what;
      EXPECT_EQ(data.Table1->recordCount(), r.library ? 1 : 0) << r.what;
    } catch (const DbError& e) {
      ASSERT_NE(r.error, nullptr) << r.what << ": " << e.what();
      EXPECT_TRUE(e.message().contains(r.error)) << r.what << ": " << e.what();
      EXPECT_FALSE(data.Table1->isOpen()) << r.what;
      EXPECT_EQ(offered, 0) << r.what;
      // A refusal makes nothing.
      if (r.missing == MissingLibrary::Refuse) {
        EXPECT_FALSE(QFileInfo::exists(base.filePath("Data/data.db"))) << r.what;
      }
    }
  }
}

}  // namespace
