#pragma once
// What a report reads: a fixed sequence of records with named fields.
//
// TableSource reads a song table in the order that is active when it is
// made. It copies the record ids of that order (8 bytes a record) and reads
// each record by id when a page needs it, so the table's cursor, its current
// record and its order are never touched, and a change of the table's order
// while a preview is open or a print runs (autoplay takes the next song by
// file name) does not mix two orders in one report. A record deleted since
// reads as empty fields.
// All calls come from the user-interface thread.

#include <QString>
#include <QVariant>
#include <cstdint>
#include <vector>

namespace qdl::db {
class Table;
}

namespace qdl::report {

class DataSource {
 public:
  virtual ~DataSource() = default;
  virtual int recordCount() const = 0;
  // The number of a field by its name, without regard to case; -1 when none.
  virtual int fieldIndex(const QString& name) const = 0;
  // A field of record `record` (0 .. recordCount()-1); invalid when empty.
  virtual QVariant value(int record, int field) const = 0;
};

class TableSource final : public DataSource {
 public:
  // The table must be open and outlive this object.
  explicit TableSource(const db::Table& table);

  int recordCount() const override { return int(ids_.size()); }
  int fieldIndex(const QString& name) const override;
  QVariant value(int record, int field) const override;

 private:
  const db::Table& table_;
  std::vector<std::int64_t> ids_;
};

}  // namespace qdl::report
