#pragma once
// The record and ID3 tag editor, and the incremental search shared with the
// main window's search boxes.
//
// The editor edits the song table directly in an editable grid with a record
// navigator: every record posted while the window is visible is written into
// its file's ID3v1 tag by the data module (TDataModule1::Table1AfterPost).
// Its two search boxes find records as the main window's boxes do. The
// editor keeps no data of its own; on closing, the table keeps the order and
// the current record the editor left. Everything runs on the user-interface
// thread.

#include <QDialog>
#include <QObject>
#include <functional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace qdl::db {
class Navigator;
class Table;
class TableModel;
}  // namespace qdl::db

namespace qdl::library {

// Makes the index the table's active order unless it already is (switching
// rereads the order, so it is not done on every keystroke).
void selectSearchOrder(db::Table* table, const QString& indexName);

// The incremental search of a search box: the box's own index is made
// active first (another part may have switched the order while the box kept
// the focus), then the nearest-key search for the box's whole text. Empty
// text goes to the first record; text after every value to the last.
void incrementalSearch(db::Table* table, const QString& indexName, const QString& text);

// Calls back when a widget gains the focus, gets a key (onKeyDown: every
// key; onKeyPress: character keys, carriage return for the Return and Enter
// keys), loses the focus or is double-clicked (on an item view: in its
// viewport). A key callback that returns true consumes the key. The hook
// belongs to the widget.
class WidgetEvents : public QObject {
  Q_OBJECT
 public:
  explicit WidgetEvents(QWidget* widget);

  std::function<void()> onEnter;
  std::function<bool(const QKeyEvent& event)> onKeyDown;
  std::function<bool(QChar key)> onKeyPress;
  std::function<void()> onExit;
  std::function<void()> onDoubleClick;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* widget_;
};

}  // namespace qdl::library

class TFormDatenBearbeiten : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kHelpContext = 80;

  explicit TFormDatenBearbeiten(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QLabel* Label3;
  QTableView* DBGrid1;
  qdl::db::Navigator* DBNavigator1;
  QPushButton* btClose;
  QPushButton* btHelp;

  // Sets Label3 to the song count, and the navigator's hints and delete
  // question to the language of the settings file.
  void FormShow();
  // Entering a search box makes its index active; each change of its text
  // searches (Edit1: iInterpret on Interpret, Edit2: iTitel on Titel).
  void Edit1Enter();
  void Edit1Change();
  void Edit2Enter();
  void Edit2Change();
  // Help topic 80 of the window's help file.
  void btHelpClick();

  // The grid's model (columns Interpret, Titel, Beats, Genre, Jahr,
  // DateiName); nullptr until the data module exists.
  qdl::db::TableModel* gridModel() const { return model_; }

  // Whether the window is open with a change the user has not posted: a
  // record changed or a new one typed into, or text typed into a cell.
  bool holdsUnpostedEdit() const;

  // Drops a pending change and what is typed into a cell, and closes the
  // window (Rejected) without posting: the console is closing and the user
  // agreed to leave the change.
  void discardAndClose();

  // Closing posts a pending change while the window is still visible, so
  // its tag is written; a refused post is shown and keeps the window open
  // with the record in editing. An unchanged new record is dropped.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void bindGrid();
  void showRecordCount();
  bool gridKeyDown(const QKeyEvent& event);
  void gridExit();
  // Hands the text of an open cell editor to the table (or drops it).
  void closeCellEditor(bool commit);

  qdl::db::TableModel* model_ = nullptr;
};

extern TFormDatenBearbeiten* FormDatenBearbeiten;
