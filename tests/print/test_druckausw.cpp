// The print selection window in the running console (offscreen): preview,
// print, cancel, printer set-up, language, help, and an empty library.
// Prints go to a PDF file chosen in the printer set-up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "SongLibrary.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "lang/Sprache.h"
#include "platform/help/Help.h"
#include "platform/report/PreviewWindow.h"
#include "platform/report/ProgressWindow.h"
#include "platform/ui/RadioGroup.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "support/PdfText.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

using qdl::report::PreviewWindow;
using qdl::test::pdfPages;
using qdl::test::textLines;

namespace {

class PrintWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousRecorder_ =
        qdl::help::setRecorder([this](const qdl::help::Request& r) { helpRequests.push_back(r); });
  }

  void TearDown() override {
    qdl::app::destroyWindows();
    qdl::help::setRecorder(previousRecorder_);
  }

  // Starts the console on a library of these songs, in German.
  void start(const std::vector<qdl::test::Song>& songs) {
    QFile ini(cwd.file("qdl.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Sprache]\r\nMode=0\r\n");
    ini.close();
    {
      TDataModule1 data;
      qdl::test::createLibrary(data, songs);
    }
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
    table = DataModule1->Table1;
  }

  // Chooses a PDF file as the printer through the console's printer set-up.
  void setUpPrinterFile(const QString& file) {
    dialogs.onPrinterSetup = [file](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(file);
      return true;
    };
    FormQuandrel->DruckSetup1Click();
  }

  // The first column of the list's detail lines, page after page.
  QStringList printedArtists(const QString& file) {
    QStringList artists;
    const auto pages = pdfPages(file);
    for (int p = 0; p < pages.size(); ++p) {
      const QStringList lines = textLines(pages[p]);
      for (int i = p == 0 ? 2 : 1; i + 1 < lines.size(); ++i)
        artists << lines[i].trimmed().section("  ", 0, 0);
    }
    return artists;
  }

  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  std::vector<qdl::help::Request> helpRequests;
  qdl::db::Table* table = nullptr;

 private:
  qdl::help::Recorder previousRecorder_;
};

const std::vector<qdl::test::Song> kFour = {
    {"Beta", "Delta", 120, "Pop", "1999"},
    {"Alpha", "Echo", 121, "Rock", "2003"},
    {"Delta", "Alpha", 122, "Jazz", "1985"},
    {"Charlie", "Bravo", 123, "House", "2010"},
};

}  // namespace

TEST_F(PrintWindowTest, TheMenuOpensTheWindowModallyWithTheLanguagesTexts) {
  start(kFour);
  QStringList run;
  dialogs.onDialog = [&](QDialog* d) { run << d->objectName(); };
  FormQuandrel->Drucken1Click();
  EXPECT_EQ(run, QStringList{"FormDruckauswahl"});
  EXPECT_EQ(FormDruckauswahl->windowTitle(), "Drucksortierung");
  EXPECT_EQ(FormDruckauswahl->btDruck->text(), "&Drucken");
  EXPECT_EQ(FormDruckauswahl->btVorschau->text(), "&Vorschau");
  EXPECT_EQ(FormDruckauswahl->btAbbruch->text(), "&Abbruch");
  EXPECT_EQ(FormDruckauswahl->rgSort->title(), "Sortiert nach ...");
  EXPECT_EQ(FormDruckauswahl->rgSort->items(),
            (QStringList{"Interpret", "Titel", "Kategorie", "Jahr"}));
  FormDruckauswahl->btHelp->click();
  ASSERT_EQ(helpRequests.size(), 1u);
  EXPECT_EQ(helpRequests[0].context, 95);
  EXPECT_EQ(helpRequests[0].file, "qdl_g.hlp");
}

