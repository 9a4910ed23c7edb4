#pragma once
// Errors of the table store. Every failure of the storage is a DbError; a
// refused insert or post that would duplicate a unique key is the subclass
// DuplicateKeyError, a change of a table that was opened read-only is
// ReadOnlyError, and a table another program holds is InUseError, so callers
// can tell them from other failures.

#include <stdexcept>
#include <string>

#include <QString>

namespace qdl::db {

class DbError : public std::runtime_error {
 public:
  explicit DbError(const QString& message) : std::runtime_error(message.toStdString()) {}
  QString message() const { return QString::fromStdString(what()); }
};

class DuplicateKeyError : public DbError {
 public:
  using DbError::DbError;
};

class ReadOnlyError : public DbError {
 public:
  using DbError::DbError;
};

class InUseError : public DbError {
 public:
  using DbError::DbError;
};

}  // namespace qdl::db
