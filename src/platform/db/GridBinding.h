#pragma once
// Ties a grid to a table's cursor: the grid shows a TableModel, its
// highlighted row is always the current record, and choosing a row in the
// grid moves the cursor there. The binding belongs to the view.

#include <QObject>

class QAbstractItemView;

namespace qdl::db {

class TableModel;

class GridBinding : public QObject {
  Q_OBJECT

 public:
  // Sets the model on the view and keeps both in step from now on.
  GridBinding(QAbstractItemView* view, TableModel* model);

  // Highlights the table's current row in the view and scrolls to it.
  void showCurrent();

 private:
  void rowChosen(int row);

  QAbstractItemView* view_;
  TableModel* model_;
  bool syncing_ = false;
};

}  // namespace qdl::db
