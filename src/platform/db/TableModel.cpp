#include "platform/db/TableModel.h"

#include "platform/db/Table.h"

namespace qdl::db {

TableModel::TableModel(Table* table, const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), table_(table), wanted_(columns) {
  resolveColumns();
  rows_ = table_->recordCount();
  connect(table_, &Table::tableReset, this, &TableModel::resetFromTable);
  connect(table_, &Table::recordInserted, this, [this](int row) {
    beginInsertRows({}, row, row);
    ++rows_;
    endInsertRows();
  });
  connect(table_, &Table::recordRemoved, this, [this](int row) {
    beginRemoveRows({}, row, row);
    --rows_;
    endRemoveRows();
  });
  connect(table_, &Table::recordMoved, this, [this](int from, int to) {
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    endMoveRows();
  });
  connect(table_, &Table::recordChanged, this, [this](int row) {
    if (row >= 0 && row < rows_ && !columns_.isEmpty())
      emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
  });
  connect(table_, &Table::currentChanged, this, &TableModel::currentRowChanged);
}

void TableModel::setColumns(const QStringList& columns) {
  beginResetModel();
  wanted_ = columns;
  titles_.clear();
  resolveColumns();
  endResetModel();
}

void TableModel::resolveColumns() {
  columns_.clear();
  fields_.clear();
  if (wanted_.isEmpty()) {
    for (const FieldDef& f : table_->fieldDefs()) columns_ << f.name;
  } else {
    columns_ = wanted_;
  }
  for (const QString& c : columns_) fields_ << table_->fieldIndex(c);
}

void TableModel::resetFromTable() {
  beginResetModel();
  resolveColumns();
  rows_ = table_->recordCount();
  endResetModel();
}

int TableModel::fieldOfColumn(int column) const { return fields_.value(column, -1); }

int TableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return table_->valueAt(index.row(), fieldOfColumn(index.column()));
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  const QString title = titles_.value(section);
  return title.isEmpty() ? columns_.value(section) : title;
}

bool TableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                               int role) {
  if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
      section < 0 || section >= columns_.size())
    return false;
  while (titles_.size() <= section) titles_ << QString();
  titles_[section] = value.toString();
  emit headerDataChanged(orientation, section, section);
  return true;
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (editable_ && index.isValid()) f |= Qt::ItemIsEditable;
  return f;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!editable_ || !index.isValid() || role != Qt::EditRole) return false;
  try {
    table_->moveTo(index.row());
    table_->setFieldValue(columns_.value(index.column()), value);
  } catch (const DbError& e) {
    emit error(e.message());
    return false;
  }
  return true;
}

int TableModel::currentRow() const { return table_->currentRow(); }

}  // namespace qdl::db