TEST_F(PrintWindowTest, PreviewShowsTheChosenOrderPagesThroughAndLeavesTheWindowOpen) {
  start(qdl::test::numberedSongs(200));
  FormDruckauswahl->show();
  FormDruckauswahl->rgSort->setItemIndex(1);
  int previews = 0;
  dialogs.onDialog = [&](QDialog* d) {
    auto* preview = qobject_cast<PreviewWindow*>(d);
    ASSERT_NE(preview, nullptr);
    ++previews;
    QApplication::processEvents();
    EXPECT_EQ(preview->windowTitle(), "Vorschau");
    EXPECT_EQ(preview->pageCount(), 3);
    EXPECT_EQ(preview->lbPage->text(), "Seite 1 von 3");
    EXPECT_EQ(preview->pagesPainted(), 1);
    preview->btNext->click();
    QApplication::processEvents();
    EXPECT_EQ(preview->lbPage->text(), "Seite 2 von 3");
    EXPECT_EQ(preview->pagesPainted(), 2);
    EXPECT_TRUE(preview->btPrint->isVisible());
    EXPECT_TRUE(preview->btPdf->isVisible());
    preview->btClose->click();
  };
  FormDruckauswahl->btVorschau->click();
  EXPECT_EQ(previews, 1);
  EXPECT_EQ(table->indexName(), "iTitel");  // the order stays for the grid
  EXPECT_TRUE(FormDruckauswahl->isVisible());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

TEST_F(PrintWindowTest, PreviewThenAnotherSortThenPrintPrintsTheSecondOrderAndCloses) {
  start(kFour);
  const QString file = cwd.file("printed.pdf");
  setUpPrinterFile(file);
  EXPECT_EQ(dialogs.printerSetups, 1);
  FormDruckauswahl->show();
  dialogs.onDialog = [](QDialog* d) { d->reject(); };
  FormDruckauswahl->rgSort->setItemIndex(0);
  FormDruckauswahl->btVorschau->click();
  EXPECT_EQ(table->indexName(), "iInterpret");
  EXPECT_FALSE(QFile::exists(file));

  FormDruckauswahl->rgSort->setItemIndex(3);
  FormDruckauswahl->btDruck->click();
  EXPECT_FALSE(FormDruckauswahl->isVisible());
  EXPECT_EQ(FormDruckauswahl->result(), QDialog::Accepted);
  EXPECT_EQ(table->indexName(), "iJahr");
  EXPECT_EQ(printedArtists(file), (QStringList{"Delta", "Beta", "Alpha", "Charlie"}));
  const QStringList lines = textLines(pdfPages(file).value(0));
  EXPECT_EQ(lines.value(0).trimmed(), "Quandrel Titelliste sortiert nach Jahr");
  EXPECT_TRUE(lines.last().trimmed().startsWith("Seite 1 – ")) << lines.last().toStdString();
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PrintWindowTest, CancelLeavesTheSongTablesOrderAndCurrentRecord) {
  start(kFour);
  table->setIndexName("iGenre");
  table->moveTo(2);
  const QString current = table->asString("Interpret");
  dialogs.onDialog = [](QDialog* d) {
    auto* w = static_cast<TFormDruckauswahl*>(d);
    w->rgSort->setItemIndex(1);
    w->btAbbruch->click();
  };
  EXPECT_EQ(dialogs.execDialog(FormDruckauswahl), QDialog::Rejected);
  EXPECT_EQ(table->indexName(), "iGenre");
  EXPECT_EQ(table->currentRow(), 2);
  EXPECT_EQ(table->asString("Interpret"), current);
}

TEST_F(PrintWindowTest, CancellingThePrintSendsNothingAndKeepsTheCurrentSong) {
  start(qdl::test::numberedSongs(500));
  const QString file = cwd.file("printed.pdf");
  setUpPrinterFile(file);
  table->moveTo(321);
  const QString current = table->asString("DateiName");
  // Cancel as soon as the progress window shows.
  QString progressText;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<qdl::report::ProgressWindow*>(w); p && p->isVisible()) {
        progressText = p->lbPage->text();
        p->btCancel->click();
      }
  });
  FormDruckauswahl->show();
  FormDruckauswahl->rgSort->setItemIndex(0);
  FormDruckauswahl->btDruck->click();
  EXPECT_EQ(progressText, "Drucke Seite 1 von 7");
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_EQ(table->asString("DateiName"), current);
  EXPECT_EQ(table->currentRow(), 321);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(FormDruckauswahl->isVisible());  // to print once more
}

