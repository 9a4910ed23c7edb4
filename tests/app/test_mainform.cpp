// The console window end to end, headless: start-up in various folders,
// activation, language, help and closing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <QLineEdit>
#include "app/About.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "platform/db/Table.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/sound/Sound.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "settings/Geraete.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using qdl::test::ScriptedDialogs;
using qdl::test::TempCwd;

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

// Creates the program's windows in a fresh current folder and records the
// dialogs and help requests they make.
class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousRecorder_ =
        qdl::help::setRecorder([this](const qdl::help::Request& r) { helpRequests.push_back(r); });
    dialogs.onDialog = [this](QDialog* d) { shownDialogs << d->objectName(); };
  }

  void TearDown() override {
    qdl::app::destroyWindows();
    qdl::help::setRecorder(previousRecorder_);
  }

  void start() {
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
  }

  TempCwd cwd;
  ScriptedDialogs dialogs;
  QStringList shownDialogs;
  std::vector<qdl::help::Request> helpRequests;

 private:
  qdl::help::Recorder previousRecorder_;
};

TEST_F(ConsoleTest, FirstStartInAnEmptyFolderAsksForDevicesThenCreatesTheLibraryAndOffersAScan) {
  start();
  ASSERT_TRUE(FormQuandrel->firstShowDone());
  EXPECT_EQ(shownDialogs, (QStringList{"DlgGeraete", "FormScan"}));
  EXPECT_TRUE(QDir(cwd.file("Playlist")).exists());
  EXPECT_TRUE(QFile::exists(cwd.file("Data/data.db")));
  EXPECT_EQ(FormQuandrel->BaseDir, QDir::currentPath());
  EXPECT_TRUE(DataModule1->Table1->isOpen());
  EXPECT_EQ(DataModule1->Table1->recordCount(), 0);
  // Cancelled device dialog: mode 0 and no card, so nothing is opened.
  EXPECT_EQ(FormQuandrel->LeftMain, nullptr);
  EXPECT_EQ(FormQuandrel->RightMain, nullptr);
  EXPECT_FALSE(FormQuandrel->SBVolume_Head->isEnabled());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
  // German by default, and the song count is shown.
  EXPECT_EQ(FormQuandrel->Datenbank1->title(), "&Datenbank");
  EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "0 Titel verfügbar");
}

TEST_F(ConsoleTest, ExistingDataFolderWithoutSettingsShowsOnlyTheDeviceDialog) {
  start();
  qdl::app::destroyWindows();
  QFile::remove(cwd.file("qdl.ini"));
  shownDialogs.clear();
  start();
  EXPECT_EQ(shownDialogs, QStringList{"DlgGeraete"});
  EXPECT_TRUE(DataModule1->Table1->isOpen());
}

TEST_F(ConsoleTest, ExistingSettingsAndDataShowNoDialogAtAll) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  qdl::app::destroyWindows();
  shownDialogs.clear();
  start();
  EXPECT_TRUE(shownDialogs.isEmpty()) << shownDialogs.join(",").toStdString();
}

TEST_F(ConsoleTest, FoldersAreTakenFromTheWorkingDirectoryNotTheProgramFolder) {
  ASSERT_NE(QDir::currentPath(), QCoreApplication::applicationDirPath());
  start();
  EXPECT_FALSE(QDir(QCoreApplication::applicationDirPath() + "/Data").exists() &&
               QDir(QCoreApplication::applicationDirPath()).absolutePath() != cwd.path());
  EXPECT_TRUE(QDir(cwd.file("Data")).exists());
}

