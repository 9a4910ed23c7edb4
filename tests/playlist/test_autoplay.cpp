// Autoplay on the virtual cards' manual clock: a playlist played in turn on
// the two decks with autocue, the hand-over point, the sound across a
// hand-over, and what autoplay does without a playlist, with an empty one,
// with missing files and with files that cannot be played.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <vector>

#include "audio/Dsutil.h"
#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "library/Suche.h"
#include "platform/db/TableModel.h"
#include "playlist/Playlist.h"

using qdl::test::Console;
using qdl::test::fixture;

namespace {

// 200.5 s of a 1 kHz sine at half of full scale. The cue points stand near
// the end so that each song plays for a few seconds only.
const char* const kLong = "sine1k_44k_stereo_200_5s.mp3";
const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s

struct HandOver {
  bool toLeft;    // the deck that was started
  QString song;   // its status panel 1
  int startedAt;  // its position right after the start
  int otherLeft;  // hundredths the other deck had left to play
};

class Autoplay : public ::testing::Test {
 protected:
  // A song whose file is a link to a fixture, so every song has its own path.
  QString song(const QString& name, const char* fixtureName, int cue) {
    const QString path = c.cwd.file(name);
    EXPECT_TRUE(QFile::link(fixture(fixtureName), path));
    c.addSong(path, name, "Title", cue);
    return path;
  }

  // Advances the clock in 10 ms steps; the autoplay timer ticks every
  // second while it runs, as the deck timers do every step. Records each
  // hand-over and the quietest 10 ms of both cards together.
  void run(int ms) {
    for (int t = 0; t < ms; t += 10) {
      c.run(10);
      int loudest = 0;
      for (int card = 0; card < 2; ++card)
        loudest = std::max(loudest, qdl::test::peak(Console::played(card)));
      if (listening) quietest = std::min(quietest, loudest);
      if (++steps % 100 != 0 || !c.f->TimerAutoPlay->isActive()) continue;
      const QString before[2] = {c.leftState(), c.rightState()};
      TStreamPlayer* const players[2] = {c.f->PlayerLinks, c.f->PlayerRechts};
      c.f->TimerAutoPlayTimer();
      for (int d = 0; d < 2; ++d) {
        const QString now = d == 0 ? c.leftState() : c.rightState();
        const bool restarted = (d == 0 ? c.f->PlayerLinks : c.f->PlayerRechts) != players[d];
        if (now != "playing" || (before[d] == "playing" && !restarted)) continue;
        TStreamPlayer* other = d == 0 ? c.f->PlayerRechts : c.f->PlayerLinks;
        const auto* seekOther = d == 0 ? c.f->sBarSeekRechts : c.f->sBarSeekLinks;
        handOvers.push_back({d == 0,
                             (d == 0 ? c.f->StatusBar_Links : c.f->StatusBar_Rechts)->panelText(1),
                             (d == 0 ? c.f->sBarSeekLinks : c.f->sBarSeekRechts)->value(),
                             other ? other->Source->Duration - seekOther->value() : -1});
      }
    }
  }

