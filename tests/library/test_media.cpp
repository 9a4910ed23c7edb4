// The library and the tag editor on hostile media: a disk that is full and
// one that is mounted read-only (a small tmpfs of the test's own; without
// the right to mount one, a file size limit stands in for the full disk and
// the read-only cases are skipped).

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../scan/ScanTree.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/AnalyseCommand.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "library/ScanCommand.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "support/CommandRun.h"
#include "support/LibraryFixtures.h"
#include "support/ScratchDisk.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/VirtualCardSettings.h"

namespace {

using qdl::test::CommandRun;
using qdl::test::runCommand;
using qdl::test::ScratchDisk;

// MPEG audio of `frames` frames of 417 bytes (MPEG 1 layer III, 128 kbit/s).
QByteArray mpeg(int frames) {
  QByteArray a(frames * 417, 'a');
  for (int i = 0; i < frames; ++i) a.replace(i * 417, 4, QByteArray("\xFF\xFB\x90\x00", 4));
  return a;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

CommandRun scanCommand(const QStringList& args,
                       qdl::test::Command command = qdl::library::runScanCommand) {
  return runCommand(command, args);
}

// The data module with its table in `folder`/Data, tag writes on.
class Library {
 public:
  explicit Library(const QString& folder) {
    sprache.FillGerman();
    FormSprache = &sprache;
    DataModule1 = &dm;
    QDir(folder).mkpath("Data");
    dm.Table1->setDatabaseName(folder + "/Data");
    dm.Table1->setTableName("data.db");
    dm.CreateSongTable();
    dm.Table1->setIndexName("iDateiname");
  }
  ~Library() {
    FormSprache = nullptr;
    DataModule1 = nullptr;
  }
  // Adds the file, makes it current and changes its title with the editor
  // open.
  void retitle(const QString& path, const QString& title) {
    dm.editorVisible = [] { return false; };
    if (!dm.Table1->containsKey(path)) dm.AddSongFile(path);
    dm.Table1->findNearest(path);
    dm.editorVisible = [] { return true; };
    dm.Table1->setFieldValue("Titel", title);
    dm.Table1->post();
  }
  TFormSprache sprache;
  TDataModule1 dm;
  qdl::test::ScriptedDialogs dialogs;
};

TEST(Media, ATagWriteOnAFullDiskIsReportedAndLeavesTheFileByteForByte) {
  ScratchDisk disk;
  QTemporaryDir plain;
  Library lib(plain.path());
  // Without a disk of our own, a file size limit beyond the file: big
  // enough that the library's own small writes stay below it.
  const QString folder = disk.isMounted() ? disk.path() : plain.path();
  const QString path = folder + "/song.mp3";
  // Ending on a page boundary, so that a tag needs a page of its own.
  const QByteArray content = disk.isMounted() ? mpeg(20).left(8192) : mpeg(600);
  ASSERT_TRUE(writeAll(path, content));
  lib.retitle(path, "first");  // room enough: the tag is appended
  ASSERT_EQ(readAll(path).size(), content.size() + 128);
  ASSERT_TRUE(lib.dialogs.boxes.empty());
  ASSERT_TRUE(writeAll(path, content));

  const QString expected = lib.sprache.Bibliothek.sTagNichtGeschrieben.arg(
      path, reason(disk.isMounted() ? ENOSPC : EFBIG));
  if (disk.isMounted()) {
    disk.fill();
    lib.retitle(path, "second");
  } else {
    qdl::test::withFileSizeLimit(content.size() + 50, [&] { lib.retitle(path, "second"); });
  }
  ASSERT_EQ(lib.dialogs.boxes.size(), 1u);
  EXPECT_EQ(lib.dialogs.boxes[0].text, expected);
  EXPECT_EQ(readAll(path), content);
  EXPECT_EQ(lib.dm.Table1->asString("Titel"), "second");  // the record stays posted
}

TEST(Media, ATagWriteOnAReadOnlyMediumIsReportedAndChangesNothing) {
  ScratchDisk disk;
  if (!disk.isMounted()) GTEST_SKIP() << "no disk of our own can be mounted here";
  QTemporaryDir plain;
  Library lib(plain.path());
  const QByteArray content = mpeg(4);
  const QString writable = disk.file("writable.mp3");
  const QString locked = disk.file("locked.mp3");
  ASSERT_TRUE(writeAll(writable, content));
  ASSERT_TRUE(writeAll(locked, content));
  ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
  lib.dm.AddSongFile(writable);
  lib.dm.AddSongFile(locked);
  ASSERT_TRUE(disk.setReadOnly(true));

  // A file the medium refuses; a read-only file whose permission cannot be
  // changed, after the user said Yes.
  lib.retitle(writable, "x");
  lib.dialogs.answers = {qdl::ui::Answer::Yes};
  lib.retitle(locked, "y");
  ASSERT_EQ(lib.dialogs.boxes.size(), 3u);
  EXPECT_EQ(lib.dialogs.boxes[0].text,
            lib.sprache.Bibliothek.sTagNichtGeschrieben.arg(writable, reason(EROFS)));
  EXPECT_EQ(lib.dialogs.boxes[1].text, lib.sprache.Meldung.sSchreibgeschuetzt);
  EXPECT_EQ(lib.dialogs.boxes[2].text,
            lib.sprache.Bibliothek.sTagNichtGeschrieben.arg(locked, reason(EROFS)));
  EXPECT_EQ(readAll(writable), content);
  EXPECT_EQ(readAll(locked), content);
  EXPECT_EQ(QFileInfo(locked).permissions() & QFileDevice::WriteOwner, 0);
  EXPECT_EQ(lib.dm.Table1->asString("Titel"), "y");
}

// The console started in a folder, as scripts/run does.
class ConsoleIn {
 public:
  explicit ConsoleIn(const QString& folder) : old_(QDir::currentPath()) {
    QDir::setCurrent(folder);
    dialogs.onDialog = [this](QDialog* d) { shown << d->objectName(); };
    qdl::app::createWindows();
    qdl::app::showMainWindow();
  }
  ~ConsoleIn() {
    qdl::app::destroyWindows();
    QDir::setCurrent(old_);
  }
  qdl::test::ScriptedDialogs dialogs;
  QStringList shown;

 private:
  QString old_;
};

TEST(Media, ALibraryOnAReadOnlyMediumPlaysAndSearchesButRefusesChanges) {
  // A read-only mount, or else folders and files without write permission
  // (which do not stop root).
  ScratchDisk disk(4096);
  if (!disk.isMounted() && ::geteuid() == 0)
    GTEST_SKIP() << "no disk of our own can be mounted here";
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(disk.file("qdl.ini"), 1, 0));
  QDir(disk.path()).mkpath("Playlist");
  ASSERT_TRUE(QFile::copy(QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3"),
                          disk.file("Abba.mp3")));
  for (const char* artist : {"Beatles", "Cure"})
    ASSERT_TRUE(qdl::test::writeMp3(disk.file(QString(artist) + ".mp3"), artist, "t"));
  {
    TDataModule1 dm;
    dm.Table1->setDatabaseName(disk.file("Data"));
    dm.Table1->setTableName("data.db");
    QDir(disk.path()).mkpath("Data");
    dm.CreateSongTable();
    for (const char* name : {"Abba.mp3", "Beatles.mp3", "Cure.mp3"})
      dm.AddSongFile(disk.file(name));
  }
  auto permissions = [&](mode_t folders, mode_t files) {
    for (const char* f : {"Data", "Playlist", ""})
      ::chmod(QFile::encodeName(disk.file(f)).constData(), folders);
    ::chmod(QFile::encodeName(disk.file("Data/data.db")).constData(), files);
  };
  if (disk.isMounted())
    ASSERT_TRUE(disk.setReadOnly(true));
  else
    permissions(0555, 0444);

  {
    ConsoleIn console(disk.path());
    EXPECT_TRUE(console.dialogs.errors.isEmpty())
        << console.dialogs.errors.join("\n").toStdString();
    qdl::db::Table* table = DataModule1->Table1;
    ASSERT_TRUE(table->isOpen());
    EXPECT_TRUE(table->isReadOnly());
    EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "3 Titel verfügbar");
    // Searching and playing work.
    FormQuandrel->EditArtist->setFocus();
    FormQuandrel->EditArtist->setText("ab");
    EXPECT_EQ(table->asString("Interpret"), "Abba");
    FormQuandrel->LoadDB_LinksClick();
    EXPECT_EQ(FormQuandrel->StatusBar_Links->panelText(0), "loaded");
    // Scan, check and edits are refused with the message.
    const QString refusal = FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt;
    FormQuandrel->Scan1->trigger();
    FormScan->btStart->click();
    FormScan->close();
    FormQuandrel->IDEdit1->trigger();
    FormQuandrel->Analyse1->trigger();
    ASSERT_EQ(console.dialogs.boxes.size(), 3u);
    EXPECT_EQ(console.dialogs.boxes[0].text, refusal);
    EXPECT_EQ(console.dialogs.boxes[1].text, refusal);
    EXPECT_EQ(console.dialogs.boxes[2].text, refusal);
    EXPECT_FALSE(FormAnalyse->isRunning());
    EXPECT_FALSE(console.shown.contains("FormDatenBearbeiten"));
    EXPECT_THROW(table->insertRecord({QVariant(), "x"}), qdl::db::ReadOnlyError);
    EXPECT_EQ(table->recordCount(), 3);

    // A cue point set while seeking cannot be stored: the deck is cued there
    // all the same and keeps it for the session; the DJ hears why once.
    TFormQuandrel& f = *FormQuandrel;
    auto cueAfterSeekTo = [&](int position) {
      f.sBarSeekLinks->setValue(position);
      f.sBarSeekLinksScroll(qdl::ui::ScrollCode::EndScroll);
      ASSERT_EQ(f.StatusBar_Links->panelText(0), "seeking");
      f.Cue_LinksMouseDown();
      EXPECT_EQ(f.StatusBar_Links->panelText(0), "cued");
      EXPECT_EQ(f.sBarSeekLinks->value(), position);
    };
    cueAfterSeekTo(300);
    f.Play_LinksMouseDown();
    EXPECT_EQ(f.StatusBar_Links->panelText(0), "playing");
    f.Cue_LinksMouseDown();
    EXPECT_EQ(f.sBarSeekLinks->value(), 300);
    cueAfterSeekTo(500);
    f.Play_LinksMouseDown();
    f.Cue_LinksMouseDown();
    EXPECT_EQ(f.sBarSeekLinks->value(), 500);
    ASSERT_EQ(console.dialogs.boxes.size(), 4u);
    EXPECT_EQ(console.dialogs.boxes[3].text, refusal);
    EXPECT_TRUE(console.dialogs.errors.isEmpty())
        << console.dialogs.errors.join("\n").toStdString();
  }

