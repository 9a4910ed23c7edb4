#pragma once
// A record navigator: a row of ten buttons that move a table's cursor and
// drive its edit cycle (first, prior, next, last, insert, delete, edit, post,
// cancel, refresh). The buttons follow the table: moving buttons are
// disabled at the ends, post and cancel only while a change is pending, edit
// only while browsing, and all but insert and refresh on an empty table.
//
// Delete asks first (a Yes/No box through the dialog service). Failures of
// the table (a refused post, for one) go to the general error display, and
// the table keeps the change pending. The buttons take no focus, so pressing
// one leaves the focus where the user is editing.

#include <QStringList>
#include <QWidget>
#include <array>

class QToolButton;

namespace qdl::db {

class Table;

class Navigator : public QWidget {
  Q_OBJECT

 public:
  enum class Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
  static constexpr int kButtonCount = 10;

  explicit Navigator(QWidget* parent = nullptr);

  // The table the buttons act on (not owned); nullptr disables them all.
  void setTable(Table* table);
  Table* table() const { return table_; }

  QToolButton* button(Button which) const { return buttons_[std::size_t(which)]; }

  // Runs a button's action as a click would (also when it is disabled, which
  // then does nothing).
  void click(Button which);

  // Hints of the ten buttons in button order; German by default.
  void setHints(const QStringList& hints);
  // The question asked before a delete and its caption.
  void setDeleteQuestion(const QString& text, const QString& caption);
  QString deleteQuestion() const { return deleteText_; }

  static QStringList germanHints();
  static QStringList englishHints();

 signals:
  // Before a button's action runs: a grid hands over an open cell editor.
  void aboutToRun(qdl::db::Navigator::Button which);
  // After a button's action ran (whether or not the table accepted it).
  void clicked(qdl::db::Navigator::Button which);

 private:
  void run(Button which);
  void updateButtons();

  Table* table_ = nullptr;
  std::array<QToolButton*, kButtonCount> buttons_{};
  QString deleteText_;
  QString deleteCaption_;
  QList<QMetaObject::Connection> connections_;
};

}  // namespace qdl::db
