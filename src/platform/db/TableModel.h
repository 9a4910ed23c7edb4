#pragma once
// A Qt model over a Table: one row per record in the table's active order,
// one column per chosen field. Rows are read from the table when a view asks
// for them, so a large table opens and scrolls without being loaded.
//
// Several models may show the same table with different columns (one per
// grid); they all follow the table's one cursor. GridBinding ties a view's
// current row to that cursor in both directions.
//
// While the table inserts a record, the model shows it as an extra row (the
// insert row) in front of the record that was current, filled from the
// pending values; model rows after it are one more than table rows. Posting
// replaces it by the stored record at its place in the order; cancelling
// removes it. The vertical header marks the current row: ">" browsing,
// "I" editing, "*" inserting.

#include <QAbstractTableModel>
#include <QStringList>

#include <optional>

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
  bool isEditable() const { return editable_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The edit role gives every value as text ("" for an empty field), so
  // in-place editors are plain text boxes whatever the field type.
  //
  // setData moves the cursor to the row (posting a pending change of another
  // row) and sets the field; a value equal to the shown one changes nothing,
  // so opening and leaving an editor does not start an edit. A refused value
  // or post emits error() and returns false.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // The highlighted row: the insert row while inserting, else the table's
  // current row.
  int currentRow() const;
  // The model row of the record being inserted, -1 when not inserting.
  int insertRow() const { return insertRow_; }
  // Table row shown in a model row (-1 for the insert row), and back.
  int tableRow(int row) const;
  int modelRow(int tableRow) const;
  // True while rows are being inserted, removed or moved: a view's current
  // row may shift then without the user choosing anything.
  bool isChangingRows() const { return changingRows_ > 0; }
  // Makes the record in a model row current (the insert row: nothing); a
  // pending change is posted first. Throws DbError as Table::moveTo.
  void moveToRow(int row);

 signals:
  void currentRowChanged(int row);
  void error(const QString& message);

 private:
  void resetFromTable();
  void resolveColumns();
  void stateChanged();
  void markCurrent();

  Table* table_;
  QStringList wanted_;
  QStringList columns_;
  QList<int> fields_;
  // Column titles set by setHeaderData; a column without one shows its field
  // name, a column set to "" shows no title.
  QList<std::optional<QString>> titles_;
  int rows_ = 0;  // including the insert row
  int insertRow_ = -1;
  int marked_ = -1;  // row whose vertical header carries the mark
  int changingRows_ = 0;
  bool editable_ = false;
};

}  // namespace qdl::db
