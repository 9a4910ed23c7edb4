// The record and tag editor in the whole program: opened from the menu's
// handler, driven through its grid, navigator, search boxes and buttons,
// with the ID3v1 tags of real MP3 copies checked byte by byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "EditorHarness.h"
#include "lang/Sprache.h"
#include "library/Suche.h"
#include "platform/db/Navigator.h"
#include "platform/help/Help.h"
#include "platform/ui/Controls.h"

using namespace qdl::test;
using Button = qdl::db::Navigator::Button;
using State = qdl::db::Table::State;

namespace {

TFormDatenBearbeiten* editor() { return FormDatenBearbeiten; }

// Runs the editor from the menu; `act` drives it while it is shown.
void runEditor(Console& c, const std::function<void(TFormDatenBearbeiten*)>& act) {
  c.dialogs.onDialog = [&](QDialog* d) {
    ASSERT_EQ(d, editor());
    act(editor());
  };
  c.f->IDEdit1Click();
  c.dialogs.onDialog = nullptr;
}

void press(Button b) { editor()->DBNavigator1->button(b)->click(); }

// The song the editor's grid shows in `row`, by field.
QString cell(int row, const QString& field) {
  QTableView* g = editor()->DBGrid1;
  return g->model()->data(g->model()->index(row, columnOf(g, field))).toString();
}

QByteArray tagOf(const QString& path) { return readAll(path).right(128); }
QByteArray audioOf(const QString& path) { return readAll(path).chopped(128); }

TEST(Editor, ShowsCountColumnsNavigatorAndHelpInGerman) {
  Console c;
  c.addSong(c.mp3("a.mp3"), "Abba", "Waterloo");
  c.addSong(c.mp3("b.mp3"), "Beatles", "Help");
  c.addSong(c.mp3("c.mp3"), "Cure", "Lovecats");
  std::vector<qdl::help::Request> help;
  auto oldRecorder =
      qdl::help::setRecorder([&](const qdl::help::Request& r) { help.push_back(r); });
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    EXPECT_EQ(e->windowTitle(), "ID3-Editor");
    EXPECT_EQ(e->Label3->text(), "3 Titel verfügbar");
    EXPECT_TRUE(e->Label3->font().bold());
    QTableView* g = e->DBGrid1;
    ASSERT_EQ(g->model()->columnCount(), 6);
    const QStringList titles = {"Interpret", "Titel", "Beats", "Kategorie", "Jahr", "Dateiname"};
    const int widths[] = {161, 167, 39, 60, 51, 198};
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(g->model()->headerData(i, Qt::Horizontal).toString(), titles[i]);
      EXPECT_EQ(g->columnWidth(i), widths[i]) << i;
    }
    EXPECT_TRUE(g->verticalHeader()->isVisible());  // the row indicator
    EXPECT_TRUE(g->tabKeyNavigation());
    EXPECT_EQ(cell(0, "Interpret"), "Abba");

    // Ten buttons with hints; on the first record nothing goes back.
    c.songs->first();
    const auto buttons = e->DBNavigator1->findChildren<QToolButton*>();
    EXPECT_EQ(buttons.size(), 10);
    for (QToolButton* b : buttons) EXPECT_FALSE(b->toolTip().isEmpty());
    EXPECT_EQ(e->DBNavigator1->button(Button::Insert)->toolTip(), "Datensatz einfügen");
    EXPECT_FALSE(e->DBNavigator1->button(Button::First)->isEnabled());
    EXPECT_TRUE(e->DBNavigator1->button(Button::Last)->isEnabled());
    EXPECT_FALSE(e->DBNavigator1->button(Button::Post)->isEnabled());

    e->btHelp->click();
    EXPECT_EQ(e->btClose->text(), "&Schliessen");
    e->btClose->click();
  });
  qdl::help::setRecorder(oldRecorder);
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].command, qdl::help::Command::Topic);
  EXPECT_EQ(help[0].context, 80);
  EXPECT_EQ(help[0].file, "qdl_g.hlp");
  EXPECT_EQ(editor()->result(), QDialog::Accepted);
  EXPECT_EQ(c.f->StatusBarData->simpleText(), "3 Titel verfügbar");
}