  const QString old = QDir::currentPath();
  QDir::setCurrent(disk.path());
  const CommandRun r = scanCommand({"--only-check"});
  const CommandRun a = scanCommand({}, qdl::library::runAnalyseCommand);
  QDir::setCurrent(old);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot be written")) << r.err.toStdString();
  EXPECT_EQ(a.code, 1);
  EXPECT_TRUE(a.err.contains("cannot be written")) << a.err.toStdString();
  if (!disk.isMounted()) permissions(0755, 0644);
}

TEST(Media, AReadOnlyLibraryShowsTheChangesItsLogHolds) {
  // A crash left the last changes in the write-ahead log; then the medium
  // became read-only. The cue point set last is what the DJ gets.
  ScratchDisk disk(1024);
  if (!disk.isMounted()) GTEST_SKIP() << "no disk of our own can be mounted here";
  QTemporaryDir crash;
  const QString db = disk.file("Data/data.db");
  ASSERT_TRUE(qdl::test::writeMp3(disk.file("a.mp3"), "A", "a"));
  std::int64_t key = -1;
  {
    Library lib(disk.path());
    qdl::db::Table& t = *lib.dm.Table1;
    lib.dm.AddSongFile(disk.file("a.mp3"));
    key = t.currentId();
    ASSERT_TRUE(t.setStoredValue(key, "StartZeit", 777));
    ASSERT_GT(QFileInfo(db + "-wal").size(), 0);
    // The files as a crash leaves them.
    for (const char* suffix : {"", "-wal"})
      ASSERT_TRUE(QFile::copy(db + suffix, crash.filePath(QString("data.db") + suffix)));
  }
  for (const char* suffix : {"", "-wal"}) {
    QFile::remove(db + suffix);
    ASSERT_TRUE(QFile::copy(crash.filePath(QString("data.db") + suffix), db + suffix));
  }
  ASSERT_TRUE(disk.setReadOnly(true));
  qdl::db::Table t;
  t.setDatabaseName(disk.file("Data"));
  t.setTableName("data.db");
  t.open();
  EXPECT_TRUE(t.isReadOnly());
  EXPECT_EQ(t.storedValue(key, "StartZeit").value_or(QVariant()).toInt(), 777);
  EXPECT_THROW(t.setStoredValue(key, "StartZeit", 1), qdl::db::ReadOnlyError);
  t.close();
  ASSERT_TRUE(disk.setReadOnly(false));
}

