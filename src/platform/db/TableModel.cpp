#include "platform/db/TableModel.h"

#include <algorithm>

#include "platform/db/Table.h"

namespace qdl::db {

TableModel::TableModel(Table* table, const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), table_(table), wanted_(columns) {
  resolveColumns();
  rows_ = table_->recordCount();
  connect(table_, &Table::tableReset, this, &TableModel::resetFromTable);
  connect(table_, &Table::recordInserted, this, [this](int row) {
    const int r = modelRow(row);
    ++changingRows_;
    beginInsertRows({}, r, r);
    ++rows_;
    endInsertRows();
    --changingRows_;
  });
  connect(table_, &Table::recordRemoved, this, [this](int row) {
    const int r = modelRow(row);
    ++changingRows_;
    beginRemoveRows({}, r, r);
    --rows_;
    endRemoveRows();
    --changingRows_;
  });
  connect(table_, &Table::recordMoved, this, [this](int from, int to) {
    const int f = modelRow(from);
    const int t = modelRow(to);
    ++changingRows_;
    beginMoveRows({}, f, f, {}, t > f ? t + 1 : t);
    endMoveRows();
    --changingRows_;
  });
  connect(table_, &Table::recordChanged, this, [this](int row) {
    const int r = modelRow(row);
    if (r >= 0 && r < rows_ && !columns_.isEmpty())
      emit dataChanged(index(r, 0), index(r, int(columns_.size()) - 1));
  });
  connect(table_, &Table::currentChanged, this, [this] {
    markCurrent();
    emit currentRowChanged(currentRow());
  });
  connect(table_, &Table::stateChanged, this, &TableModel::stateChanged);
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
  if (table_->state() != Table::State::Insert) insertRow_ = -1;
  rows_ = table_->recordCount() + (insertRow_ >= 0 ? 1 : 0);
  marked_ = -1;
  endResetModel();
}

// The insert row appears in front of the record that was current (at the top
// of an empty table) and goes away when the insert ends.
void TableModel::stateChanged() {
  const bool inserting = table_->state() == Table::State::Insert;
  if (inserting && insertRow_ < 0) {
    const int at = std::clamp(table_->currentRow(), 0, rows_);
    ++changingRows_;
    beginInsertRows({}, at, at);
    insertRow_ = at;
    ++rows_;
    endInsertRows();
    --changingRows_;
  } else if (!inserting && insertRow_ >= 0) {
    const int at = insertRow_;
    ++changingRows_;
    beginRemoveRows({}, at, at);
    insertRow_ = -1;
    --rows_;
    endRemoveRows();
    --changingRows_;
    // After a post the stored record arrives next, with its own notice of
    // the current row; only a cancel needs one from here.
    if (rows_ != table_->recordCount()) return;
  }
  markCurrent();
  emit currentRowChanged(currentRow());
}

void TableModel::markCurrent() {
  const int now = currentRow();
  const int before = marked_;
  marked_ = now;
  for (int r : {before, now})
    if (r >= 0 && r < rows_) emit headerDataChanged(Qt::Vertical, r, r);
}

int TableModel::fieldOfColumn(int column) const { return fields_.value(column, -1); }

int TableModel::tableRow(int row) const {
  if (insertRow_ < 0 || row < insertRow_) return row;
  return row == insertRow_ ? -1 : row - 1;
}

int TableModel::modelRow(int tableRow) const {
  return (insertRow_ >= 0 && tableRow >= insertRow_) ? tableRow + 1 : tableRow;
}

int TableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  const int field = fieldOfColumn(index.column());
  QVariant value;
  if (index.row() == insertRow_) {
    if (field >= 0 && table_->state() == Table::State::Insert)
      value = table_->fieldByName(columns_.value(index.column()));
  } else {
    value = table_->valueAt(tableRow(index.row()), field);
  }
  if (role == Qt::EditRole)
    return value.isValid() && !value.isNull() ? value.toString() : QString();
  return value;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    if (role != Qt::DisplayRole) return {};
    if (section != currentRow()) return QString();
    switch (table_->state()) {
      case Table::State::Edit:
        return QStringLiteral("I");
      case Table::State::Insert:
        return QStringLiteral("*");
      default:
        return QStringLiteral(">");
    }
  }
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  const std::optional<QString> title = titles_.value(section);
  return title ? *title : columns_.value(section);
}

bool TableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                               int role) {
  if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
      section < 0 || section >= columns_.size())
    return false;
  while (titles_.size() <= section) titles_ << std::nullopt;
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
  const QString text = value.isValid() && !value.isNull() ? value.toString() : QString();
  if (data(index, Qt::EditRole).toString() == text) return true;
  try {
    if (index.row() != currentRow()) moveToRow(index.row());
    table_->setFieldValue(columns_.value(index.column()), value);
  } catch (const DbError& e) {
    emit error(e.message());
    return false;
  }
  // The table announces changes of stored rows itself, not those of a
  // record being inserted.
  if (insertRow_ >= 0 && !columns_.isEmpty())
    emit dataChanged(this->index(insertRow_, 0), this->index(insertRow_, int(columns_.size()) - 1));
  return true;
}

int TableModel::currentRow() const {
  return insertRow_ >= 0 ? insertRow_ : modelRow(table_->currentRow());
}

void TableModel::moveToRow(int row) {
  if (row == insertRow_ || row < 0 || row >= rows_) return;
  table_->moveTo(tableRow(row));
}

}  // namespace qdl::db
