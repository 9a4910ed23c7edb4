#include "platform/db/Collation.h"

#include <sqlite3.h>

#include <QChar>

namespace qdl::db {
namespace {

// Decodes one code point at p (p < end) and advances p. Malformed sequences
// yield the value of their first byte, so every input has a defined order.
char32_t nextCodePoint(const unsigned char*& p, const unsigned char* end) {
  const unsigned char c = *p;
  int extra = 0;
  char32_t cp = c;
  if (c >= 0xF0 && c <= 0xF4) {
    extra = 3;
    cp = c & 0x07;
  } else if (c >= 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if (c >= 0xC2 && c < 0xE0) {
    extra = 1;
    cp = c & 0x1F;
  }
  if (extra == 0 || end - p <= extra) {
    ++p;
    return c;
  }
  for (int i = 1; i <= extra; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      ++p;
      return c;
    }
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  p += extra + 1;
  return cp;
}

char32_t fold(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  return QChar::toCaseFolded(cp);
}

int collate(void*, int aLen, const void* a, int bLen, const void* b) {
  return compareNoCase(static_cast<const char*>(a), static_cast<std::size_t>(aLen),
                       static_cast<const char*>(b), static_cast<std::size_t>(bLen));
}

}  // namespace

int compareNoCase(const char* a, std::size_t aLen, const char* b, std::size_t bLen) {
  auto pa = reinterpret_cast<const unsigned char*>(a);
  auto pb = reinterpret_cast<const unsigned char*>(b);
  const auto ea = pa + aLen;
  const auto eb = pb + bLen;
  while (pa < ea && pb < eb) {
    char32_t ca, cb;
    if (*pa < 0x80 && *pb < 0x80) {  // fast path for plain ASCII
      ca = fold(*pa++);
      cb = fold(*pb++);
    } else {
      ca = fold(nextCodePoint(pa, ea));
      cb = fold(nextCodePoint(pb, eb));
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (pa < ea) return 1;
  if (pb < eb) return -1;
  return 0;
}

int registerNoCaseCollation(sqlite3* db) {
  return sqlite3_create_collation_v2(db, kNoCaseCollation, SQLITE_UTF8, nullptr, &collate, nullptr);
}

}  // namespace qdl::db
