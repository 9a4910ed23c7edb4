#pragma once
// The case-insensitive order of the table store. Texts are compared code
// point by code point after Unicode case folding, so "ä" equals "Ä" just as
// "a" equals "A". The same function is registered with SQLite as the
// collation of the case-insensitive indexes and used by the store for its own
// comparisons, so sorting order and nearest-key order are one and the same.

#include <cstddef>

struct sqlite3;

namespace qdl::db {

// Name of the collation as it appears in the database schema.
inline constexpr const char* kNoCaseCollation = "QDL_NOCASE";

// Compares two UTF-8 texts without regard to case: <0, 0 or >0. Bytes that
// are not valid UTF-8 are compared as code points of their own value.
int compareNoCase(const char* a, std::size_t aLen, const char* b, std::size_t bLen);

// Registers the collation on a connection; returns an SQLite result code.
int registerNoCaseCollation(sqlite3* db);

}  // namespace qdl::db