  Console c;
  TFormPlayList& w = *FormPlayList;
  std::vector<HandOver> handOvers;
  bool listening = false;
  int quietest = 1 << 20;
  int steps = 0;
};

TEST_F(Autoplay, APlaylistPlaysInTurnOnBothDecksFromEachCuePoint) {
  const QString a = song("a.mp3", kLong, 18000);
  const QString b = song("b.mp3", kLong, 18100);
  const QString z = song("z.mp3", kLong, 18250);
  const QString intro = song("intro.mp3", kLong, 18500);
  c.f->cbAutoCue->setChecked(true);

  // The DJ starts the set on the left deck, opens the playlist and starts.
  c.select(intro);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.f->Neu1Click();
  w.ShowEntries({a, b, z}, *DataModule1);
  w.btStart->click();
  ASSERT_TRUE(c.f->TimerAutoPlay->isActive());
  c.run(200);
  listening = true;
  run(66000);

  ASSERT_EQ(handOvers.size(), 5u);
  const struct {
    bool toLeft;
    const char* song;
    int cue;
  } want[] = {{false, "a.mp3 - Title", 18000},
              {true, "b.mp3 - Title", 18100},
              {false, "z.mp3 - Title", 18250},
              {true, "a.mp3 - Title", 18000},
              {false, "b.mp3 - Title", 18100}};
  for (size_t i = 0; i < handOvers.size(); ++i) {
    const HandOver& h = handOvers[i];
    EXPECT_EQ(h.toLeft, want[i].toLeft) << i;
    EXPECT_EQ(h.song, want[i].song) << i;
    EXPECT_EQ(h.startedAt, want[i].cue) << i;  // autocue: at its own cue point
    // Between six and seven seconds before the end of the other song (the
    // near-end flag is seen within one deck timer step of its mark).
    EXPECT_GE(h.otherLeft, 590) << i;
    EXPECT_LT(h.otherLeft, 700) << i;
  }
  EXPECT_EQ(w.PlayIndex, 2);
  EXPECT_EQ(w.ListBox1->currentRow(), 1);
  // Some deck sounded in every 10 ms of the set: no gap at any hand-over.
  EXPECT_GT(quietest, 8000);
}

TEST_F(Autoplay, WithoutThePlaylistTheGridSongPlaysAgainOnTheOtherDeck) {
  const QString a = song("a.mp3", kTen, 250);
  c.select(a);
  c.f->LoadDB_RechtsClick();
  c.f->Play_RechtsMouseDown();
  c.f->cbAutoPlay->setChecked(true);
  run(4000);
  ASSERT_EQ(handOvers.size(), 1u);
  EXPECT_TRUE(handOvers[0].toLeft);
  EXPECT_EQ(handOvers[0].song, "a.mp3 - Title");
  EXPECT_EQ(handOvers[0].startedAt, 0);  // autocue is off
  // Unticking stops the timer.
  c.f->cbAutoPlay->setChecked(false);
  EXPECT_FALSE(c.f->TimerAutoPlay->isActive());
}

TEST_F(Autoplay, AnEmptyPlaylistHandsOverNothingAndMissingFilesArePassedOver) {
  const QString a = song("a.mp3", kTen, 0);
  const QString b = song("b.mp3", kTen, 0);
  c.select(a);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.f->Neu1Click();
  c.f->cbAutoPlay->setChecked(true);
  run(5000);
  EXPECT_TRUE(handOvers.empty());
  EXPECT_EQ(c.f->PlayerRechts, nullptr);
  EXPECT_EQ(c.f->PlayerLinks->NearEnd, 1);  // it still asks

  // A stick pulled out, before the load or during the set: its entries are
  // marked and passed over, the next one plays.
  const QString gone = c.cwd.file("stick/gone.mp3");
  const QString pulled = song("pulled.mp3", kTen, 0);
  w.ShowEntries({gone, pulled, b}, *DataModule1);
  EXPECT_EQ(w.ListBox1->item(0)->text(), "gone.mp3 (fehlt)");
  EXPECT_EQ(w.ListBox1->item(1)->text(), "pulled.mp3 - Title");
  ASSERT_TRUE(QFile::remove(pulled));
  run(1000);
  ASSERT_EQ(handOvers.size(), 1u);
  EXPECT_EQ(handOvers[0].song, "b.mp3 - Title");
  EXPECT_EQ(w.ListBox1->item(1)->text(), "pulled.mp3 - Title (fehlt)");
  EXPECT_EQ(w.PlayIndex, 0);
  EXPECT_TRUE(c.dialogs.boxes.empty());
}

// A message box that nobody closes: the clock runs on for 15 s inside it,
// with the decks' and the autoplay timer, as in a real box's event loop.
class UnattendedDialogs : public qdl::test::ScriptedDialogs {
 public:
  qdl::ui::Answer messageBox(QWidget* parent, const QString& text, const QString& caption,
                             qdl::ui::Buttons buttons) override {
    if (whileOpen && !open) {
      open = true;
      whileOpen();
      open = false;
    }
    return ScriptedDialogs::messageBox(parent, text, caption, buttons);
  }
  std::function<void()> whileOpen;
  bool open = false;
};

TEST_F(Autoplay, EntriesThatCannotBePlayedArePassedOverWithoutABoxAndTheSetGoesOn) {
  const QString a = song("a.mp3", kTen, 0);
  const QString b = song("b.mp3", kTen, 0);
  // A download that is no MP3, and one that stopped at 0 bytes.
  const QString broken = c.cwd.file("broken.mp3");
  ASSERT_TRUE(QFile::copy(fixture("corrupt_random.mp3"), broken));
  c.addSong(broken, "Broken", "Song");
  const QString empty = c.cwd.file("empty.mp3");
  ASSERT_TRUE(QFile(empty).open(QIODevice::WriteOnly));
  c.addSong(empty, "Empty", "Song");
  c.select(a);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.f->Neu1Click();
  w.ShowEntries({broken, empty, b}, *DataModule1);
  c.f->cbAutoPlay->setChecked(true);
  UnattendedDialogs dialogs;
  dialogs.whileOpen = [this] { run(15000); };
  listening = true;
  run(12000);
  // Each hand-over passed over both and took the third entry at once.
  ASSERT_EQ(handOvers.size(), 2u);
  EXPECT_FALSE(handOvers[0].toLeft);
  EXPECT_EQ(handOvers[0].song, "b.mp3 - Title");
  EXPECT_TRUE(handOvers[1].toLeft);
  EXPECT_EQ(handOvers[1].song, "b.mp3 - Title");
  EXPECT_GT(quietest, 8000);  // no dead air
  EXPECT_TRUE(dialogs.boxes.empty());
  // The lines say which entries were passed over, and why.
  EXPECT_EQ(w.ListBox1->item(0)->text(), "Broken - Song (nicht abspielbar)");
  EXPECT_EQ(w.ListBox1->item(1)->text(), "Empty - Song (nicht abspielbar)");
  EXPECT_TRUE(w.ListBox1->item(0)->toolTip().startsWith(FormSprache->Meldung.sDateiDefekt));
  EXPECT_EQ(w.ListBox1->item(2)->text(), "b.mp3 - Title");
  EXPECT_EQ(w.PlayIndex, 0);
}

TEST_F(Autoplay, WithoutThePlaylistASongThatCannotBePlayedIsToldAfterTheHandOver) {
  const QString a = song("a.mp3", kTen, 0);
  const QString broken = c.cwd.file("broken.mp3");
  ASSERT_TRUE(QFile::copy(fixture("corrupt_random.mp3"), broken));
  c.addSong(broken, "Broken", "Song");
  c.select(a);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.select(broken);
  c.f->cbAutoPlay->setChecked(true);
  c.run(3500);
  ASSERT_EQ(c.f->PlayerLinks->NearEnd, 1);
  c.f->TimerAutoPlayTimer();
  EXPECT_TRUE(c.dialogs.boxes.empty());  // nothing in the hand-over waits for a click
  QCoreApplication::sendPostedEvents();
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_TRUE(c.dialogs.boxes[0].text.startsWith(FormSprache->Meldung.sDateiDefekt));
  EXPECT_EQ(c.leftState(), "playing");
}

// The tag editor is open on a record with a change the DJ has made (one
// cell handed over, another half-typed in its open cell editor) when
// autoplay hands over, from the playlist or from the grid's song. Nothing
// of the change is posted (no tag written, nothing asked in the hand-over),
// nothing is dropped, the editor keeps its record, order and open cell, and
// the other deck plays the song as the library holds it.
TEST(AutoplayBesideTheEditor, AHandOverNeverTouchesTheEditorsPendingChange) {
  const struct Case {
    const char* name;
    bool playlist;
    const char* field;  // the cell already handed over, not yet posted
    const char* value;
  } cases[] = {
      // The edited record is another song, whose file is write-protected:
      // a post would ask whether to tag it anyway.
      {"playlist", true, "Titel", "New title"},
      // The edited record is the grid's song itself, its file name changed
      // to one that is not there.
      {"grid", false, "DateiName", "/nowhere/b.mp3"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Console c;
    const QString a = c.cwd.file("a.mp3"), b = c.cwd.file("b.mp3"), e = c.cwd.file("e.mp3");
    ASSERT_TRUE(QFile::link(fixture(kTen), a));
    ASSERT_TRUE(QFile::link(fixture(kTen), b));
    ASSERT_TRUE(QFile::copy(fixture(kTen), e));
    ASSERT_TRUE(QFile::setPermissions(e, QFile::ReadOwner | QFile::ReadGroup));
    c.addSong(e, "e.mp3", "Title");
    c.addSong(b, "b.mp3", "Title");
    c.addSong(a, "a.mp3", "Title");
    c.f->LoadDB_LinksClick();
    c.f->Play_LinksMouseDown();
    if (k.playlist) {
      c.f->Neu1Click();
      FormPlayList->ShowEntries({b}, *DataModule1);
      FormPlayList->btStart->click();
    } else {
      c.f->cbAutoPlay->setChecked(true);
    }
    const QString edited = k.playlist ? e : b;
    const QByteArray fileBefore = [&] {
      QFile f(edited);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    // The editor, in title order, on the edited record.
    TFormDatenBearbeiten& editor = *FormDatenBearbeiten;
    editor.show();
    c.select(edited);
    c.songs->setIndexName("iTitel");
    const qint64 id = c.songs->currentId();
    const int row = c.songs->currentRow();
    c.songs->edit();
    c.songs->setFieldValue(k.field, k.value);
    const int genre = int(editor.gridModel()->columns().indexOf("Genre"));
    const QModelIndex cell = editor.gridModel()->index(row, genre);
    editor.DBGrid1->selectionModel()->setCurrentIndex(
        cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    editor.DBGrid1->edit(cell);
    QLineEdit* typing = nullptr;
    for (QLineEdit* w : editor.DBGrid1->viewport()->findChildren<QLineEdit*>())
      if (w->isVisible()) typing = w;
    ASSERT_NE(typing, nullptr);
    for (QChar ch : QStringLiteral("Tra")) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QCoreApplication::sendEvent(typing, &press);
    }
    const QString typed = typing->text();
    ASSERT_TRUE(typed.endsWith("Tra"));
    EXPECT_TRUE(editor.holdsUnpostedEdit());

    c.run(3500, true);
    ASSERT_EQ(c.f->PlayerLinks->NearEnd, 1);
    c.f->TimerAutoPlayTimer();
    EXPECT_TRUE(c.dialogs.boxes.empty()) << c.dialogs.boxes[0].text.toStdString();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(c.dialogs.boxes.empty()) << c.dialogs.boxes[0].text.toStdString();
    EXPECT_TRUE(c.dialogs.errors.isEmpty()) << c.dialogs.errors.join('\n').toStdString();

    // The other deck plays the song as stored.
    EXPECT_EQ(c.rightState(), "playing");
    EXPECT_EQ(c.f->StatusBar_Rechts->panelText(1), "b.mp3 - Title");

    // The change is pending as it was, on its record, in its order.
    EXPECT_EQ(c.songs->state(), qdl::db::Table::State::Edit);
    EXPECT_TRUE(c.songs->isModified());
    EXPECT_EQ(c.songs->currentId(), id);
    EXPECT_EQ(c.songs->indexName(), "iTitel");
    EXPECT_EQ(c.songs->asString(k.field), k.value);
    EXPECT_NE(c.songs->storedValue(id, k.field).value_or(QVariant()).toString(), k.value);
    EXPECT_TRUE(typing->isVisible());
    EXPECT_EQ(typing->text(), typed);
    QFile f(edited);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == fileBefore);  // no tag written
    delete typing;                           // the cell editor goes before the library
    c.songs->cancel();
    editor.hide();
    QFile::setPermissions(e, QFile::ReadOwner | QFile::WriteOwner);
  }
}

// Without the playlist, a grid song whose file is missing: autoplay tries
// again every second, but says so once; another song with the same problem
// is told again, and so is the first one after it.
TEST_F(Autoplay, WithoutThePlaylistAMissingFileIsToldOnceUntilSomethingChanges) {
  const QString a = song("a.mp3", kTen, 0);
  const QString gone1 = c.cwd.file("gone1.mp3"), gone2 = c.cwd.file("gone2.mp3");
  c.addSong(gone1, "Gone", "One");
  c.addSong(gone2, "Gone", "Two");
  c.select(a);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.select(gone1);
  c.f->cbAutoPlay->setChecked(true);
  run(3500);
  run(3000);  // three ticks or more on the missing file
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text, FormSprache->Meldung.sDateiFehlt);
  c.select(gone2);
  run(2000);
  ASSERT_EQ(c.dialogs.boxes.size(), 2u);
  c.select(gone1);
  run(1000);
  EXPECT_EQ(c.dialogs.boxes.size(), 3u);
  EXPECT_EQ(c.leftState(), "playing");
}

}  // namespace