TEST(Media, AnEarlierLibraryOnAReadOnlyMediumIsReadAsItIsWithoutItsUpdate) {
  ScratchDisk disk(1024);
  if (!disk.isMounted()) GTEST_SKIP() << "no disk of our own can be mounted here";
  const QString db = disk.file("Data/data.db");
  qdl::test::restoreLibrary("library-v1", db);
  const QByteArray before = readAll(db);
  ASSERT_TRUE(disk.setReadOnly(true));
  {
    qdl::db::Table t;
    t.setDatabaseName(disk.file("Data"));
    t.setTableName("data.db");
    t.setIndexFieldNames("Interpret");
    t.open();
    EXPECT_TRUE(t.isReadOnly());
    EXPECT_EQ(t.fileVersion(), 1);
    EXPECT_EQ(t.recordCount(), 5);
    t.findNearest("gamma");
    EXPECT_EQ(t.asString("Titel"), "song lower case");
    EXPECT_EQ(t.storedValue(1, "StartZeit").value_or(QVariant()).toInt(), 150);
    EXPECT_FALSE(t.analysis(1));
    EXPECT_THROW(t.setAnalysis(1, {120, {}}), qdl::db::ReadOnlyError);
  }
  ASSERT_TRUE(disk.setReadOnly(false));
  EXPECT_TRUE(readAll(db) == before);
}

