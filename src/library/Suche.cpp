#include "library/Suche.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <exception>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/GridBinding.h"
#include "platform/db/Navigator.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ui/Dialogs.h"

TFormDatenBearbeiten* FormDatenBearbeiten = nullptr;

namespace qdl::library {

void selectSearchOrder(db::Table* table, const QString& indexName) {
  if (table->indexName().compare(indexName, Qt::CaseInsensitive) != 0)
    table->setIndexName(indexName);
}

void incrementalSearch(db::Table* table, const QString& indexName, const QString& text) {
  if (!table->isOpen()) return;
  selectSearchOrder(table, indexName);
  table->findNearest(text);
}

WidgetEvents::WidgetEvents(QWidget* widget) : QObject(widget), widget_(widget) {
  widget->installEventFilter(this);
  if (auto* view = qobject_cast<QAbstractItemView*>(widget))
    view->viewport()->installEventFilter(this);
}

namespace {

// Entering and leaving mean the focus moving between the window's controls;
// another window coming to the front, or a menu opening and closing, keeps
// the control where it is.
bool movesBetweenControls(const QEvent* event) {
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

}  // namespace

bool WidgetEvents::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusIn:
      if (watched == widget_ && onEnter && movesBetweenControls(event)) onEnter();
      break;
    case QEvent::FocusOut:
      if (watched == widget_ && onExit && movesBetweenControls(event)) onExit();
      break;
    case QEvent::KeyPress: {
      if (watched != widget_) break;
      const auto* key = static_cast<QKeyEvent*>(event);
      if (onKeyDown && onKeyDown(*key)) return true;
      if (!onKeyPress) break;
      QChar c;
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        c = QChar(13);
      else if (!key->text().isEmpty())
        c = key->text().at(0);
      if (!c.isNull() && onKeyPress(c)) return true;
      break;
    }
    case QEvent::MouseButtonDblClick:
      if (onDoubleClick) onDoubleClick();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qdl::library

namespace {

// Cell editors of the editor's grid: the first keystroke in a cell puts the
// current record into editing, so post and cancel are offered at once.
class CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      connect(line, &QLineEdit::textEdited, line, [line] {
        qdl::db::Table* table = DataModule1 ? DataModule1->Table1 : nullptr;
        if (table && table->isOpen() && table->state() == qdl::db::Table::State::Browse &&
            table->currentRow() >= 0)
          qdl::ui::guarded(line->window(), [table] { table->edit(); });
      });
    }
    return editor;
  }
};

const QStringList kColumns = {QStringLiteral("Interpret"), QStringLiteral("Titel"),
                              QStringLiteral("Beats"),     QStringLiteral("Genre"),
                              QStringLiteral("Jahr"),      QStringLiteral("DateiName")};
constexpr int kWidths[] = {161, 167, 39, 60, 51, 198};

qdl::db::Table* songTable() { return DataModule1 ? DataModule1->Table1 : nullptr; }

}  // namespace

