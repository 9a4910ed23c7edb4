// The check and scan window on temporary folder trees and a real song table:
// what the walk finds and skips, the order of additions, the check, the
// drive list, live progress with timers running, and Cancel.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTimer>

#include "ScanTree.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/ui/RadioGroup.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

using qdl::fs::Volume;
using qdl::fs::VolumeKind;
using qdl::test::writeMp3;

namespace {

class ScanWindow : public ::testing::Test {
 protected:
  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  QString root;  // the tree scanned, standing in for a fixed volume
  QStringList captions;

  void SetUp() override {
    root = cwd.file("Disk");
    QDir().mkpath(root);
    QDir().mkpath(cwd.file("Data"));
    DataModule1 = new TDataModule1;
    DataModule1->Table1->setDatabaseName(cwd.file("Data"));
    DataModule1->Table1->setTableName("data.db");
    DataModule1->CreateSongTable();
    FormProgress = new TFormProgress;
    FormScan = new TFormScan;
    FormScan->volumeSource = [this] {
      return QList<Volume>{{root, "/dev/test", "ext4", VolumeKind::Fixed}};
    };
    FormScan->mountPointSource = [] { return QStringList{}; };
    QObject::connect(FormProgress, &QWidget::windowTitleChanged,
                     [this](const QString& t) { captions << t; });
  }
  void TearDown() override {
    delete FormScan;
    FormScan = nullptr;
    delete FormProgress;
    FormProgress = nullptr;
    delete DataModule1;
    DataModule1 = nullptr;
  }

  qdl::db::Table& table() { return *DataModule1->Table1; }

  // Shows the window, picks the mode and presses Start.
  void start(int mode) {
    FormScan->show();
    FormScan->RGBedingung->setItemIndex(mode);
    FormScan->btStart->click();
  }

