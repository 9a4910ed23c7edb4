// No clipped text: every window of the console, in both languages, with each
// caption, label, check box, radio item, button and column title measured
// against the room its control gives it (font metrics of the control's own
// font and style). The widget tree is walked, so texts added later are
// measured too.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <functional>

#include "TextRoom.h"
#include "app/About.h"
#include "app/Mainform.h"
#include "app/RecordControl.h"
#include "app/Windows.h"
#include "decks/Deck.h"
#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/Datamod.h"
#include "library/Progress.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/db/Table.h"
#include "platform/help/Help.h"
#include "platform/report/ProgressWindow.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Look.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "settings/Geraete.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using qdl::test::clippedTexts;
using qdl::test::describe;

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

// The widest texts a window shows while it is used, put in before it is
// measured: a library of a million songs, the longest deck state word, a
// playing tempo of three digits.
void widestRuntimeTexts() {
  FormQuandrel->StatusBarData->setSimpleText(FormSprache->songCountText(1000000));
  for (qdl::ui::StatusBar* deck : {FormQuandrel->StatusBar_Links, FormQuandrel->StatusBar_Rechts})
    deck->setPanelText(0, QStringLiteral("seeking"));
  FormQuandrel->LabelZeitLinks->setText(QStringLiteral("-88:88:88:88"));
  FormQuandrel->lbPitch_Rechts->setText(QStringLiteral("-20,0%"));
  for (QLabel* tempo : {FormQuandrel->lbTempo_Links, FormQuandrel->lbTempo_Rechts})
    tempo->setText(qdl::decks::TempoText(740, 200));  // "888.0 BPM"
  // A recording of 99 hours that has filled a large disk.
  QLabel* rec = FormQuandrel->recording->label();
  rec->setText(qdl::app::RecordControl::statusText(44100LL * 359999, 99'999'000'000));
  rec->show();
  for (const char* gain : {"lbGain_Links", "lbGain_Rechts"})
    if (auto* label = FormQuandrel->findChild<QLabel*>(QLatin1String(gain)))
      label->setText(QStringLiteral("-24,0 dB"));  // the widest auto-gain
}

// The tempo analysis's status: its first line (the count, the last tempo
// and the files not reachable) must show whole; the file below it is cut
// at its start when long.
QString widestAnalysisStatus() {
  const TempoTexte& t = FormSprache->Tempo;
  return t.sTempoStand.arg(100000).arg(100000) + QStringLiteral("    ") + t.sKeinTempo +
         QStringLiteral("    100000 ") + FormSprache->Bibliothek.sNichtErreichbar +
         QStringLiteral("\n/media/stick/Music/A very long folder name/Artist - Title.mp3");
}

struct Visit {
  const char* name;
  // Shows the window in the state to measure and returns it; the test hides
  // it afterwards.
  std::function<QWidget*()> show;
};

class TextFit : public ::testing::Test {
 protected:
  void TearDown() override {
    qdl::help::closeHelpWindow();
    qdl::app::destroyWindows();
  }

  // Measures a window that is open now; collects what does not fit.
  void measure(const QString& label, QWidget* window) {
    QApplication::processEvents();
    for (const QString& line : describe(clippedTexts(window)))
      clipped << QStringLiteral("[%1] %2").arg(label, line);
    measured += qdl::test::measuredTexts();
  }

  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  QStringList clipped;
  int measured = 0;
};

TEST_F(TextFit, EveryTextOfEveryWindowFitsInBothLanguages) {
  // The windows' font is the metric one the layout was made for.
  EXPECT_EQ(QFontInfo(qdl::ui::consoleFont()).family(), "Liberation Sans")
      << "fonts-liberation is missing (scripts/install-deps installs it)";

  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  qdl::app::createWindows();
  qdl::app::showMainWindow();
  QApplication::processEvents();
  DataModule1->Table1->insertRecord({QVariant(), "Artist", "Title", 128, "House", "1999",
                                     cwd.file("a.mp3"), QVariant(), 0, QVariant(), false});

  const std::vector<Visit> visits = {
      {"main window",
       [] {
         widestRuntimeTexts();
         return FormQuandrel;
       }},
      {"device dialog, one card", [] { return DlgGeraete; }},
      {"device dialog, head mode",
       [] {
         DlgGeraete->rgMode->setItemIndex(1);
         return DlgGeraete;
       }},
      {"device dialog, deck mode",
       [] {
         DlgGeraete->rgMode->setItemIndex(2);
         return DlgGeraete;
       }},
      {"check and scan", [] { return FormScan; }},
      {"progress",
       [] {
         FormProgress->startWork(QStringLiteral("Check"), 10);
         FormProgress->setStatus(QStringLiteral("/\n0 / 10"));
         return FormProgress;
       }},
      {"tempo analysis",
       [] {
         FormAnalyse->startWork(FormSprache->Tempo.sTempoTitel, 10, Qt::NonModal);
         FormAnalyse->setStatus(widestAnalysisStatus());
         const QString first = FormAnalyse->lbStatus->text().section(QLatin1Char('\n'), 0, 0);
         EXPECT_FALSE(first.contains(QChar(0x2026))) << first.toStdString();
         return FormAnalyse;
       }},
      {"tag editor", [] { return FormDatenBearbeiten; }},
      {"playlist", [] { return FormPlayList; }},
      {"about box", [] { return AboutBox; }},
      {"language window", [] { return FormSprache; }},
      {"print selection", [] { return FormDruckauswahl; }},
  };

  for (int language : {0, 1}) {
    writeFile(cwd.file("qdl.ini"), QByteArray("[Sprache]\r\nMode=") + QByteArray::number(language));
    FormQuandrel->ApplyLanguage();
    const QString lang = language ? QStringLiteral("en") : QStringLiteral("de");
    for (const Visit& v : visits) {
      QWidget* window = v.show();
      window->show();
      measure(lang + QLatin1Char(' ') + QLatin1String(v.name), window);
      if (window == FormProgress || window == FormAnalyse)
        static_cast<TFormProgress*>(window)->endWork();
      else if (window != FormQuandrel)
        window->hide();
    }

    // Windows the program makes as it needs them: the report preview, the
    // print progress and the help window.
    dialogs.onDialog = [&](QDialog* d) { measure(lang + QStringLiteral(" preview"), d); };
    FormQReport->Preview(*DataModule1->Table1, FormDruckauswahl);
    {
      const VorschauTexte& t = FormSprache->Vorschau;
      qdl::report::ProgressWindow progress(t.sVorschauTitel, t.sDruckeSeite,
                                           FormSprache->Knopf.sAbbruch);
      progress.show();
      progress.step(99, 100);
      measure(lang + QStringLiteral(" print progress"), &progress);
    }
    qdl::help::showContents(FormSprache->sHilfeDatei);
    QWidget* help = qdl::help::helpWindow();
    ASSERT_NE(help, nullptr) << dialogs.errors.join("\n").toStdString();
    measure(lang + QStringLiteral(" help window"), help);
    qdl::help::closeHelpWindow();
  }

  // Beside the four columns of before and a vertical scroll bar, the song
  // grid leaves its last column (Beats) room for its title and a five-digit
  // value: nothing scrolls sideways.
  const QTableView* grid = FormQuandrel->DBGrid1;
  ASSERT_EQ(grid->model()->columnCount(), 5);
  int room = grid->width() - 2 * grid->frameWidth() -
             grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  for (int i = 0; i < 4; ++i) room -= grid->columnWidth(i);
  const QHeaderView* header = grid->horizontalHeader();
  const int margins = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin);
  EXPECT_GE(room, header->fontMetrics().horizontalAdvance(
                      grid->model()->headerData(4, Qt::Horizontal).toString()) +
                      margins);
  EXPECT_GE(room, grid->fontMetrics().horizontalAdvance(QStringLiteral("32767")) + margins);
  EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);

  EXPECT_GT(measured, 250) << "the walk must have seen the windows' texts";
  EXPECT_TRUE(clipped.isEmpty()) << clipped.size() << " texts do not fit:\n"
                                 << clipped.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
}