QStringList playlistLines() {
  QStringList out;
  for (int i = 0; i < FormPlayList->ListBox1->count(); ++i)
    out << FormPlayList->ListBox1->item(i)->text();
  return out;
}

TEST(Media, APlaylistOnAReadOnlyLibraryLoadsAndAutoplayPassesOverWhatItCannotAdd) {
  ScratchDisk disk(4096);
  if (!disk.isMounted() && ::geteuid() == 0)
    GTEST_SKIP() << "no disk of our own can be mounted here";
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(disk.file("qdl.ini"), 1, 0));
  QDir(disk.path()).mkpath("Playlist");
  for (const char* artist : {"Beatles", "Cure", "Extra"})
    ASSERT_TRUE(qdl::test::writeMp3(disk.file(QString(artist) + ".mp3"), artist, "t"));
  {
    TDataModule1 dm;
    dm.Table1->setDatabaseName(disk.file("Data"));
    dm.Table1->setTableName("data.db");
    QDir(disk.path()).mkpath("Data");
    dm.CreateSongTable();
    for (const char* name : {"Beatles.mp3", "Cure.mp3"}) dm.AddSongFile(disk.file(name));
  }
  auto permissions = [&](mode_t folders, mode_t file) {
    for (const char* f : {"Data", ""})
      ::chmod(QFile::encodeName(disk.file(f)).constData(), folders);
    ::chmod(QFile::encodeName(disk.file("Data/data.db")).constData(), file);
  };
  if (disk.isMounted())
    ASSERT_TRUE(disk.setReadOnly(true));
  else
    permissions(0555, 0444);
  QTemporaryDir lists;
  const QString set = lists.filePath("set.qdp");
  ASSERT_TRUE(writeAll(set, QStringList({disk.file("Beatles.mp3"), disk.file("Extra.mp3"),
                                         disk.file("gone.mp3"), disk.file("Cure.mp3")})
                                .join("\r\n")
                                .toUtf8()));
  {
    ConsoleIn console(disk.path());
    ASSERT_TRUE(DataModule1->Table1->isReadOnly());
    console.dialogs.fileNames.push_back(set);
    FormQuandrel->Laden1Click();
    EXPECT_TRUE(console.dialogs.errors.isEmpty())
        << console.dialogs.errors.join("\n").toStdString();
    EXPECT_TRUE(console.dialogs.boxes.empty());
    EXPECT_EQ(playlistLines(), QStringList({"Beatles - t", "Extra.mp3 (nicht in der Datenbank)",
                                            "gone.mp3 (fehlt)", "Cure - t"}));
    // Autoplay takes the songs the library holds and passes over the rest.
    for (const char* artist : {"Beatles", "Cure", "Beatles"}) {
      ASSERT_TRUE(FormPlayList->TakeNextSong(*DataModule1));
      EXPECT_EQ(DataModule1->Table1->asString("Interpret"), artist);
    }
    EXPECT_EQ(DataModule1->Table1->recordCount(), 2);
  }
  if (!disk.isMounted()) permissions(0755, 0644);
}

