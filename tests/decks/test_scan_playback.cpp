// A deck keeps playing without a gap while the library is scanned: the scan
// runs inside the Start handler, and the deck's 10 ms timer must still refill
// the ring in time. Real time: the virtual cards run on their own clock here.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "platform/db/Table.h"
#include "platform/fs/Volumes.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "scan/ScanTree.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/VirtualCardSettings.h"

#include <QPushButton>

namespace {

using qdl::sound::VirtualCards;

void runEventsFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(ScanWhilePlaying, TheDeckKeepsRefillingWithoutAMiss) {
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  ASSERT_TRUE(qdl::test::writeVirtualCardSettings(cwd.file("qdl.ini"), 2));
  const QString root = cwd.file("Disk");
  ASSERT_EQ(qdl::test::writeTree(root, 200, 15), 3000);

  qdl::app::createWindows();
  qdl::app::showMainWindow();
  TFormQuandrel& f = *FormQuandrel;
  qdl::db::Table& songs = *DataModule1->Table1;
  const QString song =
      QDir(QStringLiteral(QDL_FIXTURE_DIR)).filePath("sine1k_44k_stereo_200_5s.mp3");
  songs.insertRecord({QVariant(), "Long", "Sine", QVariant(), "Test", "2026", song, QVariant(), 0,
                      QVariant(), false});
  songs.first();
  f.LoadDB_LinksClick();
  ASSERT_NE(f.PlayerLinks, nullptr);
  f.Play_LinksMouseDown();
  runEventsFor(400);
  const int before = f.sBarSeekLinks->value();

  FormScan->volumeSource = [root] {
    return QList<qdl::fs::Volume>{{root, "/dev/test", "ext4", qdl::fs::VolumeKind::Fixed}};
  };
  FormScan->mountPointSource = [] { return QStringList{}; };
  FormScan->show();
  FormScan->RGBedingung->setItemIndex(2);
  QElapsedTimer scanTime;
  scanTime.start();
  FormScan->btStart->click();
  const qint64 scanMs = scanTime.elapsed();
  runEventsFor(300);

  EXPECT_EQ(songs.recordCount(), 3001);
  EXPECT_EQ(f.StatusBar_Links->panelText(0), "playing");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0) << "scan took " << scanMs << " ms";
  // The deck went on: its position moved by about the time that passed.
  EXPECT_GT(f.sBarSeekLinks->value() - before, (scanMs + 300) / 10 - 40);

  qdl::app::destroyWindows();
  qputenv("QUANDREL_AUDIO", "virtual");
}

}  // namespace