TEST_F(PrintWindowTest, TheLanguageResetsTheSortChoiceAndSwitchesWindowAndList) {
  start(kFour);
  const QString file = cwd.file("printed.pdf");
  setUpPrinterFile(file);
  FormDruckauswahl->rgSort->setItemIndex(2);
  dialogs.onDialog = [](QDialog* d) {
    auto* s = static_cast<TFormSprache*>(d);
    s->rgSprache->setItemIndex(1);
    s->btOK->click();
  };
  FormQuandrel->Sprache1Click();
  EXPECT_EQ(FormDruckauswahl->rgSort->itemIndex(), 0);
  EXPECT_EQ(FormDruckauswahl->windowTitle(), "Print-sorting");
  EXPECT_EQ(FormDruckauswahl->btDruck->text(), "&Print");
  EXPECT_EQ(FormDruckauswahl->rgSort->items(), (QStringList{"Artist", "Title", "Genre", "Year"}));

  FormDruckauswahl->btDruck->click();
  const QStringList lines = textLines(pdfPages(file).value(0));
  ASSERT_EQ(lines.size(), 7);
  EXPECT_EQ(lines[0].trimmed(), "Quandrel Songlist sortet by Artist");
  EXPECT_EQ(lines[1].simplified(), "Artist Title Beats Genre Year");
  EXPECT_TRUE(lines[6].trimmed().startsWith("Side 1 – "));

  // The language back to German while the window keeps another choice.
  FormDruckauswahl->rgSort->setItemIndex(3);
  dialogs.onDialog = [](QDialog* d) { static_cast<TFormSprache*>(d)->btCancel->click(); };
  FormQuandrel->Sprache1Click();
  EXPECT_EQ(FormDruckauswahl->rgSort->itemIndex(), 0);
}

TEST_F(PrintWindowTest, AnEmptyLibraryOrNoPrinterIsToldNotPrinted) {
  start({});
  dialogs.onDialog = [](QDialog* d) {
    ADD_FAILURE() << "no preview expected: " << d->objectName().toStdString();
  };
  FormDruckauswahl->show();
  FormDruckauswahl->btVorschau->click();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Die Datenbank enthält keine Titel.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
  EXPECT_TRUE(FormDruckauswahl->isVisible());
  FormDruckauswahl->btDruck->click();
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].text, "Die Datenbank enthält keine Titel.");
  EXPECT_TRUE(FormDruckauswahl->isVisible());  // nothing printed: the window stays

  // With songs but a set-up that names no printer.
  table->insertRecord(
      {QVariant(), "A", "B", QVariant(), "C", "2000", "/x.mp3", QVariant(), 0, QVariant(), false});
  dialogs.onPrinterSetup = [](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    return true;
  };
  FormQuandrel->DruckSetup1Click();
  FormDruckauswahl->show();
  FormDruckauswahl->btDruck->click();
  ASSERT_EQ(dialogs.boxes.size(), 3u);
  EXPECT_EQ(dialogs.boxes[2].text, "Kein Drucker eingerichtet. Bitte Druckereinrichtung aufrufen!");
}

TEST_F(PrintWindowTest, ThePreviewPrintsAndSavesAPdf) {
  start(kFour);
  const QString printed = cwd.file("printed.pdf");
  const QString saved = cwd.file("List 24.12");  // a dot in the name, typed without ".pdf"
  setUpPrinterFile(printed);
  dialogs.fileNames.push_back(saved);
  dialogs.onDialog = [](QDialog* d) {
    auto* preview = qobject_cast<PreviewWindow*>(d);
    ASSERT_NE(preview, nullptr);
    preview->btPdf->click();
    preview->btPrint->click();
    EXPECT_TRUE(preview->isVisible());  // printing from the preview keeps it open
  };
  FormDruckauswahl->show();
  FormDruckauswahl->rgSort->setItemIndex(1);
  FormDruckauswahl->btVorschau->click();
  EXPECT_EQ(printedArtists(saved + ".pdf"), (QStringList{"Delta", "Charlie", "Beta", "Alpha"}));
  EXPECT_EQ(printedArtists(printed), printedArtists(saved + ".pdf"));
  EXPECT_FALSE(QFileInfo::exists(saved));
}

