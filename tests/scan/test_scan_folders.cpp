// Where a scan looks on a Linux desktop: the user's music and home folders
// offered before the volumes (the music folder ticked), a folder of the
// user's choice, the system's trees a walk from "/" leaves out, and ticked
// folders inside one another walked once.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>

#include "ScanTree.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/ScanRoots.h"
#include "platform/db/Table.h"
#include "platform/ui/RadioGroup.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

using qdl::fs::Volume;
using qdl::fs::VolumeKind;
using qdl::test::writeMp3;

namespace {

// ---- The pieces --------------------------------------------------------------

struct TreeCase {
  const char* path;
  bool system;
};

class SystemTree : public testing::TestWithParam<TreeCase> {};

TEST_P(SystemTree, OnlyTheSystemsOwnTopFoldersAreLeftOut) {
  EXPECT_EQ(qdl::library::isSystemTree(QString::fromUtf8(GetParam().path)), GetParam().system)
      << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemTree,
    testing::Values(TreeCase{"/proc", true}, TreeCase{"/sys", true}, TreeCase{"/dev", true},
                    TreeCase{"/run", true}, TreeCase{"/usr", true}, TreeCase{"/var", true},
                    TreeCase{"/etc", true}, TreeCase{"/boot", true}, TreeCase{"/snap", true},
                    TreeCase{"/tmp", true}, TreeCase{"/opt", true}, TreeCase{"/lib64", true},
                    TreeCase{"/lost+found", true}, TreeCase{"/home", false},
                    TreeCase{"/media", false}, TreeCase{"/mnt", false}, TreeCase{"/srv", false},
                    TreeCase{"/home/dj/usr", false}, TreeCase{"/usr/share", false},
                    TreeCase{"/tmpfiles", false}, TreeCase{"/music/var", false}));

struct RootsCase {
  const char* name;
  QStringList ticked;
  QStringList mountPoints;
  QStringList walked;
};

class RootsToWalk : public testing::TestWithParam<RootsCase> {};

TEST_P(RootsToWalk, AFolderInsideAnotherOnTheSameVolumeIsWalkedWithIt) {
  const RootsCase& c = GetParam();
  EXPECT_EQ(qdl::library::rootsToWalk(c.ticked, c.mountPoints), c.walked) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootsToWalk,
    testing::Values(RootsCase{"music inside /", {"/home/dj/Music/", "/"}, {"/", "/media/x"}, {"/"}},
                    RootsCase{
                        "music and home", {"/home/dj/Music/", "/home/dj/"}, {"/"}, {"/home/dj/"}},
                    RootsCase{"home on its own volume",
                              {"/home/dj/Music/", "/"},
                              {"/", "/home"},
                              {"/home/dj/Music/", "/"}},
                    RootsCase{"a volume below a ticked folder",
                              {"/", "/media/stick/"},
                              {"/", "/media/stick"},
                              {"/", "/media/stick/"}},
                    RootsCase{"a name that only starts alike",
                              {"/data/mp3/", "/data/mp"},
                              {"/"},
                              {"/data/mp3/", "/data/mp/"}},
                    RootsCase{"the same folder twice", {"/a/", "/a"}, {"/"}, {"/a/"}},
                    RootsCase{"nothing ticked", {}, {"/"}, {}}));

TEST(PersonalFolders, MusicFolderFirstThenHomeWhenTheyExist) {
  QTemporaryDir dir;
  const QString home = dir.filePath(QStringLiteral("dj"));
  const QString music = home + QStringLiteral("/Musik");
  QDir().mkpath(music);
  using qdl::library::personalFolders;
  EXPECT_EQ(personalFolders(home, music + QStringLiteral("/")), (QStringList{music, home}));
  // xdg-user-dir names the home folder when no music folder is set up.
  EXPECT_EQ(personalFolders(home, home), QStringList{home});
  EXPECT_EQ(personalFolders(home, home + QStringLiteral("/Missing")), QStringList{home});
  EXPECT_EQ(personalFolders(home, QString()), QStringList{home});
  EXPECT_EQ(personalFolders(QString(), QString()), QStringList{});
}

// ---- The window -----------------------------------------------------------

class ScanFolders : public ::testing::Test {
 protected:
  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  QString disk, home, music;
  QStringList chooserAnswers;