  // File names of the records in the order they were added.
  QStringList addedOrder() {
    table().setIndexName("");
    QStringList paths;
    for (table().first(); !table().eof(); table().next())
      paths << table().asString("DateiName").mid(root.size() + 1);
    table().setIndexName("iDateiname");
    return paths;
  }
};

TEST_F(ScanWindow, ScanFindsVisibleTreeHiddenFilesAnyCaseAndAddsDeepestFirst) {
  ASSERT_TRUE(writeMp3(root + "/r1.mp3", "Root Artist", "Root Title"));
  ASSERT_TRUE(writeMp3(root + "/A/a1.mp3"));
  ASSERT_TRUE(writeMp3(root + "/A/AA/aa1.mp3"));
  ASSERT_TRUE(writeMp3(root + "/A/AA/.hidden file.mp3"));
  ASSERT_TRUE(writeMp3(root + "/B/UPPER.MP3"));
  ASSERT_TRUE(writeMp3(root + "/B/notes.txt"));
  ASSERT_TRUE(writeMp3(root + "/.hidden folder/lost.mp3"));
  ASSERT_TRUE(writeMp3(root + "/Mounted/other volume.mp3"));
  // Links: a loop back to the root, a link to a folder, a link to a file.
  ASSERT_EQ(::symlink(qPrintable(root), qPrintable(root + "/A/AA/loop")), 0);
  ASSERT_EQ(::symlink("../B", qPrintable(root + "/A/toB")), 0);
  ASSERT_EQ(::symlink("../B/UPPER.MP3", qPrintable(root + "/A/linked.mp3")), 0);
  FormScan->mountPointSource = [this] { return QStringList{root + "/Mounted"}; };

  start(2);

  const QStringList order = addedOrder();
  EXPECT_EQ(QSet<QString>(order.begin(), order.end()),
            (QSet<QString>{"r1.mp3", "A/a1.mp3", "A/linked.mp3", "A/AA/aa1.mp3",
                           "A/AA/.hidden file.mp3", "B/UPPER.MP3"}));
  EXPECT_EQ(order.size(), 6) << order.join(", ").toStdString();
  ASSERT_FALSE(order.isEmpty());
  EXPECT_EQ(order.first(), "r1.mp3");
  EXPECT_LT(order.indexOf("A/AA/aa1.mp3"), order.indexOf("A/a1.mp3"));
  // The tag went into the record.
  table().findNearest(root + "/r1.mp3");
  EXPECT_EQ(table().asString("Interpret"), "Root Artist");
  EXPECT_EQ(table().asString("Titel"), "Root Title");

  EXPECT_EQ(captions, QStringList{"scanne Hardisk und integriere mp3-Dateien in DB"});
  EXPECT_FALSE(FormProgress->isVisible());
  EXPECT_FALSE(FormScan->isVisible());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

TEST_F(ScanWindow, SecondScanAddsNoDuplicatesAndCaseVariantsAreOtherFiles) {
  ASSERT_TRUE(writeMp3(root + "/x/one.mp3", "One", "1"));
  ASSERT_TRUE(writeMp3(root + "/x/two.mp3", "Two", "2"));
  start(2);
  ASSERT_EQ(table().recordCount(), 2);

  qdl::library::SongScanner scanner(*DataModule1);
  scanner.scanRoot(root + "/");
  EXPECT_EQ(table().recordCount(), 2);
  EXPECT_EQ(scanner.counts().filesFound, 2);
  EXPECT_EQ(scanner.counts().alreadyPresent, 2);
  EXPECT_EQ(scanner.counts().added, 0);
  // The same path in other letter case is another file, with a record of
  // its own.
  ASSERT_TRUE(writeMp3(root + "/x/ONE.MP3", "Other One", "1"));
  start(2);
  EXPECT_EQ(table().recordCount(), 3);

  start(0);  // check and scan: nothing is gone, nothing new
  EXPECT_EQ(table().recordCount(), 3);
  EXPECT_EQ(captions.last(), "scanne Hardisk und integriere mp3-Dateien in DB");
  EXPECT_TRUE(captions.contains("überprüfe Datenbank"));
}

TEST_F(ScanWindow, CheckRemovesOnlyRecordsWhoseFilesAreGone) {
  ASSERT_TRUE(writeMp3(root + "/keep.mp3"));
  ASSERT_TRUE(writeMp3(root + "/gone.mp3"));
  ASSERT_TRUE(writeMp3(root + "/folder/keep too.mp3"));
  ASSERT_TRUE(writeMp3(root + "/folder gone/x.mp3"));
  start(2);
  ASSERT_EQ(table().recordCount(), 4);
  // A record for a path that is now a folder.
  table().insertRecord({QVariant(), "Dir", "", "", "", "", root + "/now a folder.mp3"});
  QDir().mkpath(root + "/now a folder.mp3");
  ASSERT_TRUE(QFile::remove(root + "/gone.mp3"));
  ASSERT_TRUE(QDir(root + "/folder gone").removeRecursively());
  captions.clear();
  FormScan->mountPointSource = [] { return QStringList{}; };
  ASSERT_TRUE(writeMp3(root + "/new.mp3"));  // only checked, never scanned
  // Every song has an analysis: those of the removed records go with them.
  std::vector<std::int64_t> keys = table().recordIds();
  for (std::int64_t key : keys) ASSERT_TRUE(table().setAnalysis(key, {120, {0.5f}}));

  start(1);

  QStringList left = addedOrder();
  left.sort();
  EXPECT_EQ(left, (QStringList{"folder/keep too.mp3", "keep.mp3"}));
  int analyses = 0;
  for (std::int64_t key : keys) {
    const bool kept = table().storedValue(key, "DateiName").has_value();
    EXPECT_EQ(table().analysis(key).has_value(), kept) << key;
    analyses += kept;
  }
  EXPECT_EQ(analyses, 2);
  EXPECT_EQ(captions, QStringList{"überprüfe Datenbank"});
  EXPECT_FALSE(FormProgress->isVisible());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

TEST_F(ScanWindow, CheckKeepsTheRecordsOfMediaThatAreNotThere) {
  // A stick that is not plugged in (its mount location stays, empty), a
  // whole artist folder whose parent is gone, beside files really deleted.
  const QString stick = root + "/media/stick";
  FormScan->volumeMapSource = [stick] {
    return qdl::fs::VolumeMap({"/"}, {{stick, "/dev/sdz1", "vfat", VolumeKind::Removable}});
  };
  for (const char* name :
       {"/media/stick/top.mp3", "/media/stick/Artist/Album/deep.mp3", "/here/gone.mp3",
        "/here/deleted album/song.mp3", "/artist gone/album/song.mp3", "/here/kept.mp3"})
    ASSERT_TRUE(writeMp3(root + name, "A", name));
  start(2);
  ASSERT_EQ(table().recordCount(), 6);
  table().setIndexName("iDateiname");
  table().findNearest(stick + "/top.mp3");
  table().setFieldValue("StartZeit", 1234);  // a cue point set by hand
  table().post();

  // Unplugged: the stick's folder stays as an empty mount location.
  ASSERT_TRUE(QDir(stick).removeRecursively());
  QDir().mkpath(stick);
  ASSERT_TRUE(QFile::remove(root + "/here/gone.mp3"));
  ASSERT_TRUE(QDir(root + "/here/deleted album").removeRecursively());
  ASSERT_TRUE(QDir(root + "/artist gone").removeRecursively());
  start(1);

  QStringList left = addedOrder();
  left.sort();
  EXPECT_EQ(left, (QStringList{"artist gone/album/song.mp3", "here/kept.mp3",
                               "media/stick/Artist/Album/deep.mp3", "media/stick/top.mp3"}));
  table().findNearest(stick + "/top.mp3");
  EXPECT_EQ(table().asInteger("StartZeit"), 1234);
  EXPECT_TRUE(FormProgress->lbStatus->text().endsWith("-2    3 nicht erreichbar"))
      << FormProgress->lbStatus->text().toStdString();
}

TEST_F(ScanWindow, CheckKeepsWhatIsReachedThroughLinksIntoAMediumThatIsNotThere) {
  // Links into a stick: to its mount point, to a folder on it, to a song.
  const QString stick = cwd.file("media/stick");
  bool plugged = true;
  FormScan->volumeMapSource = [stick, &plugged] {
    if (plugged) return qdl::fs::VolumeMap({"/", stick}, {});
    return qdl::fs::VolumeMap({"/"}, {{stick, "/dev/sdz1", "vfat", VolumeKind::Removable}});
  };
  for (const char* name : {"/top.mp3", "/Music/a.mp3", "/Music/Sub/b.mp3", "/Music/gone.mp3"})
    ASSERT_TRUE(writeMp3(stick + name, "A", name));
  ASSERT_EQ(::symlink(qPrintable(stick), qPrintable(root + "/Stick")), 0);
  ASSERT_EQ(::symlink(qPrintable(stick + "/Music"), qPrintable(root + "/Music")), 0);
  ASSERT_EQ(::symlink(qPrintable(stick + "/top.mp3"), qPrintable(root + "/linked.mp3")), 0);
  for (const char* folder : {"/", "/Stick/", "/Music/"})
    qdl::library::SongScanner(*DataModule1).scanRoot(root + folder);
  ASSERT_EQ(table().recordCount(), 8);

  // Plugged in: a song deleted from it goes, under both of its paths.
  ASSERT_TRUE(QFile::remove(stick + "/Music/gone.mp3"));
  start(1);
  ASSERT_EQ(table().recordCount(), 6);

  // Unplugged: its mount location stays, empty; the links point into it or
  // nowhere. Every song is kept.
  ASSERT_TRUE(QDir(stick).removeRecursively());
  QDir().mkpath(stick);
  plugged = false;
  start(1);
  QStringList left = addedOrder();
  left.sort();
  EXPECT_EQ(left, (QStringList{"Music/Sub/b.mp3", "Music/a.mp3", "Stick/Music/Sub/b.mp3",
                               "Stick/Music/a.mp3", "Stick/top.mp3", "linked.mp3"}));
  EXPECT_TRUE(FormProgress->lbStatus->text().endsWith("-0    6 nicht erreichbar"))
      << FormProgress->lbStatus->text().toStdString();
}

TEST_F(ScanWindow, AfterTheWorkTheTableIsBackInItsOrderOnItsRecordAndTheCountIsTold) {
  for (const char* a : {"Abba", "Beatles", "Cure", "Doors"})
    ASSERT_TRUE(writeMp3(root + "/" + a + ".mp3", a, "t"));
  start(2);
  table().setIndexName("iInterpret");
  table().findNearest("Cure");
  int told = 0;
  QObject::connect(FormScan, &TFormScan::workDone, [&] { ++told; });
  ASSERT_TRUE(writeMp3(root + "/Eagles.mp3", "Eagles", "t"));
  start(0);
  EXPECT_EQ(table().indexName(), "iInterpret");
  EXPECT_EQ(table().asString("Interpret"), "Cure");
  EXPECT_EQ(table().recordCount(), 5);
  EXPECT_EQ(told, 1);

  // A record that the check removed leaves the table on its first record.
  ASSERT_TRUE(QFile::remove(root + "/Cure.mp3"));
  start(1);
  EXPECT_EQ(table().indexName(), "iInterpret");
  EXPECT_EQ(table().asString("Interpret"), "Abba");
  EXPECT_EQ(told, 2);
}

TEST_F(ScanWindow, EmptyLibrarySkipsTheCheckAndOnlyCheckDoesNothing) {
  ASSERT_TRUE(writeMp3(root + "/a.mp3"));
  start(1);
  EXPECT_TRUE(captions.isEmpty());
  EXPECT_EQ(table().recordCount(), 0);
  start(0);
  EXPECT_EQ(captions, QStringList{"scanne Hardisk und integriere mp3-Dateien in DB"});
  EXPECT_EQ(table().recordCount(), 1);
}

TEST_F(ScanWindow, DriveListOffersVolumesByKindAndEachRebuildDropsTheUsersTicks) {
  FormScan->volumeSource = [] {
    return QList<Volume>{{"/", "/dev/sda1", "ext4", VolumeKind::Fixed},
                         {"/media/cd", "/dev/sr0", "iso9660", VolumeKind::Optical},
                         {"/media/stick", "/dev/sdb1", "vfat", VolumeKind::Removable},
                         {"/mnt/nas", "nas:/m", "nfs4", VolumeKind::Network}};
  };
  table().setIndexName("iInterpret");
  FormScan->show();
  EXPECT_EQ(table().indexName(), "iInterpret");  // the grid keeps its order
  ASSERT_EQ(FormScan->Drives.size(), 4);
  QStringList captionsOfBoxes;
  for (QCheckBox* b : FormScan->Drives) {
    captionsOfBoxes << b->text();
    EXPECT_TRUE(FormScan->GroupBox1->isAncestorOf(b));
    EXPECT_TRUE(b->isEnabled() && b->isChecked()) << b->text().toStdString();
  }
  EXPECT_EQ(captionsOfBoxes, (QStringList{"/", "/media/cd", "/media/stick", "/mnt/nas"}));

  FormScan->Drives[0]->setChecked(false);  // the user's own choice
  FormScan->cbNet->click();                // unticks: network volumes go
  ASSERT_EQ(FormScan->Drives.size(), 4);
  EXPECT_TRUE(FormScan->Drives[0]->isChecked());
  EXPECT_FALSE(FormScan->Drives[3]->isEnabled() || FormScan->Drives[3]->isChecked());
  FormScan->cbCDRom->click();
  EXPECT_FALSE(FormScan->Drives[1]->isEnabled() || FormScan->Drives[1]->isChecked());
  FormScan->cbChange->click();
  EXPECT_FALSE(FormScan->Drives[2]->isEnabled() || FormScan->Drives[2]->isChecked());
  EXPECT_TRUE(FormScan->Drives[0]->isEnabled() && FormScan->Drives[0]->isChecked());
  FormScan->cbChange->click();
  EXPECT_TRUE(FormScan->Drives[2]->isEnabled() && FormScan->Drives[2]->isChecked());

  // Unticked volumes are not scanned.
  ASSERT_TRUE(writeMp3(root + "/a.mp3"));
  FormScan->volumeSource = [this] {
    return QList<Volume>{{root, "nas:/x", "nfs", VolumeKind::Network}};
  };
  FormScan->hide();
  start(2);
  EXPECT_EQ(table().recordCount(), 0);
}

// An unreadable folder yields nothing and no message: a folder without
// permissions (when the tests do not run as root, who may read anything) and
// a folder whose path is too long to open.
TEST_F(ScanWindow, NamesThatAreNotUtf8CountAsUnreadableAndNeverBecomeRecords) {
  // A file "Café.mp3" and a folder "Düsseldorf" named in Latin-1, as copied
  // from an old disk: no QString path reaches them.
  ASSERT_TRUE(writeMp3(root + "/ok.mp3"));
  const QByteArray r = QFile::encodeName(root);
  const int file = ::open((r + "/Caf\xe9.mp3").constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  ::close(file);
  ASSERT_EQ(::mkdir((r + "/D\xfcsseldorf").constData(), 0755), 0);
  const int inner = ::open((r + "/D\xfcsseldorf/inner.mp3").constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(inner, 0);
  ::close(inner);

  qdl::library::SongScanner scanner(*DataModule1);
  scanner.useFileNameOrder();
  scanner.scanRoot(root + "/");
  EXPECT_EQ(scanner.counts().added, 1);
  EXPECT_EQ(scanner.counts().unreadable, 2);
  EXPECT_EQ(addedOrder(), QStringList{"ok.mp3"});
}

TEST_F(ScanWindow, FoldersThatCannotBeReadAreSkippedSilently) {
  ASSERT_TRUE(writeMp3(root + "/ok/a.mp3"));
  ASSERT_TRUE(writeMp3(root + "/locked/b.mp3"));
  ::chmod(qPrintable(root + "/locked"), 0);
  // Folders nested deeper than a path may be long.
  const std::string part(200, 'd');
  int fd = ::open(qPrintable(root), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 24; ++i) {
    ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
    const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    ASSERT_GE(fd, 0);
  }
  const int file = ::openat(fd, "deep.mp3", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  ::close(file);
  ::close(fd);

  start(2);

  QStringList found = addedOrder();
  for (QString& f : found) f = f.section('/', -1);
  EXPECT_TRUE(found.contains("a.mp3"));
  EXPECT_FALSE(found.contains("deep.mp3"));
  if (::geteuid() != 0) {
    EXPECT_FALSE(found.contains("b.mp3"));
  }
  EXPECT_TRUE(dialogs.errors.isEmpty());
  EXPECT_TRUE(dialogs.boxes.empty());

  // Clean up what QTemporaryDir cannot remove by path.
  ::chmod(qPrintable(root + "/locked"), 0755);
  std::function<void(int)> removeBelow = [&](int dirFd) {
    const int sub = ::openat(dirFd, part.c_str(), O_RDONLY | O_DIRECTORY);
    if (sub < 0) return;
    removeBelow(sub);
    ::unlinkat(sub, "deep.mp3", 0);
    ::close(sub);
    ::unlinkat(dirFd, part.c_str(), AT_REMOVEDIR);
  };
  const int top = ::open(qPrintable(root), O_RDONLY | O_DIRECTORY);
  removeBelow(top);
  ::close(top);
}

TEST_F(ScanWindow, TimersKeepRunningOnlyProgressTakesInputAndCancelKeepsWhatWasAdded) {
  const int total = qdl::test::writeTree(root, 200, 15);
  ASSERT_EQ(total, 3000);

  // A deck-like 10 ms timer: which file counts does it see while the scan runs?
  QSet<int> seen;
  bool modalProgress = true;
  QTimer deck;
  deck.setInterval(10);
  QObject::connect(&deck, &QTimer::timeout, [&] {
    if (!FormScan->scanner()) return;
    seen.insert(FormScan->scanner()->counts().filesFound);
    modalProgress &= QApplication::activeModalWidget() == FormProgress;
  });
  deck.start();
  start(2);
  deck.stop();
  ASSERT_EQ(table().recordCount(), total);
  seen.remove(0);
  seen.remove(total);
  EXPECT_GE(seen.size(), 3) << "the timer did not fire while the scan ran";
  EXPECT_TRUE(modalProgress);
  EXPECT_FALSE(FormProgress->lbStatus->text().isEmpty());

  // Cancel once a few hundred files are in: the scan stops after the file
  // in hand, and what was added stays.
  ASSERT_TRUE(QDir(cwd.file("Data")).removeRecursively());
  QDir().mkpath(cwd.file("Data"));
  DataModule1->CreateSongTable();
  int addedWhenCancelled = -1;
  QTimer canceller;
  canceller.setInterval(1);
  QObject::connect(&canceller, &QTimer::timeout, [&] {
    if (!FormScan->scanner() || addedWhenCancelled >= 0) return;
    const int added = FormScan->scanner()->counts().added;
    if (added < 300) return;
    addedWhenCancelled = added;
    FormProgress->btCancel->click();
  });
  canceller.start();
  start(2);
  canceller.stop();
  ASSERT_GE(addedWhenCancelled, 300);
  EXPECT_EQ(table().recordCount(), addedWhenCancelled);
  EXPECT_FALSE(FormProgress->isVisible());
  // Reopening reads the same records from the file.
  table().close();
  table().open();
  EXPECT_EQ(table().recordCount(), addedWhenCancelled);
}

TEST(ProgressWindow, EscapeAndCloseAskToCancelWhileWorking) {
  TFormProgress progress;
  int cancels = 0;
  QObject::connect(&progress, &TFormProgress::cancelClicked, [&] { ++cancels; });
  progress.startWork("work", 3);
  EXPECT_TRUE(progress.isModal() || progress.windowModality() == Qt::ApplicationModal);
  progress.reject();
  EXPECT_TRUE(progress.isVisible());
  EXPECT_EQ(cancels, 1);
  EXPECT_TRUE(progress.cancelRequested());
  progress.close();
  EXPECT_TRUE(progress.isVisible());
  progress.advance(true);
  progress.advance(true);
  progress.advance(true);
  EXPECT_EQ(progress.ProgressBar1->value(), 0);
  progress.advance(false);
  progress.advance(false);
  progress.advance(false);
  progress.advance(false);
  EXPECT_EQ(progress.ProgressBar1->value(), 3);
  progress.endWork();
  EXPECT_FALSE(progress.isVisible());
  EXPECT_FALSE(progress.btCancel->isEnabled());
  progress.startWork("again", 10);
  EXPECT_FALSE(progress.cancelRequested());
  EXPECT_EQ(progress.windowTitle(), "again");
  progress.endWork();
}

}  // namespace