TEST(Media, APlaylistWhoseSongsCannotBeAddedLeavesTheOpenPlaylistAsItWas) {
  ScratchDisk disk(2048);
  qdl::test::TempCwd fallback;
  QTemporaryDir music;
  const QString folder = disk.isMounted() ? disk.path() : fallback.path();
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(folder + "/qdl.ini", 1, 0));
  QDir(folder).mkpath("Playlist");
  const QString known = music.filePath("known.mp3"), added = music.filePath("new.mp3");
  ASSERT_TRUE(qdl::test::writeMp3(known, "Known", "k"));
  ASSERT_TRUE(qdl::test::writeMp3(added, "New", "n"));
  {
    TDataModule1 dm;
    dm.Table1->setDatabaseName(folder + "/Data");
    dm.Table1->setTableName("data.db");
    QDir(folder).mkpath("Data");
    dm.CreateSongTable();
    dm.AddSongFile(known);
  }
  ASSERT_TRUE(writeAll(music.filePath("old.qdp"), known.toUtf8()));
  ASSERT_TRUE(writeAll(music.filePath("new.qdp"), (known + "\n" + added).toUtf8()));
  ConsoleIn console(folder);
  console.dialogs.fileNames.push_back(music.filePath("old.qdp"));
  FormQuandrel->Laden1Click();
  ASSERT_EQ(playlistLines(), QStringList({"Known - k"}));
  FormPlayList->PlayIndex = 0;

  console.dialogs.fileNames.push_back(music.filePath("new.qdp"));
  if (disk.isMounted()) {
    disk.fill();
    FormQuandrel->Laden1Click();
    disk.unfill();
  } else {
    qdl::test::withFileSizeLimit(100, [] { FormQuandrel->Laden1Click(); });
  }
  ASSERT_EQ(console.dialogs.errors.size(), 1);
  EXPECT_TRUE(console.dialogs.errors[0].contains("data.db"))
      << console.dialogs.errors[0].toStdString();
  EXPECT_EQ(playlistLines(), QStringList({"Known - k"}));
  EXPECT_EQ(FormPlayList->FileList, QStringList({known}));
}

