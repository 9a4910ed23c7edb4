// The console's search boxes and song grid: incremental search on the
// shared song table, and choosing the current song with Enter or a
// double-click.

#include <QLineEdit>
#include <QTableView>

#include "app/Mainform.h"
#include "library/Datamod.h"
#include "library/Suche.h"
#include "platform/db/Table.h"
#include "platform/ui/Dialogs.h"

namespace {

constexpr char16_t kCarriageReturn = 13;

qdl::db::Table* songTable() { return DataModule1 ? DataModule1->Table1 : nullptr; }

void enterBox(QWidget* parent, const char* indexName) {
  qdl::ui::guarded(parent, [indexName] {
    if (qdl::db::Table* t = songTable(); t && t->isOpen())
      qdl::library::selectSearchOrder(t, QLatin1String(indexName));
  });
}

void searchBox(QWidget* parent, const char* indexName, const QLineEdit* box) {
  qdl::ui::guarded(parent, [indexName, box] {
    if (qdl::db::Table* t = songTable())
      qdl::library::incrementalSearch(t, QLatin1String(indexName), box->text());
  });
}

}  // namespace

void TFormQuandrel::EditArtistEnter() { enterBox(this, "iInterpret"); }
void TFormQuandrel::EditSongEnter() { enterBox(this, "iTitel"); }
void TFormQuandrel::EditGenreEnter() { enterBox(this, "iGenre"); }
void TFormQuandrel::EditJahrEnter() { enterBox(this, "iJahr"); }

void TFormQuandrel::EditArtistChange() { searchBox(this, "iInterpret", EditArtist); }
void TFormQuandrel::EditSongChange() { searchBox(this, "iTitel", EditSong); }
void TFormQuandrel::EditGenreChange() { searchBox(this, "iGenre", EditGenre); }
void TFormQuandrel::EditJahrChange() { searchBox(this, "iJahr", EditJahr); }

void TFormQuandrel::EditArtistKeyPress(QChar key) {
  if (key == kCarriageReturn) ChooseCurrentSong();
}
void TFormQuandrel::EditSongKeyPress(QChar key) {
  if (key == kCarriageReturn) ChooseCurrentSong();
}
void TFormQuandrel::EditGenreKeyPress(QChar key) {
  if (key == kCarriageReturn) ChooseCurrentSong();
}
void TFormQuandrel::EditJahrKeyPress(QChar key) {
  if (key == kCarriageReturn) ChooseCurrentSong();
}
void TFormQuandrel::DBGrid1KeyPress(QChar key) {
  if (key == kCarriageReturn) ChooseCurrentSong();
}

void TFormQuandrel::DBGrid1DblClick() { ChooseCurrentSong(); }

void TFormQuandrel::wireSearch() {
  using Handler = void (TFormQuandrel::*)();
  using KeyHandler = void (TFormQuandrel::*)(QChar);
  struct Box {
    QLineEdit* edit;
    Handler enter;
    Handler change;
    KeyHandler keyPress;
  };
  const Box boxes[] = {
      {EditArtist, &TFormQuandrel::EditArtistEnter, &TFormQuandrel::EditArtistChange,
       &TFormQuandrel::EditArtistKeyPress},
      {EditSong, &TFormQuandrel::EditSongEnter, &TFormQuandrel::EditSongChange,
       &TFormQuandrel::EditSongKeyPress},
      {EditGenre, &TFormQuandrel::EditGenreEnter, &TFormQuandrel::EditGenreChange,
       &TFormQuandrel::EditGenreKeyPress},
      {EditJahr, &TFormQuandrel::EditJahrEnter, &TFormQuandrel::EditJahrChange,
       &TFormQuandrel::EditJahrKeyPress},
  };
  for (const Box& b : boxes) {
    connect(b.edit, &QLineEdit::textChanged, this, [this, f = b.change] { (this->*f)(); });
    auto* events = new qdl::library::WidgetEvents(b.edit);
    events->onEnter = [this, f = b.enter] { (this->*f)(); };
    // Enter is taken here; other keys go on to the box.
    events->onKeyPress = [this, f = b.keyPress](QChar key) {
      (this->*f)(key);
      return key == kCarriageReturn;
    };
  }
  auto* grid = new qdl::library::WidgetEvents(DBGrid1);
  grid->onKeyPress = [this](QChar key) {
    DBGrid1KeyPress(key);
    return key == kCarriageReturn;
  };
  grid->onDoubleClick = [this] { DBGrid1DblClick(); };
}
