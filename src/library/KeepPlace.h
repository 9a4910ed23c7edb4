#pragma once
// Keeps the user's place in the song table across work that moves through
// it in another order (a scan, a playlist load): when the object goes, the
// table is back in the order it had (the user's artist order, say, or
// whatever order was active) on the record that was current, and the grid
// bound to it shows that. Everything runs on the user-interface thread.

#include <cstdint>

#include "platform/db/Table.h"

namespace qdl::library {

class KeepPlace {
 public:
  explicit KeepPlace(db::Table& table)
      : table_(table),
        open_(table.isOpen()),
        index_(open_ ? table.indexName() : QString()),
        fields_(open_ ? table.indexFieldNames() : QString()),
        id_(open_ ? table.currentId() : 0) {}
  ~KeepPlace() {
    if (!open_ || !table_.isOpen()) return;
    try {
      if (!fields_.isEmpty())
        table_.setIndexFieldNames(fields_);
      else
        table_.setIndexName(index_);
      if (!table_.moveToId(id_)) table_.first();
    } catch (const db::DbError&) {
      // The work's own failure is the one the user hears of.
    }
  }
  KeepPlace(const KeepPlace&) = delete;
  KeepPlace& operator=(const KeepPlace&) = delete;

 private:
  db::Table& table_;
  bool open_;
  QString index_;
  QString fields_;
  std::int64_t id_;
};

}  // namespace qdl::library