TFormDatenBearbeiten::TFormDatenBearbeiten(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormDatenBearbeiten"));
  setWindowTitle(QStringLiteral("Bearbeite Datenbank und ID3 Tags"));
  auto* layout = new QGridLayout(this);
  Label1 = new QLabel(QStringLiteral("suche Interpret"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Label2 = new QLabel(QStringLiteral("suche Titel"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  QFont bold = Label3->font();
  bold.setBold(true);
  Label3->setFont(bold);
  DBGrid1 = new QTableView(this);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBNavigator1 = new qdl::db::Navigator(this);
  DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
  btClose = new QPushButton(QStringLiteral("&Schliessen"), this);
  btClose->setObjectName(QStringLiteral("btClose"));
  btHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
  btHelp->setObjectName(QStringLiteral("btHelp"));
  // Enter means nothing in the search boxes: no button is the default.
  btClose->setAutoDefault(false);
  btHelp->setAutoDefault(false);
  layout->addWidget(Label1, 0, 0);
  layout->addWidget(Edit1, 1, 0);
  layout->addWidget(Label2, 0, 1);
  layout->addWidget(Edit2, 1, 1);
  layout->addWidget(Label3, 1, 2);
  layout->addWidget(DBGrid1, 2, 0, 1, 3);
  layout->addWidget(DBNavigator1, 3, 0);
  layout->addWidget(btClose, 3, 1);
  layout->addWidget(btHelp, 3, 2);
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, DBGrid1);
  resize(760, 420);

  // The grid: editable in place, tab moves between cells, row indicator.
  DBGrid1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
  DBGrid1->setTabKeyNavigation(true);
  DBGrid1->verticalHeader()->setDefaultSectionSize(18);
  DBGrid1->verticalHeader()->setMinimumWidth(14);
  DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  DBGrid1->horizontalHeader()->setHighlightSections(false);

  connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
  connect(Edit2, &QLineEdit::textChanged, this, [this] { Edit2Change(); });
  auto* edit1 = new qdl::library::WidgetEvents(Edit1);
  edit1->onEnter = [this] { Edit1Enter(); };
  auto* edit2 = new qdl::library::WidgetEvents(Edit2);
  edit2->onEnter = [this] { Edit2Enter(); };
  auto* grid = new qdl::library::WidgetEvents(DBGrid1);
  grid->onKeyDown = [this](const QKeyEvent& e) { return gridKeyDown(e); };
  grid->onExit = [this] { gridExit(); };

  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(btHelp, &QPushButton::clicked, this, [this] { btHelpClick(); });
  qdl::help::setHelpContext(this, kHelpContext);
  qdl::help::attachHelpKey(this);

  // Bound now, so that column titles set by the language stay with the grid.
  bindGrid();
}

void TFormDatenBearbeiten::bindGrid() {
  qdl::db::Table* table = songTable();
  if (model_ || !table) return;
  model_ = DataModule1->createGridModel(kColumns, DBGrid1);
  model_->setEditable(true);
  new qdl::db::GridBinding(DBGrid1, model_);
  DBGrid1->setItemDelegate(new CellDelegate(DBGrid1));
  for (int i = 0; i < int(std::size(kWidths)); ++i) DBGrid1->setColumnWidth(i, kWidths[i]);
  DBNavigator1->setTable(table);
  // As with any post, the text typed into an open cell counts; cancel drops it.
  connect(DBNavigator1, &qdl::db::Navigator::aboutToRun, this,
          [this](qdl::db::Navigator::Button b) {
            closeCellEditor(b != qdl::db::Navigator::Button::Cancel);
          });
  // A value the table refuses ends the change like any other error.
  connect(model_, &qdl::db::TableModel::error, this,
          [this](const QString& message) { qdl::ui::dialogs().showError(this, message); });
  // The count follows inserts and deletes made here.
  connect(table, &qdl::db::Table::recordInserted, this, [this] { showRecordCount(); });
  connect(table, &qdl::db::Table::recordRemoved, this, [this] { showRecordCount(); });
}

void TFormDatenBearbeiten::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormDatenBearbeiten::FormShow() {
  bindGrid();
  showRecordCount();
  const QString caption = FormSprache ? FormSprache->Meldung.sAchtung : QString();
  // The navigator's texts follow the language of the other texts.
  const bool english = FormSprache && FormSprache->language() == TFormSprache::Language::English;
  DBNavigator1->setHints(english ? qdl::db::Navigator::englishHints()
                                 : qdl::db::Navigator::germanHints());
  DBNavigator1->setDeleteQuestion(
      english ? QStringLiteral("Delete record?") : QStringLiteral("Datensatz löschen?"), caption);
}

void TFormDatenBearbeiten::showRecordCount() {
  qdl::db::Table* table = songTable();
  const int count = table && table->isOpen() ? table->recordCount() : 0;
  Label3->setText(FormSprache ? FormSprache->songCountText(count) : QString::number(count));
}

void TFormDatenBearbeiten::Edit1Enter() {
  qdl::ui::guarded(this, [] {
    if (songTable() && songTable()->isOpen())
      qdl::library::selectSearchOrder(songTable(), QStringLiteral("iInterpret"));
  });
}

void TFormDatenBearbeiten::Edit1Change() {
  qdl::ui::guarded(this, [this] {
    if (songTable())
      qdl::library::incrementalSearch(songTable(), QStringLiteral("iInterpret"), Edit1->text());
  });
}

void TFormDatenBearbeiten::Edit2Enter() {
  qdl::ui::guarded(this, [] {
    if (songTable() && songTable()->isOpen())
      qdl::library::selectSearchOrder(songTable(), QStringLiteral("iTitel"));
  });
}

void TFormDatenBearbeiten::Edit2Change() {
  qdl::ui::guarded(this, [this] {
    if (songTable())
      qdl::library::incrementalSearch(songTable(), QStringLiteral("iTitel"), Edit2->text());
  });
}

void TFormDatenBearbeiten::btHelpClick() {
  qdl::help::showTopic(qdl::help::helpFileOf(this), kHelpContext);
}

// Keys of the grid itself (an open in-place editor gets its own keys):
// Insert starts a new record, Ctrl+Delete deletes after the question, and
// Escape drops a pending change.
bool TFormDatenBearbeiten::gridKeyDown(const QKeyEvent& event) {
  using Button = qdl::db::Navigator::Button;
  qdl::db::Table* table = songTable();
  if (!table || !table->isOpen()) return false;
  if (event.key() == Qt::Key_Insert && event.modifiers() == Qt::NoModifier) {
    DBNavigator1->click(Button::Insert);
    return true;
  }
  if (event.key() == Qt::Key_Delete && event.modifiers() == Qt::ControlModifier) {
    DBNavigator1->click(Button::Delete);
    return true;
  }
  if (event.key() == Qt::Key_Escape && table->state() != qdl::db::Table::State::Browse) {
    table->cancel();
    return true;
  }
  return false;
}

// A new record the user has not typed into is dropped when the focus leaves
// the grid (not when it goes to the grid's own in-place editor).
void TFormDatenBearbeiten::gridExit() {
  qdl::db::Table* table = songTable();
  if (!table || !table->isOpen()) return;
  if (table->state() != qdl::db::Table::State::Insert || table->isModified()) return;
  const QWidget* focus = QApplication::focusWidget();
  if (focus && DBGrid1->isAncestorOf(focus)) return;
  table->cancel();
}

void TFormDatenBearbeiten::closeCellEditor(bool commit) {
  // Cell editors are the visible children of the grid's viewport.
  QAbstractItemDelegate* delegate = DBGrid1->itemDelegate();
  const auto children = DBGrid1->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* editor : children) {
    if (!editor->isVisible()) continue;
    if (commit) emit delegate->commitData(editor);
    emit delegate->closeEditor(
        editor, commit ? QAbstractItemDelegate::NoHint : QAbstractItemDelegate::RevertModelCache);
  }
}

bool TFormDatenBearbeiten::holdsUnpostedEdit() const {
  if (!isVisible()) return false;
  const qdl::db::Table* table = songTable();
  if (!table || !table->isOpen() || table->state() == qdl::db::Table::State::Browse) return false;
  if (table->isModified()) return true;
  const auto editors = DBGrid1->viewport()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
  for (const QLineEdit* editor : editors)
    if (editor->isVisible() && editor->isModified()) return true;
  return false;
}

void TFormDatenBearbeiten::discardAndClose() {
  closeCellEditor(false);
  if (qdl::db::Table* table = songTable(); table && table->isOpen()) table->cancel();
  QDialog::done(QDialog::Rejected);
}

void TFormDatenBearbeiten::done(int result) {
  qdl::db::Table* table = songTable();
  // An open cell editor hands its text over first.
  closeCellEditor(true);
  if (table && table->isOpen() && table->state() != qdl::db::Table::State::Browse) {
    if (table->isModified()) {
      if (!qdl::ui::guarded(this, [table] { table->post(); })) return;
    } else {
      table->cancel();
    }
  }
  QDialog::done(result);
}