TEST(Media, CreatingTheLibraryOnAFullDiskLeavesNothingThatBlocksTheNextStart) {
  ScratchDisk disk(2048);
  qdl::test::TempCwd fallback;
  const QString folder = disk.isMounted() ? disk.path() : fallback.path();
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(folder + "/qdl.ini", 1, 0));
  QDir(folder).mkpath("Playlist");
  QDir(folder).mkpath("Data");
  auto firstStart = [&] {
    ConsoleIn console(folder);
    EXPECT_FALSE(console.dialogs.errors.isEmpty());
    EXPECT_TRUE(console.dialogs.errors.join("\n").contains("data.db"));
    EXPECT_FALSE(DataModule1->Table1->isOpen());
  };
  if (disk.isMounted()) {
    disk.fill();
    firstStart();
    disk.unfill();
  } else {
    qdl::test::withFileSizeLimit(1024, firstStart);
  }
  EXPECT_TRUE(QDir(folder + "/Data").entryList(QDir::Files | QDir::Hidden).isEmpty());

  ConsoleIn console(folder);
  EXPECT_EQ(console.shown, QStringList{"FormScan"});
  EXPECT_TRUE(DataModule1->Table1->isOpen());
  EXPECT_TRUE(console.dialogs.errors.isEmpty()) << console.dialogs.errors.join("\n").toStdString();
}

