#pragma once
// ID3v2 tags built byte by byte, for the tag reader's tests, the scan tests
// and the scan benchmark: text payloads in each encoding, frames of the
// three versions with their flags, whole tags with header flags,
// unsynchronisation and extended headers.

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QStringEncoder>

namespace qdl::test::id3v2 {

inline QByteArray synchSafe(quint32 n) {
  QByteArray b(4, '\0');
  b[0] = char((n >> 21) & 0x7F);
  b[1] = char((n >> 14) & 0x7F);
  b[2] = char((n >> 7) & 0x7F);
  b[3] = char(n & 0x7F);
  return b;
}

inline QByteArray bigEndian(quint32 n, int bytes) {
  QByteArray b(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i, n >>= 8) b[i] = char(n & 0xFF);
  return b;
}

enum class Enc { Latin1, Utf16LeBom, Utf16BeBom, Utf16LeNoBom, Utf16BeNoBom, Utf16Be, Utf8 };

inline QByteArray utf16(const QString& s, bool bigEndianOrder) {
  QStringEncoder e(bigEndianOrder ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                   QStringConverter::Flag::Stateless);
  return e.encode(s);
}

// A text frame's payload: the encoding byte, then the values, each ended
// by the encoding's zero (the last too, as many writers do).
inline QByteArray text(Enc enc, const QStringList& values) {
  QByteArray out;
  for (const QString& v : values) {
    switch (enc) {
      case Enc::Latin1:
        out += v.toLatin1() + QByteArray(1, '\0');
        break;
      case Enc::Utf8:
        out += v.toUtf8() + QByteArray(1, '\0');
        break;
      case Enc::Utf16LeBom:
        out += QByteArray("\xFF\xFE", 2) + utf16(v, false) + QByteArray(2, '\0');
        break;
      case Enc::Utf16BeBom:
        out += QByteArray("\xFE\xFF", 2) + utf16(v, true) + QByteArray(2, '\0');
        break;
      case Enc::Utf16LeNoBom:
        out += utf16(v, false) + QByteArray(2, '\0');
        break;
      case Enc::Utf16BeNoBom:
      case Enc::Utf16Be:
        out += utf16(v, true) + QByteArray(2, '\0');
        break;
    }
  }
  char code = 0;
  if (enc == Enc::Utf8) code = 3;
  if (enc == Enc::Utf16Be) code = 2;
  if (enc == Enc::Utf16LeBom || enc == Enc::Utf16BeBom || enc == Enc::Utf16LeNoBom ||
      enc == Enc::Utf16BeNoBom)
    code = 1;
  return QByteArray(1, code) + out;
}
inline QByteArray text(Enc enc, const QString& value) { return text(enc, QStringList{value}); }

// A frame of version `major` (2, 3 or 4) with its payload; `format` is the
// second flag byte (2.3 and 2.4), `extra` comes between header and payload
// (a group byte, a data length indicator). `declared` overrides the size.
inline QByteArray frame(int major, const QByteArray& id, const QByteArray& payload,
                        unsigned char format = 0, const QByteArray& extra = {},
                        qint64 declared = -1) {
  const QByteArray data = extra + payload;
  const quint32 size = declared >= 0 ? quint32(declared) : quint32(data.size());
  if (major == 2) return id + bigEndian(size, 3) + data;
  const QByteArray sz = major == 4 ? synchSafe(size) : bigEndian(size, 4);
  return id + sz + QByteArray(1, '\0') + QByteArray(1, char(format)) + data;
}

// Inserts a zero byte after every 0xFF that is followed by a byte >= 0xE0
// or by zero, and after a final 0xFF.
inline QByteArray unsynchronise(const QByteArray& in) {
  QByteArray out;
  for (qsizetype i = 0; i < in.size(); ++i) {
    out += in[i];
    if (uchar(in[i]) == 0xFF &&
        (i + 1 == in.size() || uchar(in[i + 1]) >= 0xE0 || uchar(in[i + 1]) == 0))
      out += '\0';
  }
  return out;
}

// A whole tag: header (flags as given) and body; `declared` overrides the
// size in the header.
inline QByteArray tag(int major, const QByteArray& body, unsigned char flags = 0,
                      qint64 declared = -1) {
  return QByteArray("ID3") + char(major) + '\0' + char(flags) +
         synchSafe(quint32(declared >= 0 ? declared : body.size())) + body;
}

// The frame IDs of the library's fields in a version.
struct Ids {
  QByteArray artist, title, year, genre, bpm, picture;
};
inline Ids ids(int major) {
  if (major == 2) return {"TP1", "TT2", "TYE", "TCO", "TBP", "PIC"};
  return {"TPE1", "TIT2", major == 4 ? "TDRC" : "TYER", "TCON", "TBPM", "APIC"};
}

// A tag as taggers write it: artist, title, year, genre, optional tempo and
// cover art of `pictureBytes`, then `padding` zero bytes.
inline QByteArray songTag(int major, Enc enc, const QString& artist, const QString& title,
                          const QString& year = {}, const QString& genre = {},
                          const QString& bpm = {}, int pictureBytes = 0, int padding = 256) {
  const Ids id = ids(major);
  QByteArray body;
  if (!artist.isEmpty()) body += frame(major, id.artist, text(enc, artist));
  if (!title.isEmpty()) body += frame(major, id.title, text(enc, title));
  if (!year.isEmpty()) body += frame(major, id.year, text(Enc::Latin1, year));
  if (!genre.isEmpty()) body += frame(major, id.genre, text(Enc::Latin1, genre));
  if (!bpm.isEmpty()) body += frame(major, id.bpm, text(Enc::Latin1, bpm));
  if (pictureBytes > 0) {
    QByteArray pic =
        major == 2 ? QByteArray("\0JPG\x03\0", 6) : QByteArray("\0image/jpeg\0\x03\0", 14);
    QByteArray data(pictureBytes, '\0');
    for (int i = 0; i < pictureBytes; ++i) data[i] = char((i * 31 + 7) & 0xFF);
    body += frame(major, id.picture, pic + data);
  }
  body += QByteArray(padding, '\0');
  return tag(major, body);
}

}  // namespace qdl::test::id3v2
