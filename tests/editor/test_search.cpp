// The console's search boxes and song grid in the whole program: incremental
// search in each box's order, Enter and double-click choosing the current
// song for the playlist or both decks, and the song count.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QSignalSpy>

#include "EditorHarness.h"
#include "platform/ui/Controls.h"
#include "playlist/Playlist.h"

using namespace qdl::test;

namespace {

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    c.addSong(c.mp3("1.mp3"), "Abba", "Waterloo", "Pop", "1974");
    c.addSong(c.mp3("2.mp3"), "Ärzte", "Schrei nach Liebe", "Punk", "1993");
    c.addSong(c.mp3("3.mp3"), "Beatles", "Help", "Beat", "1965");
    c.addSong(c.mp3("4.mp3"), "Zappa", "Peaches en Regalia", "Rock", "1969");
  }
  QString current(const char* field) const { return c.songs->asString(field); }
  // The highlighted row of the main grid is the current record.
  bool gridFollows() const { return c.f->DBGrid1->currentIndex().row() == c.songs->currentRow(); }

  Console c;
};

TEST_F(Search, EachBoxSearchesItsOwnFieldInItsOwnOrder) {
  TFormQuandrel* f = c.f;
  typeInto(f->EditArtist, "b");
  EXPECT_EQ(c.songs->indexName(), "iInterpret");
  EXPECT_EQ(current("Interpret"), "Beatles");
  typeKeys(f->EditArtist, "X");  // "bX": no such name, the next one in order
  EXPECT_EQ(current("Interpret"), "Zappa");
  EXPECT_TRUE(gridFollows());
  f->EditArtist->clear();  // empty: the first record
  EXPECT_EQ(current("Interpret"), "Abba");
  typeKeys(f->EditArtist, "ärz");  // umlauts without regard to case
  EXPECT_EQ(current("Interpret"), "Ärzte");
  f->EditArtist->setText("Ü");  // after every name: the last record
  EXPECT_EQ(current("Interpret"), "Ärzte");

  typeInto(f->EditSong, "pe");
  EXPECT_EQ(c.songs->indexName(), "iTitel");
  EXPECT_EQ(current("Titel"), "Peaches en Regalia");
  EXPECT_EQ(f->DBGrid1->currentIndex().row(), 1);  // Help, Peaches, ...

  typeInto(f->EditGenre, "PU");
  EXPECT_EQ(c.songs->indexName(), "iGenre");
  EXPECT_EQ(current("Genre"), "Punk");

  typeInto(f->EditJahr, "196");
  EXPECT_EQ(c.songs->indexName(), "iJahr");
  EXPECT_EQ(current("Jahr"), "1965");
  f->EditJahr->setText("2100");
  EXPECT_EQ(current("Jahr"), "1993");
  EXPECT_TRUE(gridFollows());
  // The boxes keep their texts.
  EXPECT_EQ(f->EditArtist->text(), "Ü");
}

TEST_F(Search, ABoxSearchesItsOwnIndexEvenAfterAnotherPartSwitchedTheOrder) {
  typeInto(c.f->EditArtist, "a");
  // Autoplay or a playlist load switches the order while the box keeps the
  // focus.
  c.songs->setIndexName("iDateiname");
  typeKeys(c.f->EditArtist, "b");  // "ab"
  EXPECT_EQ(c.songs->indexName(), "iInterpret");
  EXPECT_EQ(current("Interpret"), "Abba");
  // Entering the box again does not reread an order already active.
  QSignalSpy reset(c.songs, &qdl::db::Table::tableReset);
  focusIn(c.f->EditArtist);
  EXPECT_EQ(reset.count(), 0);
}

TEST_F(Search, OnlyFocusMovingBetweenControlsEntersABox) {
  typeInto(c.f->EditArtist, "a");
  c.songs->setIndexName("iDateiname");
  // The window coming back to the front or a menu closing: the order stays.
  for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
    QFocusEvent e(QEvent::FocusIn, reason);
    QApplication::sendEvent(c.f->EditArtist, &e);
    EXPECT_EQ(c.songs->indexName(), "iDateiname") << "reason " << reason;
  }
  QFocusEvent click(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(c.f->EditArtist, &click);
  EXPECT_EQ(c.songs->indexName(), "iInterpret");
}

TEST_F(Search, EnterAndDoubleClickAddToTheOpenPlaylist) {
  FormPlayList->show();
  typeInto(c.f->EditArtist, "Bz");  // matches nothing exactly
  QTest::keyClick(c.f->EditArtist, Qt::Key_Return);
  ASSERT_EQ(FormPlayList->FileList.size(), 1);
  EXPECT_EQ(FormPlayList->FileList[0], c.cwd.file("4.mp3"));
  EXPECT_EQ(FormPlayList->ListBox1->item(0)->text(), "Zappa - Peaches en Regalia");
  EXPECT_EQ(c.f->EditArtist->text(), "Bz");  // Enter is not typed into the box

  typeInto(c.f->EditJahr, "1974");
  QTest::keyClick(c.f->EditJahr, Qt::Key_Enter);
  QTest::keyClick(c.f->DBGrid1, Qt::Key_Return);
  const QRect cell = c.f->DBGrid1->visualRect(c.f->DBGrid1->currentIndex());
  QTest::mouseDClick(c.f->DBGrid1->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(FormPlayList->FileList, QStringList({c.cwd.file("4.mp3"), c.cwd.file("1.mp3"),
                                                 c.cwd.file("1.mp3"), c.cwd.file("1.mp3")}));
  EXPECT_EQ(FormPlayList->ListBox1->count(), 4);
  EXPECT_EQ(c.f->StatusBar_Links->panelText(0), "");  // no deck was touched
  EXPECT_EQ(c.f->StatusBar_Rechts->panelText(0), "");

  // Other keys are left to the box.
  typeKeys(c.f->EditJahr, "x");
  EXPECT_EQ(c.f->EditJahr->text(), "1974x");
  EXPECT_EQ(FormPlayList->FileList.size(), 4);
  FormPlayList->hide();
}

TEST_F(Search, EnterWithThePlaylistClosedLoadsTheSongIntoBothIdleDecks) {
  ASSERT_FALSE(FormPlayList->isVisible());
  typeInto(c.f->EditSong, "help");
  QTest::keyClick(c.f->EditSong, Qt::Key_Return);
  EXPECT_EQ(c.f->StatusBar_Links->panelText(0), "loaded");
  EXPECT_EQ(c.f->StatusBar_Rechts->panelText(0), "loaded");
  EXPECT_NE(c.f->PlayerLinks, nullptr);
  EXPECT_NE(c.f->PlayerRechts, nullptr);
  EXPECT_NE(c.f->PlayerLinks, c.f->PlayerRechts);
  EXPECT_TRUE(c.dialogs.boxes.empty());
}

TEST(SearchEmpty, EmptyLibraryShowsZeroSongsAndSearchesQuietly) {
  Console c;
  c.f->FormActivate();
  EXPECT_EQ(c.f->StatusBarData->simpleText(), "0 Titel verfügbar");
  typeInto(c.f->EditArtist, "abc");
  c.f->EditArtist->clear();
  EXPECT_EQ(c.songs->currentRow(), -1);
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
}

}  // namespace