TEST(Editor, EnglishTextsAndTheCountFollowsInsertsAndDeletes) {
  Console c(1);
  c.addSong(c.mp3("a.mp3"), "Abba", "Waterloo");
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    EXPECT_EQ(e->Label3->text(), "1 Songs avaible");
    EXPECT_EQ(e->DBGrid1->model()->headerData(3, Qt::Horizontal).toString(), "Genre");
    EXPECT_EQ(e->DBNavigator1->button(Button::Delete)->toolTip(), "Delete record");
    c.dialogs.answers.push_back(qdl::ui::Answer::Yes);
    press(Button::Delete);
    ASSERT_EQ(c.dialogs.boxes.size(), 1u);
    EXPECT_EQ(c.dialogs.boxes[0].text, "Delete record?");
    EXPECT_EQ(c.dialogs.boxes[0].caption, "Attention!");
    EXPECT_EQ(e->Label3->text(), "0 Songs avaible");
  });
  EXPECT_EQ(c.f->StatusBarData->simpleText(), "0 Songs avaible");
}

TEST(Editor, ChangingOnlyBeatsAndMovingOnKeepsWhatTheTagHolds) {
  Console c;
  const QString a = c.mp3(
      "a.mp3", id3v1("Waterloo", "Abba", "Arrival", "1976", "Swedish Pop from the seventies", 17));
  c.mp3("b.mp3");
  DataModule1->AddSongFile(a);
  c.addSong(c.cwd.file("b.mp3"), "Beatles", "Help");
  c.songs->first();
  ASSERT_EQ(c.songs->asString("Genre"), "Swedish Po");  // first 10 characters
  const QByteArray audio = audioOf(a);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Beats"), "128"));
    EXPECT_EQ(c.songs->state(), State::Edit);
    EXPECT_EQ(e->DBGrid1->model()->headerData(0, Qt::Vertical).toString(), "I");
    EXPECT_EQ(tagOf(a).mid(63, 30), QByteArray("Arrival").leftJustified(30, '\0'));  // not yet
    QTest::keyClick(e->DBGrid1, Qt::Key_Down);
    EXPECT_EQ(c.songs->state(), State::Browse);
    EXPECT_EQ(c.songs->asString("Interpret"), "Beatles");
  });
  c.songs->first();
  EXPECT_EQ(c.songs->asInteger("Beats"), 128);
  // The record holds nothing new for the tag: album, the whole comment and
  // the genre byte stay as the file had them.
  const QByteArray tag = tagOf(a);
  EXPECT_EQ(tag,
            id3v1("Waterloo", "Abba", "Arrival", "1976", "Swedish Pop from the seventies", 17));
  EXPECT_EQ(audioOf(a), audio);
  EXPECT_TRUE(c.dialogs.errors.isEmpty()) << c.dialogs.errors.join("\n").toStdString();
}

TEST(Editor, ANewPathTagsThatOtherFile) {
  Console c;
  const QString a = c.mp3("a.mp3");
  const QString other = c.mp3("other.mp3");
  c.addSong(a, "Abba", "Waterloo", "Pop", "1974");
  const QByteArray before = readAll(a);
  const qint64 otherSize = QFileInfo(other).size();
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "DateiName"), other));
    press(Button::Post);
  });
  EXPECT_EQ(c.songs->asString("DateiName"), other);
  EXPECT_EQ(readAll(a), before);
  EXPECT_EQ(QFileInfo(other).size(), otherSize + 128);  // a tag was appended
  EXPECT_EQ(tagOf(other), id3v1("Waterloo", "Abba", "", "1974", "Pop", 255));
}

TEST(Editor, InsertingARecordForAnExistingFileTagsItOnPost) {
  Console c;
  c.addSong(c.mp3("m.mp3"), "Madness", "Baggy Trousers");
  const QString fresh = c.mp3("fresh.mp3", id3v1("Old", "Old", "Album", "1999", "Note", 3));
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    QTableView* g = e->DBGrid1;
    press(Button::Insert);
    EXPECT_EQ(c.songs->state(), State::Insert);
    EXPECT_EQ(g->model()->rowCount(), 2);
    EXPECT_EQ(g->currentIndex().row(), 0);
    EXPECT_EQ(g->model()->headerData(0, Qt::Vertical).toString(), "*");
    ASSERT_TRUE(typeIntoCell(g, 0, columnOf(g, "Interpret"), "Zappa"));
    ASSERT_TRUE(typeIntoCell(g, 0, columnOf(g, "Titel"), "Peaches"));
    ASSERT_TRUE(typeIntoCell(g, 0, columnOf(g, "Jahr"), "1969"));
    ASSERT_TRUE(typeIntoCell(g, 0, columnOf(g, "DateiName"), fresh));
    EXPECT_EQ(cell(0, "Interpret"), "Zappa");
    EXPECT_EQ(c.songs->recordCount(), 1);
    // Leaving the new row posts it; it goes to its place in the order.
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(c.songs->recordCount(), 2);
    EXPECT_EQ(cell(1, "Interpret"), "Zappa");
    EXPECT_EQ(e->Label3->text(), "2 Titel verfügbar");
  });
  // The record's texts replace the tag's; album and genre byte stay.
  EXPECT_EQ(tagOf(fresh), id3v1("Peaches", "Zappa", "Album", "1969", "", 3));
  EXPECT_TRUE(c.dialogs.errors.isEmpty()) << c.dialogs.errors.join("\n").toStdString();
}