TEST_F(ConsoleTest, DataFolderThatCannotBeCreatedIsReportedAndTheConsoleStillComesUp) {
  // A file in the place of the folder: the folder cannot be made.
  writeFile(cwd.file("Data"), "not a folder");
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=1\r\n");
  start();
  ASSERT_FALSE(dialogs.errors.isEmpty());
  EXPECT_TRUE(dialogs.errors.join("\n").contains("Data"));
  // The file that stood there is untouched, and the language was applied.
  QFile f(cwd.file("Data"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "not a folder");
  EXPECT_EQ(FormQuandrel->Datenbank1->title(), "&Database");
}

TEST_F(ConsoleTest, BrokenSettingsAreReportedAndTheConsoleStillComesUp) {
  // A value that is no number: the device set-up and the language each say
  // so, and the file is left as it was.
  const QByteArray broken = "[Devices]\r\nMode=zwei\r\n[Sprache]\r\nMode=eins\r\n";
  writeFile(cwd.file("qdl.ini"), broken);
  start();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("zwei"));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_TRUE(dialogs.boxes[0].text.contains("eins"));
  EXPECT_TRUE(FormQuandrel->isVisible());
  EXPECT_TRUE(DataModule1->Table1->isOpen());
  QFile f(cwd.file("qdl.ini"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), broken);
  qdl::app::destroyWindows();

  // A settings file that cannot be read (a folder in its place): reported
  // with its name, never replaced, and no device dialog over it.
  ASSERT_TRUE(QFile::remove(cwd.file("qdl.ini")));
  ASSERT_TRUE(QDir(cwd.path()).mkdir("qdl.ini"));
  dialogs.errors.clear();
  shownDialogs.clear();
  start();
  EXPECT_TRUE(shownDialogs.isEmpty());
  ASSERT_FALSE(dialogs.errors.isEmpty());
  EXPECT_TRUE(dialogs.errors[0].contains("qdl.ini"));
  EXPECT_TRUE(QFileInfo(cwd.file("qdl.ini")).isDir());
}

TEST_F(ConsoleTest, ASettingsFileThatIsAPipeIsReportedAndTheStartGoesOn) {
  // Reading a pipe would wait for a writer forever.
  ASSERT_EQ(::mkfifo(QFile::encodeName(cwd.file("qdl.ini")).constData(), 0600), 0);
  start();
  EXPECT_TRUE(FormQuandrel->firstShowDone());
  ASSERT_FALSE(dialogs.errors.isEmpty());
  for (const QString& e : std::as_const(dialogs.errors))
    EXPECT_TRUE(e.contains(cwd.file("qdl.ini"))) << e.toStdString();
  EXPECT_TRUE(DataModule1->Table1->isOpen());
  EXPECT_FALSE(QFileInfo(cwd.file("qdl.ini")).isFile());
}

TEST_F(ConsoleTest, ActivationShowsTheCurrentRecordCount) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  DataModule1->Table1->insertRecord({QVariant(), "A", "T", QVariant(), "G", "1999", "/music/a.mp3",
                                     QVariant(), 0, QVariant(), false});
  DataModule1->Table1->insertRecord({QVariant(), "B", "T", QVariant(), "G", "1999", "/music/b.mp3",
                                     QVariant(), 0, QVariant(), false});
  FormQuandrel->FormActivate();
  EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "2 Titel verfügbar");
}

TEST_F(ConsoleTest, TheSongCountFollowsTheFirstStartScanAndEveryLaterOne) {
  // The scan window offered at the first start scans a folder of two songs.
  const QString music = cwd.file("music");
  QDir().mkpath(music);
  const QByteArray tag = "TAG" + QByteArray(125, 'x');
  writeFile(music + "/a.mp3", QByteArray(500, '\0') + tag);
  writeFile(music + "/b.mp3", QByteArray(500, '\0') + tag);
  dialogs.onDialog = [&](QDialog* d) {
    shownDialogs << d->objectName();
    if (d != FormScan) return;
    FormScan->volumeSource = [music] {
      return QList<qdl::fs::Volume>{{music, "/dev/test", "ext4", qdl::fs::VolumeKind::Fixed}};
    };
    FormScan->mountPointSource = [] { return QStringList{}; };
    FormScan->FormShow();  // the drive list again, from the folder above
    FormScan->RGBedingung->setItemIndex(2);
    FormScan->btStart->click();
  };
  start();
  EXPECT_EQ(shownDialogs, (QStringList{"DlgGeraete", "FormScan"}));
  EXPECT_EQ(DataModule1->Table1->recordCount(), 2);
  EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "2 Titel verfügbar");
  EXPECT_EQ(DataModule1->Table1->indexFieldNames(), "Interpret");

  // A scan from the menu (the window is not modal) updates it when done.
  writeFile(music + "/c.mp3", QByteArray(500, '\0') + tag);
  FormQuandrel->Scan1->trigger();
  FormScan->btStart->click();
  EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "3 Titel verfügbar");
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

