#pragma once
// Windows-1252, the code page of ID3v1 tags, of ID3v2 "Latin-1" texts as
// taggers write them, and of playlists written on Windows.

#include <QByteArrayView>
#include <QString>

namespace qdl::fs {

// Unicode of the bytes 0x80..0x9F in Windows-1252. The five bytes the code
// page leaves undefined map to the control characters of the same value, so
// every byte survives a round trip.
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every byte as the character Windows-1252 gives it.
inline QString fromWindows1252(QByteArrayView bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *out++ = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
  }
  return text;
}

}  // namespace qdl::fs