TEST(Editor, CancelBeforePostingLeavesRecordAndFile) {
  Console c;
  const QString a = c.mp3("a.mp3", id3v1("Waterloo", "Abba", "Arrival", "1976", "Pop", 17));
  DataModule1->AddSongFile(a);
  const QByteArray before = readAll(a);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Titel"), "Mamma Mia"));
    EXPECT_EQ(cell(0, "Titel"), "Mamma Mia");
    press(Button::Cancel);
    EXPECT_EQ(c.songs->state(), State::Browse);
    EXPECT_EQ(cell(0, "Titel"), "Waterloo");

    // Text still in an open cell editor is dropped by cancel as well.
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Titel"), "SOS", false));
    press(Button::Cancel);
    EXPECT_EQ(cellEditor(e->DBGrid1), nullptr);
    EXPECT_EQ(c.songs->state(), State::Browse);
    e->btClose->click();
  });
  EXPECT_EQ(c.songs->asString("Titel"), "Waterloo");
  EXPECT_EQ(readAll(a), before);
}

TEST(Editor, NoToTheReadOnlyQuestionKeepsTheRecordAndTheFile) {
  Console c;
  const QString a = c.mp3("a.mp3", id3v1("Waterloo", "Abba", "Arrival", "1976", "Pop", 17));
  DataModule1->AddSongFile(a);
  ASSERT_EQ(::chmod(QFile::encodeName(a).constData(), 0444), 0);
  const QByteArray before = readAll(a);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Titel"), "SOS"));
    press(Button::Post);  // answered No: the queue is empty
  });
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text, FormSprache->Meldung.sSchreibgeschuetzt);
  EXPECT_EQ(c.dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(c.songs->asString("Titel"), "SOS");
  EXPECT_EQ(readAll(a), before);

  // Yes makes the file writable and writes the tag.
  c.dialogs.answers.push_back(qdl::ui::Answer::Yes);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Titel"), "Fernando"));
    press(Button::Post);
  });
  EXPECT_EQ(tagOf(a), id3v1("Fernando", "Abba", "Arrival", "1976", "Pop", 17));
}

TEST(Editor, DeletingAsksAndNeverTouchesTheFile) {
  Console c;
  const QString a = c.mp3("a.mp3");
  const QString b = c.mp3("b.mp3");
  c.addSong(a, "Abba", "Waterloo");
  c.addSong(b, "Beatles", "Help");
  const QByteArray bytesA = readAll(a);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    c.songs->first();
    press(Button::Delete);  // No
    EXPECT_EQ(c.songs->recordCount(), 2);
    c.dialogs.answers.push_back(qdl::ui::Answer::Yes);
    press(Button::Delete);
    EXPECT_EQ(c.songs->recordCount(), 1);
    EXPECT_EQ(cell(0, "Interpret"), "Beatles");

    // Ctrl+Delete in the grid asks the same question.
    QTest::keyClick(e->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(c.songs->recordCount(), 1);
    ASSERT_EQ(c.dialogs.boxes.size(), 3u);
    EXPECT_EQ(c.dialogs.boxes[2].text, "Datensatz löschen?");
  });
  EXPECT_EQ(readAll(a), bytesA);
  EXPECT_TRUE(QFileInfo::exists(b));
}

TEST(Editor, DuplicatePathIsRefusedAndTheRecordStaysInEditing) {
  Console c;
  const QString a = c.mp3("a.mp3");
  const QString b = c.mp3("b.mp3");
  c.addSong(a, "Abba", "Waterloo");
  c.addSong(b, "Beatles", "Help");
  const QByteArray bytesA = readAll(a);
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    QTableView* g = e->DBGrid1;
    ASSERT_TRUE(typeIntoCell(g, 1, columnOf(g, "DateiName"), a));
    press(Button::Post);
    ASSERT_EQ(c.dialogs.errors.size(), 1);
    EXPECT_TRUE(c.dialogs.errors[0].contains("Key violation")) << c.dialogs.errors[0].toStdString();
    EXPECT_EQ(c.songs->state(), State::Edit);
    EXPECT_EQ(c.songs->asString("Interpret"), "Beatles");

    // Moving away is refused the same way; so is closing.
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(c.dialogs.errors.size(), 2);
    EXPECT_EQ(c.songs->state(), State::Edit);
    EXPECT_EQ(g->currentIndex().row(), 1);
    e->btClose->click();
    EXPECT_EQ(c.dialogs.errors.size(), 3);
    EXPECT_TRUE(e->isVisible());
    QTest::keyClick(g, Qt::Key_Escape);  // drops the change
    EXPECT_EQ(c.songs->state(), State::Browse);
    e->btClose->click();
    EXPECT_FALSE(e->isVisible());
  });
  c.songs->setIndexName("iInterpret");
  c.songs->last();
  EXPECT_EQ(c.songs->asString("DateiName"), b);
  EXPECT_EQ(readAll(a), bytesA);
}

