#include "platform/report/DataSource.h"

#include "platform/db/Table.h"

namespace qdl::report {

TableSource::TableSource(const db::Table& table) : table_(table), ids_(table.recordIds()) {}

int TableSource::fieldIndex(const QString& name) const { return table_.fieldIndex(name); }

QVariant TableSource::value(int record, int field) const {
  if (record < 0 || record >= recordCount()) return {};
  return table_.valueById(ids_[size_t(record)], field);
}

}  // namespace qdl::report