TEST_F(ConsoleTest, ASecondStartOnTheSameLibrarySaysItIsInUseAndChangesNothing) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  qdl::app::destroyWindows();
  const QByteArray before = [&] {
    QFile f(cwd.file("Data/data.db"));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  // The first start still has the library open.
  qdl::db::Table first;
  first.setDatabaseName(cwd.file("Data"));
  first.setTableName("data.db");
  first.open();
  start();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("in use")) << dialogs.errors[0].toStdString();
  EXPECT_FALSE(DataModule1->Table1->isOpen());
  EXPECT_EQ(FormQuandrel->StatusBarData->simpleText(), "0 Titel verfügbar");
  first.close();
  QFile f(cwd.file("Data/data.db"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().size(), before.size());
}

// Counts how often devices are deleted.
class CountingDevice : public TSoundDevice {
 public:
  explicit CountingDevice(int* deletions) : deletions_(deletions) {}
  ~CountingDevice() override { ++*deletions_; }

 private:
  int* deletions_;
};

TEST_F(ConsoleTest, ClosingDeletesEachDeviceOnceInEveryMode) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  TFormQuandrel& f = *FormQuandrel;
  int deletions = 0;
  // Mode 1: one object in both main slots, another in both headphone slots.
  auto* main = new CountingDevice(&deletions);
  auto* head = new CountingDevice(&deletions);
  f.LeftMain = f.RightMain = main;
  f.LeftHead = f.RightHead = head;
  f.close();
  EXPECT_EQ(deletions, 2);
  EXPECT_EQ(f.LeftMain, nullptr);
  EXPECT_EQ(f.RightHead, nullptr);
  // Closing again (or destroying the window) deletes nothing more.
  f.FormClose();
  qdl::app::destroyWindows();
  EXPECT_EQ(deletions, 2);

  // Mode 0 and 2: separate objects, some slots empty.
  start();
  deletions = 0;
  FormQuandrel->LeftMain = new CountingDevice(&deletions);
  FormQuandrel->RightMain = new CountingDevice(&deletions);
  FormQuandrel->Beenden1Click();
  EXPECT_EQ(deletions, 2);
}

TEST_F(ConsoleTest, HelpCommandsAndHelpKeyUseTheLanguagesHelpFile) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  FormQuandrel->Inhalt1Click();
  FormQuandrel->Index1Click();
  qdl::help::helpKeyPressed(FormQuandrel->Cue_Links);
  qdl::help::helpKeyPressed(FormQuandrel->EditArtist);
  qdl::help::helpKeyPressed(FormQuandrel->cbAutoCue);
  ASSERT_EQ(helpRequests.size(), 5u);
  EXPECT_EQ(helpRequests[0].command, qdl::help::Command::Contents);
  EXPECT_EQ(helpRequests[0].file, "qdl_g.hlp");
  EXPECT_EQ(helpRequests[1].command, qdl::help::Command::Index);
  EXPECT_EQ(helpRequests[2].context, 20);
  EXPECT_EQ(helpRequests[3].context, 60);
  EXPECT_EQ(helpRequests[4].context, 70);
}

