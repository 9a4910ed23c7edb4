#include "platform/db/GridBinding.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/ui/Dialogs.h"

namespace qdl::db {

GridBinding::GridBinding(QAbstractItemView* view, TableModel* model)
    : QObject(view), view_(view), model_(model) {
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(model_, &TableModel::currentRowChanged, this, &GridBinding::showCurrent);
  connect(model_, &QAbstractItemModel::modelReset, this, &GridBinding::showCurrent);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            // Rows coming and going shift the view's current row by themselves;
            // the table's own notice follows and puts the highlight right.
            if (!syncing_ && !model_->isChangingRows() && current.isValid())
              rowChosen(current.row());
          });
  showCurrent();
}

void GridBinding::showCurrent() {
  const int row = model_->currentRow();
  QItemSelectionModel* sel = view_->selectionModel();
  syncing_ = true;
  if (row < 0 || row >= model_->rowCount() || model_->columnCount() == 0) {
    sel->clear();
  } else {
    const QModelIndex old = sel->currentIndex();
    const QModelIndex index = model_->index(row, old.isValid() ? old.column() : 0);
    if (old != index || !sel->isRowSelected(row, {}))
      sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(index);
  }
  syncing_ = false;
}

void GridBinding::rowChosen(int row) {
  // Moving posts a pending change; a refused post keeps the cursor where it
  // was, and the grid goes back to it.
  if (!ui::guarded(view_, [&] { model_->moveToRow(row); })) showCurrent();
}

}  // namespace qdl::db