TEST(Media, AScanAndACheckOnAFullDiskCountOnlyWhatWasWritten) {
  ScratchDisk disk(2048);
  qdl::test::TempCwd fallback;
  QTemporaryDir music;
  const QString folder = disk.isMounted() ? disk.path() : fallback.path();
  const QString old = QDir::currentPath();
  QDir::setCurrent(folder);
  ASSERT_TRUE(qdl::test::writeMp3(music.filePath("first.mp3"), "A", "a"));
  CommandRun r = scanCommand({music.path()});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  ASSERT_TRUE(QFile::remove(music.filePath("first.mp3")));
  ASSERT_EQ(qdl::test::writeTree(music.path(), 20, 15), 300);

  auto full = [&](const QStringList& args) {
    if (!disk.isMounted()) {
      qdl::test::withFileSizeLimit(100, [&] { r = scanCommand(args); });
      return;
    }
    disk.fill();
    r = scanCommand(args);
    disk.unfill();
  };
  full({music.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.out.contains("\nadded: 0\n")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("not stored: 300")) << r.out.toStdString();
  full({"--only-check"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.out.contains("records removed: 0\n")) << r.out.toStdString();

  // With room again, everything is there to be done.
  r = scanCommand({"--check", music.path()});
  QDir::setCurrent(old);
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("\nadded: 300\n")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("records removed: 1\n")) << r.out.toStdString();
}

TEST(Media, ACheckKeepsTheSongsOfAShareMountedByHandWhileItIsNotMounted) {
  // A share mounted by hand at a folder of the user's choosing (as ~/nas),
  // here a folder of a disk of the test's own bound there.
  ScratchDisk disk(1024);
  if (!disk.isMounted()) GTEST_SKIP() << "no disk of our own can be mounted here";
  qdl::test::TempCwd library;
  const QString share = disk.file("share");
  const QString nas = library.file("nas/share");
  ASSERT_TRUE(QDir().mkpath(nas));
  for (const char* name : {"y.mp3", "Set/x.mp3", "z.mp3"})
    ASSERT_TRUE(qdl::test::writeMp3(share + "/" + name, "A", name));
  auto mountShare = [&] {
    return ::mount(QFile::encodeName(share).constData(), QFile::encodeName(nas).constData(),
                   nullptr, MS_BIND, nullptr) == 0;
  };
  auto unmountShare = [&] { return ::umount2(QFile::encodeName(nas).constData(), 0) == 0; };
  ASSERT_TRUE(mountShare());
  CommandRun r = scanCommand({nas});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  ASSERT_TRUE(r.out.contains("\nadded: 3\n")) << r.out.toStdString();
  auto cuePoints = [&](int set) {
    qdl::db::Table t;
    t.setDatabaseName(library.file("Data"));
    t.setTableName("data.db");
    t.setIndexName("iDateiname");
    t.open();
    QStringList cues;
    for (t.first(); !t.eof(); t.next()) {
      if (set) {
        t.setFieldValue("StartZeit", set);
        t.post();
      }
      cues << t.asString("DateiName").mid(nas.size() + 1) + "@" + t.asString("StartZeit");
    }
    return cues.join(" ");
  };
  ASSERT_EQ(cuePoints(1234), "Set/x.mp3@1234 y.mp3@1234 z.mp3@1234");

  // Unmounted, every later check (each a run of its own) keeps the songs.
  ASSERT_TRUE(unmountShare());
  for (int run = 0; run < 2; ++run) {
    r = scanCommand({"--only-check"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("records removed: 0\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("not reachable: 3\n")) << r.out.toStdString();
  }
  // Mounted again, a song really deleted from it goes, and only that one.
  ASSERT_TRUE(QFile::remove(share + "/z.mp3"));
  ASSERT_TRUE(mountShare());
  r = scanCommand({"--only-check"});
  EXPECT_TRUE(r.out.contains("records removed: 1\n")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("not reachable: 0\n")) << r.out.toStdString();
  EXPECT_EQ(cuePoints(0), "Set/x.mp3@1234 y.mp3@1234");
  EXPECT_TRUE(unmountShare());
}

}  // namespace

// The windows that save a file of the console's own, on a disk that is full:
// each says so, naming the file, and the old file stays byte for byte.
TEST(Media, EveryWindowThatSavesKeepsTheOldFileOnAFullDisk) {
  ScratchDisk disk(2048);
  qdl::test::TempCwd fallback;
  const QString folder = disk.isMounted() ? disk.path() : fallback.path();
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(folder + "/qdl.ini", 1, 0));
  QDir(folder).mkpath("Playlist");
  const QString set = folder + "/Playlist/Friday.qdp";
  ASSERT_TRUE(writeAll(set, "/music/old.mp3\r\n"));
  ConsoleIn console(folder);
  const struct {
    const char* name;
    QString file;
    std::function<void()> save;
    std::function<QStringList()> said;
  } cases[] = {
      {"language window", folder + "/qdl.ini",
       [] {
         FormSprache->show();
         FormSprache->rgSprache->setItemIndex(1);
         FormSprache->btOKClick();
       },
       [&] { return console.dialogs.errors; }},
      {"playlist window", set,
       [&] {
         FormQuandrel->Neu1Click();
         FormPlayList->FileList = QStringList{"/music/new.mp3"};
         console.dialogs.fileNames.push_back(set);
         FormPlayList->btSaveClick();
       },
       [&] {
         QStringList texts;
         for (const auto& box : console.dialogs.boxes) texts << box.text;
         return texts;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray before = readAll(c.file);
    if (disk.isMounted()) {
      disk.fill();
      c.save();
      disk.unfill();
    } else {
      qdl::test::withFileSizeLimit(before.size() / 2, c.save);
    }
    const QStringList said = c.said();
    ASSERT_EQ(said.size(), 1) << said.join("\n").toStdString();
    EXPECT_TRUE(said[0].contains(QFileInfo(c.file).fileName())) << said[0].toStdString();
    EXPECT_EQ(readAll(c.file), before);
    console.dialogs.errors.clear();
    console.dialogs.boxes.clear();
  }
}