TEST_F(ConsoleTest, AboutBoxCreditsTheDecoderAndClosesWithOk) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  dialogs.onDialog = [](QDialog* d) { static_cast<TAboutBox*>(d)->OKButton->click(); };
  FormQuandrel->Info1Click();
  ASSERT_EQ(dialogs.dialogsRun.back(), AboutBox);
  EXPECT_EQ(AboutBox->result(), QDialog::Accepted);
  auto* credit = AboutBox->findChild<QLabel*>("DecoderCredit");
  ASSERT_NE(credit, nullptr);
  EXPECT_TRUE(credit->text().contains("libmpg123"));
  EXPECT_EQ(AboutBox->windowTitle(), "Info");
}

// The restart is announced on OK when the mode or the cards changed; the
// output buffer alone takes effect at once, without the notice.
TEST_F(ConsoleTest, DeviceDialogFromTheMenuAnnouncesTheRestartForChangedCardsOnly) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  dialogs.onDialog = [](QDialog* d) { d->reject(); };
  FormQuandrel->Geraete1Click();
  EXPECT_TRUE(dialogs.boxes.empty());
  auto chooseBuffer = [](int ms) {
    return [ms](QDialog*) {
      DlgGeraete->CB_Buffer->setCurrentIndex(DlgGeraete->CB_Buffer->findData(ms));
      DlgGeraete->OKBtn->click();
    };
  };
  dialogs.onDialog = chooseBuffer(6);  // the first choice of cards, too
  FormQuandrel->Geraete1Click();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Änderung erst nach Programmneustart wirksam");
  EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(qdl::sound::outputBuffer(), 6);
  dialogs.onDialog = chooseBuffer(3);
  FormQuandrel->Geraete1Click();
  EXPECT_EQ(dialogs.boxes.size(), 1u) << "no restart for the output buffer";
  EXPECT_EQ(qdl::sound::outputBuffer(), 3);
  EXPECT_EQ(qdl::IniFile(cwd.file("qdl.ini")).readString("Devices", "OutputBuffer", ""), "3");
  qdl::sound::setOutputBuffer(qdl::sound::kDefaultOutputBuffer);
}

TEST_F(ConsoleTest, WindowHasEveryAreaAndItsFixedClientSize) {
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  start();
  TFormQuandrel& f = *FormQuandrel;
  EXPECT_EQ(f.centralWidget()->size(), QSize(792, 431));
  EXPECT_EQ(f.Panel1->size(), QSize(318, 201));
  EXPECT_TRUE(f.windowTitle().startsWith("Quandrel (Alpha 2)"));
  for (const char* name :
       {"Panel1", "Panel3", "Panel4", "DBGrid1", "PanelMix_Links", "PanelMix_Rechts", "Panel2",
        "SBVolume_Head", "StatusBar_Links", "StatusBar_Rechts", "Play_Links", "Cue_Rechts",
        "Image2", "SpeedZero_Rechts", "lbPitch_Links", "sBarSeekRechts"}) {
    QWidget* w = f.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(w, nullptr) << name;
    EXPECT_TRUE(w->isVisible()) << name;
  }
  EXPECT_EQ(f.LabelZeitLinks->text(), "00:00:00:00");
  EXPECT_EQ(f.lbPitch_Rechts->text(), "0 %");
  EXPECT_EQ(f.SBarPitchLinks->minimum(), -200);
  EXPECT_EQ(f.SBarPitchLinks->maximum(), 200);
  EXPECT_EQ(f.sbFader->minimum(), -3000);
  EXPECT_EQ(f.SBVolume_Links->maximum(), 3000);
  EXPECT_EQ(f.TimerLinks->interval(), 10);
  EXPECT_FALSE(f.TimerLinks->isActive());
  EXPECT_EQ(f.TimerAutoPlay->interval(), 1000);
  EXPECT_EQ(f.TimeModeLinks, 1);
  EXPECT_EQ(f.HeadCueRechts, 0);
  EXPECT_EQ(f.StatusBar_Links->panelText(0), "");
}

}  // namespace