  void SetUp() override {
    disk = cwd.file("Disk");
    home = disk + "/home/dj";
    music = home + "/Music";
    QDir().mkpath(music);
    QDir().mkpath(cwd.file("Data"));
    DataModule1 = new TDataModule1;
    DataModule1->Table1->setDatabaseName(cwd.file("Data"));
    DataModule1->Table1->setTableName("data.db");
    DataModule1->CreateSongTable();
    FormProgress = new TFormProgress;
    FormScan = new TFormScan;
    FormScan->volumeSource = [this] {
      return QList<Volume>{{music, {}, TFormScan::kFolderType, VolumeKind::Fixed},
                           {home, {}, TFormScan::kFolderType, VolumeKind::Fixed},
                           {disk, "/dev/sda1", "ext4", VolumeKind::Fixed},
                           {"/media/stick", "/dev/sdb1", "vfat", VolumeKind::Removable}};
    };
    FormScan->mountPointSource = [this] { return QStringList{disk}; };
    FormScan->folderChooser = [this] {
      return chooserAnswers.isEmpty() ? QString() : chooserAnswers.takeFirst();
    };
  }
  void TearDown() override {
    delete FormScan;
    FormScan = nullptr;
    delete FormProgress;
    FormProgress = nullptr;
    delete DataModule1;
    DataModule1 = nullptr;
  }
  // The file names of the library's songs, sorted.
  QStringList songs() const {
    qdl::db::Table& t = *DataModule1->Table1;
    QStringList paths;
    for (t.first(); !t.eof(); t.next()) paths << t.asString("DateiName");
    paths.sort();
    return paths;
  }
  QStringList boxes() const {
    QStringList texts;
    for (QCheckBox* b : FormScan->Drives)
      texts << QStringLiteral("%1%2%3").arg(b->text(), b->isEnabled() ? "" : " (off)",
                                            b->isChecked() ? " [x]" : "");
    return texts;
  }
};

TEST_F(ScanFolders, TheUsersFoldersComeFirstAndOnlyTheMusicFolderIsTicked) {
  FormScan->show();
  EXPECT_EQ(boxes(), (QStringList{music + " [x]", home, disk + " [x]", "/media/stick [x]"}));
  // The folder button ends the list, inside the drive box, below every volume.
  ASSERT_TRUE(FormScan->GroupBox1->isAncestorOf(FormScan->btFolder));
  QLayout* list = FormScan->btFolder->parentWidget()->layout();
  for (QCheckBox* b : FormScan->Drives)
    EXPECT_LT(list->indexOf(b), list->indexOf(FormScan->btFolder)) << b->text().toStdString();
  // A kind box rebuilds the volumes and leaves the folders as they come.
  FormScan->cbChange->click();
  EXPECT_EQ(boxes(), (QStringList{music + " [x]", home, disk + " [x]", "/media/stick (off)"}));
}

TEST_F(ScanFolders, WithoutAMusicFolderTheHomeFolderIsTicked) {
  FormScan->volumeSource = [this] {
    return QList<Volume>{{home, {}, TFormScan::kFolderType, VolumeKind::Fixed},
                         {disk, "/dev/sda1", "ext4", VolumeKind::Fixed}};
  };
  FormScan->show();
  EXPECT_EQ(boxes(), (QStringList{home + " [x]", disk + " [x]"}));
}

TEST_F(ScanFolders, FolderButtonAddsTheChosenFolderTickedAndKeepsTheUsersTicks) {
  const QString gigs = cwd.file("Gigs");
  QDir().mkpath(gigs);
  FormScan->show();
  FormScan->Drives[2]->setChecked(false);  // the user's own choice
  chooserAnswers = {gigs + "/"};
  FormScan->btFolder->click();
  EXPECT_EQ(boxes(), (QStringList{music + " [x]", home, disk, "/media/stick [x]", gigs + " [x]"}));
  // Cancelling the dialog adds nothing; a folder listed already is ticked.
  FormScan->btFolder->click();
  chooserAnswers = {home};
  FormScan->btFolder->click();
  EXPECT_EQ(boxes(),
            (QStringList{music + " [x]", home + " [x]", disk, "/media/stick [x]", gigs + " [x]"}));
  // The chosen folder stays in the list when the window is shown again.
  FormScan->hide();
  FormScan->show();
  EXPECT_EQ(boxes().last(), gigs + " [x]");
  EXPECT_EQ(FormScan->ChosenFolders, QStringList{gigs});
}

TEST_F(ScanFolders, StartScansTheTickedFoldersAndAFolderInsideAnotherOnce) {
  ASSERT_TRUE(writeMp3(music + "/a.mp3", "A", "Song A"));
  ASSERT_TRUE(writeMp3(home + "/Downloads/b.mp3", "B", "Song B"));
  ASSERT_TRUE(writeMp3(disk + "/elsewhere/c.mp3", "C", "Song C"));
  FormScan->show();
  for (QCheckBox* b : FormScan->Drives) b->setChecked(false);
  FormScan->Drives[0]->setChecked(true);  // the music folder only
  FormScan->RGBedingung->setItemIndex(2);
  FormScan->btStart->click();
  EXPECT_EQ(songs(), QStringList{music + "/a.mp3"});

  // Music and home ticked: the home folder's walk takes the music folder.
  FormScan->show();
  for (QCheckBox* b : FormScan->Drives) b->setChecked(false);
  FormScan->Drives[0]->setChecked(true);
  FormScan->Drives[1]->setChecked(true);
  FormScan->RGBedingung->setItemIndex(2);
  FormScan->btStart->click();
  EXPECT_EQ(songs(), (QStringList{home + "/Downloads/b.mp3", music + "/a.mp3"}));
}

}  // namespace