// Only a list that was printed closes the window; a print that printed
// nothing leaves it open, saying why where something failed, so the DJ can
// set up the printer and print again.
TEST_F(PrintWindowTest, OnlyADonePrintClosesTheWindow) {
  const struct Case {
    const char* name;
    bool songs;
    const char* printerFile;  // in the temporary folder; nullptr: no printer
    const char* told;         // the start of the message, or nullptr
    bool closes;
  } cases[] = {
      {"printed", true, "printed.pdf", nullptr, true},
      {"the printer fails", true, "no such folder/printed.pdf", "Drucken nicht möglich", false},
      {"no printer", true, nullptr, "Kein Drucker eingerichtet", false},
      {"no songs", false, "printed.pdf", "Die Datenbank enthält keine Titel", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    start(k.songs ? kFour : std::vector<qdl::test::Song>{});
    const QString file = k.printerFile ? cwd.file(k.printerFile) : QString();
    if (!file.isEmpty()) QFile::remove(file);
    setUpPrinterFile(file);
    dialogs.boxes.clear();
    dialogs.onDialog = [&](QDialog* d) {
      ASSERT_EQ(d, FormDruckauswahl);
      static_cast<TFormDruckauswahl*>(d)->btDruck->click();
      EXPECT_EQ(d->isVisible(), !k.closes);
    };
    const int result = dialogs.execDialog(FormDruckauswahl);
    EXPECT_EQ(result, k.closes ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(QFile::exists(file), k.closes);
    if (k.told) {
      ASSERT_EQ(dialogs.boxes.size(), 1u);
      EXPECT_TRUE(dialogs.boxes[0].text.startsWith(QString::fromUtf8(k.told)))
          << dialogs.boxes[0].text.toStdString();
    } else {
      EXPECT_TRUE(dialogs.boxes.empty());
    }
    qdl::app::destroyWindows();
    QDir(cwd.file("Data")).removeRecursively();
  }
}

namespace {

TEST_F(PrintWindowTest, CsvSavesTheChosenOrderThroughTheSaveDialogAndTellsAFailure) {
  start(kFour);
  FormDruckauswahl->rgSort->setItemIndex(3);  // year
  // Cancel in the save dialog writes nothing.
  FormDruckauswahl->btCsv->click();
  EXPECT_TRUE(QDir(cwd.path()).entryList({"*.csv"}).isEmpty());
  dialogs.fileNames.push_back(cwd.file("Songs by year"));  // ".csv" is added
  FormDruckauswahl->btCsv->click();
  QFile csv(cwd.file("Songs by year.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = csv.readAll().split('\n');
  ASSERT_EQ(lines.size(), 6);  // header, four songs, the end of the last line
  EXPECT_TRUE(lines[0].startsWith("Index,Interpret,Titel,Beats,"));
  EXPECT_TRUE(lines[0].endsWith(",Loudness,Gain,FirstBeat\r"));
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(lines[i + 1].contains(QByteArray("1985,1999,2003,2010").split(',')[i]))
        << lines[i + 1].constData();
  EXPECT_EQ(table->indexName(), "iJahr");  // the grid shows the order chosen
  EXPECT_TRUE(dialogs.errors.isEmpty());
  // A file that is no text file is not replaced; the reason is told.
  const QByteArray picture("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  QFile other(cwd.file("picture.csv"));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write(picture);
  other.close();
  dialogs.fileNames.push_back(cwd.file("picture.csv"));
  FormDruckauswahl->btCsv->click();
  EXPECT_EQ(dialogs.errors.size(), 1);
  ASSERT_TRUE(other.open(QIODevice::ReadOnly));
  EXPECT_EQ(other.readAll(), picture);
}

}  // namespace
