#include "playlist/Playlist.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/fs/Folders.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"
#include "playlist/PlaylistFile.h"

TFormPlayList* FormPlayList = nullptr;

TFormPlayList::TFormPlayList(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FormPlayList"));
  setWindowTitle(QStringLiteral("Playlist"));
  auto* layout = new QVBoxLayout(this);
  auto* listRow = new QHBoxLayout;
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setUniformItemSizes(true);  // a long list lays out at once
  ListBox1->setStyleSheet(QStringLiteral("QListWidget { background: black; color: lime; }"));
  btDelete = new QPushButton(QStringLiteral("del"), this);
  btDelete->setObjectName(QStringLiteral("btDelete"));
  btDelete->setFixedSize(25, 25);
  listRow->addWidget(ListBox1);
  listRow->addWidget(btDelete, 0, Qt::AlignTop);
  layout->addLayout(listRow);
  auto* buttons = new QHBoxLayout;
  btStart = new QPushButton(QStringLiteral("&Start"), this);
  btStart->setObjectName(QStringLiteral("btStart"));
  btSave = new QPushButton(QStringLiteral("&Speichern"), this);
  btSave->setObjectName(QStringLiteral("btSave"));
  btCancel = new QPushButton(QStringLiteral("&Abbruch"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  for (QPushButton* b : {btStart, btSave, btCancel, btHelp}) buttons->addWidget(b);
  layout->addLayout(buttons);
  resize(320, 300);
  qdl::help::setHelpContext(this, 50);
  qdl::help::attachHelpKey(this);

  connect(btStart, &QPushButton::clicked, this, [this] { btStartClick(); });
  connect(btSave, &QPushButton::clicked, this, [this] { btSaveClick(); });
  connect(btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
  connect(btHelp, &QPushButton::clicked, this, [this] { btHelpClick(); });
  connect(btDelete, &QPushButton::clicked, this, [this] { btDeleteClick(); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
  ListBox1->installEventFilter(this);
}

// ---- Window events ---------------------------------------------------------

void TFormPlayList::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only a show from hidden starts a fresh playlist; the window system
  // restoring a minimised window does not.
  if (!event->spontaneous()) FormShow();
}

void TFormPlayList::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

bool TFormPlayList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    ListBox1KeyDown(key);
    if (key == Qt::Key_Delete) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TFormPlayList::FormShow() {
  FileList.clear();
  ListBox1->clear();
  PlayIndex = 0;
  takenRow_ = -1;
  takenThrough_ = false;
}

void TFormPlayList::FormClose() {
  FileList.clear();
  ListBox1->clear();
  PlayIndex = 0;
  takenRow_ = -1;
  takenThrough_ = false;
  emit autoPlaySwitched(false);
}

// ---- Buttons and list --------------------------------------------------------

void TFormPlayList::btStartClick() { emit autoPlaySwitched(true); }

void TFormPlayList::btSaveClick() {
  QString name = qdl::ui::dialogs().saveFileName(
      this, FormSprache->Playlist.sPlaylistTitel, PlaylistDir,
      QStringLiteral("Quandrel Playlist (*.qdp)"), QStringLiteral("qdp"));
  if (!name.isEmpty()) {
    // "Set 1.2" is saved as "Set 1.2.qdp": only that name can be loaded.
    name = qdl::ui::withSuffix(name, QStringLiteral("qdp"));
    const QString why = qdl::playlist::writeQdp(name, FileList);
    if (!why.isEmpty())
      qdl::ui::showMessage(this, FormSprache->Playlist.sNichtGespeichert.arg(name, why),
                           FormSprache->Meldung.sAchtung);
  }
  // Saving leaves autoplay as it is: a DJ who saves the list mid-set keeps
  // the set running.
}

void TFormPlayList::btCancelClick() { close(); }

void TFormPlayList::btHelpClick() { qdl::help::helpKeyPressed(this); }

void TFormPlayList::btDeleteClick() { removeSelected(); }

void TFormPlayList::ListBox1DblClick() { removeSelected(); }

void TFormPlayList::ListBox1KeyDown(int key) {
  if (key == Qt::Key_Delete) removeSelected();
}

// ---- Lines and their marks ---------------------------------------------------

namespace {

// A marked line keeps its text without the mark and the mark's kind, so
// that it can be marked again and a change of language rewrite the mark.
constexpr int kTextRole = Qt::UserRole;
constexpr int kMarkRole = Qt::UserRole + 1;

QString markText(TFormPlayList::Mark mark) {
  const PlaylistTexte& t = FormSprache->Playlist;
  switch (mark) {
    case TFormPlayList::Mark::None:
      break;
    case TFormPlayList::Mark::Missing:
      return t.sFehlt;
    case TFormPlayList::Mark::NotInLibrary:
      return t.sNichtInDatenbank;
    case TFormPlayList::Mark::Unplayable:
      return t.sNichtAbspielbar;
  }
  return QString();
}

}  // namespace

QString TFormPlayList::displayText(const Line& line) {
  return line.mark == Mark::None ? line.text : line.text + QLatin1Char(' ') + markText(line.mark);
}

TFormPlayList::Mark TFormPlayList::markOf(int row) const {
  const QListWidgetItem* item = ListBox1->item(row);
  return item ? Mark(item->data(kMarkRole).toInt()) : Mark::None;
}

void TFormPlayList::setLine(int row, const Line& line) {
  QListWidgetItem* item = ListBox1->item(row);
  if (!item) return;
  const bool marked = line.mark != Mark::None;
  item->setText(displayText(line));
  item->setData(kTextRole, marked ? QVariant(line.text) : QVariant());
  item->setData(kMarkRole, marked ? QVariant(int(line.mark)) : QVariant());
  item->setToolTip(line.why);
}

void TFormPlayList::mark(int row, Mark mark, const QString& why) {
  const QListWidgetItem* item = ListBox1->item(row);
  if (!item) return;
  const QVariant text = item->data(kTextRole);
  setLine(row, {text.isValid() ? text.toString() : item->text(), mark, false, why});
}

void TFormPlayList::retranslateMarks() {
  for (int i = 0; i < ListBox1->count(); ++i)
    if (markOf(i) != Mark::None) mark(i, markOf(i), ListBox1->item(i)->toolTip());
}

void TFormPlayList::removeSelected() {
  const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
  if (selected.isEmpty()) return;
  const int row = ListBox1->row(selected.first());
  if (row < 0 || row >= FileList.size()) return;
  delete ListBox1->takeItem(row);
  FileList.removeAt(row);
  takenRow_ = -1;
  // The entry that was next stays next: removing one before it (such as the
  // one just played) moves it up by one. When the next entry was the last
  // and is gone, the list starts again from the top, unless an entry is
  // appended first.
  if (row < PlayIndex) --PlayIndex;
  if (PlayIndex >= FileList.size()) {
    PlayIndex = 0;
    takenThrough_ = true;
  }
}

void TFormPlayList::AddCurrentSong(TDataModule1& data) {
  qdl::db::Table* songs = data.Table1;
  if (!songs->isOpen() || songs->currentRow() < 0) return;  // an empty library
  const QString path = songs->asString(QStringLiteral("DateiName"));
  FileList.append(path);
  // Appended after the last entry was taken: played next, before the list
  // starts again from the top.
  if (takenThrough_) {
    PlayIndex = int(FileList.size()) - 1;
    takenThrough_ = false;
  }
  ListBox1->addItem(QString());
  // A song whose file is gone is chosen knowingly, but autoplay will pass
  // it over: the line says so.
  setLine(ListBox1->count() - 1,
          {songs->asString(QStringLiteral("Interpret")) + QStringLiteral(" - ") +
               songs->asString(QStringLiteral("Titel")),
           qdl::fs::isFileMissing(path) ? Mark::Missing : Mark::None, false, QString()});
}