// The demo's songs are a newcomer's first look at the grid: artist, title,
// genre (the tag's comment) and year of each, as the demo script tags them,
// fit their columns.
TEST_F(TextFit, TheDemoSongsFitTheGrid) {
  QFile script(QStringLiteral(QDL_DEMO_SCRIPT));
  ASSERT_TRUE(script.open(QIODevice::ReadOnly)) << QDL_DEMO_SCRIPT;
  // make "FILE" "ARTIST" "TITLE" "GENRE" YEAR ...
  const QRegularExpression song(
      QStringLiteral(R"re(^make +"[^"]*" +"([^"]*)" +"([^"]*)" +"([^"]*)" +(\d{4}) )re"),
      QRegularExpression::MultilineOption);
  writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=0\r\n");
  qdl::app::createWindows();
  qdl::app::showMainWindow();
  int songs = 0;
  for (auto it = song.globalMatch(QString::fromUtf8(script.readAll())); it.hasNext(); ++songs) {
    const QRegularExpressionMatch m = it.next();
    DataModule1->Table1->insertRecord({QVariant(), m.captured(1), m.captured(2), 120, m.captured(3),
                                       m.captured(4), cwd.file(QStringLiteral("%1.mp3").arg(songs)),
                                       QVariant(), 0, QVariant(), false});
  }
  ASSERT_EQ(songs, 6);
  DataModule1->Table1->refresh();
  QApplication::processEvents();

  // An item view draws a cell's text inside the focus frame's margins.
  QTableView* grid = FormQuandrel->DBGrid1;
  const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
  const QAbstractItemModel* model = grid->model();
  ASSERT_EQ(model->rowCount(), songs);
  QStringList clippedCells;
  for (int row = 0; row < model->rowCount(); ++row)
    for (int column = 0; column < model->columnCount(); ++column) {
      const QString text = model->index(row, column).data().toString();
      const int need = grid->fontMetrics().horizontalAdvance(text) + 2 * margin;
      if (need > grid->columnWidth(column))
        clippedCells << QStringLiteral("%1 needs %2 px of %3")
                            .arg(text)
                            .arg(need)
                            .arg(grid->columnWidth(column));
    }
  EXPECT_TRUE(clippedCells.isEmpty()) << clippedCells.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