TEST(Editor, UnchangedNewRecordGoesWhenTheGridLosesTheFocus) {
  Console c;
  c.addSong(c.mp3("a.mp3"), "Abba", "Waterloo");
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    QTest::keyClick(e->DBGrid1, Qt::Key_Insert);
    EXPECT_EQ(c.songs->state(), State::Insert);
    focusOut(e->DBGrid1);
    EXPECT_EQ(c.songs->state(), State::Browse);
    EXPECT_EQ(e->DBGrid1->model()->rowCount(), 1);
    // A typed-into new record stays.
    press(Button::Insert);
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, 0, "Zz", false));
    focusOut(e->DBGrid1);
    EXPECT_EQ(c.songs->state(), State::Insert);
    press(Button::Cancel);
    EXPECT_EQ(c.songs->recordCount(), 1);
  });
}

TEST(Editor, ClosingWithAPendingChangePostsItWhileTheTagCanBeWritten) {
  Console c;
  const QString a = c.mp3("a.mp3");
  c.addSong(a, "Abba", "Waterloo", "Pop", "1974");
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    // Typed, not even handed over from the cell editor.
    ASSERT_TRUE(typeIntoCell(e->DBGrid1, 0, columnOf(e->DBGrid1, "Jahr"), "1975", false));
    e->btClose->click();
  });
  EXPECT_EQ(c.songs->state(), State::Browse);
  EXPECT_EQ(c.songs->asString("Jahr"), "1975");
  EXPECT_EQ(tagOf(a), id3v1("Waterloo", "Abba", "", "1975", "Pop", 255));
}

TEST(Editor, SearchBoxesFindArtistsAndTitlesUmlautsIncluded) {
  Console c;
  c.addSong(c.mp3("1.mp3"), "Abba", "Waterloo");
  c.addSong(c.mp3("2.mp3"), "Ärzte", "Schrei nach Liebe");
  c.addSong(c.mp3("3.mp3"), "Zappa", "Peaches");
  c.addSong(c.mp3("4.mp3"), "Öhrlein", "Übermut");
  runEditor(c, [&](TFormDatenBearbeiten* e) {
    typeInto(e->Edit1, "ä");
    EXPECT_EQ(c.songs->indexName(), "iInterpret");
    EXPECT_EQ(c.songs->asString("Interpret"), "Ärzte");
    typeKeys(e->Edit1, "RZ");  // "äRZ"
    EXPECT_EQ(c.songs->asString("Interpret"), "Ärzte");
    EXPECT_EQ(e->DBGrid1->currentIndex().row(), c.songs->currentRow());
    e->Edit1->setText("ö");
    EXPECT_EQ(c.songs->asString("Interpret"), "Öhrlein");
    e->Edit1->setText("ü");  // after every name: the last
    EXPECT_EQ(c.songs->asString("Interpret"), "Öhrlein");
    e->Edit1->clear();  // empty: the first
    EXPECT_EQ(c.songs->asString("Interpret"), "Abba");

    typeInto(e->Edit2, "üBER");
    EXPECT_EQ(c.songs->indexName(), "iTitel");
    EXPECT_EQ(c.songs->asString("Titel"), "Übermut");
    EXPECT_EQ(cell(e->DBGrid1->currentIndex().row(), "Titel"), "Übermut");
    // Enter means nothing here: the dialog stays open.
    QTest::keyClick(e->Edit2, Qt::Key_Return);
    EXPECT_TRUE(e->isVisible());
  });
  // The main grid shows the order and the record the editor left.
  EXPECT_EQ(c.songs->indexName(), "iTitel");
  EXPECT_EQ(c.f->DBGrid1->currentIndex().row(), c.songs->currentRow());
  EXPECT_EQ(c.songs->asString("Titel"), "Übermut");
}

}  // namespace
