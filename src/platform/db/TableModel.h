#pragma once
// A Qt model over a Table: one row per record in the table's active order,
// one column per chosen field. Rows are read from the table when a view asks
// for them, so a large table opens and scrolls without being loaded.
//
// Several models may show the same table with different columns (one per
// grid); they all follow the table's one cursor. GridBinding ties a view's
// current row to that cursor in both directions.

#include <QAbstractTableModel>
#include <QStringList>

namespace qdl::db {

class Table;

class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // columns: field names in display order; empty shows every field in
  // field order (resolved each time the table opens).
  explicit TableModel(Table* table, const QStringList& columns = {}, QObject* parent = nullptr);

  Table* table() const { return table_; }
  QStringList columns() const { return columns_; }
  void setColumns(const QStringList& columns);
  int fieldOfColumn(int column) const;  // field number in the table, -1 if unknown

  // Allows editing through setData (false by default: read-only grids).
  void setEditable(bool editable) { editable_ = editable; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Moves the cursor to the row and sets the field; a refused value emits
  // error() and returns false.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  int currentRow() const;

 signals:
  void currentRowChanged(int row);
  void error(const QString& message);

 private:
  void resetFromTable();
  void resolveColumns();

  Table* table_;
  QStringList wanted_;
  QStringList columns_;
  QList<int> fields_;
  QStringList titles_;
  int rows_ = 0;
  bool editable_ = false;
};

}  // namespace qdl::db
